// Unit choice, the numeric readings of reply text and the date-time reading.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "convert/readings.h"
#include "convert/units.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <time.h>
#endif

namespace {

using convert::ParseToolDateTime;
using convert::PickUnit;
using convert::TextToDouble;
using convert::TextToInt32;
using convert::TextToInt64;

constexpr std::uint64_t FileTimeOfUnix(std::int64_t seconds) {
  return static_cast<std::uint64_t>(seconds + 11644473600) * 10000000u;
}

// 2021-06-15 at 12:30, 14:30 and 19:30 UTC.
constexpr std::uint64_t k1230 = FileTimeOfUnix(1623760200);
constexpr std::uint64_t k1430 = FileTimeOfUnix(1623767400);
constexpr std::uint64_t k1930 = FileTimeOfUnix(1623785400);

TEST(UnitChoice, PicksEntryByIndex) {
  EXPECT_EQ(PickUnit("Default|#|mm", 0), u"Default");
  EXPECT_EQ(PickUnit("Default|#|mm", 1), u"#");
  EXPECT_EQ(PickUnit("Default|#|mm", 2), u"mm");
  EXPECT_EQ(PickUnit("Default|#|mm", 7), u"mm");
  EXPECT_EQ(PickUnit("Default|#|mm", -1), u"");
  EXPECT_EQ(PickUnit("a||c", 1), u"");
  EXPECT_EQ(PickUnit("a||c", 2), u"c");
  EXPECT_EQ(PickUnit("a|b|", 1), u"b");
  EXPECT_EQ(PickUnit("a|b|", 2), u"");
  EXPECT_EQ(PickUnit("a|b|", 9), u"");
  for (int index : {0, 1, 5}) EXPECT_EQ(PickUnit("", index), u"") << index;
  // Bytes above 127 widen to the code unit of the same value.
  EXPECT_EQ(PickUnit("x|\xB5m", 1), u"\u00B5m");
}

TEST(IntegerReading, ReadsLeadingDecimalNumber) {
  EXPECT_EQ(TextToInt32(u"  -42abc"), -42);
  EXPECT_EQ(TextToInt64(u"  -42abc"), -42);
  EXPECT_EQ(TextToInt32(u"1/200"), 1);
  EXPECT_EQ(TextToInt64(u"0.005"), 0);
  EXPECT_EQ(TextToInt32(u"0x1F"), 0);
  EXPECT_EQ(TextToInt32(u"\t+17 mm"), 17);
  // Only ASCII digits count; a code unit whose low byte is a digit is not one.
  EXPECT_EQ(TextToInt32(u"4\u0132"), 4);
  EXPECT_EQ(TextToInt32(std::u16string(u"12\0" u"34", 5)), 12);
}

TEST(IntegerReading, ClampsAtTheLimits) {
  EXPECT_EQ(TextToInt32(u"4294967296"), 2147483647);
  EXPECT_EQ(TextToInt64(u"4294967296"), 4294967296LL);
  EXPECT_EQ(TextToInt32(u"2147483648"), 2147483647);
  EXPECT_EQ(TextToInt32(u"-2147483648"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(TextToInt32(u"-2147483649"), std::numeric_limits<std::int32_t>::min());
  const std::u16string nines = u"-" + std::u16string(20, u'9');
  EXPECT_EQ(TextToInt64(nines), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(TextToInt32(nines), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(TextToInt64(u"9223372036854775807"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(TextToInt64(u"9223372036854775808x"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(TextToInt64(u"-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
}

TEST(DoubleReading, ReadsLeadingDecimalNumber) {
  EXPECT_EQ(TextToDouble(u"  -42abc"), -42.0);
  EXPECT_EQ(TextToDouble(u"1/200"), 1.0);
  EXPECT_EQ(TextToDouble(u"0.005"), 0.005);
  EXPECT_EQ(TextToDouble(u"\n+.5"), 0.5);
  EXPECT_EQ(TextToDouble(u"7."), 7.0);
  EXPECT_EQ(TextToDouble(u"12e+2x"), 1200.0);
  EXPECT_EQ(TextToDouble(u"3e"), 3.0);
  EXPECT_EQ(TextToDouble(u"1.\u0135"), 1.0);
  EXPECT_TRUE(std::signbit(*TextToDouble(u"-0")));
  // Long digit runs are read in full and rounded once.
  EXPECT_EQ(TextToDouble(u"1" + std::u16string(1000, u'0') + u"e-1000"), 1.0);
  EXPECT_EQ(TextToDouble(u"0." + std::u16string(400, u'0') + u"1e401"), 1.0);
}

// A text that does not start with a number is no reading at all, not 0.
TEST(NumberReading, TextWithoutANumberIsEmpty) {
  for (const char16_t* text : {u"", u"  ", u"n/a", u"+-3", u".", u"-", u"- 5", u"\uFF15",
                               u"Unknown (0)", u"x1"}) {
    EXPECT_FALSE(TextToInt32(text)) << std::u16string(text).size();
    EXPECT_FALSE(TextToInt64(text));
    EXPECT_FALSE(TextToDouble(text));
  }
  EXPECT_FALSE(TextToInt32(std::u16string(u"\0" u"12", 3)));
  // Hexadecimal, infinity and NaN are numbers to the double reading only.
  EXPECT_FALSE(TextToInt32(u"inf"));
  EXPECT_FALSE(TextToInt64(u".5"));
  EXPECT_EQ(TextToDouble(u".5"), 0.5);
}

TEST(DoubleReading, RangeLimits) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(TextToDouble(u"1e999"), inf);
  EXPECT_EQ(TextToDouble(u"-1e999"), -inf);
  EXPECT_EQ(TextToDouble(u"1e99999999999999999999999"), inf);
  EXPECT_EQ(TextToDouble(u"0.0001e-99999999999999999999"), 0.0);
  EXPECT_EQ(TextToDouble(u"1e-999"), 0.0);
  EXPECT_TRUE(std::signbit(*TextToDouble(u"-1e-999")));
  EXPECT_EQ(TextToDouble(u"0e99999"), 0.0);
  EXPECT_EQ(TextToDouble(u"4.9e-324"), std::numeric_limits<double>::denorm_min());
}

TEST(DoubleReading, InfinityNanAndHexadecimal) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(TextToDouble(u"inf"), inf);
  EXPECT_EQ(TextToDouble(u" -Infinity"), -inf);
  EXPECT_EQ(TextToDouble(u"INFINITE"), inf);
  EXPECT_TRUE(std::isnan(*TextToDouble(u"nan")));
  EXPECT_TRUE(std::isnan(*TextToDouble(u"NaN(1a_)")));
  EXPECT_EQ(TextToDouble(u"0x1.8p1"), 3.0);
  EXPECT_EQ(TextToDouble(u"-0X10"), -16.0);
  EXPECT_EQ(TextToDouble(u"0x.8"), 0.5);
  EXPECT_EQ(TextToDouble(u"0x1p"), 1.0);
  EXPECT_EQ(TextToDouble(u"0x"), 0.0);
  EXPECT_EQ(TextToDouble(u"0x1p99999"), inf);
  EXPECT_EQ(TextToDouble(u"0x1p-1075"), 0.0);
  EXPECT_EQ(TextToDouble(u"0x1p-1074"), std::numeric_limits<double>::denorm_min());
}

TEST(DoubleReading, IgnoresTheProcessLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  const char* found = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8",
                           "German_Germany.1252", "German"}) {
    if (std::setlocale(LC_ALL, name) != nullptr &&
        std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
      found = name;
      break;
    }
  }
  if (found == nullptr) {
    std::setlocale(LC_ALL, previous.c_str());
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  // The locale is in force for the C library itself.
  const double libraryReading = std::strtod("1,5", nullptr);
  const double dot = *TextToDouble(u"1.5");
  const double comma = *TextToDouble(u"1,5");
  const double longText = *TextToDouble(u"0." + std::u16string(300, u'0') + u"25e301");
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(libraryReading, 1.5) << found;
  EXPECT_EQ(dot, 1.5) << found;
  EXPECT_EQ(comma, 1.0) << found;
  EXPECT_EQ(longText, 2.5) << found;
}

TEST(ToolDateTime, ZoneInTheText) {
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00+02:00"), k1230);
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00-05:00"), k1930);
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00Z"), k1430);
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00+05:30"), FileTimeOfUnix(1623747600));
  // Whatever follows the seconds is a zone: a space or a line feed reads as
  // UTC, any character but "+" as behind UTC.
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00 "), k1430);
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00Q02:00"), FileTimeOfUnix(1623774600));
  // White space before any number, and none or several between date and time.
  EXPECT_EQ(ParseToolDateTime(u" 2021: 6:15\t\t14:30: 0+ 2:00"), k1230);
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00+02"), k1230);
  EXPECT_EQ(ParseToolDateTime(u"2020:02:29 00:00:00Z"), FileTimeOfUnix(1582934400));
  EXPECT_EQ(ParseToolDateTime(u"30827:12:31 23:59:59Z"), 9223149887990000000u);
  EXPECT_EQ(ParseToolDateTime(u"1601:01:01 01:00:01+01:00"), 10000000u);
}

TEST(ToolDateTime, SubSecondsAreDropped) {
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00.25+02:00"), k1230);
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00.5Z"), k1430);
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00.123456 "), k1430);
}

// A camera with an unset clock writes a zero or a blank-filled date: no
// date at all, as is any part out of range.
TEST(ToolDateTime, InvalidIsEmpty) {
  for (const char* text :
       {"", "abc", "0000:00:00 00:00:00", "0000:00:00 00:00:00Z",
        "    :  :     :  :  ", "2021:06:32 10:00:00", "2021:06:15 25:00:00",
        // a year alone, or a year and month, is no date
        "2021", "2021:06", "2021:00:00 00:00:00Z",
        "2021:13:01 00:00:00Z", "2021:02:29 00:00:00Z", "2021:04:31 00:00:00Z",
        "2021:06:15 24:00:00Z", "2021:06:15 23:60:00Z", "2021:06:15 23:59:60Z",
        "1600:12:31 23:59:59Z", "30828:01:01 00:00:00Z",
        // the zone moves these out of the years 1601 to 30827
        "1601:01:01 00:30:00+01:00", "30827:12:31 23:00:00-02:00",
        // numbers beyond 16 bits must not wrap round (to 2021 and to day 15)
        "67557:06:15 14:30:00Z", "2021:06:-65521 14:30:00Z"}) {
    const std::u16string wide(text, text + std::strlen(text));
    EXPECT_FALSE(ParseToolDateTime(wide)) << text;
  }
  // The first instant of file time is a date like any other.
  EXPECT_EQ(ParseToolDateTime(u"1601:01:01 00:00:00Z"), 0u);
}

// Runs a test in a named time zone. A POSIX process switches TZ itself; a
// Windows process, Wine's included, fixes its zone when it starts, so there
// the test runs only in a process started with TZ set to that zone, which
// VELTAMO_TEST_ZONE then names.
class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
#ifdef _WIN32
    const char* declared = std::getenv("VELTAMO_TEST_ZONE");
    active_ = declared != nullptr && std::strcmp(declared, zone) == 0;
    if (!active_)
      reason_ = std::string("needs a process started with TZ=") + zone +
                " and VELTAMO_TEST_ZONE=" + zone;
#else
    const char* dir = std::getenv("TZDIR");
    const std::string file =
        std::string(dir != nullptr ? dir : "/usr/share/zoneinfo") + "/" + zone;
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) {
      reason_ = "no time-zone data at " + file;
      return;
    }
    const char* previous = std::getenv("TZ");
    hadPrevious_ = previous != nullptr;
    if (hadPrevious_) previous_ = previous;
    setenv("TZ", zone, 1);
    tzset();
    active_ = true;
#endif
  }
  ~ZoneScope() {
#ifndef _WIN32
    if (!active_) return;
    if (hadPrevious_) setenv("TZ", previous_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
#endif
  }
  ZoneScope(const ZoneScope&) = delete;
  ZoneScope& operator=(const ZoneScope&) = delete;

  bool active() const { return active_; }
  const std::string& reason() const { return reason_; }

 private:
  bool active_ = false;
  std::string reason_;
  bool hadPrevious_ = false;
  std::string previous_;
};

TEST(LocalTime, Utc) {
  ZoneScope zone("UTC");
  if (!zone.active()) GTEST_SKIP() << zone.reason();
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00"), k1430);
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00.75"), k1430);
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15"), FileTimeOfUnix(1623715200));
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00+02:00"), k1230);
}

TEST(LocalTime, BerlinSummerAndWinter) {
  ZoneScope zone("Europe/Berlin");
  if (!zone.active()) GTEST_SKIP() << zone.reason();
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00"), k1230);
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00.5"), k1230);
  EXPECT_EQ(ParseToolDateTime(u"2021:01:15 14:30:00"), FileTimeOfUnix(1610717400));
  // A date alone is midnight local time.
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15"), FileTimeOfUnix(1623708000));
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30"), k1230);
  // A zone in the text, or anything after the seconds, wins over the computer's.
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00-05:00"), k1930);
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00 "), k1430);
  EXPECT_EQ(ParseToolDateTime(u"2021:06:15 14:30:00\n"), k1430);
  EXPECT_FALSE(ParseToolDateTime(u"2021:02:29 12:00:00"));
}

TEST(LocalTime, BerlinClockChanges) {
  ZoneScope zone("Europe/Berlin");
  if (!zone.active()) GTEST_SKIP() << zone.reason();
  // Clocks go forward at 02:00 on 2021-03-28 and back at 03:00 on 2021-10-31.
  EXPECT_EQ(ParseToolDateTime(u"2021:03:28 01:59:59"), FileTimeOfUnix(1616893199));
  EXPECT_EQ(ParseToolDateTime(u"2021:03:28 03:00:00"), FileTimeOfUnix(1616893200));
  // The skipped and the repeated hour both read as summer time.
  EXPECT_EQ(ParseToolDateTime(u"2021:03:28 02:30:00"), FileTimeOfUnix(1616891400));
  EXPECT_EQ(ParseToolDateTime(u"2021:10:31 02:30:00"), FileTimeOfUnix(1635640200));
  EXPECT_EQ(ParseToolDateTime(u"2021:10:31 03:00:00"), FileTimeOfUnix(1635645600));
}

}  // namespace
