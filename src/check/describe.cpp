#include "check/describe.h"

#include <cstdio>

#include "platform/platform.h"

namespace check {

std::string TypeName(std::int32_t fieldType) {
  static constexpr const char* kNames[] = {
      "ft_nomorefields", "ft_numeric_32", "ft_numeric_64", "ft_numeric_floating",
      "ft_date",         "ft_time",       "ft_boolean",    "ft_multiplechoice",
      "ft_string",       "ft_fulltext",   "ft_datetime",   "ft_stringw"};
  std::string name = fieldType >= 0 && fieldType <= 11 ? kNames[fieldType]
                     : fieldType == 100               ? "ft_comparecontent"
                                                      : "unknown";
  return name + " (" + std::to_string(fieldType) + ")";
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (u < 0x20 || u == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

namespace {

// Calendar date of a count of days since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(std::int64_t days, std::int64_t& y, unsigned& m, unsigned& d) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

}  // namespace

std::string FileTimeText(std::uint64_t fileTime) {
  constexpr std::int64_t kUnixEpochSeconds = 11644473600;  // 1601 to 1970
  const std::int64_t seconds =
      static_cast<std::int64_t>(fileTime / 10000000) - kUnixEpochSeconds;
  std::int64_t days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  std::int64_t year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  char utc[64];
  std::snprintf(utc, sizeof utc, "%04lld-%02u-%02u %02d:%02d:%02d UTC",
                static_cast<long long>(year), month, day, static_cast<int>(rest / 3600),
                static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
  platform::CalendarTime local;
  if (!platform::FileTimeToLocalTime(fileTime, &local)) return utc;
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u local time, ", local.year,
                local.month, local.day, local.hour, local.minute, local.second);
  return text + std::string(utc);
}

}  // namespace check
