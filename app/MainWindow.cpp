// The main window: layout, progress lines, storage card folder, commands.
#include "app/MainWindow.h"

#include "app/Jobs.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"

#include <cstring>

// Progress lines: white on dark blue.
static const COLORREF LABEL_BACK_COLOR = 0x0085380A;
static const COLORREF LABEL_TEXT_COLOR = 0x00FFFFFF;

static const int BUTTON_WIDTH = 85;
static const int BUTTON_HEIGHT = 25;
static const int LABEL_X = 66;
static const int LABEL_WIDTH = 170;
static const int LABEL_HEIGHT = 20;

const WCHAR g_szAboutText[] =
    u"　　Vardel手机版\r\n"
    u"　　V1.0.20090423\r\n"
    u" 一键备份通讯录和短信\r\n"
    u"\r\n"
    u"支持Windows Mobile 5和 6\r\n"
    u"\r\n"
    u"Vardel 项目组\r\n"
    u"问题和建议请提交到项目的问题列表";

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow) {
  g_hInstance = hInstance;
  InitCommonControls();
  HRSRC hRes = FindResourceW(hInstance, MAKEINTRESOURCEW(IDD_MAIN), RT_DIALOG);
  HGLOBAL hTemplate = LoadResource(hInstance, hRes);
  return (int)DialogBoxIndirectParamW(hInstance, (LPCDLGTEMPLATEW)hTemplate, NULL, MainDlgProc, 0);
}

// Buttons in two rows of two, centred and scaled with the screen; the two
// progress lines at fixed places over the background picture.
static void LayoutControls(HWND hDlg, int cx, int cy) {
  int x1 = (cx * 19 / 20 - 2 * BUTTON_WIDTH) / 2;
  int x2 = x1 + cx / 20 + BUTTON_WIDTH;
  int y1 = cy * 12 / 20;
  int y2 = cy * 14 / 20;
  SetWindowPos(GetDlgItem(hDlg, IDC_BACKUP), HWND_BOTTOM, x1, y1, BUTTON_WIDTH, BUTTON_HEIGHT,
               SWP_FRAMECHANGED);
  SetWindowPos(GetDlgItem(hDlg, IDC_RESTORE), HWND_BOTTOM, x2, y1, BUTTON_WIDTH, BUTTON_HEIGHT,
               SWP_FRAMECHANGED);
  SetWindowPos(GetDlgItem(hDlg, IDC_VIEW), HWND_BOTTOM, x1, y2, BUTTON_WIDTH, BUTTON_HEIGHT,
               SWP_FRAMECHANGED);
  SetWindowPos(GetDlgItem(hDlg, IDC_ABOUT), HWND_BOTTOM, x2, y2, BUTTON_WIDTH, BUTTON_HEIGHT,
               SWP_FRAMECHANGED);
}

static void PlaceLabels(HWND hDlg) {
  SetWindowPos(GetDlgItem(hDlg, IDC_CONTACTS_PROGRESS), HWND_BOTTOM, LABEL_X, 131, LABEL_WIDTH,
               LABEL_HEIGHT, SWP_FRAMECHANGED);
  SetWindowPos(GetDlgItem(hDlg, IDC_MESSAGES_PROGRESS), HWND_BOTTOM, LABEL_X, 161, LABEL_WIDTH,
               LABEL_HEIGHT, SWP_FRAMECHANGED);
}

void GetBackupFolder(WCHAR* pszFolder) {
  WCHAR szCard[MAX_PATH];
  HKEY hKey = NULL;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"System\\StorageManager\\Profiles\\SDMemory", 0,
                    KEY_QUERY_VALUE, &hKey) == ERROR_SUCCESS) {
    szCard[0] = 0;
    DWORD cbData = sizeof(szCard);
    // A missing value leaves the name empty: vardelbackup then stands at
    // the root of the file system.
    // The text ends where the value's data ends, whether or not the value
    // carries its own terminator.
    if (RegQueryValueExW(hKey, u"Folder", NULL, NULL, (LPBYTE)szCard, &cbData) != ERROR_SUCCESS)
      cbData = 0;
    szCard[cbData / sizeof(WCHAR) < MAX_PATH ? cbData / sizeof(WCHAR) : MAX_PATH - 1] = 0;
    RegCloseKey(hKey);
  } else {
    swprintf(szCard, MAX_PATH, u"%s", u"存储卡");
  }
  if (swprintf(pszFolder, MAX_PATH, u"%s\\%s", szCard, u"vardelbackup") < 0)
    pszFolder[MAX_PATH - 1] = 0;
}

static int IsThreadActive(HANDLE hThread) {
  DWORD dwCode = 0;
  if (hThread == NULL) return 0;
  if (!GetExitCodeThread(hThread, &dwCode)) return 0;
  return dwCode == STILL_ACTIVE;
}

int IsJobRunning() {
  if (IsThreadActive(g_hRestoreThread)) return 1;
  if (IsThreadActive(g_hContactsThread) || IsThreadActive(g_hMessagesThread)) return 1;
  return 0;
}

int ConfirmStart(HWND hOwner, int nKind) {
  if (!CreateDirectoryW(g_szBackupFolder, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
    MessageBoxW(hOwner, u"请确认已经插入存储卡 ", u"警告", MB_OK);
    return 0;
  }
  if (nKind == 1) {
    if (MessageBoxW(hOwner, u"开始备份通讯录和短信，保存到存储卡的vardelbackup文件夹下", u"警告",
                    MB_OKCANCEL) == IDCANCEL)
      return 0;
  } else if (nKind == 2) {
    if (MessageBoxW(hOwner, u"将通讯录恢复到手机中", u"警告", MB_OKCANCEL) == IDCANCEL) return 0;
  }
  return 1;
}

// The handle of a finished job serves no one once a new job replaces it.
static void ReplaceThreadHandle(HANDLE* phThread, HANDLE hNew) {
  if (*phThread != NULL) CloseHandle(*phThread);
  *phThread = hNew;
}

static void OnBackup(HWND hDlg) {
  if (IsJobRunning()) return;
  if (!ConfirmStart(hDlg, 1)) return;
  // The event exists and is not signalled before either thread runs, so the
  // messages job always waits on this backup's contacts job.
  if (g_hContactsDoneEvent == NULL)
    g_hContactsDoneEvent = CreateEventW(NULL, FALSE, FALSE, NULL);
  else
    EventModify(g_hContactsDoneEvent, EVENT_RESET);
  g_nContactsBackupResult = 0;
  HANDLE hContacts = CreateThread(NULL, 0, ContactsBackupJob, NULL, 0, NULL);
  if (hContacts == NULL) EventModify(g_hContactsDoneEvent, EVENT_SET);  // nothing else will
  ReplaceThreadHandle(&g_hContactsThread, hContacts);
  ReplaceThreadHandle(&g_hMessagesThread, CreateThread(NULL, 0, MessagesBackupJob, NULL, 0, NULL));
}

static void OnRestore(HWND hDlg) {
  if (IsJobRunning()) return;
  if (!ConfirmStart(hDlg, 2)) return;
  SendMessageW(hDlg, WM_PROGRESS, 0, PROGRESS_RESTORE_START);
  ReplaceThreadHandle(&g_hRestoreThread, CreateThread(NULL, 0, RestoreJob, NULL, 0, NULL));
}

static void OnView(HWND hDlg) {
  WCHAR szFile[MAX_PATH];
  szFile[0] = 0;
  OPENFILENAMEEX ofn;
  memset(&ofn, 0, sizeof(ofn));
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = hDlg;
  ofn.lpstrFilter = u"All Files (*.*)\0*.*\0";
  ofn.lpstrFile = szFile;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrInitialDir = g_szBackupFolder;
  ofn.ExFlags = OFN_EXFLAG_DETAILSVIEW;
  if (!GetOpenFileNameEx(&ofn)) return;

  SHELLEXECUTEINFO sei;
  memset(&sei, 0, sizeof(sei));
  sei.cbSize = sizeof(sei);
  sei.lpFile = szFile;
  ShellExecuteEx(&sei);
}

static void OnProgress(HWND hDlg, WPARAM wParam, LPARAM lParam) {
  HWND hContacts = GetDlgItem(hDlg, IDC_CONTACTS_PROGRESS);
  HWND hMessages = GetDlgItem(hDlg, IDC_MESSAGES_PROGRESS);
  int nPercent = (int)wParam;  // a signed percentage, shown as it comes
  WCHAR szText[64];
  switch (lParam) {
    case PROGRESS_CONTACTS:
    case PROGRESS_RESTORE:
      swprintf(szText, 64, u"1、通讯录%6d%%", nPercent);
      SetWindowTextW(hContacts, szText);
      break;
    case PROGRESS_MESSAGES:
      swprintf(szText, 64, u"2、短信　%6d%%", nPercent);
      SetWindowTextW(hMessages, szText);
      break;
    case PROGRESS_CLEAR:
      SetWindowTextW(hContacts, u"");
      SetWindowTextW(hMessages, u"");
      ShowWindow(hContacts, SW_SHOWNORMAL);
      ShowWindow(hMessages, SW_SHOWNORMAL);
      break;
    case PROGRESS_RESET:
      SetWindowTextW(hContacts, u"1、通讯录");
      SetWindowTextW(hMessages, u"2、短信");
      ShowWindow(hContacts, SW_SHOWNORMAL);
      ShowWindow(hMessages, SW_SHOWNORMAL);
      break;
    case PROGRESS_RESTORE_START:
      ShowWindow(hContacts, SW_SHOWNORMAL);
      ShowWindow(hMessages, SW_HIDE);
      break;
    case PROGRESS_HIDE_CONTACTS:
      ShowWindow(hContacts, SW_HIDE);
      break;
    default:
      break;
  }
}

static void OnInitDialog(HWND hDlg) {
  g_hLabelBrush = CreateSolidBrush(LABEL_BACK_COLOR);
  g_hMainWnd = hDlg;
  int cx = GetSystemMetrics(SM_CXSCREEN);
  int cy = GetSystemMetrics(SM_CYSCREEN);
  LayoutControls(hDlg, cx, cy);
  SendMessageW(hDlg, WM_PROGRESS, 0, PROGRESS_RESET);
  PlaceLabels(hDlg);
  GetBackupFolder(g_szBackupFolder);

  SHINITDLGINFO shidi;
  memset(&shidi, 0, sizeof(shidi));
  shidi.dwMask = SHIDIM_FLAGS;
  shidi.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
  shidi.hDlg = hDlg;
  SHInitDialog(&shidi);
}

// The background picture at its own size, never scaled.
static void OnPaint(HWND hDlg) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hDlg, &ps);
  HBITMAP hBitmap = LoadBitmapW(g_hInstance, MAKEINTRESOURCEW(IDB_BACKGROUND));
  HDC hMemDC = CreateCompatibleDC(NULL);
  HGDIOBJ hOld = SelectObject(hMemDC, hBitmap);
  BitBlt(hdc, 0, 0, 240, 320, hMemDC, 0, 0, SRCCOPY);
  SelectObject(hMemDC, hOld);
  DeleteObject(hBitmap);
  DeleteDC(hMemDC);
  EndPaint(hDlg, &ps);
}

INT_PTR CALLBACK MainDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG:
      OnInitDialog(hDlg);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          EndDialog(hDlg, 1);
          break;
        case IDCANCEL:
          EndDialog(hDlg, 1);
          return TRUE;
        case IDC_BACKUP:
          OnBackup(hDlg);
          break;
        case IDC_RESTORE:
          OnRestore(hDlg);
          break;
        case IDC_VIEW:
          OnView(hDlg);
          break;
        case IDC_ABOUT:
          MessageBoxW(hDlg, g_szAboutText, u"关于", MB_ICONINFORMATION);
          break;
        default:
          break;
      }
      return FALSE;
    case WM_CLOSE:
      EndDialog(hDlg, 1);
      return TRUE;
    case WM_PAINT:
      OnPaint(hDlg);
      return FALSE;
    case WM_CTLCOLORSTATIC:
      SetBkColor((HDC)wParam, LABEL_BACK_COLOR);
      SetTextColor((HDC)wParam, LABEL_TEXT_COLOR);
      return (INT_PTR)g_hLabelBrush;
    case WM_PROGRESS:
      OnProgress(hDlg, wParam, lParam);
      return FALSE;
    default:
      return FALSE;
  }
}
