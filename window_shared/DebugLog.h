// The diagnostic log: one entry per call appended to
// "\My Documents\debugmsg.txt", prefixed with the thread id and tick count.
//
// Each entry is flushed to the file before the call returns, so the last
// line shows how far a walk got whatever happens to it later. Between
// OpenDebugLog and CloseDebugLog (the messages walk) the file stays open
// from one entry to the next instead of being opened for each one, and a
// file that does not open (no documents folder) is not tried again until
// CloseDebugLog; outside them every call opens and closes it. The log is bounded: when an entry
// would take the file past DEBUG_LOG_LIMIT bytes, the file becomes
// "\My Documents\debugmsg.old.txt" (replacing the older one) and a new log
// starts. Any thread may call these; a file that does not open is skipped
// silently.
#pragma once

#include "platform/core/windows.h"

#define DEBUG_LOG_LIMIT (1024 * 1024)

void WriteDebugLog(const WCHAR* pszText);
void OpenDebugLog();
void CloseDebugLog();
