// Date texts of the contacts file and their conversion to a FILETIME.
//
// Our own backups never write the two date elements (BIRTHDAY, ANNIVERSARY);
// they come from files made by other tools, so the restore accepts the forms
// such tools write and refuses everything else:
//
//   1980-05-17                      ISO 8601 calendar date
//   1980-05-17T08:30                ... with a time (hours and minutes),
//   1980-05-17T08:30:15             ... seconds,
//   1980-05-17T08:30:15.250         ... and a fraction of a second
//                                   (a space may stand in for the "T")
//   1980-05-17T08:30:15Z            ... any of the above with a zone:
//   1980-05-17T08:30+08:00          "Z", "+hh", "-hh", "+hhmm" or "+hh:mm"
//   1980-5-7                        this program's own "%d-%d-%d" form
//                                   (month and day without leading zeros)
//
// Spaces, tabs and line breaks around the text are ignored. The date and
// time are taken as written: a zone is checked but not applied, so a
// birthday never moves to the neighbouring day. Years 1601 to 9999; the day
// must exist in its month (29 February only in leap years); hours 0-23,
// minutes and seconds 0-59. Anything else is not a date, and the property is
// then left unset rather than set to a wrong day.
#pragma once

#include "platform/core/types.h"

// 1 and the FILETIME (100-ns intervals since 1601-01-01, no zone applied)
// when text is one of the forms above; 0 and *pft untouched otherwise.
int DateTextToFileTime(const WCHAR* text, FILETIME* pft);
