// The window state shared with the jobs (see Globals.h). Kept apart from the
// window's code so that a library that only reads g_hMainWnd links alone.
#include "window_shared/Globals.h"

HINSTANCE g_hInstance = NULL;
HWND g_hMainWnd = NULL;
WCHAR g_szBackupFolder[MAX_PATH];
HBRUSH g_hLabelBrush = NULL;
HANDLE g_hContactsThread = NULL;
HANDLE g_hMessagesThread = NULL;
HANDLE g_hRestoreThread = NULL;
HANDLE g_hContactsDoneEvent = NULL;
