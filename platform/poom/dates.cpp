// Date conversions of the contact store. All arithmetic is on whole days and
// milliseconds so that a date survives DATE -> FILETIME -> DATE unchanged.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/core/calendar.h"
#include "platform/poom/props.h"

namespace vardel::poom {
namespace {

using calendar::kTicksPerDay;
using calendar::kTicksPerMillisecond;

constexpr std::int64_t kMsPerDay = 86'400'000;
// The DATE range the phone accepts: 0100-01-01 .. 9999-12-31.
constexpr double kMinDate = -657'434.0;
constexpr double kMaxDate = 2'958'466.0;
constexpr int kMinYear = 100;
constexpr int kMaxYear = 9999;

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
  *ticks = (day + calendar::kDateEpochDays) * kTicksPerDay + ms * kTicksPerMillisecond;
  return true;
}

bool ticks_to_date(std::int64_t ticks, DATE* date) {
  const std::int64_t days = calendar::day_of(ticks);
  const std::int64_t day = days - calendar::kDateEpochDays;
  const std::int64_t ms = (ticks - days * kTicksPerDay) / kTicksPerMillisecond;
  const double frac = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
  const double d = day < 0 ? static_cast<double>(day) - frac : static_cast<double>(day) + frac;
  if (d < kMinDate || d >= kMaxDate) return false;
  *date = d;
  return true;
}

bool system_time_to_date(const SYSTEMTIME& st, DATE* date) {
  if (st.wYear < kMinYear || st.wYear > kMaxYear ||
      !calendar::is_valid_date(st.wYear, st.wMonth, st.wDay) ||
      !calendar::is_valid_time_of_day(st.wHour, st.wMinute, st.wSecond))
    return false;
  return ticks_to_date(
      calendar::ticks_from_civil(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond),
      date);
}

bool date_to_system_time(DATE date, SYSTEMTIME* st) {
  std::int64_t ticks = 0;
  if (!date_to_ticks(date, &ticks)) return false;
  *st = calendar::system_time_of(calendar::civil_from_ticks(ticks));
  st->wMilliseconds = 0;  // dropped, as the phone's conversion does
  return true;
}

std::string ticks_to_iso(std::int64_t ticks) {
  const calendar::CivilTime t = calendar::civil_from_ticks(ticks);
  const auto y = static_cast<long long>(t.date.year);
  char buf[48];
  if (t.hour == 0 && t.minute == 0 && t.second == 0)
    std::snprintf(buf, sizeof buf, "%04lld-%02d-%02d", y, t.date.month, t.date.day);
  else
    std::snprintf(buf, sizeof buf, "%04lld-%02d-%02dT%02d:%02d:%02d", y, t.date.month, t.date.day,
                  t.hour, t.minute, t.second);
  return buf;
}

std::optional<std::int64_t> iso_to_ticks(std::string_view text) {
  auto number = [&](std::size_t pos, std::size_t len, int* out) {
    if (pos + len > text.size()) return false;
    for (std::size_t i = pos; i < pos + len; ++i)
      if (text[i] < '0' || text[i] > '9') return false;
    std::from_chars(text.data() + pos, text.data() + pos + len, *out);
    return true;
  };
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
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
  if (y < kMinYear || !calendar::is_valid_date(y, mo, d) ||
      !calendar::is_valid_time_of_day(h, mi, s))
    return std::nullopt;
  return calendar::ticks_from_civil(y, mo, d, h, mi, s);
}

}  // namespace vardel::poom
