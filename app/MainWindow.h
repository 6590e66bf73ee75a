// The main window: program entry, dialog procedure, commands and the
// progress protocol.
//
// Everything here runs on the window's thread. Jobs reach the window only by
// sending WM_PROGRESS to g_hMainWnd and by message boxes owned by it.
#pragma once

#include "platform/core/windows.h"
#include "platform/gwes/gwes.h"

// Program entry: shows dialog 106 modally and returns its result (1).
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);

// Dialog procedure of the main window.
INT_PTR CALLBACK MainDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

// 1 while a backup or restore job thread is still running, else 0.
int IsJobRunning();

// Creates the backup folder and asks the user: kind 1 backup, 2 restore.
// 1 when the job may start, 0 when there is no card or the user cancelled.
int ConfirmStart(HWND hOwner, int nKind);

// The backup folder for the storage card named in the registry, into a
// MAX_PATH buffer (no leading backslash).
void GetBackupFolder(WCHAR* pszFolder);

// The About box text (lines joined by CR LF).
extern const WCHAR g_szAboutText[];
