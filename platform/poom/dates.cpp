// Date conversions of the contact store. All arithmetic is on whole days and
// milliseconds so that a date survives DATE -> FILETIME -> DATE unchanged.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/poom/props.h"

namespace vardel::poom {
namespace {

constexpr std::int64_t kTicksPerMs = 10'000;
constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kTicksPerDay = kTicksPerMs * kMsPerDay;
// Days from 1601-01-01 (FILETIME's epoch) to 1899-12-30 (DATE's epoch).
constexpr std::int64_t kDateEpochDays = 109'205;
// The DATE range the phone accepts: 0100-01-01 .. 9999-12-31.
constexpr double kMinDate = -657'434.0;
constexpr double kMaxDate = 2'958'466.0;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, std::int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<std::int64_t>(yoe) + era * 400 + (*m <= 2);
}

// 1601-01-01 as days since 1970-01-01.
constexpr std::int64_t kFiletimeEpochFromUnix = -134'774;

bool leap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned days_in_month(std::int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

bool is_contact_tag(CEPROPID tag) { return is_text_tag(tag) || is_date_tag(tag); }

bool date_to_ticks(DATE date, std::int64_t* ticks) {
  if (!std::isfinite(date) || date < kMinDate || date >= kMaxDate) return false;
  // The whole part counts days from the epoch; the fraction is the time of
  // that day whatever the sign (-1.25 is 1899-12-29 06:00).
  double whole = std::trunc(date);
  std::int64_t day = static_cast<std::int64_t>(whole);
  std::int64_t ms = std::llround(std::fabs(date - whole) * static_cast<double>(kMsPerDay));
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    day += day < 0 ? -1 : 1;
  }
  *ticks = (day + kDateEpochDays) * kTicksPerDay + ms * kTicksPerMs;
  return true;
}

bool ticks_to_date(std::int64_t ticks, DATE* date) {
  const std::int64_t day = floor_div(ticks, kTicksPerDay) - kDateEpochDays;
  const std::int64_t ms = (ticks - floor_div(ticks, kTicksPerDay) * kTicksPerDay) / kTicksPerMs;
  const double frac = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
  const double d = day < 0 ? static_cast<double>(day) - frac : static_cast<double>(day) + frac;
  if (d < kMinDate || d >= kMaxDate) return false;
  *date = d;
  return true;
}

bool system_time_to_date(const SYSTEMTIME& st, DATE* date) {
  if (st.wYear < 100 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > days_in_month(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
      st.wSecond > 59)
    return false;
  const std::int64_t days = days_from_civil(st.wYear, st.wMonth, st.wDay) - kFiletimeEpochFromUnix;
  const std::int64_t ms = (st.wHour * 3600 + st.wMinute * 60 + st.wSecond) * 1000;
  return ticks_to_date(days * kTicksPerDay + ms * kTicksPerMs, date);
}

bool date_to_system_time(DATE date, SYSTEMTIME* st) {
  std::int64_t ticks = 0;
  if (!date_to_ticks(date, &ticks)) return false;
  const std::int64_t days = floor_div(ticks, kTicksPerDay);
  std::int64_t ms = (ticks - days * kTicksPerDay) / kTicksPerMs;
  std::int64_t y = 0;
  unsigned m = 0, d = 0;
  civil_from_days(days + kFiletimeEpochFromUnix, &y, &m, &d);
  st->wYear = static_cast<WORD>(y);
  st->wMonth = static_cast<WORD>(m);
  st->wDay = static_cast<WORD>(d);
  // 1601-01-01 was a Monday.
  st->wDayOfWeek = static_cast<WORD>((days % 7 + 7 + 1) % 7);
  st->wHour = static_cast<WORD>(ms / 3'600'000);
  ms %= 3'600'000;
  st->wMinute = static_cast<WORD>(ms / 60'000);
  ms %= 60'000;
  st->wSecond = static_cast<WORD>(ms / 1000);
  st->wMilliseconds = 0;
  return true;
}

std::string ticks_to_iso(std::int64_t ticks) {
  const std::int64_t days = floor_div(ticks, kTicksPerDay);
  const std::int64_t secs = (ticks - days * kTicksPerDay) / (kTicksPerMs * 1000);
  std::int64_t y = 0;
  unsigned m = 0, d = 0;
  civil_from_days(days + kFiletimeEpochFromUnix, &y, &m, &d);
  char buf[48];
  if (secs == 0)
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
  else
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02u:%02u:%02u", static_cast<long long>(y), m,
                  d, static_cast<unsigned>(secs / 3600), static_cast<unsigned>(secs / 60 % 60),
                  static_cast<unsigned>(secs % 60));
  return buf;
}

std::optional<std::int64_t> iso_to_ticks(std::string_view text) {
  auto number = [&](std::size_t pos, std::size_t len, unsigned* out) {
    if (pos + len > text.size()) return false;
    for (std::size_t i = pos; i < pos + len; ++i)
      if (text[i] < '0' || text[i] > '9') return false;
    std::from_chars(text.data() + pos, text.data() + pos + len, *out);
    return true;
  };
  unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (!number(0, 4, &y) || text.size() < 10 || text[4] != '-' || !number(5, 2, &mo) ||
      text[7] != '-' || !number(8, 2, &d))
    return std::nullopt;
  std::size_t pos = 10;
  if (pos < text.size() && (text[pos] == 'T' || text[pos] == ' ')) {
    if (!number(pos + 1, 2, &h) || text.size() < pos + 9 || text[pos + 3] != ':' ||
        !number(pos + 4, 2, &mi) || text[pos + 6] != ':' || !number(pos + 7, 2, &s))
      return std::nullopt;
    pos += 9;
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      std::size_t digits = 0;
      while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos, ++digits;
      if (digits == 0) return std::nullopt;
    }
    if (pos < text.size() && text[pos] == 'Z') ++pos;
  }
  if (pos != text.size()) return std::nullopt;
  if (y < 100 || mo < 1 || mo > 12 || d < 1 || d > days_in_month(y, mo) || h > 23 || mi > 59 ||
      s > 59)
    return std::nullopt;
  const std::int64_t days = days_from_civil(y, mo, d) - kFiletimeEpochFromUnix;
  return days * kTicksPerDay +
         static_cast<std::int64_t>(h * 3600 + mi * 60 + s) * 1000 * kTicksPerMs;
}

}  // namespace vardel::poom
