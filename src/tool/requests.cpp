#include "tool/requests.h"

#include <map>

#include "text/text.h"

namespace tool {

std::string BuildTagRequest(std::string_view tag, bool numeric,
                            std::string_view fileNameUtf8) {
  std::string request;
  request.reserve(tag.size() + fileNameUtf8.size() + 64);
  request += '-';
  request += tag;
  request += "\n-fast\n-s3\n-charset\nFileName=UTF8\n";
  if (numeric) request += "-n\n";
  request += fileNameUtf8;
  request += '\n';
  return request;
}

bool AnswersUnderItsName(std::string_view tag) {
  if (tag.empty()) return false;
  for (char c : tag)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          c == '_' || c == '-'))
      return false;
  return tag.front() != '-';
}

std::string BuildBatchRequest(const std::vector<TagKey>& keys,
                              std::string_view fileNameUtf8) {
  std::string request = "-args\n-fast\n-charset\nFileName=UTF8\n";
  for (const TagKey& key : keys) {
    request += '-';
    request += key.tag;
    if (key.numeric) request += '#';
    request += '\n';
  }
  // After the tags: an argument the tool refuses stops it reading the rest.
  request += "-echo3\n";
  request += kBatchEndLine;
  request += '\n';
  request += fileNameUtf8;
  request += '\n';
  return request;
}

bool BatchRefused(std::u16string_view reply) { return reply.empty(); }

namespace {

std::string FoldedAscii(std::u16string_view name) {
  std::string folded;
  folded.reserve(name.size());
  for (char16_t c : name) {
    if (c > 0x7F) return {};  // no tag name has such a character
    folded += text::AsciiUpper(static_cast<char>(c));
  }
  return folded;
}

}  // namespace

std::vector<BatchValue> ReadBatchReply(std::u16string_view reply,
                                       const std::vector<TagKey>& keys,
                                       std::size_t lineEndLength) {
  std::vector<BatchValue> result(keys.size());
  if (BatchRefused(reply)) return result;
  const std::string_view endLine = kBatchEndLine;
  const std::size_t endSize = endLine.size() + lineEndLength;
  if (reply.size() >= endSize) {
    const std::u16string_view last = reply.substr(reply.size() - endSize);
    const bool atLineStart =
        reply.size() == endSize || reply[reply.size() - endSize - 1] == u'\n';
    const std::u16string_view lineEnd = lineEndLength == 2 ? u"\r\n" : u"\n";
    if (atLineStart && last.substr(endLine.size()) == lineEnd &&
        last.substr(0, endLine.size()) == std::u16string(endLine.begin(), endLine.end()))
      reply.remove_suffix(endSize);
  }
  // The printed lines by (upper-case name, plain number), in order.
  std::map<std::pair<std::string, bool>, std::vector<std::u16string_view>> lines;
  while (!reply.empty()) {
    const std::size_t end = reply.find(u'\n');
    if (end == std::u16string_view::npos) return result;  // a cut line: nothing is sure
    std::u16string_view line = reply.substr(0, end);
    reply.remove_prefix(end + 1);
    if (lineEndLength == 2) {
      if (line.empty() || line.back() != u'\r') return result;
      line.remove_suffix(1);
    }
    const std::size_t equals = line.find(u'=');
    if (line.size() < 2 || line.front() != u'-' || equals == std::u16string_view::npos)
      return result;
    std::u16string_view name = line.substr(1, equals - 1);
    const bool numeric = !name.empty() && name.back() == u'#';
    if (numeric) name.remove_suffix(1);
    const std::string folded = FoldedAscii(name);
    if (folded.empty()) return result;
    lines[{folded, numeric}].push_back(line.substr(equals + 1));
  }

  std::map<std::pair<std::string, bool>, std::size_t> requested;
  for (std::size_t i = 0; i < keys.size(); ++i)
    requested[{FoldedAscii(std::u16string(keys[i].tag.begin(), keys[i].tag.end())),
               keys[i].numeric}] = i;
  bool everyLineAccountedFor = true;
  for (const auto& [name, values] : lines)
    if (values.size() != 1 || requested.count(name) == 0) everyLineAccountedFor = false;

  for (const auto& [name, index] : requested) {
    const auto found = lines.find(name);
    if (found == lines.end()) {
      if (everyLineAccountedFor) result[index] = std::optional<std::u16string>();
      continue;
    }
    // Several lines under one name (a shortcut that names it as well): the
    // same text, or nothing sure.
    const std::vector<std::u16string_view>& values = found->second;
    bool same = true;
    for (std::u16string_view value : values) same = same && value == values.front();
    if (same) result[index] = std::optional<std::u16string>(std::u16string(values.front()));
  }
  return result;
}

}  // namespace tool
