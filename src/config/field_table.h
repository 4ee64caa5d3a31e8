// The configured fields, in the order of their lines in Config.txt. The host's
// field index is the position in the table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace config {

inline constexpr int kMaxFields = 2000;

// Host field type codes.
enum FieldType : std::int32_t {
  kNoMoreFields = 0,
  kNumeric32 = 1,
  kNumeric64 = 2,
  kNumericFloating = 3,
  kDate = 4,
  kTime = 5,
  kBoolean = 6,
  kMultipleChoice = 7,
  kString = 8,
  kFullText = 9,
  kDateTime = 10,
  kWideString = 11,
  kCompareContent = 100,
};

// The code for a type name of the full syntax ("ft_string" ...), compared
// without regard to ASCII case over the whole text; 11 for any other name.
std::int32_t FieldTypeFromName(const char* name);

struct FieldText {
  std::optional<std::string> tagName;  // none for simple-syntax lines
  std::string displayName;
  std::string units;  // entries separated by "|"; may be empty

  // The tag that value requests ask the tool for.
  const std::string& RequestTag() const {
    return tagName ? *tagName : displayName;
  }
};

struct FieldAttributes {
  std::int32_t syntaxFlag = 0;
  std::int32_t column2Value = 0;
  std::int32_t fieldType = kWideString;
  std::int32_t column4Value = 0;
  std::int32_t sortOrder = 1;
};

struct Field {
  FieldText text;
  FieldAttributes attributes;
};

using FieldTable = std::vector<Field>;

}  // namespace config
