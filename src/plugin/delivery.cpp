#include "plugin/delivery.h"

#include <cstring>
#include <optional>

#include "config/field_table.h"
#include "convert/readings.h"
#include "platform/platform.h"
#include "text/text.h"

namespace plugin {

void TrimReplyLineEnd(std::u16string& reply) {
  if (platform::kToolLineEndLength == 2) {
    if (reply.size() >= 2 && reply[reply.size() - 2] == u'\r')
      reply.resize(reply.size() - 2);
  } else if (!reply.empty() && reply.back() == u'\n') {
    reply.pop_back();
  }
}

namespace {

template <typename T>
void Store(void* fieldValue, T value) {
  if (fieldValue != nullptr) std::memcpy(fieldValue, &value, sizeof value);
}

// A reading stored as the field type; a text with no such reading leaves
// the field empty.
template <typename T>
int StoreReading(std::int32_t fieldType, const std::optional<T>& reading, void* fieldValue) {
  if (!reading) return kEmptyReply;
  Store(fieldValue, *reading);
  return fieldType;
}

bool IsNumericType(std::int32_t fieldType) {
  return fieldType == config::kNumeric32 || fieldType == config::kNumeric64 ||
         fieldType == config::kNumericFloating;
}

// The reading of a reply by the field type: a number, or a date-time
// field's date (printed the same way with and without "-n"); a type with no
// such reading has no value.
int DeliverReading(std::int32_t fieldType, std::u16string_view reply, void* fieldValue) {
  switch (fieldType) {
    case config::kNumeric32:
      return StoreReading(fieldType, convert::TextToInt32(reply), fieldValue);
    case config::kNumeric64:
      return StoreReading(fieldType, convert::TextToInt64(reply), fieldValue);
    case config::kNumericFloating:
      return StoreReading(fieldType, convert::TextToDouble(reply), fieldValue);
    case config::kDateTime:
      return StoreReading(fieldType, convert::ParseToolDateTime(reply), fieldValue);
    default:
      return kNoValue;
  }
}

}  // namespace

int DeliverText(std::u16string_view text, void* fieldValue, int maxLength) {
  text::CopyTruncated(text, static_cast<char16_t*>(fieldValue),
                      maxLength < 0 ? 0 : maxLength / 2);
  return config::kWideString;
}

int DeliverNarrowText(std::u16string_view text, void* fieldValue, int maxLength) {
  if (fieldValue != nullptr && maxLength >= 1) {
    const std::string narrow =
        platform::Utf16ToSystemCodePage(text, static_cast<std::size_t>(maxLength) - 1);
    std::memcpy(fieldValue, narrow.data(), narrow.size());
    static_cast<char*>(fieldValue)[narrow.size()] = '\0';
  }
  return config::kString;
}

int DeliverValue(std::int32_t fieldType, std::u16string_view unit,
                 std::u16string_view reply, void* fieldValue, int maxLength,
                 HostText hostText) {
  // A text field is text whatever its unit entry, in the form of the entry
  // point the host called.
  if (fieldType == config::kString)
    return hostText == HostText::kNarrow ? DeliverNarrowText(reply, fieldValue, maxLength)
                                         : DeliverText(reply, fieldValue, maxLength);
  if (text::EqualsIgnoreAsciiCase(unit, u"Default") ||
      fieldType == config::kWideString)
    return DeliverText(reply, fieldValue, maxLength);
  if ((IsNumericType(fieldType) && unit.empty()) || unit == u"#" ||
      fieldType == config::kDateTime)
    return DeliverReading(fieldType, reply, fieldValue);
  return kNoValue;
}

}  // namespace plugin
