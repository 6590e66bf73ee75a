// The window system stand-in (gwes, GDI, commctrl, aygshell, shell execute):
// the calls the program makes, with the phone's signatures (WCHAR = char16_t).
//
// Windows belong to the thread that created them. SendMessageW on that thread
// calls the procedure at once; from any other thread the message is queued to
// the owner thread and the sender waits until the procedure has returned
// (while waiting, the sender still handles messages sent to its own windows,
// so two threads sending to each other do not deadlock). A message sent to a
// window that is destroyed, or whose dialog ends, before it is handled returns
// 0 to its sender; none is ever dropped silently.
//
// Calls that change a window (SetWindowTextW, ShowWindow, SetWindowPos,
// EndDialog) made from another thread are carried out on the owner thread,
// as the phone does by sending the matching message, so the front end always
// hears of changes on the window's own thread.
//
// The dialog loop (DialogBoxIndirectParamW) runs on the calling thread until
// EndDialog; the front end (platform/gwes/frontend.h) draws it and feeds it
// user input. Message boxes are shown by the front end on the calling
// thread, which waits for the answer.
//
// Resources are looked up in one table for the program's module; res/ fills
// it (vardel::gwes::add_resource). The module handle is ignored.
//
// Fault points: "gwes.DialogBoxIndirectParamW" (returns -1),
// "gwes.CreateSolidBrush", "gwes.LoadBitmapW", "gwes.CreateCompatibleDC"
// (return null), "gwes.MessageBoxW" (returns 0 without showing),
// "gwes.GetOpenFileNameEx" (returns 0), "gwes.ShellExecuteEx" (FALSE).
#pragma once

#include <cstdint>

#include "platform/core/types.h"
#include "platform/core/windows.h"

#ifndef WINAPI
#define WINAPI
#endif
#ifndef CALLBACK
#define CALLBACK
#endif
#ifndef APIENTRY
#define APIENTRY
#endif

using INT_PTR = std::intptr_t;

// ---------------------------------------------------------------------------
// Handles

using HWND = struct HWND__*;
using HDC = struct HDC__*;
using HBITMAP = struct HBITMAP__*;
using HBRUSH = struct HBRUSH__*;
using HFONT = struct HFONT__*;
using HICON = struct HICON__*;
using HMENU = struct HMENU__*;
using HRSRC = struct HRSRC__*;
using HGDIOBJ = void*;
using HCURSOR = HICON;

struct POINT {
  LONG x;
  LONG y;
};
struct SIZE {
  LONG cx;
  LONG cy;
};
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
using LPRECT = RECT*;
using LPCRECT = const RECT*;
using LPPOINT = POINT*;

// ---------------------------------------------------------------------------
// Messages

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SHOWWINDOW 0x0018
#define WM_SETFONT 0x0030
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_CTLCOLORMSGBOX 0x0132
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORLISTBOX 0x0134
#define WM_CTLCOLORBTN 0x0135
#define WM_CTLCOLORDLG 0x0136
#define WM_CTLCOLORSCROLLBAR 0x0137
#define WM_CTLCOLORSTATIC 0x0138
#define WM_USER 0x0400

#define SIZE_RESTORED 0
#define BN_CLICKED 0
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
using LPMSG = MSG*;

// A dialog procedure returns TRUE/FALSE, or a brush for WM_CTLCOLOR*; the
// return type is pointer-sized so that a brush survives the trip.
using DLGPROC = INT_PTR (*)(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
using WNDPROC = LRESULT (*)(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Queues the message to the window's thread and returns at once.
BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
#define SendMessage SendMessageW
#define PostMessage PostMessageW

// ---------------------------------------------------------------------------
// Window styles

#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_EX_CAPTIONOKBTN 0x80000000L
#define WS_EX_NODRAG 0x40000000L

#define DS_ABSALIGN 0x01L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_CENTER 0x0800L

#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L

// ---------------------------------------------------------------------------
// Dialogs and controls

// Identifiers of the standard buttons and of message box answers.
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

// The binary dialog template, as the resource compiler writes it: a
// DLGTEMPLATE, then menu, class and caption (each a 0-terminated text, 0, or
// 0xFFFF and an ordinal), then (with DS_SETFONT) a point size and a face name;
// then each control, DWORD-aligned: a DLGITEMTEMPLATE, class (text or 0xFFFF
// and 0x0080 button / 0x0082 static / ...), text, and a creation-data size.
#pragma pack(push, 2)
struct DLGTEMPLATE {
  DWORD style;
  DWORD dwExtendedStyle;
  WORD cdit;
  short x;
  short y;
  short cx;
  short cy;
};
struct DLGITEMTEMPLATE {
  DWORD style;
  DWORD dwExtendedStyle;
  short x;
  short y;
  short cx;
  short cy;
  WORD id;
};
#pragma pack(pop)
using LPCDLGTEMPLATEW = const DLGTEMPLATE*;
using LPCDLGTEMPLATE = LPCDLGTEMPLATEW;
using LPDLGTEMPLATE = DLGTEMPLATE*;

// Runs the dialog modally on the calling thread: creates it and its
// controls, sends WM_INITDIALOG with dwInitParam, then handles messages until
// EndDialog; sends WM_DESTROY and returns EndDialog's result (-1 when the
// template is unreadable).
INT_PTR DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate,
                                HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam);
#define DialogBoxIndirectParam DialogBoxIndirectParamW
BOOL EndDialog(HWND hDlg, INT_PTR nResult);
HWND GetDlgItem(HWND hDlg, int nIDDlgItem);
int GetDlgCtrlID(HWND hWnd);
HWND GetParent(HWND hWnd);
BOOL IsWindow(HWND hWnd);
BOOL DestroyWindow(HWND hWnd);

#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)
#define HWND_TOPMOST ((HWND)-1)
#define HWND_NOTOPMOST ((HWND)-2)

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_FRAMECHANGED 0x0020
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define SWP_NOOWNERZORDER 0x0200

// Positions are in the parent's client coordinates (a dialog's in screen
// coordinates). The z-order is kept as the order of the parent's children.
BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags);
BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint);
// The window's rectangle in screen coordinates.
BOOL GetWindowRect(HWND hWnd, LPRECT lpRect);
BOOL GetClientRect(HWND hWnd, LPRECT lpRect);

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_SHOWNA 8
// Returns nonzero when the window was visible before.
BOOL ShowWindow(HWND hWnd, int nCmdShow);
BOOL IsWindowVisible(HWND hWnd);

BOOL SetWindowTextW(HWND hWnd, LPCWSTR lpString);
// Copies at most nMaxCount-1 units and a terminator; returns the units copied.
int GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount);
int GetWindowTextLengthW(HWND hWnd);
#define SetWindowText SetWindowTextW
#define GetWindowText GetWindowTextW

BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase);
BOOL UpdateWindow(HWND hWnd);

// ---------------------------------------------------------------------------
// Message boxes

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0L
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_APPLMODAL 0x00000000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L

// Shown by the front end on the calling thread, which waits for the answer
// (IDOK, IDCANCEL, ...). Returns 0 when no front end can show it.
int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
#define MessageBox MessageBoxW

// ---------------------------------------------------------------------------
// System metrics

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
// The configured screen (vardel::device::set_screen); 0 for other indexes.
int GetSystemMetrics(int nIndex);

// ---------------------------------------------------------------------------
// Resources

#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define RT_CURSOR MAKEINTRESOURCE(1)
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_RCDATA MAKEINTRESOURCE(10)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)

// Names and types are ordinals (MAKEINTRESOURCE) or texts (compared without
// regard to case, as the phone's loader does).
HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
#define FindResource FindResourceW
HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
LPVOID LockResource(HGLOBAL hResData);
DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);

// ---------------------------------------------------------------------------
// GDI subset. Device contexts draw into 24-bit pixel surfaces; a window's
// paint surface is what the front end shows. Every object counts until
// DeleteObject/DeleteDC (vardel::gwes::live_gdi_objects()); deleting a bitmap
// that is still selected into a device context fails, as on the phone.

#define SRCCOPY 0x00CC0020u
#define TRANSPARENT 1
#define OPAQUE 2
#define CLR_INVALID 0xFFFFFFFFu

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};
using LPPAINTSTRUCT = PAINTSTRUCT*;

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT lpPaint);
BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint);
HBITMAP LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName);
#define LoadBitmap LoadBitmapW
HDC CreateCompatibleDC(HDC hdc);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
BOOL DeleteObject(HGDIOBJ ho);
BOOL DeleteDC(HDC hdc);
HBRUSH CreateSolidBrush(COLORREF color);
COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF SetTextColor(HDC hdc, COLORREF color);
int SetBkMode(HDC hdc, int mode);
// The screen's device context for a window (or the whole screen for null).
HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);

// ---------------------------------------------------------------------------
// Common controls (commctrl)

void InitCommonControls();

// ---------------------------------------------------------------------------
// Windows Mobile shell (aygshell)

#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010
#define SHIDIF_EMPTYMENU 0x0020
#define SHIDIF_WANTSCROLLBAR 0x0040

struct SHINITDLGINFO {
  DWORD dwMask;
  HWND hDlg;
  DWORD dwFlags;
};
using PSHINITDLGINFO = SHINITDLGINFO*;

// SHIDIF_SIZEDLG / SHIDIF_SIZEDLGFULLSCREEN size the dialog to the screen;
// SHIDIF_DONEBUTTON shows the OK button of the caption bar (it sends
// WM_COMMAND IDOK). Fails (FALSE) for a null or non-dialog window.
BOOL SHInitDialog(PSHINITDLGINFO pshidi);

using LPOFNHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

// The phone's structure is 84 bytes; lStructSize may be that or sizeof here.
struct OPENFILENAMEEX {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCWSTR lpstrFilter;
  LPWSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPWSTR lpstrFile;
  DWORD nMaxFile;
  LPWSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCWSTR lpstrInitialDir;
  LPCWSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCWSTR lpstrDefExt;
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCWSTR lpTemplateName;
  DWORD dwSortOrder;
  DWORD ExFlags;
};
using LPOPENFILENAMEEX = OPENFILENAMEEX*;
#define OFN_EXFLAG_DETAILSVIEW 0x00000001
#define OFN_EXFLAG_THUMBNAILVIEW 0x00000002
#define OFN_EXFLAG_EXPLORERVIEW 0x00000004
#define OFN_EXFLAG_HIDEDRMPROTECTED 0x00010000
#define OFN_EXFLAG_HIDEDRMFORWARDLOCKED 0x00020000

// Asks the front end for a file of the device, starting in lpstrInitialDir (a
// CE path). Writes the chosen CE path (with a leading backslash) into
// lpstrFile; returns 0 when cancelled, when the path does not fit in nMaxFile
// units, or when the choice lies outside the device.
BOOL GetOpenFileNameEx(LPOPENFILENAMEEX lpofnex);

// ---------------------------------------------------------------------------
// Shell execute

#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#define SEE_MASK_FLAG_NO_UI 0x00000400

// The phone's structure is 60 bytes; cbSize may be that or sizeof here.
struct SHELLEXECUTEINFO {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCWSTR lpVerb;
  LPCWSTR lpFile;
  LPCWSTR lpParameters;
  LPCWSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  LPVOID lpIDList;
  LPCWSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;
};
using LPSHELLEXECUTEINFO = SHELLEXECUTEINFO*;
using SHELLEXECUTEINFOW = SHELLEXECUTEINFO;

// Opens lpFile (a CE path) with the desktop's default application: the
// front end's shell_open, by default `xdg-open HOSTPATH` ($VARDEL_OPENER
// names another program). FALSE when the file is outside the device or
// does not exist, or the opener cannot be started.
BOOL ShellExecuteEx(LPSHELLEXECUTEINFO lpExecInfo);
#define ShellExecuteExW ShellExecuteEx
