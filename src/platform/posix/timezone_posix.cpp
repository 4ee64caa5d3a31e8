// Local and biased calendar times to file times, from the C library's zone
// database. The results follow the Windows conversions: the same calendar
// limits, and a local time that falls into a change of clocks is read the way
// Windows reads it under the zone's rule.
#include <time.h>

#include <cstdint>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kFileTimeUnitsPerSecond = 10'000'000;

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The calendar limits of SystemTimeToFileTime.
bool IsValid(const CalendarTime& t) {
  return t.year >= 1601 && t.year <= 30827 && t.month >= 1 && t.month <= 12 &&
         t.day >= 1 && t.day <= DaysInMonth(t.year, t.month) && t.hour <= 23 &&
         t.minute <= 59 && t.second <= 59;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// Seconds since 1970-01-01 00:00 of a calendar time read as if it were UTC.
std::int64_t SecondsOf(const CalendarTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600 +
         t.minute * 60 + t.second;
}

// A UTC instant to a file time; false outside the years 1601 to 30827.
bool ToFileTime(std::int64_t utcSeconds, std::uint64_t* fileTime) {
  static const std::int64_t kFirst = DaysFromCivil(1601, 1, 1) * kSecondsPerDay;
  static const std::int64_t kEnd = DaysFromCivil(30828, 1, 1) * kSecondsPerDay;
  if (utcSeconds < kFirst || utcSeconds >= kEnd) return false;
  *fileTime = static_cast<std::uint64_t>(utcSeconds - kFirst) *
              static_cast<std::uint64_t>(kFileTimeUnitsPerSecond);
  return true;
}

struct Offset {
  long seconds = 0;  // local = UTC + seconds
  bool daylight = false;
};

bool OffsetAt(std::int64_t utcSeconds, Offset* offset) {
  const time_t instant = static_cast<time_t>(utcSeconds);
  tm fields{};
  if (localtime_r(&instant, &fields) == nullptr) return false;
  offset->seconds = fields.tm_gmtoff;
  offset->daylight = fields.tm_isdst > 0;
  return true;
}

}  // namespace

bool LocalTimeToFileTime(const CalendarTime& local, std::uint64_t* fileTime) {
  if (!IsValid(local)) return false;
  tzset();  // follow TZ as mktime does
  const std::int64_t wall = SecondsOf(local);

  // The offsets in force a day before and a day after: a local time has one
  // of them. It has both when the clocks went back (the hour is repeated),
  // neither when they went forward (the hour is skipped).
  Offset before, after;
  if (!OffsetAt(wall - kSecondsPerDay, &before) || !OffsetAt(wall + kSecondsPerDay, &after))
    return false;
  const auto fits = [wall](const Offset& candidate) {
    Offset actual;
    return OffsetAt(wall - candidate.seconds, &actual) &&
           actual.seconds == candidate.seconds;
  };
  const bool beforeFits = fits(before);
  const bool afterFits = before.seconds != after.seconds && fits(after);
  Offset chosen = before;
  if (beforeFits != afterFits) {
    chosen = afterFits ? after : before;
  } else if (before.daylight != after.daylight) {
    // Repeated or skipped: Windows reads such a time as daylight time.
    chosen = after.daylight ? after : before;
  }
  return ToFileTime(wall - chosen.seconds, fileTime);
}

bool FileTimeToLocalTime(std::uint64_t fileTime, CalendarTime* local) {
  static const std::int64_t kFirst = DaysFromCivil(1601, 1, 1) * kSecondsPerDay;
  tzset();
  const time_t instant = static_cast<time_t>(
      static_cast<std::int64_t>(fileTime / kFileTimeUnitsPerSecond) + kFirst);
  tm fields{};
  if (localtime_r(&instant, &fields) == nullptr) return false;
  *local = CalendarTime{static_cast<std::uint16_t>(fields.tm_year + 1900),
                        static_cast<std::uint16_t>(fields.tm_mon + 1),
                        static_cast<std::uint16_t>(fields.tm_mday),
                        static_cast<std::uint16_t>(fields.tm_hour),
                        static_cast<std::uint16_t>(fields.tm_min),
                        static_cast<std::uint16_t>(fields.tm_sec)};
  return true;
}

bool BiasedTimeToFileTime(const CalendarTime& local, int biasMinutes,
                          std::uint64_t* fileTime) {
  if (!IsValid(local)) return false;
  return ToFileTime(SecondsOf(local) + static_cast<std::int64_t>(biasMinutes) * 60,
                    fileTime);
}

}  // namespace platform
