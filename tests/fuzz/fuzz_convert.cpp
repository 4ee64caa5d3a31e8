// Unit choice and the four readings of reply text, each compared with an
// independent model: the unit entry by splitting at "|", the integers by
// saturating decimal reading, the double by the C library's strtod in the
// "C" locale, the file time by calendar arithmetic under a fixed zone rule.
//
// Input: [flags][unit index][units length n][n units bytes][text]
//   flags bit 0: the text is UTF-16LE (else each byte is one code unit).
//   unit index: a signed byte; -128 and 127 stand for INT_MIN and INT_MAX.
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

#include <time.h>

#include "convert/readings.h"
#include "convert/units.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_convert: %s\n", what);
  std::abort();
}

#define CHECK(condition)                                 \
  do {                                                   \
    if (!(condition)) Fail("check failed: " #condition); \
  } while (0)

// Central European rules: a zone with daylight time that needs no zone files.
constexpr char kZoneRule[] = "CET-1CEST,M3.5.0,M10.5.0/3";

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string_view UpToZero(std::u16string_view s) {
  return s.substr(0, s.find(u'\0'));
}

// ------------------------------------------------------------------- units

void CheckPickUnit(std::string_view units, int index) {
  const std::u16string got = convert::PickUnit(units, index);
  CHECK(got.find(u'|') == std::u16string::npos);
  for (char16_t c : got) CHECK(c != 0 && c < 256);

  std::string_view text = units.substr(0, units.find('\0'));
  std::vector<std::string_view> entries;
  std::size_t start = 0;
  for (;;) {
    const std::size_t bar = text.find('|', start);
    entries.push_back(text.substr(start, bar == std::string_view::npos ? bar : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  std::string_view expected;
  if (index >= 0)
    expected = entries[std::min<std::size_t>(static_cast<std::size_t>(index),
                                             entries.size() - 1)];
  CHECK(got.size() == expected.size());
  for (std::size_t i = 0; i < got.size(); ++i)
    CHECK(got[i] == static_cast<unsigned char>(expected[i]));
}

// ---------------------------------------------------------------- integers

std::int64_t ModelInt64(std::u16string_view text) {
  text = UpToZero(text);
  std::size_t p = 0;
  while (p < text.size() && IsSpace(text[p])) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == u'-' || text[p] == u'+')) negative = text[p++] == u'-';
  __int128 v = 0;
  const __int128 cap = static_cast<__int128>(1) << 64;
  for (; p < text.size() && IsDigit(text[p]); ++p) {
    v = v * 10 + (text[p] - u'0');
    if (v > cap) v = cap;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<std::int64_t>::max()) return std::numeric_limits<std::int64_t>::max();
  if (v < std::numeric_limits<std::int64_t>::min()) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(v);
}

void CheckIntegers(std::u16string_view text) {
  const std::optional<std::int64_t> r64 = convert::TextToInt64(text);
  const std::optional<std::int32_t> r32 = convert::TextToInt32(text);
  // A number is there when a digit follows the white space and the sign.
  const std::u16string_view c = UpToZero(text);
  std::size_t p = 0;
  while (p < c.size() && IsSpace(c[p])) ++p;
  if (p < c.size() && (c[p] == u'-' || c[p] == u'+')) ++p;
  const bool digit = p < c.size() && IsDigit(c[p]);
  CHECK(r64.has_value() == digit && r32.has_value() == digit);
  const std::int64_t v64 = r64.value_or(0);
  const std::int32_t v32 = r32.value_or(0);
  CHECK(v64 == ModelInt64(text));
  const std::int64_t clamped =
      v64 > INT32_MAX ? INT32_MAX : v64 < INT32_MIN ? INT32_MIN : v64;
  CHECK(v32 == clamped);
}

// ------------------------------------------------------------------ double

void CheckDouble(std::u16string_view text) {
  const std::optional<double> reading = convert::TextToDouble(text);
  const double got = reading.value_or(0.0);

  const std::u16string_view c = UpToZero(text);
  std::size_t p = 0;
  while (p < c.size() && IsSpace(c[p])) ++p;
  const bool minus = p < c.size() && c[p] == u'-';
  if (!std::isnan(got)) {
    if (minus) CHECK(!(got > 0));
    else CHECK(!(got < 0) && !std::signbit(got));
  }

  // strtod in the "C" locale reads the same forms; units outside ASCII stop
  // it as any other character that is no part of a number would.
  std::string narrow;
  for (char16_t u : c) narrow.push_back(u < 128 ? static_cast<char>(u) : '\x7f');
  char* end = nullptr;
  const double expected = std::strtod(narrow.c_str(), &end);
  CHECK(reading.has_value() == (end != narrow.c_str()));
  if (std::isnan(expected)) {
    CHECK(std::isnan(got));
  } else if (std::memcmp(&got, &expected, sizeof got) != 0) {
    std::fprintf(stderr, "TextToDouble gave %a, strtod %a\n", got, expected);
    Fail("TextToDouble differs from strtod");
  }
}

// --------------------------------------------------------------- date-time

constexpr std::int64_t kUnitsPerSecond = 10'000'000;

std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  // Days since 1601-01-01, counted the long way round for clarity.
  auto leap = [](std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  };
  static constexpr int kCumulative[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const std::int64_t years = y - 1601;
  std::int64_t days = years * 365 + years / 4 - years / 100 + years / 400;
  days += kCumulative[m - 1] + (m > 2 && leap(y) ? 1 : 0) + d - 1;
  return days;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

struct Fields {
  unsigned v[9] = {};  // year month day hour minute second, zone h, zone m
  char16_t zone = 0;
};

// "%hu": white space, a sign, digits; what does not fit 16 bits (a negative
// number included) is 65535.
bool ScanNumber(std::u16string_view s, std::size_t& p, unsigned& out) {
  std::size_t i = p;
  while (i < s.size() && IsSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  if (i >= s.size() || !IsDigit(s[i])) return false;
  unsigned long long v = 0;
  for (; i < s.size() && IsDigit(s[i]); ++i) {
    v = v * 10 + (s[i] - u'0');
    if (v > 0xFFFF) v = 0x10000;
  }
  if (negative && v != 0) v = 0x10000;
  out = v > 0xFFFF ? 0xFFFF : static_cast<unsigned>(v);
  p = i;
  return true;
}

Fields ScanDateTime(std::u16string_view s) {
  Fields f;
  std::size_t p = 0;
  auto colon = [&] {
    if (p < s.size() && s[p] == u':') {
      ++p;
      return true;
    }
    return false;
  };
  if (!ScanNumber(s, p, f.v[0]) || !colon()) return f;
  if (!ScanNumber(s, p, f.v[1]) || !colon()) return f;
  if (!ScanNumber(s, p, f.v[2])) return f;
  while (p < s.size() && IsSpace(s[p])) ++p;
  if (!ScanNumber(s, p, f.v[3]) || !colon()) return f;
  if (!ScanNumber(s, p, f.v[4]) || !colon()) return f;
  if (!ScanNumber(s, p, f.v[5])) return f;
  if (p + 1 < s.size() && s[p] == u'.' && IsDigit(s[p + 1])) {  // sub-seconds
    ++p;
    while (p < s.size() && IsDigit(s[p])) ++p;
  }
  if (p >= s.size()) return f;
  f.zone = s[p++];
  if (!ScanNumber(s, p, f.v[6]) || !colon()) return f;
  ScanNumber(s, p, f.v[7]);
  return f;
}

// Day of the week, 0 for Sunday.
int Weekday(std::int64_t daysSince1601) {
  return static_cast<int>((daysSince1601 + 1) % 7);  // 1601-01-01 was a Monday
}

int LastSunday(int year, int month) {
  const int last = DaysInMonth(year, month);
  return last - Weekday(DaysFromCivil(year, month, last));
}

void CheckDateTime(std::u16string_view text) {
  const std::optional<std::uint64_t> reading = convert::ParseToolDateTime(text);
  const std::uint64_t got = reading.value_or(0);
  const Fields f = ScanDateTime(UpToZero(text));
  const unsigned y = f.v[0], mo = f.v[1], d = f.v[2], h = f.v[3], mi = f.v[4], s = f.v[5];
  const bool valid = y >= 1601 && y <= 30827 && mo >= 1 && mo <= 12 && d >= 1 &&
                     d <= static_cast<unsigned>(DaysInMonth(y, mo)) && h <= 23 && mi <= 59 &&
                     s <= 59;
  if (!valid) {
    CHECK(!reading);
    return;
  }
  const std::int64_t wall =
      DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;  // seconds since 1601
  const std::int64_t end = DaysFromCivil(30828, 1, 1) * 86400;
  auto fileTime = [end](std::int64_t utc) -> std::uint64_t {
    return utc < 0 || utc >= end ? 0 : static_cast<std::uint64_t>(utc) * kUnitsPerSecond;
  };
  CHECK(got % kUnitsPerSecond == 0);
  if (f.zone != 0) {
    std::int64_t bias = static_cast<std::int64_t>(f.v[6]) * 60 + f.v[7];
    if (f.zone == u'+') bias = -bias;
    CHECK(got == fileTime(wall + bias * 60));
    return;
  }
  // Local time under the zone rule: one hour ahead of UTC, two from the last
  // Sunday of March to the last Sunday of October. On the change days either
  // reading may apply, by the hour.
  const std::uint64_t winter = fileTime(wall - 3600), summer = fileTime(wall - 7200);
  const int marchChange = LastSunday(y, 3), octoberChange = LastSunday(y, 10);
  const bool changeDay = (mo == 3 && static_cast<int>(d) == marchChange) ||
                         (mo == 10 && static_cast<int>(d) == octoberChange);
  // The C library applies the rule from 1970 on only (earlier dates get
  // standard time); either reading is accepted there.
  if (changeDay || y < 1971) {
    CHECK(got == winter || got == summer);
    return;
  }
  const bool daylight = (mo > 3 && mo < 10) || (mo == 3 && static_cast<int>(d) > marchChange) ||
                        (mo == 10 && static_cast<int>(d) < octoberChange);
  CHECK(got == (daylight ? summer : winter));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", kZoneRule, 1);
  tzset();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const bool utf16 = data[0] & 1;
  const auto indexByte = static_cast<std::int8_t>(data[1]);
  const int index = indexByte == -128 ? std::numeric_limits<int>::min()
                    : indexByte == 127 ? std::numeric_limits<int>::max()
                                       : indexByte;
  const std::size_t unitsLength = data[2];
  if (size - 3 < unitsLength) return 0;
  const std::string_view units(reinterpret_cast<const char*>(data + 3), unitsLength);
  const std::uint8_t* rest = data + 3 + unitsLength;
  const std::size_t restSize = size - 3 - unitsLength;

  std::u16string text;
  if (utf16) {
    for (std::size_t i = 0; i + 1 < restSize; i += 2)
      text.push_back(static_cast<char16_t>(rest[i] | (rest[i + 1] << 8)));
  } else {
    for (std::size_t i = 0; i < restSize; ++i) text.push_back(rest[i]);
  }

  CheckPickUnit(units, index);
  CheckIntegers(text);
  CheckDouble(text);
  CheckDateTime(text);
  return 0;
}
