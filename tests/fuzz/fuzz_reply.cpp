// The reply path of one value request, without a tool: received bytes arrive
// in fuzzer-chosen chunks and are checked for the ready marker after each
// chunk, as the exchange does; then the reply is decoded, trimmed and
// delivered into a host buffer that is guarded by a canary.
//
// Input: [flags][field type][maxLength][marker number][unit length n][n unit bytes]
//        [split count k][k split bytes][received bytes]
//   flags bit 0: line ends of two bytes (else one); bit 1: deliver into a
//   null buffer as well.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/readings.h"
#include "platform/platform.h"
#include "plugin/delivery.h"
#include "tool/requests.h"
#include "tool/tool_bridge.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_reply: %s\n", what);
  std::abort();
}

#define CHECK(condition)                                 \
  do {                                                   \
    if (!(condition)) Fail("check failed: " #condition); \
  } while (0)

constexpr std::uint8_t kCanary = 0xA5;

// The marker line as documented: "{readyN}" (N: 1 to 20 decimal digits
// without leading zeros, a 64-bit number) as the whole of the last line,
// ended by exactly the line end (LF, or CR LF); -1 when the data does not
// end so.
long double ModelMarkerId(std::string_view data, std::size_t lineEndLength) {
  const std::string_view lineEnd = lineEndLength == 1 ? "\n" : lineEndLength == 2 ? "\r\n" : "";
  if (lineEnd.empty() || data.size() < lineEnd.size() ||
      data.substr(data.size() - lineEnd.size()) != lineEnd)
    return -1;
  std::string_view line = data.substr(0, data.size() - lineEnd.size());
  const std::size_t previous = line.rfind('\n');
  if (previous != std::string_view::npos) line = line.substr(previous + 1);
  if (line.size() < 8 || line.substr(0, 6) != "{ready" || line.back() != '}') return -1;
  const std::string_view digits = line.substr(6, line.size() - 7);
  if (digits.size() > 20 || (digits.size() > 1 && digits[0] == '0')) return -1;
  long double value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value > 18446744073709551615.0L ? -1 : value;
}

// Sizes of the reply fields that the host reads for each result code.
std::size_t ValueBytes(int result) {
  switch (result) {
    case 1: return 4;
    case 2: case 3: case 10: return 8;
    default: return 0;
  }
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto up = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
    if (up(a[i]) != up(b[i])) return false;
  }
  return true;
}

// The delivery rules, first match wins: "Default" or a text field give
// text; a numeric field with no unit, or the unit "#", gives the number by
// the field type (a date for a date-time field, -1 for other types); a
// date-time field gives a file time; anything else gives -1.
int ModelResult(std::int32_t type, std::u16string_view unit) {
  const bool numericType = type == 1 || type == 2 || type == 3;
  if (EqualsIgnoreCase(unit, u"Default") || type == 11 || type == 8) return 11;
  if ((numericType && unit.empty()) || unit == u"#")
    return numericType || type == 10 ? type : -1;
  if (type == 10) return 10;
  return -1;
}

// The result for `reply`: a reading that the text does not hold leaves the
// field empty.
int ExpectedResult(std::int32_t type, std::u16string_view unit, std::u16string_view reply) {
  const int result = ModelResult(type, unit);
  if ((result == 1 && !convert::TextToInt32(reply)) ||
      (result == 2 && !convert::TextToInt64(reply)) ||
      (result == 3 && !convert::TextToDouble(reply)) ||
      (result == 10 && !convert::ParseToolDateTime(reply)))
    return -3;
  return result;
}

void CheckDelivery(std::int32_t type, std::u16string_view unit, std::u16string_view reply,
                   int maxLength, std::size_t capacityBytes) {
  std::vector<std::uint8_t> buffer(capacityBytes + 32, kCanary);
  const int result = plugin::DeliverValue(type, unit, reply, buffer.data(), maxLength);
  CHECK(result == ExpectedResult(type, unit, reply));

  std::size_t written = 0;  // bytes the result allows to change
  if (result == 11) {
    // maxLength is the buffer's size in bytes.
    if (maxLength >= 2) {
      std::size_t units = std::min(reply.size(), static_cast<std::size_t>(maxLength) / 2 - 1);
      // A surrogate pair that does not fit whole is left out whole.
      if (units > 0 && units < reply.size() && reply[units - 1] >= 0xD800 &&
          reply[units - 1] <= 0xDBFF)
        --units;
      written = (units + 1) * 2;
      CHECK(written <= static_cast<std::size_t>(maxLength));
      std::vector<char16_t> text(units + 1);
      std::memcpy(text.data(), buffer.data(), written);
      CHECK(std::u16string_view(text.data(), units) == reply.substr(0, units));
      CHECK(text[units] == 0);
    }
  } else {
    written = ValueBytes(result);
    CHECK(written <= 8);
    if (result == 1) {
      std::int32_t v;
      std::memcpy(&v, buffer.data(), 4);
      CHECK(v == convert::TextToInt32(reply));
    } else if (result == 2) {
      std::int64_t v;
      std::memcpy(&v, buffer.data(), 8);
      CHECK(v == convert::TextToInt64(reply));
    } else if (result == 3) {
      double v;
      std::memcpy(&v, buffer.data(), 8);
      const double expected = *convert::TextToDouble(reply);
      CHECK((std::isnan(v) && std::isnan(expected)) ||
            std::memcmp(&v, &expected, 8) == 0);
    } else if (result == 10) {
      std::uint64_t v;
      std::memcpy(&v, buffer.data(), 8);
      CHECK(v == convert::ParseToolDateTime(reply));
    }
  }
  CHECK(written <= capacityBytes);
  for (std::size_t i = written; i < buffer.size(); ++i)
    if (buffer[i] != kCanary) Fail("a byte beyond the value was written");
}

void TrimAndDeliver(std::u16string reply, std::int32_t type, std::u16string_view unit,
                    int maxLength, std::uint8_t flags) {
  const std::u16string untrimmed = reply;
  plugin::TrimReplyLineEnd(reply);
  // Only the one final line end goes, and only when there is one.
  CHECK(untrimmed.compare(0, reply.size(), reply) == 0);
  const std::size_t removed = untrimmed.size() - reply.size();
  if (platform::kToolLineEndLength == 1) {
    const bool endsInLf = !untrimmed.empty() && untrimmed.back() == u'\n';
    CHECK(removed == (endsInLf ? 1u : 0u));
  } else {
    const bool crBeforeLast =
        untrimmed.size() >= 2 && untrimmed[untrimmed.size() - 2] == u'\r';
    CHECK(removed == (crBeforeLast ? 2u : 0u));
  }
  if (reply.empty()) return;  // an empty reply gives no value

  // Room for what the host is promised: maxLength bytes of text, and the
  // 8 bytes of a number, whatever maxLength says.
  std::size_t capacity = 8;
  if (maxLength > 0) {
    const std::size_t bytes = maxLength == std::numeric_limits<int>::max()
                                  ? (reply.size() + 1) * 2
                                  : static_cast<std::size_t>(maxLength);
    capacity = std::max(capacity, bytes);
  }
  CheckDelivery(type, unit, reply, maxLength, capacity);
  if (flags & 2) {
    const int result = plugin::DeliverValue(type, unit, reply, nullptr, maxLength);
    CHECK(result == ExpectedResult(type, unit, reply));
  }
}

// Whether `reply` has a line "-NAME=..." (NAME without regard to ASCII
// case), and when `value` is given, "-NAME=value" exactly.
bool HasLine(std::u16string_view reply, std::u16string_view name,
             const std::u16string* value, std::size_t lineEnd) {
  std::size_t start = 0;
  while (start < reply.size()) {
    const std::size_t end = reply.find(u'\n', start);
    if (end == std::u16string_view::npos) break;
    std::u16string_view line = reply.substr(start, end - start);
    start = end + 1;
    if (lineEnd == 2 && !line.empty() && line.back() == u'\r') line.remove_suffix(1);
    if (line.size() < name.size() + 2 || line[0] != u'-' || line[name.size() + 1] != u'=' ||
        !EqualsIgnoreCase(line.substr(1, name.size()), name))
      continue;
    if (value == nullptr || line.substr(name.size() + 2) == *value) return true;
  }
  return false;
}

// A batch reply read for a few tags: a value is given only when the reply
// holds the line "-TAG=value" (or "-TAG#=value") for it, and a tag is
// missing only when no line names it.
void CheckBatchReading(std::u16string_view reply, std::size_t lineEnd) {
  static const std::vector<tool::TagKey> keys = {
      {"Model", false}, {"ISO", false}, {"ISO", true}, {"a", false}};
  const std::vector<tool::BatchValue> values = tool::ReadBatchReply(reply, keys, lineEnd);
  CHECK(values.size() == keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (!values[i]) continue;
    std::u16string name(keys[i].tag.begin(), keys[i].tag.end());
    if (keys[i].numeric) name += u'#';
    if (*values[i]) CHECK(HasLine(reply, name, &**values[i], lineEnd));
    else CHECK(!HasLine(reply, name, nullptr, lineEnd));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const std::uint8_t flags = data[0];
  static constexpr std::int32_t kTypes[] = {0, 1, 2, 3, 4, 8, 10, 11, 100};
  const std::int32_t type = data[1] < 9 ? kTypes[data[1]] : static_cast<std::int8_t>(data[1]);
  // 255 stands for a host that gives a huge capacity.
  const int maxLength =
      data[2] == 255 ? std::numeric_limits<int>::max() : static_cast<int>(data[2]) - 4;
  const std::uint64_t id = 1000 + data[3] % 4;  // this request's marker number
  const std::uint64_t firstId = 1000;
  std::size_t pos = 4;
  const std::size_t unitLength = data[pos++] % 16;
  if (size - pos < unitLength + 1) return 0;
  std::u16string unit;
  for (std::size_t i = 0; i < unitLength; ++i) unit.push_back(data[pos + i]);
  pos += unitLength;
  const std::size_t splitCount = data[pos++] % 8;
  if (size - pos < splitCount) return 0;
  const std::uint8_t* splitBytes = data + pos;
  pos += splitCount;
  const std::string_view received(reinterpret_cast<const char*>(data + pos), size - pos);

  // Chunk ends: each split byte picks a point (in 256ths of the data), plus
  // the end of the data.
  std::vector<std::size_t> ends;
  for (std::size_t i = 0; i < splitCount; ++i)
    ends.push_back(received.size() * splitBytes[i] / 256);
  ends.push_back(received.size());
  std::sort(ends.begin(), ends.end());

  // Both line-end lengths for every chunk end: the whole-data check agrees
  // with the model, and depends only on the last bytes received.
  for (std::size_t lineEnd = 0; lineEnd <= 2; ++lineEnd) {
    for (std::size_t end : ends) {
      const std::string_view prefix = received.substr(0, end);
      const std::optional<std::uint64_t> found = tool::EndingMarkerId(prefix, lineEnd);
      const long double model = ModelMarkerId(prefix, lineEnd);
      CHECK(found.has_value() == (model >= 0));
      if (found) CHECK(static_cast<long double>(*found) == model);
      // Decided by the last line alone.
      const std::size_t window = 6 + 20 + 1 + lineEnd + 1;
      if (prefix.size() > window)
        CHECK(found == tool::EndingMarkerId(prefix.substr(prefix.size() - window), lineEnd));
    }
  }

  // The exchange: after each chunk, the marker test on all received so far;
  // an earlier request's marker drops what came before it.
  const std::size_t lineEnd = (flags & 1) ? 2 : 1;
  const std::size_t markerLine = std::to_string(id).size() + 7 + lineEnd;
  std::string got;
  std::size_t previous = 0;
  bool complete = false;
  for (std::size_t end : ends) {
    got.append(received.substr(previous, end - previous));
    previous = end;
    const std::optional<std::uint64_t> ended = tool::EndingMarkerId(got, lineEnd);
    if (ended && *ended == id) {
      complete = true;
      break;
    }
    if (ended && *ended >= firstId && *ended < id) got.clear();
  }
  // Data that ends with this request's marker line is complete at its last
  // chunk at the latest, however it was split.
  if (ModelMarkerId(received, lineEnd) == static_cast<long double>(id)) CHECK(complete);

  // The received bytes taken as UTF-16 units one by one, so that replies
  // without a final line end, or with other units, are tried too.
  std::u16string raw;
  for (char c : received) raw.push_back(static_cast<unsigned char>(c));
  CheckBatchReading(raw, lineEnd);
  TrimAndDeliver(std::move(raw), type, unit, maxLength, flags);

  if (!complete) return 0;
  got.resize(got.size() - markerLine);
  CHECK(got.empty() || got.back() == '\n');  // the marker starts a line

  TrimAndDeliver(platform::Utf8ToUtf16(got), type, unit, maxLength, flags);
  return 0;
}
