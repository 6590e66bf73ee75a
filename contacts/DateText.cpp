// Date texts of the contacts file: see DateText.h for the accepted forms.
#include "contacts/DateText.h"

namespace {

// Reads 1..maxDigits decimal digits at *pp; 0 when none.
int ReadNumber(const WCHAR** pp, int minDigits, int maxDigits, int* pValue) {
  const WCHAR* p = *pp;
  int value = 0;
  int digits = 0;
  while (digits < maxDigits && *p >= u'0' && *p <= u'9') {
    value = value * 10 + (*p - u'0');
    ++p;
    ++digits;
  }
  if (digits < minDigits) return 0;
  if (*p >= u'0' && *p <= u'9') return 0;  // more digits than the field holds
  *pp = p;
  *pValue = value;
  return 1;
}

int IsBlank(WCHAR c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

int IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1601-01-01 to the given date.
long long DaysSince1601(int year, int month, int day) {
  long long y = year - 1601;
  long long days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day - 1;
}

// Two digits at p (more may follow, as in "+0800").
int ReadTwoDigits(const WCHAR* p, int* pValue) {
  if (!(p[0] >= u'0' && p[0] <= u'9' && p[1] >= u'0' && p[1] <= u'9')) return 0;
  *pValue = (p[0] - u'0') * 10 + (p[1] - u'0');
  return 1;
}

// The zone designator: "Z", "+hh", "+hhmm", "+hh:mm" (or "-").
int ReadZone(const WCHAR** pp) {
  const WCHAR* p = *pp;
  if (*p == u'Z') {
    *pp = p + 1;
    return 1;
  }
  if (*p != u'+' && *p != u'-') return 0;
  ++p;
  int hours = 0;
  int minutes = 0;
  if (!ReadTwoDigits(p, &hours) || hours > 23) return 0;
  p += 2;
  if (*p == u':') ++p;
  if (*p >= u'0' && *p <= u'9') {
    if (!ReadTwoDigits(p, &minutes) || minutes > 59) return 0;
    p += 2;
  } else if (p[-1] == u':') {
    return 0;
  }
  if (*p >= u'0' && *p <= u'9') return 0;
  *pp = p;
  return 1;
}

}  // namespace

int DateTextToFileTime(const WCHAR* text, FILETIME* pft) {
  if (text == nullptr || pft == nullptr) return 0;
  const WCHAR* p = text;
  while (IsBlank(*p)) ++p;

  int year = 0, month = 0, day = 0;
  if (!ReadNumber(&p, 4, 4, &year) || *p++ != u'-') return 0;
  if (!ReadNumber(&p, 1, 2, &month) || *p++ != u'-') return 0;
  if (!ReadNumber(&p, 1, 2, &day)) return 0;
  if (year < 1601 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return 0;

  int hour = 0, minute = 0, second = 0, millis = 0;
  if ((*p == u'T' || *p == u't' || *p == u' ') && p[1] >= u'0' && p[1] <= u'9') {
    ++p;
    if (!ReadNumber(&p, 2, 2, &hour) || *p++ != u':') return 0;
    if (!ReadNumber(&p, 2, 2, &minute)) return 0;
    if (*p == u':') {
      ++p;
      if (!ReadNumber(&p, 2, 2, &second)) return 0;
      if (*p == u'.' || *p == u',') {
        ++p;
        if (!(*p >= u'0' && *p <= u'9')) return 0;
        // Milliseconds from the first three digits; the rest only counts as
        // part of the form.
        int scale = 100;
        while (*p >= u'0' && *p <= u'9') {
          millis += (*p - u'0') * scale;
          scale /= 10;
          ++p;
        }
      }
    }
    if (hour > 23 || minute > 59 || second > 59) return 0;
    if (*p == u'Z' || *p == u'+' || *p == u'-') {
      if (!ReadZone(&p)) return 0;
    }
  }
  while (IsBlank(*p)) ++p;
  if (*p != 0) return 0;

  unsigned long long ticks = static_cast<unsigned long long>(DaysSince1601(year, month, day));
  ticks = ticks * 86400ULL + static_cast<unsigned long long>(hour * 3600 + minute * 60 + second);
  ticks = ticks * 10000000ULL + static_cast<unsigned long long>(millis) * 10000ULL;
  pft->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  pft->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return 1;
}
