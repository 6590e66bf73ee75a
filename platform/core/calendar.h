// The calendar: civil dates (proleptic Gregorian, no time zone) and FILETIME
// ticks (100 ns since 1601-01-01), one set of rules for every part of the
// platform that turns one into the other.
//
// Days are counted from 1601-01-01, FILETIME's day 0, and may be negative
// for earlier dates (an OLE DATE reaches back to the year 100). Nothing here
// reads the clock or a time zone; everything is constexpr and thread-safe.
#pragma once

#include <cstdint>

#include "platform/core/types.h"

namespace vardel::calendar {

inline constexpr std::int64_t kTicksPerMillisecond = 10'000;
inline constexpr std::int64_t kTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kTicksPerDay = 86'400 * kTicksPerSecond;

// Days from 1601-01-01 to 1970-01-01 (the Unix epoch) and to 1899-12-30
// (the day an OLE DATE counts from).
inline constexpr std::int64_t kUnixEpochDays = 134'774;
inline constexpr std::int64_t kDateEpochDays = 109'205;
inline constexpr std::uint64_t kUnixEpochTicks = kUnixEpochDays * kTicksPerDay;

constexpr bool is_leap_year(std::int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days in a month (1-12) of a year.
constexpr int days_in_month(std::int64_t year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

// True when the month is 1-12 and the day exists in it (29 February only in
// leap years). The year is not limited: callers hold their own range.
constexpr bool is_valid_date(std::int64_t year, int month, int day) {
  return month >= 1 && month <= 12 && day >= 1 && day <= days_in_month(year, month);
}

constexpr bool is_valid_time_of_day(int hour, int minute, int second, int millisecond = 0) {
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59 &&
         millisecond >= 0 && millisecond <= 999;
}

// Days since 1601-01-01 of a valid date (H. Hinnant's days_from_civil,
// counted from 1601 instead of 1970).
constexpr std::int64_t days_from_civil(std::int64_t year, int month, int day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yoe = static_cast<unsigned>(year - era * 400);
  const auto mp = static_cast<unsigned>(month > 2 ? month - 3 : month + 9);
  const unsigned doy = (153 * mp + 2) / 5 + static_cast<unsigned>(day) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146'097 + static_cast<std::int64_t>(doe) - 719'468 + kUnixEpochDays;
}

struct Date {
  std::int64_t year = 0;
  int month = 0;  // 1-12
  int day = 0;    // 1-31

  bool operator==(const Date&) const = default;
};

// The date of a day counted from 1601-01-01.
constexpr Date civil_from_days(std::int64_t days) {
  const std::int64_t z = days - kUnixEpochDays + 719'468;
  const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
  const auto doe = static_cast<unsigned>(z - era * 146'097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  Date date;
  date.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  date.year = static_cast<std::int64_t>(yoe) + era * 400 + (date.month <= 2);
  return date;
}

// 0 for Sunday to 6 for Saturday (1601-01-01 was a Monday).
constexpr int day_of_week(std::int64_t days) { return static_cast<int>((days % 7 + 8) % 7); }

// The day a tick count falls on, rounded down for ticks before 1601.
constexpr std::int64_t day_of(std::int64_t ticks) {
  const std::int64_t q = ticks / kTicksPerDay;
  return ticks % kTicksPerDay < 0 ? q - 1 : q;
}

// A moment as calendar fields, below the millisecond dropped.
struct CivilTime {
  Date date;
  int day_of_week = 0;  // 0 Sunday
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

constexpr CivilTime civil_from_ticks(std::int64_t ticks) {
  const std::int64_t days = day_of(ticks);
  const std::int64_t ms = (ticks - days * kTicksPerDay) / kTicksPerMillisecond;
  CivilTime t;
  t.date = civil_from_days(days);
  t.day_of_week = day_of_week(days);
  t.hour = static_cast<int>(ms / 3'600'000);
  t.minute = static_cast<int>(ms / 60'000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  return t;
}

// The same fields as a SYSTEMTIME (the year must fit in its WORD).
constexpr SYSTEMTIME system_time_of(const CivilTime& t) {
  return SYSTEMTIME{static_cast<WORD>(t.date.year),   static_cast<WORD>(t.date.month),
                    static_cast<WORD>(t.day_of_week), static_cast<WORD>(t.date.day),
                    static_cast<WORD>(t.hour),        static_cast<WORD>(t.minute),
                    static_cast<WORD>(t.second),      static_cast<WORD>(t.millisecond)};
}

// Ticks of a valid date and time of day.
constexpr std::int64_t ticks_from_civil(std::int64_t year, int month, int day, int hour = 0,
                                        int minute = 0, int second = 0, int millisecond = 0) {
  const std::int64_t seconds = days_from_civil(year, month, day) * 86'400 + hour * 3600 +
                               minute * 60 + static_cast<std::int64_t>(second);
  return seconds * kTicksPerSecond + millisecond * kTicksPerMillisecond;
}

// A FILETIME's two halves as one count, and back.
constexpr std::uint64_t filetime_ticks(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
constexpr FILETIME filetime_from_ticks(std::uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace vardel::calendar
