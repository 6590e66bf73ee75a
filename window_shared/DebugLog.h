// The diagnostic log: one entry per call appended to
// "\My Documents\debugmsg.txt", prefixed with the thread id and tick count.
//
// Outside OpenDebugLog and CloseDebugLog every call opens the file, writes
// its entry and closes it. Between them (the messages walk) the file stays
// open from one entry to the next, entries reach the file at the latest 20 ms
// after they were written (so the last line shows how far a walk got when it
// hangs; a process killed outright may lose the entries of its last 20 ms),
// all of them by CloseDebugLog, and a file that does not open (no documents
// folder) is not tried again until CloseDebugLog. The log is bounded: when an entry
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
