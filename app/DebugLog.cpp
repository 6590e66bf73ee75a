// The diagnostic log. Entries are written as UTF-8 with "\n" line ends, the
// host's text mode for wide stream output.
#include "app/DebugLog.h"

void WriteDebugLog(const WCHAR* pszText) {
  FILE* pFile = _wfopen(u"\\My Documents\\debugmsg.txt", u"a");
  if (pFile == NULL) return;
  fwprintf(pFile, u"%8x - %6d -- ", GetCurrentThreadId(), GetTickCount());
  if (pszText != NULL) fputws(pszText, pFile);
  fputws(u"\n", pFile);
  fclose(pFile);
}
