// Time: the tick count, the clock, and FILETIME <-> SYSTEMTIME conversion.
//
// Local time is the host's time zone (TZ honoured and re-read when it
// changes); each conversion uses the offset in force at the instant it
// converts, so a time on the far side of a daylight-saving change gets that
// side's offset.
#include <time.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "platform/core/last_error.h"

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kEpochDelta = 11'644'473'600;  // seconds from 1601 to 1970

std::uint64_t ticks_of(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME filetime_of(std::uint64_t ticks) {
  return {static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian), and back.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

bool leap(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned days_in_month(unsigned y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

// The C library's zone state is shared by every thread: conversions hold
// this lock, and the zone is re-read only when TZ has changed since the last
// conversion.
std::unique_lock<std::mutex> zone_lock() {
  static std::mutex mu;
  static bool read = false;                // the zone has been read once
  static std::optional<std::string> last;  // TZ then (nothing: unset)
  std::unique_lock lock(mu);
  const char* tz = std::getenv("TZ");
  std::optional<std::string> now = tz ? std::optional<std::string>(tz) : std::nullopt;
  if (!read || now != last) {
    ::tzset();
    last = std::move(now);
    read = true;
  }
  return lock;
}

// The host's UTC offset, in seconds, at the UTC instant t.
long utc_offset_at(time_t t) {
  auto lock = zone_lock();
  struct tm tm;
  if (!::localtime_r(&t, &tm)) return 0;
  return tm.tm_gmtoff;
}

std::uint64_t now_ticks() {
  struct timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<std::uint64_t>((ts.tv_sec + kEpochDelta) * kTicksPerSecond + ts.tv_nsec / 100);
}

}  // namespace

DWORD GetTickCount() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  // Wraps after 49.7 days, as on the phone.
  return static_cast<DWORD>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                            static_cast<std::uint64_t>(ts.tv_nsec) / 1'000'000u);
}

void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  if (lpSystemTimeAsFileTime) *lpSystemTimeAsFileTime = filetime_of(now_ticks());
}

void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime) return;
  FILETIME ft = filetime_of(now_ticks());
  FileTimeToSystemTime(&ft, lpSystemTime);
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime) return;
  FILETIME utc = filetime_of(now_ticks()), local;
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, lpSystemTime);
}

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
  if (!lpFileTime || !lpLocalFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::uint64_t ticks = ticks_of(*lpFileTime);
  auto secs = static_cast<time_t>(static_cast<std::int64_t>(ticks / kTicksPerSecond) - kEpochDelta);
  std::int64_t shifted = static_cast<std::int64_t>(ticks) + utc_offset_at(secs) * kTicksPerSecond;
  if (shifted < 0) shifted = 0;
  *lpLocalFileTime = filetime_of(static_cast<std::uint64_t>(shifted));
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime) {
  if (!lpLocalFileTime || !lpFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::uint64_t ticks = ticks_of(*lpLocalFileTime);
  auto local_secs = static_cast<std::int64_t>(ticks / kTicksPerSecond) - kEpochDelta;
  std::int64_t days = local_secs >= 0 ? local_secs / 86400 : (local_secs - 86399) / 86400;
  std::int64_t y;
  unsigned m, d;
  civil_from_days(days, y, m, d);
  std::int64_t sod = local_secs - days * 86400;
  struct tm tm = {};
  tm.tm_year = static_cast<int>(y - 1900);
  tm.tm_mon = static_cast<int>(m) - 1;
  tm.tm_mday = static_cast<int>(d);
  tm.tm_hour = static_cast<int>(sod / 3600);
  tm.tm_min = static_cast<int>(sod / 60 % 60);
  tm.tm_sec = static_cast<int>(sod % 60);
  tm.tm_isdst = -1;
  time_t utc;
  {
    auto lock = zone_lock();
    utc = ::mktime(&tm);
  }
  std::int64_t out = (static_cast<std::int64_t>(utc) + kEpochDelta) * kTicksPerSecond +
                     static_cast<std::int64_t>(ticks % kTicksPerSecond);
  if (out < 0) out = 0;
  *lpFileTime = filetime_of(static_cast<std::uint64_t>(out));
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  if (!lpFileTime || !lpSystemTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::uint64_t ticks = ticks_of(*lpFileTime);
  if (ticks >> 63) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto secs = static_cast<std::int64_t>(ticks / kTicksPerSecond);
  std::int64_t days = secs / 86400;  // since 1601-01-01, never negative here
  std::int64_t sod = secs % 86400;
  std::int64_t y;
  unsigned m, d;
  civil_from_days(days + days_from_civil(1601, 1, 1), y, m, d);
  lpSystemTime->wYear = static_cast<WORD>(y);
  lpSystemTime->wMonth = static_cast<WORD>(m);
  lpSystemTime->wDay = static_cast<WORD>(d);
  lpSystemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  lpSystemTime->wHour = static_cast<WORD>(sod / 3600);
  lpSystemTime->wMinute = static_cast<WORD>(sod / 60 % 60);
  lpSystemTime->wSecond = static_cast<WORD>(sod % 60);
  lpSystemTime->wMilliseconds = static_cast<WORD>(ticks % kTicksPerSecond / 10'000);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
  if (!lpSystemTime || !lpFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const SYSTEMTIME& st = *lpSystemTime;
  if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > days_in_month(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
      st.wSecond > 59 || st.wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::int64_t days = days_from_civil(st.wYear, st.wMonth, st.wDay) - days_from_civil(1601, 1, 1);
  std::int64_t secs = days * 86400 + st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
  *lpFileTime =
      filetime_of(static_cast<std::uint64_t>(secs * kTicksPerSecond + st.wMilliseconds * 10'000));
  return TRUE;
}
