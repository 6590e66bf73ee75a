// Date texts of the contacts file: see DateText.h for the accepted forms.
#include "contacts/DateText.h"

#include "platform/core/windows.h"

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
    if (*p == u'Z' || *p == u'+' || *p == u'-') {
      if (!ReadZone(&p)) return 0;
    }
  }
  while (IsBlank(*p)) ++p;
  if (*p != 0) return 0;

  // SystemTimeToFileTime refuses a year before 1601, a day its month does
  // not have and a time past 23:59:59, and then leaves *pft alone.
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  st.wMinute = static_cast<WORD>(minute);
  st.wSecond = static_cast<WORD>(second);
  st.wMilliseconds = static_cast<WORD>(millis);
  return SystemTimeToFileTime(&st, pft) ? 1 : 0;
}
