// The three background jobs: contacts backup, messages backup, restore.
#include "app/Jobs.h"

#include "contacts/XMLTextReader.h"
#include "platform/msxml/msxml.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"
#include "xml/XMLTextWriter.h"

LONG g_nContactsBackupResult = 0;

static const WCHAR CONTACTS_FILE[] = u"通讯录.xml";
static const WCHAR MESSAGES_FILE[] = u"短信.xml";

const WCHAR g_szBackupDone[] = u"备份已经完成";
const WCHAR g_szRestoreDone[] = u"恢复已经完成";
const WCHAR g_szNoBackupFile[] = u"请先备份通讯录";
const WCHAR g_szNothingRestored[] = u"恢复失败：没有恢复任何联系人";

void GetProgramFolder(WCHAR* pszFolder) {
  memset(pszFolder, 0, MAX_PATH * sizeof(WCHAR));
  GetModuleFileNameW(NULL, pszFolder, MAX_PATH);
  int nLength = (int)wcsnlen(pszFolder, MAX_PATH);
  if (nLength == MAX_PATH) {  // a path that filled the buffer: keep it terminated
    pszFolder[MAX_PATH - 1] = 0;
    nLength = MAX_PATH - 1;
  }
  // The first character is never taken: a program in the root folder keeps
  // its whole path (and then no stylesheet is found beside it).
  for (int i = nLength; i >= 1; --i) {
    if (pszFolder[i] == u'\\') {
      pszFolder[i] = 0;
      return;
    }
  }
}

void CopyStylesheet(LPCWSTR pszName) {
  WCHAR szProgramFolder[MAX_PATH];
  WCHAR szSource[MAX_PATH];
  WCHAR szDest[MAX_PATH];
  GetProgramFolder(szProgramFolder);
  if (swprintf(szDest, MAX_PATH, u"%s\\%s", g_szBackupFolder, pszName) < 0) return;
  if (swprintf(szSource, MAX_PATH, u"%s\\%s", szProgramFolder, pszName) < 0) return;
  CopyFileW(szSource, szDest, FALSE);  // a missing stylesheet is skipped
}

// The dated copy is part of the save: 1 when the previous file is copied
// (or there is none), 0 when it exists but cannot be copied, and then the
// job keeps the previous file rather than replace it with no copy left.
int MakeDatedCopy(LPCWSTR pszStem, LPCWSTR pszFile) {
  WCHAR szSource[MAX_PATH];
  WCHAR szDated[MAX_PATH];
  SYSTEMTIME st;
  GetLocalTime(&st);
  if (swprintf(szSource, MAX_PATH, u"%s\\%s", g_szBackupFolder, pszFile) < 0) return 0;
  // Two backups within one second would give the same name; the later copy
  // takes the next free one, so no earlier copy is ever replaced.
  for (int n = 1; n < 1000; ++n) {
    int nWritten;
    if (n == 1)
      nWritten =
          swprintf(szDated, MAX_PATH, u"%s\\%s%02d%02d%02d_%02d%02d%02d.xml", g_szBackupFolder,
                   pszStem, st.wYear % 100, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
    else
      nWritten = swprintf(szDated, MAX_PATH, u"%s\\%s%02d%02d%02d_%02d%02d%02d_%d.xml",
                          g_szBackupFolder, pszStem, st.wYear % 100, st.wMonth, st.wDay, st.wHour,
                          st.wMinute, st.wSecond, n);
    if (nWritten < 0) return 0;
    if (CopyFileW(szSource, szDated, TRUE)) return 1;
    DWORD dwError = GetLastError();
    if (dwError == ERROR_FILE_NOT_FOUND) return 1;  // a first backup: nothing to keep
    if (dwError != ERROR_FILE_EXISTS && dwError != ERROR_ALREADY_EXISTS) return 0;
  }
  return 0;
}

// Releases everything a job's document object still holds, so memory does
// not grow with each job in a long-running window. Only an object that is
// open is closed (a failed Open has closed itself already).
static void CloseDocument(CXMLDocument& doc, IXMLDOMNode** ppCurrentNode) {
  try {
    if (ppCurrentNode != NULL && *ppCurrentNode != NULL) {
      (*ppCurrentNode)->Release();
      *ppCurrentNode = NULL;
    }
    if (doc.m_bOpened) doc.Close();
  } catch (...) {
    NKDbgPrintfW(u"Vardel: closing a document object failed\r\n");
  }
}

static void CloseWriter(CXMLTextWriter& writer) { CloseDocument(writer, &writer.m_pCurrentNode); }

// One backup file: the previous one kept under its dated name, the new one
// saved through a writer of the kind, and its stylesheet copied beside it.
// The save's result; 0 when it did not run or stopped on an exception.
static int SaveBackupFile(DocumentKind kind, int (CXMLTextWriter::*pfnSave)(LPCWSTR),
                          LPCWSTR pszStem, LPCWSTR pszFile, LPCWSTR pszStylesheet) {
  WCHAR szPath[MAX_PATH];
  int nResult = 0;
  CXMLTextWriter writer;
  try {
    if (swprintf(szPath, MAX_PATH, u"\\%s\\%s", g_szBackupFolder, pszFile) >= 0) {
      if (MakeDatedCopy(pszStem, pszFile) && writer.Open(kind)) {
        nResult = (writer.*pfnSave)(szPath);
        CopyStylesheet(pszStylesheet);
      }
    }
  } catch (...) {
    NKDbgPrintfW(u"Vardel: the backup of %s stopped on an exception\r\n", pszFile);
    nResult = 0;
  }
  CloseWriter(writer);
  return nResult;
}

DWORD WINAPI ContactsBackupJob(LPVOID lpParameter) {
  g_nContactsLeftOut = 0;
  g_nContactsIncomplete = 0;
  int nSaved = SaveBackupFile(DOCUMENT_CONTACTS, &CXMLTextWriter::SavePhoneContactsToXML, u"通讯录",
                              CONTACTS_FILE, u"MessageLogContact.xsl");
  // Every way out hands the result over and sets the event, so the messages
  // job always reports the end of the backup. A file saved without some
  // contacts is saved, but the job has not succeeded.
  g_nContactsBackupResult = nSaved;
  EventModify(g_hContactsDoneEvent, EVENT_SET);
  return (DWORD)(nSaved && g_nContactsLeftOut == 0 && g_nContactsIncomplete == 0);
}

// The one box at the end of a backup: success only when both files were
// saved whole, otherwise a warning naming what was not saved.
static void ReportBackupEnd(int nContactsResult, int nMessagesResult) {
  if (nContactsResult && nMessagesResult && g_nContactsLeftOut == 0 && g_nContactsIncomplete == 0 &&
      g_nMessagesLeftOut == 0 && g_nMessagesIncomplete == 0) {
    MessageBoxW(g_hMainWnd, g_szBackupDone, u"完成", MB_OK);
    return;
  }
  if (!nContactsResult && !nMessagesResult) {
    MessageBoxW(g_hMainWnd, u"备份失败：通讯录.xml 和 短信.xml 都没有保存", u"警告", MB_OK);
    return;
  }
  WCHAR szContacts[MAX_PATH] = u"";
  WCHAR szMessages[MAX_PATH] = u"";
  if (!nContactsResult)
    swprintf(szContacts, MAX_PATH, u"通讯录.xml 没有保存");
  else if (g_nContactsLeftOut > 0)
    swprintf(szContacts, MAX_PATH, u"%d 个联系人没有名称，没有保存到通讯录.xml",
             (int)g_nContactsLeftOut);
  else if (g_nContactsIncomplete > 0)
    swprintf(szContacts, MAX_PATH, u"%d 个联系人没有完整保存到通讯录.xml",
             (int)g_nContactsIncomplete);
  if (!nMessagesResult)
    swprintf(szMessages, MAX_PATH, u"短信.xml 没有保存");
  else if (g_nMessagesLeftOut > 0)
    swprintf(szMessages, MAX_PATH, u"%d 条短信读不出来，没有保存到短信.xml",
             (int)g_nMessagesLeftOut);
  else if (g_nMessagesIncomplete > 0)
    swprintf(szMessages, MAX_PATH, u"%d 条短信没有完整保存到短信.xml", (int)g_nMessagesIncomplete);
  WCHAR szText[MAX_PATH * 2];
  swprintf(szText, MAX_PATH * 2, u"备份没有全部完成：%s%s%s", szContacts,
           szContacts[0] && szMessages[0] ? u"；" : u"", szMessages);
  MessageBoxW(g_hMainWnd, szText, u"警告", MB_OK);
}

DWORD WINAPI MessagesBackupJob(LPVOID lpParameter) {
  g_nMessagesLeftOut = 0;
  g_nMessagesIncomplete = 0;
  int nResult = SaveBackupFile(DOCUMENT_MESSAGES, &CXMLTextWriter::SavePhoneMessagesToXML, u"短信",
                               MESSAGES_FILE, u"MessageLogMsg.xsl");

  // Whatever happened here, the user hears of the backup's end once, after
  // the contacts job is over too, and the lines go back to their titles.
  WaitForSingleObject(g_hContactsDoneEvent, INFINITE);
  try {
    ReportBackupEnd(g_nContactsBackupResult, nResult);
    if (g_nMessagesLeftOut > 0 || g_nMessagesIncomplete > 0) nResult = 0;
    SendMessageW(g_hMainWnd, WM_PROGRESS, 0, PROGRESS_RESET);
  } catch (...) {
    nResult = 0;
  }
  return (DWORD)nResult;
}

int RunDuplicateRemoval() {
  CXMLTextWriter writer;
  if (!writer.Open(DOCUMENT_CONTACTS)) {
    CloseWriter(writer);  // a template failure leaves it open
    return 0;
  }
  int nResult = 0;
  try {
    nResult = writer.RemoveDuplicateContacts();
  } catch (...) {
    CloseWriter(writer);
    throw;
  }
  CloseWriter(writer);
  return nResult;
}

// The box at the end of a restore. bRestored: every contact of the file was
// added; bDeduplicated: the duplicate removal walked the whole folder.
static void ReportRestoreEnd(int bRestored, int bDeduplicated) {
  if (bRestored && bDeduplicated)
    MessageBoxW(g_hMainWnd, g_szRestoreDone, u"完成", MB_OK);
  else if (bDeduplicated)
    MessageBoxW(g_hMainWnd, u"恢复没有完成：部分联系人可能没有恢复到手机中", u"警告", MB_OK);
  else if (bRestored)
    MessageBoxW(g_hMainWnd, u"恢复没有全部完成：联系人已经恢复，但手机中可能还有重复的联系人",
                u"警告", MB_OK);
  else
    MessageBoxW(g_hMainWnd,
                u"恢复没有完成：部分联系人可能没有恢复到手机中，手机中也可能还有重复的联系人",
                u"警告", MB_OK);
}

// Ends a restore that wrote nothing to the phone: its box, then both lines
// back to their titles.
static DWORD EndEmptyRestore(LPCWSTR pszText) {
  try {
    MessageBoxW(g_hMainWnd, pszText, u"警告", MB_OK);
    SendMessageW(g_hMainWnd, WM_PROGRESS, 0, PROGRESS_RESET);
  } catch (...) {
  }
  return 0;
}

DWORD WINAPI RestoreJob(LPVOID lpParameter) {
  WCHAR szPath[MAX_PATH];
  int nRestored = 0;
  int nDeduplicated = 0;
  CXMLTextReader reader;
  try {
    if (swprintf(szPath, MAX_PATH, u"\\%s\\%s", g_szBackupFolder, CONTACTS_FILE) < 0 ||
        !reader.Open()) {
      CloseDocument(reader, NULL);
      return EndEmptyRestore(g_szNothingRestored);
    }
    int nLoaded = 0;
    try {
      nLoaded = reader.LoadContactsXML(szPath);
    } catch (const _com_error&) {
      nLoaded = 0;  // out of memory while loading: as unreadable as a missing file
    }
    if (!nLoaded) {
      reader.Close();
      return EndEmptyRestore(g_szNoBackupFile);
    }
    nRestored = reader.RestoreContacts();
    nDeduplicated = RunDuplicateRemoval();
  } catch (...) {
    NKDbgPrintfW(u"Vardel: the restore stopped on an exception\r\n");
  }
  CloseDocument(reader, NULL);

  try {
    ReportRestoreEnd(nRestored, nDeduplicated);
    SendMessageW(g_hMainWnd, WM_PROGRESS, 0, PROGRESS_RESET);
  } catch (...) {
    nRestored = 0;
  }
  return (DWORD)(nRestored && nDeduplicated);
}
