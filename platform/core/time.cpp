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

#include "platform/core/calendar.h"
#include "platform/core/clock.h"
#include "platform/core/last_error.h"

namespace {

using vardel::calendar::filetime_from_ticks;
using vardel::calendar::filetime_ticks;
using vardel::calendar::kTicksPerSecond;

constexpr std::int64_t kEpochDelta = vardel::calendar::kUnixEpochDays * 86'400;  // 1601 to 1970

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

}  // namespace

// The clock behind these is vardel::clock: the host's, or a fixed one a
// test has set.
DWORD GetTickCount() { return vardel::clock::tick_count(); }

void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  if (lpSystemTimeAsFileTime)
    *lpSystemTimeAsFileTime = filetime_from_ticks(vardel::clock::utc_ticks());
}

void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime) return;
  FILETIME ft = filetime_from_ticks(vardel::clock::utc_ticks());
  FileTimeToSystemTime(&ft, lpSystemTime);
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime) return;
  FILETIME utc = filetime_from_ticks(vardel::clock::utc_ticks()), local;
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, lpSystemTime);
}

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
  if (!lpFileTime || !lpLocalFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::uint64_t ticks = filetime_ticks(*lpFileTime);
  auto secs = static_cast<time_t>(static_cast<std::int64_t>(ticks / kTicksPerSecond) - kEpochDelta);
  std::int64_t shifted = static_cast<std::int64_t>(ticks) + utc_offset_at(secs) * kTicksPerSecond;
  if (shifted < 0) shifted = 0;
  *lpLocalFileTime = filetime_from_ticks(static_cast<std::uint64_t>(shifted));
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime) {
  if (!lpLocalFileTime || !lpFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::uint64_t ticks = filetime_ticks(*lpLocalFileTime);
  const auto local = vardel::calendar::civil_from_ticks(static_cast<std::int64_t>(ticks));
  struct tm tm = {};
  tm.tm_year = static_cast<int>(local.date.year - 1900);
  tm.tm_mon = local.date.month - 1;
  tm.tm_mday = local.date.day;
  tm.tm_hour = local.hour;
  tm.tm_min = local.minute;
  tm.tm_sec = local.second;
  tm.tm_isdst = -1;
  time_t utc;
  {
    auto lock = zone_lock();
    utc = ::mktime(&tm);
  }
  std::int64_t out = (static_cast<std::int64_t>(utc) + kEpochDelta) * kTicksPerSecond +
                     static_cast<std::int64_t>(ticks % kTicksPerSecond);
  if (out < 0) out = 0;
  *lpFileTime = filetime_from_ticks(static_cast<std::uint64_t>(out));
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  if (!lpFileTime || !lpSystemTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::uint64_t ticks = filetime_ticks(*lpFileTime);
  if (ticks >> 63) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpSystemTime = vardel::calendar::system_time_of(
      vardel::calendar::civil_from_ticks(static_cast<std::int64_t>(ticks)));
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
  if (!lpSystemTime || !lpFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const SYSTEMTIME& st = *lpSystemTime;
  if (st.wYear < 1601 || st.wYear > 30827 ||
      !vardel::calendar::is_valid_date(st.wYear, st.wMonth, st.wDay) ||
      !vardel::calendar::is_valid_time_of_day(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpFileTime = filetime_from_ticks(static_cast<std::uint64_t>(vardel::calendar::ticks_from_civil(
      st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds)));
  return TRUE;
}
