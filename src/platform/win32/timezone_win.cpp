// Local and biased calendar times to file times, through the system's
// time-zone conversions.
#include <windows.h>

#include <cstdint>

#include "platform/platform.h"

namespace platform {

namespace {

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The documented limits of SYSTEMTIME. Checked here as well, because not
// every implementation of the conversions enforces them (Wine takes
// 2021-02-29 as 2021-03-01, and the year 30828).
bool IsValid(const SYSTEMTIME& t) {
  return t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 &&
         t.wDay >= 1 && t.wDay <= DaysInMonth(t.wYear, t.wMonth) && t.wHour <= 23 &&
         t.wMinute <= 59 && t.wSecond <= 59 && t.wMilliseconds == 0;
}

bool Convert(const TIME_ZONE_INFORMATION& zone, const CalendarTime& time,
             std::uint64_t* fileTime) {
  SYSTEMTIME local{};
  local.wYear = time.year;
  local.wMonth = time.month;
  local.wDay = time.day;
  local.wHour = time.hour;
  local.wMinute = time.minute;
  local.wSecond = time.second;
  if (!IsValid(local)) return false;
  SYSTEMTIME utc{};
  if (!TzSpecificLocalTimeToSystemTime(&zone, &local, &utc) || !IsValid(utc))
    return false;
  FILETIME result{};
  if (!SystemTimeToFileTime(&utc, &result)) return false;
  *fileTime = (static_cast<std::uint64_t>(result.dwHighDateTime) << 32) |
              result.dwLowDateTime;
  return true;
}

}  // namespace

bool LocalTimeToFileTime(const CalendarTime& local, std::uint64_t* fileTime) {
  TIME_ZONE_INFORMATION zone{};
  if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return false;
  return Convert(zone, local, fileTime);
}

bool FileTimeToLocalTime(std::uint64_t fileTime, CalendarTime* local) {
  const FILETIME file{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  SYSTEMTIME utc{}, clock{};
  TIME_ZONE_INFORMATION zone{};
  if (!FileTimeToSystemTime(&file, &utc) ||
      GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID ||
      !SystemTimeToTzSpecificLocalTime(&zone, &utc, &clock))
    return false;
  *local = CalendarTime{clock.wYear, clock.wMonth, clock.wDay,
                        clock.wHour, clock.wMinute, clock.wSecond};
  return true;
}

bool BiasedTimeToFileTime(const CalendarTime& local, int biasMinutes,
                          std::uint64_t* fileTime) {
  // The bias alone: no daylight dates, so no daylight period.
  TIME_ZONE_INFORMATION zone{};
  zone.Bias = biasMinutes;
  return Convert(zone, local, fileTime);
}

}  // namespace platform
