#include "check/tag_names.h"

#include <algorithm>
#include <utility>

#include "text/text.h"

namespace check {

namespace {

std::string Folded(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = text::AsciiUpper(c);
  return out;
}

bool IsListSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

}  // namespace

TagParts SplitTag(std::string_view tag) {
  TagParts parts;
  const std::size_t colon = tag.rfind(':');
  if (colon != std::string_view::npos) {
    parts.groups = std::string(tag.substr(0, colon + 1));
    tag.remove_prefix(colon + 1);
  }
  if (!tag.empty() && tag.back() == '#') {
    parts.numeric = true;
    tag.remove_suffix(1);
  }
  parts.name = std::string(tag);
  return parts;
}

void TagNames::Read(std::u16string_view listing) {
  std::size_t lineStart = 0;
  while (lineStart < listing.size()) {
    std::size_t lineEnd = listing.find(u'\n', lineStart);
    if (lineEnd == std::u16string_view::npos) lineEnd = listing.size();
    const std::u16string_view line = listing.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    // Section titles ("Available tags:") start at the line's start.
    if (line.empty() || !IsListSpace(line.front())) continue;
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && IsListSpace(line[i])) ++i;
      const std::size_t start = i;
      while (i < line.size() && !IsListSpace(line[i])) ++i;
      if (i == start) continue;
      std::string name;
      for (char16_t c : line.substr(start, i - start))
        name.push_back(c < 0x80 ? static_cast<char>(c) : '?');
      names_.push_back(std::move(name));
    }
  }
  std::sort(names_.begin(), names_.end());
  names_.erase(std::unique(names_.begin(), names_.end()), names_.end());
  folded_.clear();
  for (const std::string& name : names_) folded_.push_back(Folded(name));
  std::sort(folded_.begin(), folded_.end());
}

bool TagNames::Knows(std::string_view name) const {
  if (text::EqualsIgnoreAsciiCase(name, "all")) return true;
  if (name.find_first_of("*?") != std::string_view::npos)
    return std::any_of(names_.begin(), names_.end(),
                       [&](const std::string& known) { return WildcardMatch(name, known); });
  return std::binary_search(folded_.begin(), folded_.end(), Folded(name));
}

bool TagNames::KnowsGroup(std::string_view group) const {
  while (!group.empty() && group.front() >= '0' && group.front() <= '9') group.remove_prefix(1);
  if (group.empty() || group == "*" || text::EqualsIgnoreAsciiCase(group, "all") ||
      text::EqualsIgnoreAsciiCase(group.substr(0, 3), "ID-"))
    return true;
  if (Knows(group)) return true;
  std::string numbered(group);
  while (!numbered.empty() && numbered.back() >= '0' && numbered.back() <= '9')
    numbered.pop_back();
  return numbered.size() < group.size() && Knows(numbered + "#");
}

std::vector<std::string> TagNames::Closest(std::string_view name, std::size_t most) const {
  const std::size_t limit = std::max<std::size_t>(2, name.size() / 2);
  std::vector<std::pair<std::size_t, const std::string*>> near;
  for (const std::string& known : names_) {
    // The distance is at least the difference in length.
    const std::size_t gap = known.size() > name.size() ? known.size() - name.size()
                                                       : name.size() - known.size();
    if (gap > limit) continue;
    const std::size_t distance = NameDistance(name, known);
    if (distance <= limit) near.emplace_back(distance, &known);
  }
  std::stable_sort(near.begin(), near.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> closest;
  for (const auto& [distance, known] : near) {
    // Only the nearest names, and those one edit further.
    if (closest.size() == most || distance > near.front().first + 1) break;
    closest.push_back(*known);
  }
  return closest;
}

std::size_t NameDistance(std::string_view a, std::string_view b) {
  // Three rows of the optimal-string-alignment table.
  std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const bool same = text::AsciiUpper(a[i - 1]) == text::AsciiUpper(b[j - 1]);
      row[j] = std::min({previous[j] + 1, row[j - 1] + 1, previous[j - 1] + (same ? 0 : 1)});
      if (i > 1 && j > 1 && text::AsciiUpper(a[i - 1]) == text::AsciiUpper(b[j - 2]) &&
          text::AsciiUpper(a[i - 2]) == text::AsciiUpper(b[j - 1]))
        row[j] = std::min(row[j], before[j - 2] + 1);
    }
    std::swap(before, previous);
    std::swap(previous, row);
  }
  return previous[b.size()];
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == '?' || text::AsciiUpper(pattern[p]) == text::AsciiUpper(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace check
