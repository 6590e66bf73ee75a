// The three background jobs: contacts backup, messages backup, restore.
#include "app/Jobs.h"

#include "app/Globals.h"
#include "app/resource.h"
#include "contacts/XMLTextReader.h"
#include "platform/msxml/msxml.h"
#include "xml/XMLTextWriter.h"

LONG g_nContactsBackupResult = 0;

static const WCHAR CONTACTS_FILE[] = u"通讯录.xml";
static const WCHAR MESSAGES_FILE[] = u"短信.xml";

const WCHAR g_szBackupDone[] = u"备份已经完成";
const WCHAR g_szRestoreDone[] = u"恢复已经完成";
const WCHAR g_szNoBackupFile[] = u"请先备份通讯录";

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

void MakeDatedCopy(LPCWSTR pszStem, LPCWSTR pszFile) {
  WCHAR szSource[MAX_PATH];
  WCHAR szDated[MAX_PATH];
  SYSTEMTIME st;
  GetLocalTime(&st);
  if (swprintf(szSource, MAX_PATH, u"%s\\%s", g_szBackupFolder, pszFile) < 0) return;
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
    if (nWritten < 0) return;
    if (CopyFileW(szSource, szDated, TRUE)) return;
    DWORD dwError = GetLastError();
    if (dwError != ERROR_FILE_EXISTS && dwError != ERROR_ALREADY_EXISTS) return;  // no current file
  }
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

DWORD WINAPI ContactsBackupJob(LPVOID lpParameter) {
  WCHAR szPath[MAX_PATH];
  int nResult = 0;
  CXMLTextWriter writer;
  try {
    if (swprintf(szPath, MAX_PATH, u"\\%s\\%s", g_szBackupFolder, CONTACTS_FILE) >= 0) {
      MakeDatedCopy(u"通讯录", CONTACTS_FILE);
      if (writer.Open(DOCUMENT_CONTACTS)) {
        nResult = writer.SavePhoneContactsToXML(szPath);
        CopyStylesheet(u"MessageLogContact.xsl");
      }
    }
  } catch (...) {
    NKDbgPrintfW(u"Vardel: the contacts backup stopped on an exception\r\n");
    nResult = 0;
  }
  CloseWriter(writer);
  // Every way out hands the result over and sets the event, so the messages
  // job always reports the end of the backup.
  g_nContactsBackupResult = nResult;
  EventModify(g_hContactsDoneEvent, EVENT_SET);
  return (DWORD)nResult;
}

// The one box at the end of a backup: success only when both files were
// saved, otherwise a warning naming the file that was not.
static void ReportBackupEnd(int nContactsResult, int nMessagesResult) {
  if (nContactsResult && nMessagesResult)
    MessageBoxW(g_hMainWnd, g_szBackupDone, u"完成", MB_OK);
  else if (nMessagesResult)
    MessageBoxW(g_hMainWnd, u"备份没有全部完成：通讯录.xml 没有保存", u"警告", MB_OK);
  else if (nContactsResult)
    MessageBoxW(g_hMainWnd, u"备份没有全部完成：短信.xml 没有保存", u"警告", MB_OK);
  else
    MessageBoxW(g_hMainWnd, u"备份失败：通讯录.xml 和 短信.xml 都没有保存", u"警告", MB_OK);
}

DWORD WINAPI MessagesBackupJob(LPVOID lpParameter) {
  WCHAR szPath[MAX_PATH];
  int nResult = 0;
  CXMLTextWriter writer;
  try {
    if (swprintf(szPath, MAX_PATH, u"\\%s\\%s", g_szBackupFolder, MESSAGES_FILE) >= 0) {
      MakeDatedCopy(u"短信", MESSAGES_FILE);
      if (writer.Open(DOCUMENT_MESSAGES)) {
        nResult = writer.SavePhoneMessagesToXML(szPath);
        CopyStylesheet(u"MessageLogMsg.xsl");
      }
    }
  } catch (...) {
    NKDbgPrintfW(u"Vardel: the messages backup stopped on an exception\r\n");
    nResult = 0;
  }
  CloseWriter(writer);

  // Whatever happened here, the user hears of the backup's end once, after
  // the contacts job is over too, and the lines go back to their titles.
  WaitForSingleObject(g_hContactsDoneEvent, INFINITE);
  try {
    ReportBackupEnd(g_nContactsBackupResult, nResult);
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
  try {
    writer.RemoveDuplicateContacts();
  } catch (...) {
    CloseWriter(writer);
    throw;
  }
  CloseWriter(writer);
  return 1;
}

DWORD WINAPI RestoreJob(LPVOID lpParameter) {
  WCHAR szPath[MAX_PATH];
  int nResult = 0;
  CXMLTextReader reader;
  try {
    if (swprintf(szPath, MAX_PATH, u"\\%s\\%s", g_szBackupFolder, CONTACTS_FILE) >= 0 &&
        reader.Open()) {
      int nLoaded = 0;
      try {
        nLoaded = reader.LoadContactsXML(szPath);
      } catch (const _com_error&) {
        nLoaded = 0;  // out of memory while loading: as unreadable as a missing file
      }
      if (!nLoaded) {
        reader.Close();
        MessageBoxW(g_hMainWnd, g_szNoBackupFile, u"警告", MB_OK);
        return 0;
      }
      nResult = reader.RestoreContacts();
      RunDuplicateRemoval();
    }
  } catch (...) {
    NKDbgPrintfW(u"Vardel: the restore stopped on an exception\r\n");
    nResult = 0;
  }
  CloseDocument(reader, NULL);

  try {
    if (nResult)
      MessageBoxW(g_hMainWnd, g_szRestoreDone, u"完成", MB_OK);
    else
      MessageBoxW(g_hMainWnd, u"恢复没有完成：部分联系人可能没有恢复到手机中", u"警告", MB_OK);
    SendMessageW(g_hMainWnd, WM_PROGRESS, 0, PROGRESS_RESET);
  } catch (...) {
    nResult = 0;
  }
  return (DWORD)nResult;
}
