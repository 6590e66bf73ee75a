// Time conversion, with the host's time zone set through TZ, and the clock
// behind the time functions.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <optional>
#include <string>

#include "platform/core/calendar.h"
#include "platform/core/clock.h"
#include "platform/core/windows.h"

namespace {

// Sets TZ for one test and puts the old value back.
class ZoneScope {
 public:
  explicit ZoneScope(const char* tz) {
    if (const char* old = getenv("TZ")) old_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ZoneScope() {
    if (old_)
      setenv("TZ", old_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

FILETIME utc(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s = 0, WORD ms = 0) {
  SYSTEMTIME st = {y, mo, 0, d, h, mi, s, ms};
  FILETIME ft{};
  EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
  return ft;
}

SYSTEMTIME local_of(const FILETIME& ft) {
  FILETIME local{};
  EXPECT_TRUE(FileTimeToLocalFileTime(&ft, &local));
  SYSTEMTIME st{};
  EXPECT_TRUE(FileTimeToSystemTime(&local, &st));
  return st;
}

std::string show(const SYSTEMTIME& st) {
  char buf[64];
  snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d dow%d", st.wYear, st.wMonth,
           st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek);
  return buf;
}

}  // namespace

TEST(Time, SystemTimeAndFileTimeRoundTrip) {
  FILETIME epoch1601 = utc(1601, 1, 1, 0, 0);
  EXPECT_EQ(epoch1601.dwLowDateTime, 0u);
  EXPECT_EQ(epoch1601.dwHighDateTime, 0u);
  // 1970-01-01 is 116444736000000000 ticks after 1601.
  FILETIME unix_epoch = utc(1970, 1, 1, 0, 0);
  EXPECT_EQ((ULONGLONG)unix_epoch.dwHighDateTime << 32 | unix_epoch.dwLowDateTime,
            116444736000000000ull);

  for (SYSTEMTIME st :
       {SYSTEMTIME{2009, 3, 0, 29, 1, 59, 59, 999}, SYSTEMTIME{2000, 2, 2, 29, 12, 0, 0, 0},
        SYSTEMTIME{2038, 1, 2, 19, 3, 14, 8, 0}, SYSTEMTIME{1601, 1, 1, 1, 0, 0, 0, 1},
        SYSTEMTIME{30827, 12, 5, 31, 23, 59, 59, 999}}) {
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft)) << show(st);
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(show(back), show(st));
  }
  // Days of the week: 2009-03-29 was a Sunday, 2000-02-29 a Tuesday.
  SYSTEMTIME back;
  FILETIME ft = utc(2009, 3, 29, 12, 0);
  FileTimeToSystemTime(&ft, &back);
  EXPECT_EQ(back.wDayOfWeek, 0);

  // Impossible dates are refused.
  for (SYSTEMTIME bad :
       {SYSTEMTIME{2009, 2, 0, 29, 0, 0, 0, 0}, SYSTEMTIME{1900, 2, 0, 29, 0, 0, 0, 0},
        SYSTEMTIME{2009, 13, 0, 1, 0, 0, 0, 0}, SYSTEMTIME{2009, 1, 0, 0, 0, 0, 0, 0},
        SYSTEMTIME{2009, 1, 0, 1, 24, 0, 0, 0}, SYSTEMTIME{1600, 12, 0, 31, 0, 0, 0, 0},
        SYSTEMTIME{2009, 1, 0, 1, 0, 0, 0, 1000}}) {
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft)) << show(bad);
  }
  FILETIME huge{0, 0x80000000u};
  EXPECT_FALSE(FileTimeToSystemTime(&huge, &back));
}

TEST(Time, LocalTimeUsesTheOffsetInForceAtEachInstant) {
  ZoneScope tz("Europe/Berlin");
  // Berlin went from UTC+1 to UTC+2 at 01:00 UTC on 2009-03-29 and back at
  // 01:00 UTC on 2009-10-25.
  EXPECT_EQ(show(local_of(utc(2009, 3, 29, 0, 59, 59, 500))), "2009-03-29 01:59:59.500 dow0");
  EXPECT_EQ(show(local_of(utc(2009, 3, 29, 1, 0))), "2009-03-29 03:00:00.000 dow0");
  EXPECT_EQ(show(local_of(utc(2009, 10, 25, 0, 30))), "2009-10-25 02:30:00.000 dow0");
  EXPECT_EQ(show(local_of(utc(2009, 10, 25, 1, 30))), "2009-10-25 02:30:00.000 dow0");
  EXPECT_EQ(show(local_of(utc(2009, 1, 15, 23, 30))), "2009-01-16 00:30:00.000 dow5");

  // And back: a local time in summer goes back with two hours.
  FILETIME local = utc(2009, 7, 1, 12, 0), back;
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
  SYSTEMTIME st;
  FileTimeToSystemTime(&back, &st);
  EXPECT_EQ(show(st), "2009-07-01 10:00:00.000 dow3");
}

TEST(Time, TzChangesAreHonoured) {
  FILETIME noon = utc(2009, 6, 1, 12, 0);
  {
    ZoneScope tz("Asia/Shanghai");
    EXPECT_EQ(local_of(noon).wHour, 20);
  }
  {
    ZoneScope tz("America/New_York");
    EXPECT_EQ(local_of(noon).wHour, 8);
  }
  {
    ZoneScope tz("UTC");
    EXPECT_EQ(local_of(noon).wHour, 12);
  }
}

TEST(Clock, AFixedClockIsWhatEveryTimeFunctionReads) {
  const FILETIME at = utc(2009, 4, 23, 23, 59, 59, 250);
  vardel::clock::FixedScope clock({vardel::calendar::filetime_ticks(at), 12'345, 0});
  SYSTEMTIME st;
  GetSystemTime(&st);
  EXPECT_EQ(show(st), "2009-04-23 23:59:59.250 dow4");
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  EXPECT_EQ(vardel::calendar::filetime_ticks(now), vardel::calendar::filetime_ticks(at));
  {
    ZoneScope tz("Asia/Shanghai");  // UTC+8: already the next day
    GetLocalTime(&st);
    EXPECT_EQ(show(st), "2009-04-24 07:59:59.250 dow5");
  }
  {
    ZoneScope tz("UTC");
    GetLocalTime(&st);
    EXPECT_EQ(show(st), "2009-04-23 23:59:59.250 dow4");
  }
  // It stands still however often it is read.
  EXPECT_EQ(GetTickCount(), 12'345u);
  EXPECT_EQ(GetTickCount(), 12'345u);
}

TEST(Clock, ASteppingClockMovesOnOneStepPerReadingAndTheTickCountWraps) {
  const FILETIME at = utc(2009, 12, 31, 23, 59, 59, 998);
  vardel::clock::FixedScope clock({vardel::calendar::filetime_ticks(at), 0xFFFFFFFEu, 1});
  EXPECT_EQ(GetTickCount(), 0xFFFFFFFEu);
  EXPECT_EQ(GetTickCount(), 0xFFFFFFFFu);
  EXPECT_EQ(GetTickCount(), 0u);  // wraps after 49.7 days, as on the phone
  // Three readings moved the date on too: it is now the new year.
  SYSTEMTIME st;
  GetSystemTime(&st);
  EXPECT_EQ(show(st), "2010-01-01 00:00:00.001 dow5");
  GetSystemTime(&st);
  EXPECT_EQ(st.wMilliseconds, 2);
}

TEST(Clock, TheHostClockIsBackWhenTheScopeEnds) {
  { vardel::clock::FixedScope clock({0, 0, 0}); }
  SYSTEMTIME st;
  GetSystemTime(&st);
  EXPECT_GE(st.wYear, 2024);
}

TEST(Clock, TheHostTickCountCountsMilliseconds) {
  using std::chrono::steady_clock;
  const auto t0 = steady_clock::now();
  DWORD a = GetTickCount();
  Sleep(30);
  DWORD b = GetTickCount();
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - t0).count();
  // Sleep waits at least its time; the tick count saw no more than passed
  // around it (a count in other units would be far off either way).
  EXPECT_GE(b - a, 29u);
  EXPECT_LE(b - a, static_cast<DWORD>(elapsed) + 1);
}
