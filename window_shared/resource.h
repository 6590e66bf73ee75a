// Resource and message identifiers of the main window.
//
// Dialog 106 holds the four buttons and the two progress lines. Jobs on their
// own threads drive the lines with WM_PROGRESS (sent with SendMessageW to
// g_hMainWnd): wParam is a percentage shown as it is, lParam one of the
// PROGRESS_* codes below. Any other code changes nothing.
#pragma once

// Dialog, bitmap and icon.
#define IDD_MAIN 106
#define IDB_BACKGROUND 130
#define IDI_MAIN 101

// Controls of dialog 106.
#define IDC_BACKUP 1001
#define IDC_RESTORE 1002
#define IDC_VIEW 1003
#define IDC_ABOUT 1004
#define IDC_CONTACTS_PROGRESS 1007
#define IDC_MESSAGES_PROGRESS 1008

// The window's private progress message (WM_USER comes from the window
// system header, platform/gwes/gwes.h).
#define WM_PROGRESS (WM_USER + 1)

// lParam codes of WM_PROGRESS.
#define PROGRESS_CONTACTS 1       // contacts line: "1、通讯录%6d%%"
#define PROGRESS_MESSAGES 2       // messages line: "2、短信　%6d%%"
#define PROGRESS_RESTORE 3        // contacts line, restore then duplicate removal
#define PROGRESS_CLEAR 5          // both lines emptied and shown
#define PROGRESS_RESET 6          // both lines back to their titles, shown
#define PROGRESS_RESTORE_START 7  // contacts line shown, messages line hidden
#define PROGRESS_HIDE_CONTACTS 8  // contacts line hidden
