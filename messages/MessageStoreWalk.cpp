// The messages backup's walk over CE MAPI: log on, find the store named
// "SMS", open its inbox and sent items, and read one message at a time from
// either folder into its record. WriteMessages merges the two folders. The
// messages of any further store named "SMS" are counted as left out.
#include "messages/MessageStoreWalk.h"

#include <cstring>

#include "window_shared/DebugLog.h"
#include "xml/ComHolders.h"
#include "xml/XMLTextWriter.h"

IMAPIFolder* g_pInboxFolder = NULL;
IMAPIFolder* g_pSentFolder = NULL;
ULONG g_nMessageTotal = 0;
LONG g_nMessagesLeftOut = 0;
LONG g_nMessagesIncomplete = 0;
MessageRecord g_InboxMessage;
MessageRecord g_SentMessage;

LPSPropValue g_pInboxProps = NULL;
LPSPropValue g_pSentProps = NULL;
LPWSTR g_pszSentAddress = NULL;

static SizedSPropTagArray(2, g_StoresColumns) = {2, {PR_ENTRYID, PR_DISPLAY_NAME_W}};
static SizedSPropTagArray(1, g_InboxFolderProp) = {1, {PR_CE_IPM_INBOX_ENTRYID}};
static SizedSPropTagArray(1, g_SentFolderProp) = {1, {PR_IPM_SENTMAIL_ENTRYID}};
static SizedSPropTagArray(4, g_InboxColumns) = {
    4, {PR_ENTRYID, PR_SUBJECT_W, PR_SENDER_EMAIL_ADDRESS_W, PR_MESSAGE_DELIVERY_TIME}};
static SizedSPropTagArray(3, g_SentProps) = {3,
                                             {PR_ENTRYID, PR_SUBJECT_W, PR_MESSAGE_DELIVERY_TIME}};

// The property at index i of a GetProps answer when it holds the asked-for
// tag, or null (a missing property comes back with the error type).
static LPSPropValue PropAt(LPSPropValue pProps, ULONG cValues, ULONG i, ULONG ulTag) {
  if (pProps == NULL || i >= cValues || pProps[i].ulPropTag != ulTag) return NULL;
  return &pProps[i];
}

static void ClearRecord(MessageRecord* pRecord) {
  memset(&pRecord->stTime, 0, sizeof(pRecord->stTime));
  pRecord->pszAddress = NULL;
  pRecord->pszTimeText = NULL;
  pRecord->pszDateText = NULL;
  pRecord->pszText = NULL;
}

// Delivery time in local time; all zero when the message has none (or one
// the clock can't show).
static void ReadLocalTime(LPSPropValue pTime, SYSTEMTIME* pst) {
  memset(pst, 0, sizeof(*pst));
  if (pTime == NULL) return;
  FILETIME ftLocal;
  if (!FileTimeToLocalFileTime(&pTime->Value.ft, &ftLocal) || !FileTimeToSystemTime(&ftLocal, pst))
    memset(pst, 0, sizeof(*pst));
}

// The entry id in the first column of a one-row set, or null.
static LPSPropValue FirstColumnEntryId(LPSRowSet pRows) {
  if (pRows == NULL || pRows->cRows != 1 || pRows->aRow[0].cValues < 1) return NULL;
  LPSPropValue p = &pRows->aRow[0].lpProps[0];
  return PROP_TYPE(p->ulPropTag) == PT_BINARY ? p : NULL;
}

// Reads the next row of a folder's contents table and opens its message
// from the folder. 0 when the table has no more rows; else 1, with the row
// set in *ppRows for the caller to free and the message in *ppMessage, null
// when it can't be opened.
static int OpenNextMessage(IMAPITable* pTable, IMAPIFolder* pFolder, LPSRowSet* ppRows,
                           IMessage** ppMessage) {
  *ppRows = NULL;
  *ppMessage = NULL;
  HRESULT hr = pTable->QueryRows(1, 0, ppRows);
  if (FAILED(hr) || *ppRows == NULL || (*ppRows)->cRows != 1) {
    FreeProws(*ppRows);
    *ppRows = NULL;
    return 0;
  }
  LPSPropValue pEntryId = FirstColumnEntryId(*ppRows);
  if (pEntryId != NULL) {
    ULONG ulObjType = 0;
    pFolder->OpenEntry(pEntryId->Value.bin.cb, (LPENTRYID)pEntryId->Value.bin.lpb, NULL,
                       MAPI_BEST_ACCESS, &ulObjType, (LPUNKNOWN*)ppMessage);
  }
  return 1;
}

void ReleaseInboxMessage() {
  MAPIFreeBuffer(g_pInboxProps);
  g_pInboxProps = NULL;
  ClearRecord(&g_InboxMessage);
}

void ReleaseSentMessage() {
  MAPIFreeBuffer(g_pSentProps);
  g_pSentProps = NULL;
  MAPIFreeBuffer(g_pszSentAddress);
  g_pszSentAddress = NULL;
  ClearRecord(&g_SentMessage);
}

static void OpenFolderContents(IMsgStore* pStore, LPSPropTagArray pFolderProp, ULONG ulFolderTag,
                               IMAPIFolder** ppFolder, IMAPITable** ppTable);

// The rows of the store's folder under ulFolderTag; 0 when it can't be read.
static ULONG CountFolderMessages(IMsgStore* pStore, LPSPropTagArray pFolderProp,
                                 ULONG ulFolderTag) {
  IMAPIFolder* pFolder = NULL;
  IMAPITable* pTable = NULL;
  OpenFolderContents(pStore, pFolderProp, ulFolderTag, &pFolder, &pTable);
  ULONG ulCount = 0;
  if (pTable != NULL) {
    if (FAILED(pTable->GetRowCount(0, &ulCount))) ulCount = 0;
    pTable->Release();
  }
  if (pFolder != NULL) pFolder->Release();
  return ulCount;
}

// The messages in the inbox and sent items of every store named "SMS", in
// any letter case, in the rest of the stores table (the walk has read it
// up to the store it walked).
static LONG CountFurtherSmsMessages(IMAPISession* pSession, IMAPITable* pStoresTable) {
  LONG nCount = 0;
  while (pStoresTable != NULL) {
    LPSRowSet pRows = NULL;
    HRESULT hr = pStoresTable->QueryRows(1, 0, &pRows);
    if (FAILED(hr) || pRows == NULL || pRows->cRows != 1) {
      FreeProws(pRows);
      break;
    }
    SRow* pRow = &pRows->aRow[0];
    LPSPropValue pEntryId = PropAt(pRow->lpProps, pRow->cValues, 0, PR_ENTRYID);
    LPSPropValue pName = PropAt(pRow->lpProps, pRow->cValues, 1, PR_DISPLAY_NAME_W);
    IMsgStore* pStore = NULL;
    if (pEntryId != NULL && pName != NULL && pName->Value.lpszW != NULL &&
        _wcsicmp(pName->Value.lpszW, u"SMS") == 0) {
      ULONG ulObjType = 0;
      pSession->OpenEntry(pEntryId->Value.bin.cb, (LPENTRYID)pEntryId->Value.bin.lpb, NULL,
                          MAPI_BEST_ACCESS, &ulObjType, (LPUNKNOWN*)&pStore);
    }
    FreeProws(pRows);
    if (pStore != NULL) {
      nCount += (LONG)CountFolderMessages(pStore, (LPSPropTagArray)&g_InboxFolderProp,
                                          PR_CE_IPM_INBOX_ENTRYID);
      nCount += (LONG)CountFolderMessages(pStore, (LPSPropTagArray)&g_SentFolderProp,
                                          PR_IPM_SENTMAIL_ENTRYID);
      pStore->Release();
    }
  }
  return nCount;
}

int CXMLTextWriter::SavePhoneMessagesToXML(LPCWSTR pszPath) {
  g_nMessagesLeftOut = 0;
  g_nMessagesIncomplete = 0;
  if (pszPath == NULL) return 0;
  CopyBounded(m_szFilePath, pszPath, MAX_PATH);

  CoInitializeEx(NULL, COINIT_MULTITHREADED);
  MAPIInitialize(NULL);
  IMAPISession* pSession = NULL;
  MAPILogonEx(0, NULL, NULL, 0, &pSession);
  OpenDebugLog();  // one open of the log for the whole walk
  WriteDebugLog(u"start\r\n");

  IMAPITable* pStoresTable = NULL;
  if (pSession != NULL) pSession->GetMsgStoresTable(MAPI_UNICODE, &pStoresTable);
  if (pStoresTable != NULL) {
    pStoresTable->SetColumns((LPSPropTagArray)&g_StoresColumns, 0);
    WriteDebugLog(u"SetColumns\r\n");
  }

  // The first store in table order named "SMS", in any letter case.
  IMsgStore* pStore = NULL;
  LPSRowSet pRows = NULL;
  while (pStoresTable != NULL) {
    pRows = NULL;
    HRESULT hr = pStoresTable->QueryRows(1, 0, &pRows);
    if (FAILED(hr) || pRows == NULL || pRows->cRows != 1) break;
    SRow* pRow = &pRows->aRow[0];
    LPSPropValue pEntryId = PropAt(pRow->lpProps, pRow->cValues, 0, PR_ENTRYID);
    LPSPropValue pName = PropAt(pRow->lpProps, pRow->cValues, 1, PR_DISPLAY_NAME_W);
    if (pEntryId != NULL && pName != NULL && pName->Value.lpszW != NULL &&
        _wcsicmp(pName->Value.lpszW, u"SMS") == 0) {
      ULONG ulObjType = 0;
      pSession->OpenEntry(pEntryId->Value.bin.cb, (LPENTRYID)pEntryId->Value.bin.lpb, NULL,
                          MAPI_BEST_ACCESS, &ulObjType, (LPUNKNOWN*)&pStore);
      FreeProws(pRows);
      pRows = NULL;
      break;
    }
    FreeProws(pRows);
    pRows = NULL;
  }

  // A store that is missing or can't be opened, or a folder of it that
  // can't be read, leaves the current file as it is.
  int nResult = 0;
  if (pStore != NULL) {
    int bWalked = WriteMessages(pStore);
    pStore->Release();
    // The job reports a messages file that was not written, so the save's
    // result is ours.
    // A path that cannot be made a COM string fails the save; the session
    // and tables are still given back below.
    if (bWalked) {
      try {
        nResult = Save();
      } catch (...) {
        nResult = 0;
      }
    }
  }

  // Messages in a further store named "SMS" (one the open could not merge
  // into the first) are not in the file: the job must not say it is done.
  if (pStore != NULL) g_nMessagesLeftOut += CountFurtherSmsMessages(pSession, pStoresTable);

  if (pRows != NULL) FreeProws(pRows);
  if (pStoresTable != NULL) pStoresTable->Release();
  if (pSession != NULL) {
    pSession->Logoff(0, 0, 0);
    pSession->Release();
  }
  MAPIUninitialize();
  CoUninitialize();
  CloseDebugLog();
  return nResult;
}

// Opens the folder whose entry id the store holds under ulFolderTag (left
// null when there is none or it can't be opened) and that folder's contents
// table (null without a folder).
static void OpenFolderContents(IMsgStore* pStore, LPSPropTagArray pFolderProp, ULONG ulFolderTag,
                               IMAPIFolder** ppFolder, IMAPITable** ppTable) {
  ULONG cValues = 0;
  LPSPropValue pProps = NULL;
  *ppFolder = NULL;
  pStore->GetProps(pFolderProp, MAPI_UNICODE, &cValues, &pProps);
  LPSPropValue pEntryId = PropAt(pProps, cValues, 0, ulFolderTag);
  if (pEntryId != NULL)
    pStore->OpenEntry(pEntryId->Value.bin.cb, (LPENTRYID)pEntryId->Value.bin.lpb, NULL, MAPI_MODIFY,
                      NULL, (LPUNKNOWN*)ppFolder);
  MAPIFreeBuffer(pProps);
  *ppTable = NULL;
  if (*ppFolder != NULL) (*ppFolder)->GetContentsTable(0, ppTable);
}

int CXMLTextWriter::OpenInboxTable(IMsgStore* pStore) {
  OpenFolderContents(pStore, (LPSPropTagArray)&g_InboxFolderProp, PR_CE_IPM_INBOX_ENTRYID,
                     &g_pInboxFolder, &m_pInboxTable);
  ULONG ulCount = 0;
  if (m_pInboxTable != NULL) {
    m_pInboxTable->SetColumns((LPSPropTagArray)&g_InboxColumns, 0);
    m_pInboxTable->GetRowCount(0, &ulCount);
  }
  g_nMessageTotal = ulCount;
  return 1;
}

int CXMLTextWriter::OpenSentTable(IMsgStore* pStore) {
  ReleaseSentMessage();
  // The sent items keep their default columns, which begin with the entry id.
  OpenFolderContents(pStore, (LPSPropTagArray)&g_SentFolderProp, PR_IPM_SENTMAIL_ENTRYID,
                     &g_pSentFolder, &m_pSentTable);
  ULONG ulCount = 0;
  if (m_pSentTable != NULL) m_pSentTable->GetRowCount(0, &ulCount);
  g_nMessageTotal += ulCount;
  return 1;
}

// A message that can't be opened or whose properties can't be read is passed
// over and counted in g_nMessagesLeftOut: the next row is read instead.
int CXMLTextWriter::ReadNextInboxMessage() {
  ReleaseInboxMessage();
  if (m_pInboxTable == NULL || g_pInboxFolder == NULL) return 0;
  for (;;) {
    LPSRowSet pRows = NULL;
    IMessage* pMessage = NULL;
    if (!OpenNextMessage(m_pInboxTable, g_pInboxFolder, &pRows, &pMessage)) return 0;
    ULONG cValues = 0;
    if (pMessage != NULL) {
      pMessage->GetProps((LPSPropTagArray)&g_InboxColumns, MAPI_UNICODE, &cValues, &g_pInboxProps);
      pMessage->Release();
    }
    FreeProws(pRows);
    if (g_pInboxProps == NULL) {
      ++g_nMessagesLeftOut;
      continue;
    }

    ReadLocalTime(PropAt(g_pInboxProps, cValues, 3, PR_MESSAGE_DELIVERY_TIME),
                  &g_InboxMessage.stTime);
    LPSPropValue pText = PropAt(g_pInboxProps, cValues, 1, PR_SUBJECT_W);
    LPSPropValue pSender = PropAt(g_pInboxProps, cValues, 2, PR_SENDER_EMAIL_ADDRESS_W);
    g_InboxMessage.pszText = pText ? pText->Value.lpszW : NULL;
    g_InboxMessage.pszAddress = pSender ? pSender->Value.lpszW : NULL;
    return 1;
  }
}

int CXMLTextWriter::ReadNextSentMessage() {
  ReleaseSentMessage();
  if (m_pSentTable == NULL || g_pSentFolder == NULL) return 0;
  for (;;) {
    LPSRowSet pRows = NULL;
    IMessage* pMessage = NULL;
    if (!OpenNextMessage(m_pSentTable, g_pSentFolder, &pRows, &pMessage)) return 0;
    if (pMessage == NULL) {
      FreeProws(pRows);
      ++g_nMessagesLeftOut;
      continue;
    }
    WriteDebugLog(u"after OpenEntry\r\n");
    // A message whose recipients could not be read is still written (its
    // text is kept), without the address, and counted as not whole.
    if (!GetRecipientAddress(pMessage, &g_pszSentAddress)) ++g_nMessagesIncomplete;
    WriteDebugLog(u"before GetProps\r\n");
    ULONG cValues = 0;
    pMessage->GetProps((LPSPropTagArray)&g_SentProps, MAPI_UNICODE, &cValues, &g_pSentProps);
    pMessage->Release();
    FreeProws(pRows);
    if (g_pSentProps == NULL) {
      MAPIFreeBuffer(g_pszSentAddress);
      g_pszSentAddress = NULL;
      ++g_nMessagesLeftOut;
      continue;
    }

    ReadLocalTime(PropAt(g_pSentProps, cValues, 2, PR_MESSAGE_DELIVERY_TIME),
                  &g_SentMessage.stTime);
    LPSPropValue pText = PropAt(g_pSentProps, cValues, 1, PR_SUBJECT_W);
    g_SentMessage.pszText = pText ? pText->Value.lpszW : NULL;
    g_SentMessage.pszAddress = g_pszSentAddress;
    return 1;
  }
}

// The address of the last recipient row that has one, as a copy (the rows are
// freed here) that the caller frees with MAPIFreeBuffer. *ppszAddress stays as
// it was when no recipient has an address. 0 when the recipients could not
// be read (the table, a row or the copy failed).
int CXMLTextWriter::GetRecipientAddress(IMessage* pMessage, LPWSTR* ppszAddress) {
  IMAPITable* pTable = NULL;
  HRESULT hrTable = pMessage->GetRecipientTable(0, &pTable);
  WriteDebugLog(u"after GetRecipientTable\r\n");
  if (FAILED(hrTable)) {
    if (pTable != NULL) pTable->Release();
    return 0;
  }
  if (pTable == NULL) return 1;

  LPWSTR pszFound = NULL;
  int bRead = 1;
  for (;;) {
    LPSRowSet pRows = NULL;
    if (FAILED(pTable->QueryRows(1, 0, &pRows))) {
      bRead = 0;
      break;
    }
    WriteDebugLog(u"after QueryRows111\r\n");
    if (pRows == NULL || pRows->cRows == 0) {
      FreeProws(pRows);
      break;
    }
    for (ULONG r = 0; r < pRows->cRows; ++r) {
      SRow* pRow = &pRows->aRow[r];
      for (ULONG i = 0; i < pRow->cValues; ++i) {
        if (pRow->lpProps[i].ulPropTag != PR_EMAIL_ADDRESS_W) continue;
        LPCWSTR pszAddress = pRow->lpProps[i].Value.lpszW;
        if (pszAddress == NULL) break;
        ULONG cb = (ULONG)((wcslen(pszAddress) + 1) * sizeof(WCHAR));
        LPVOID pCopy = NULL;
        if (MAPIAllocateBuffer(cb, &pCopy) == S_OK) {
          memcpy(pCopy, pszAddress, cb);
          MAPIFreeBuffer(pszFound);
          pszFound = (LPWSTR)pCopy;
        } else {
          bRead = 0;
        }
        break;
      }
    }
    FreeProws(pRows);
  }
  pTable->Release();
  if (!bRead) {
    MAPIFreeBuffer(pszFound);
    return 0;
  }
  if (pszFound != NULL) *ppszAddress = pszFound;
  return 1;
}
