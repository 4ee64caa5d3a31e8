#include "values.h"

#include <time.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host/utf.h"
#include "plugin/delivery.h"
#include "text/text.h"

namespace bench {

namespace {

template <typename T>
T Read(const std::string& bytes) {
  T value{};
  if (bytes.size() == sizeof value) std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

// A file time as a UTC calendar time in the tool's form.
std::string DateTimeText(std::uint64_t fileTime) {
  const time_t t =
      static_cast<time_t>(static_cast<std::int64_t>(fileTime / 10000000u) - 11644473600LL);
  tm parts{};
  gmtime_r(&t, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &parts);
  return text;
}

std::u16string TextOf(const Value& value) {
  std::u16string text(value.bytes.size() / 2, u'\0');
  std::memcpy(text.data(), value.bytes.data(), text.size() * 2);
  return text;
}

enum Kind { kText, kNumber, kDateTime, kNone };

// Whether `value` is what the tool's `text` (empty: no text) says for
// `field`, read here without the module's code: the same text, the same
// number, the same date and time (the process runs with TZ=UTC).
bool Agrees(const FieldInfo& field, const std::optional<std::u16string>& text,
            const Value& value, Kind* kind) {
  *kind = kNone;
  if (!field.asked) return value.code == -1;
  if (!text) return value.code == -3;
  const std::string utf8 = host::ToUtf8(*text);
  const bool numericType = field.type >= 1 && field.type <= 3;
  if (text::EqualsIgnoreAsciiCase(field.unit, u"Default") || field.type == 11) {
    *kind = kText;
    const std::size_t room = kHostBufferBytes / 2 - 1;
    return value.code == 11 && TextOf(value) == text->substr(0, room);
  }
  if (field.type == 10) {
    *kind = kDateTime;
    return value.code == 10 && utf8.compare(0, 19, DateTimeText(Read<std::uint64_t>(value.bytes))) == 0;
  }
  if ((numericType && field.unit.empty()) || field.unit == u"#") {
    *kind = kNumber;
    if (value.code != field.type) return false;
    if (field.type == 3) {
      const double expected = std::strtod(utf8.c_str(), nullptr);
      const double got = Read<double>(value.bytes);
      return got == expected || std::fabs(got - expected) <= 1e-12 * std::fabs(expected);
    }
    const long long expected = std::strtoll(utf8.c_str(), nullptr, 10);
    return field.type == 1 ? Read<std::int32_t>(value.bytes) == expected
                           : Read<std::int64_t>(value.bytes) == expected;
  }
  return value.code == -1;
}

}  // namespace

Value FromBuffer(int code, const unsigned char* buffer) {
  Value value;
  value.code = code;
  std::size_t size = 0;
  switch (code) {
    case 1:
      size = 4;
      break;
    case 2:
    case 3:
    case 10:
      size = 8;
      break;
    case 11: {
      // The text up to its terminating zero; all of the buffer if it has none.
      const std::size_t units = kHostBufferBytes / 2;
      std::size_t length = 0;
      while (length < units && (buffer[2 * length] != 0 || buffer[2 * length + 1] != 0))
        ++length;
      size = 2 * length;
      break;
    }
    default:
      break;
  }
  value.bytes.assign(reinterpret_cast<const char*>(buffer), size);
  return value;
}

Reading OneTagReading(std::u16string reply) {
  plugin::TrimReplyLineEnd(reply);
  if (reply.empty()) return {true, std::nullopt};
  return {true, std::move(reply)};
}

Value Deliver(const FieldInfo& field, const Reading& reading) {
  if (!reading.asked) return {-1, {}};
  if (!reading.text || reading.text->empty()) return {-3, {}};
  alignas(8) unsigned char buffer[kHostBufferBytes];
  std::memset(buffer, 0xA5, sizeof buffer);
  const int code =
      plugin::DeliverValue(field.type, field.unit, *reading.text, buffer, kHostBufferBytes);
  return FromBuffer(code, buffer);
}

std::string Show(const Value& value) {
  char text[64];
  switch (value.code) {
    case 1:
      return "int32 " + std::to_string(Read<std::int32_t>(value.bytes));
    case 2:
      return "int64 " + std::to_string(Read<std::int64_t>(value.bytes));
    case 3:
      std::snprintf(text, sizeof text, "double %.17g", Read<double>(value.bytes));
      return text;
    case 10:
      return "date-time " + DateTimeText(Read<std::uint64_t>(value.bytes)) + " UTC";
    case 11:
      return "text \"" + host::ToUtf8(TextOf(value)) + "\"";
    default:
      return "code " + std::to_string(value.code);
  }
}

Comparison CompareWays(const std::vector<Photo>& photos, const BenchConfig& config,
                       const std::vector<const Kept*>& kept,
                       const std::vector<std::string>& names) {
  const std::size_t fields = config.fields.size();
  // Every way's values as the host receives them; the raw loops' readings
  // delivered as the module delivers them.
  std::vector<std::vector<Value>> values;
  for (const Kept* way : kept) {
    if (!way->values.empty()) {
      values.push_back(way->values);
      continue;
    }
    std::vector<Value> delivered;
    delivered.reserve(way->readings.size());
    for (std::size_t i = 0; i < way->readings.size(); ++i)
      delivered.push_back(Deliver(config.fields[i % fields], way->readings[i]));
    values.push_back(std::move(delivered));
  }
  const std::vector<Reading>& oneTag = kept[2]->readings;
  const std::vector<Reading>& allTags = kept[3]->readings;

  Comparison c;
  for (std::size_t i = 0; i < photos.size() * fields; ++i) {
    const FieldInfo& field = config.fields[i % fields];
    ++c.compared;
    bool equal = true;
    for (const std::vector<Value>& way : values) equal = equal && way[i] == values[0][i];
    const bool sameText = oneTag[i].asked == allTags[i].asked && oneTag[i].text == allTags[i].text;
    Kind kind;
    const bool agrees = Agrees(field, oneTag[i].text, values[0][i], &kind);
    c.allEqual += equal;
    c.sameText += sameText;
    c.agreeing += agrees;
    ++c.kinds[kind];
    if ((!equal || !sameText || !agrees) && c.differences.size() < 8) {
      std::string d = photos[i / fields].path + ", field " + std::to_string(i % fields) +
                      " \"" + field.name + "\" (" + field.tag + "):";
      for (std::size_t w = 0; w < values.size(); ++w)
        d += "\n      " + names[w] + ": " + Show(values[w][i]);
      d += "\n      one-tag text: " +
           (oneTag[i].text ? "\"" + host::ToUtf8(*oneTag[i].text) + "\"" : std::string("none")) +
           "\n      all-tags text: " +
           (allTags[i].text ? "\"" + host::ToUtf8(*allTags[i].text) + "\"" : std::string("none"));
      c.differences.push_back(d);
    }
  }
  return c;
}

}  // namespace bench
