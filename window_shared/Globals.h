// Window state shared between the main window and the jobs.
//
// g_hInstance is written by the program entry; g_hMainWnd, g_szBackupFolder
// and g_hLabelBrush once by the dialog's initialisation, before any job can
// start, and only read afterwards (no lock). The thread handles are written
// by the window's thread when it starts a job and serve the busy check.
// g_hContactsDoneEvent orders the two backup jobs: the messages job shows
// the completion box only after the contacts job has set it.
#pragma once

#include "platform/core/windows.h"
#include "platform/gwes/gwes.h"

extern HINSTANCE g_hInstance;
extern HWND g_hMainWnd;
extern WCHAR g_szBackupFolder[MAX_PATH];
extern HBRUSH g_hLabelBrush;

extern HANDLE g_hContactsThread;
extern HANDLE g_hMessagesThread;
extern HANDLE g_hRestoreThread;
extern HANDLE g_hContactsDoneEvent;
