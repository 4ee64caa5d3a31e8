#include "check/values_report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "check/describe.h"
#include "convert/units.h"
#include "platform/platform.h"
#include "text/text.h"

namespace check {

namespace {

// As large as the buffer Double Commander gives.
constexpr int kValueBytes = 2048;

template <typename T>
T Read(const void* buffer) {
  T value;
  std::memcpy(&value, buffer, sizeof value);
  return value;
}

}  // namespace

std::string ValueText(int result, const void* buffer) {
  char text[64];
  switch (result) {
    case config::kNumeric32:
      std::snprintf(text, sizeof text, "number %" PRId32, Read<std::int32_t>(buffer));
      return text;
    case config::kNumeric64:
      std::snprintf(text, sizeof text, "number %" PRId64, Read<std::int64_t>(buffer));
      return text;
    case config::kNumericFloating:
      std::snprintf(text, sizeof text, "number %.15g", Read<double>(buffer));
      return text;
    case config::kDateTime:
      return "date " + FileTimeText(Read<std::uint64_t>(buffer));
    case config::kWideString: {
      const char16_t* wide = static_cast<const char16_t*>(buffer);
      const std::size_t length = text::BoundedLength(wide, kValueBytes / 2);
      return "text " + Quoted(platform::Utf16ToUtf8(std::u16string_view(wide, length)));
    }
    case config::kString: {
      const char* narrow = static_cast<const char*>(buffer);
      return "text " + Quoted(std::string_view(narrow, text::BoundedLength(narrow, kValueBytes)));
    }
    case plugin::kNoValue:
      return "no value (-1)";
    case plugin::kFiltered:
      return "not served: the header's path filter leaves this file out (-2)";
    case plugin::kEmptyReply:
      return "empty (-3)";
    default:
      return "result " + std::to_string(result);
  }
}

void PrintValues(plugin::PluginState& state, const std::u16string& file) {
  // The module takes full names only, as file managers give them.
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(file), error);
  const std::u16string name = error ? file : full.u16string();
  std::printf("file: %s\n", platform::Utf16ToUtf8(name).c_str());
  const config::FieldTable& fields = state.config.fields;
  for (std::size_t index = 0; index < fields.size(); ++index) {
    const config::Field& field = fields[index];
    int units = 1;
    for (const char c : field.text.units) units += c == '|';
    for (int unit = 0; unit < units; ++unit) {
      alignas(8) char buffer[kValueBytes] = {};
      const int result = plugin::GetValue(state, name.c_str(), static_cast<int>(index), unit,
                                          buffer, kValueBytes, 0);
      std::string label = "  field " + std::to_string(index) + " " +
                          Quoted(field.text.displayName);
      if (!field.text.units.empty())
        label += " unit " + Quoted(platform::Utf16ToUtf8(
                               convert::PickUnit(field.text.units, unit)));
      std::printf("%s: %s\n", label.c_str(), ValueText(result, buffer).c_str());
    }
  }
}

}  // namespace check
