// The calendar: leap years, the epochs the platform counts from, the ends of
// the ranges, impossible dates, and days <-> dates <-> ticks agreeing.
#include "platform/core/calendar.h"

#include <gtest/gtest.h>

namespace {

using namespace vardel::calendar;

// The epochs are where the formats they serve put them.
static_assert(days_from_civil(1601, 1, 1) == 0);
static_assert(days_from_civil(1970, 1, 1) == kUnixEpochDays);
static_assert(days_from_civil(1899, 12, 30) == kDateEpochDays);
static_assert(kUnixEpochTicks == 116'444'736'000'000'000ULL);

TEST(Calendar, LeapYearsFollowTheGregorianRule) {
  for (int y : {1600, 2000, 2400, 1604, 1996, 2004, 2024}) EXPECT_TRUE(is_leap_year(y)) << y;
  for (int y : {1601, 1700, 1800, 1900, 2100, 2023, 9999}) EXPECT_FALSE(is_leap_year(y)) << y;
  EXPECT_EQ(days_in_month(2000, 2), 29);
  EXPECT_EQ(days_in_month(1900, 2), 28);
  EXPECT_EQ(days_from_civil(2001, 1, 1) - days_from_civil(2000, 1, 1), 366);
  EXPECT_EQ(days_from_civil(1901, 1, 1) - days_from_civil(1900, 1, 1), 365);
  // 400 years always hold the same number of days.
  EXPECT_EQ(days_from_civil(2001, 1, 1) - days_from_civil(1601, 1, 1), 146'097);
}

TEST(Calendar, ImpossibleDatesAreRefused) {
  EXPECT_TRUE(is_valid_date(2000, 2, 29));
  EXPECT_TRUE(is_valid_date(9999, 12, 31));
  EXPECT_TRUE(is_valid_date(1601, 1, 1));
  struct Bad {
    int y, m, d;
  };
  for (Bad b :
       {Bad{1900, 2, 29}, Bad{2001, 2, 29}, Bad{2000, 2, 30}, Bad{2009, 4, 31}, Bad{2009, 0, 1},
        Bad{2009, 13, 1}, Bad{2009, 1, 0}, Bad{2009, 1, 32}, Bad{2009, -1, 1}, Bad{2009, 1, -1}})
    EXPECT_FALSE(is_valid_date(b.y, b.m, b.d)) << b.y << "-" << b.m << "-" << b.d;

  EXPECT_TRUE(is_valid_time_of_day(23, 59, 59, 999));
  EXPECT_FALSE(is_valid_time_of_day(24, 0, 0));
  EXPECT_FALSE(is_valid_time_of_day(0, 60, 0));
  EXPECT_FALSE(is_valid_time_of_day(0, 0, 60));
  EXPECT_FALSE(is_valid_time_of_day(0, 0, 0, 1000));
  EXPECT_FALSE(is_valid_time_of_day(-1, 0, 0));
}

TEST(Calendar, TheEndsOfTheRangesAndTheirWeekdays) {
  // FILETIME's first day was a Monday; an OLE DATE's day 0 a Saturday.
  EXPECT_EQ(day_of_week(0), 1);
  EXPECT_EQ(day_of_week(kDateEpochDays), 6);
  EXPECT_EQ(day_of_week(kUnixEpochDays), 4);
  EXPECT_EQ(day_of_week(-1), 0);  // 1600-12-31, a Sunday
  EXPECT_EQ(day_of_week(days_from_civil(9999, 12, 31)), 5);

  EXPECT_EQ(civil_from_days(0), (Date{1601, 1, 1}));
  EXPECT_EQ(civil_from_days(-1), (Date{1600, 12, 31}));
  EXPECT_EQ(civil_from_days(kDateEpochDays), (Date{1899, 12, 30}));
  EXPECT_EQ(civil_from_days(days_from_civil(9999, 12, 31)), (Date{9999, 12, 31}));
  EXPECT_EQ(civil_from_days(days_from_civil(100, 1, 1)), (Date{100, 1, 1}));
  EXPECT_EQ(days_from_civil(9999, 12, 31), 3'067'670);
  EXPECT_EQ(days_from_civil(100, 1, 1), -548'229);
}

TEST(Calendar, EveryDayFromYear100To9999RoundTripsAndFollowsTheLast) {
  Date expected{100, 1, 1};
  for (std::int64_t day = days_from_civil(100, 1, 1); day <= days_from_civil(9999, 12, 31); ++day) {
    const Date date = civil_from_days(day);
    ASSERT_EQ(date, expected) << day;
    ASSERT_EQ(days_from_civil(date.year, date.month, date.day), day);
    // The next day by counting.
    if (++expected.day > days_in_month(expected.year, expected.month)) {
      expected.day = 1;
      if (++expected.month > 12) {
        expected.month = 1;
        ++expected.year;
      }
    }
  }
}

TEST(Calendar, TicksSplitIntoFieldsAndBackAlsoBefore1601) {
  EXPECT_EQ(ticks_from_civil(1601, 1, 1), 0);
  EXPECT_EQ(ticks_from_civil(1601, 1, 2, 0, 0, 0, 1), kTicksPerDay + kTicksPerMillisecond);
  EXPECT_EQ(ticks_from_civil(1899, 12, 30), kDateEpochDays * kTicksPerDay);

  const CivilTime t = civil_from_ticks(ticks_from_civil(2009, 4, 23, 10, 15, 30, 250) + 9'999);
  EXPECT_EQ(t.date, (Date{2009, 4, 23}));
  EXPECT_EQ(t.day_of_week, 4);
  EXPECT_EQ(t.hour, 10);
  EXPECT_EQ(t.minute, 15);
  EXPECT_EQ(t.second, 30);
  EXPECT_EQ(t.millisecond, 250);  // below the millisecond dropped

  // One tick before 1601 is the last millisecond of 1600-12-31.
  EXPECT_EQ(day_of(-1), -1);
  EXPECT_EQ(day_of(-kTicksPerDay), -1);
  EXPECT_EQ(day_of(-kTicksPerDay - 1), -2);
  const CivilTime before = civil_from_ticks(-1);
  EXPECT_EQ(before.date, (Date{1600, 12, 31}));
  EXPECT_EQ(before.hour, 23);
  EXPECT_EQ(before.minute, 59);
  EXPECT_EQ(before.second, 59);
  EXPECT_EQ(before.millisecond, 999);

  const std::int64_t last = ticks_from_civil(9999, 12, 31, 23, 59, 59, 999);
  const CivilTime end = civil_from_ticks(last);
  EXPECT_EQ(end.date, (Date{9999, 12, 31}));
  EXPECT_EQ(end.millisecond, 999);
  EXPECT_EQ(civil_from_ticks(last + kTicksPerMillisecond).date, (Date{10000, 1, 1}));
}

TEST(Calendar, FiletimeHalvesJoinIntoOneCount) {
  const FILETIME ft = filetime_from_ticks(0x0123456789ABCDEFULL);
  EXPECT_EQ(ft.dwHighDateTime, 0x01234567u);
  EXPECT_EQ(ft.dwLowDateTime, 0x89ABCDEFu);
  EXPECT_EQ(filetime_ticks(ft), 0x0123456789ABCDEFULL);
  EXPECT_EQ(filetime_ticks(filetime_from_ticks(~0ULL)), ~0ULL);
}

}  // namespace
