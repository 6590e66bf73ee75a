// The diagnostic log: one entry per call appended to
// "\My Documents\debugmsg.txt", prefixed with the thread id and tick count.
// The file is opened and closed on every call, so each entry is on storage
// before the call returns. Any thread may call it; a file that does not open
// is skipped silently.
#pragma once

#include "platform/core/windows.h"

void WriteDebugLog(const WCHAR* pszText);
