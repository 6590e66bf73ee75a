// Texts and dates between libgammu and the device's stores.
#include "host/phone/gammu_text.h"

#include <ctime>

#include "platform/mapi/message_db.h"

namespace vardel::phone {

std::u16string from_gammu(const unsigned char* text) {
  std::u16string out;
  if (text == nullptr) return out;
  for (std::size_t i = 0; text[i] != 0 || text[i + 1] != 0; i += 2)
    out.push_back(static_cast<char16_t>((text[i] << 8) | text[i + 1]));
  return out;
}

bool to_gammu(std::u16string_view text, unsigned char* dest, std::size_t limit) {
  if (text.size() > limit) return false;
  std::size_t i = 0;
  for (char16_t c : text) {
    dest[i++] = static_cast<unsigned char>(c >> 8);
    dest[i++] = static_cast<unsigned char>(c & 0xFF);
  }
  dest[i] = dest[i + 1] = 0;
  return true;
}

namespace {

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool valid_day(int y, int m, int d) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1601 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  return d <= kDays[m - 1] + (m == 2 && leap(y) ? 1 : 0);
}

int digits(std::u16string_view s, std::size_t at, std::size_t n) {
  int v = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (i >= s.size() || s[i] < u'0' || s[i] > u'9') return -1;
    v = v * 10 + (s[i] - u'0');
  }
  return v;
}

}  // namespace

std::optional<std::u16string> iso_date(const GSM_DateTime& date) {
  if (!valid_day(date.Year, date.Month, date.Day)) return std::nullopt;
  char text[40];  // room for any int, though valid_day keeps them short
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.Year, date.Month, date.Day);
  return std::u16string(text, text + 10);
}

std::optional<GSM_DateTime> gammu_date(std::u16string_view iso) {
  if (iso.size() < 10 || iso[4] != u'-' || iso[7] != u'-') return std::nullopt;
  const int y = digits(iso, 0, 4), m = digits(iso, 5, 2), d = digits(iso, 8, 2);
  if (!valid_day(y, m, d)) return std::nullopt;
  GSM_DateTime out{};
  out.Year = y;
  out.Month = m;
  out.Day = d;
  return out;
}

std::optional<FILETIME> local_time_to_utc(const GSM_DateTime& date) {
  if (!valid_day(date.Year, date.Month, date.Day) || date.Year < 1970 || date.Hour < 0 ||
      date.Hour > 23 || date.Minute < 0 || date.Minute > 59 || date.Second < 0 || date.Second > 60)
    return std::nullopt;
  std::tm tm{};
  tm.tm_year = date.Year - 1900;
  tm.tm_mon = date.Month - 1;
  tm.tm_mday = date.Day;
  tm.tm_hour = date.Hour;
  tm.tm_min = date.Minute;
  tm.tm_sec = date.Second;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ULL;
  return mapi::filetime_from_ticks(kUnixEpochTicks + static_cast<std::uint64_t>(t) * 10000000ULL);
}

}  // namespace vardel::phone
