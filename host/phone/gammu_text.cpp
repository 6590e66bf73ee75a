// Texts and dates between libgammu and the device's stores.
#include "host/phone/gammu_text.h"

#include <cstdio>

#include "platform/core/calendar.h"
#include "platform/core/windows.h"

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

bool valid_day(int y, int m, int d) {
  return y >= 1601 && y <= 9999 && calendar::is_valid_date(y, m, d);
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
  if (!valid_day(date.Year, date.Month, date.Day) ||
      !calendar::is_valid_time_of_day(date.Hour, date.Minute, date.Second))
    return std::nullopt;
  // The same conversion the program's own local times go through, so a
  // backup shows the time the phone showed.
  const FILETIME local =
      calendar::filetime_from_ticks(static_cast<std::uint64_t>(calendar::ticks_from_civil(
          date.Year, date.Month, date.Day, date.Hour, date.Minute, date.Second)));
  FILETIME utc{};
  if (!LocalFileTimeToFileTime(&local, &utc)) return std::nullopt;
  return utc;
}

}  // namespace vardel::phone
