// The messages file: the inbox and the sent items merged into one ascending
// time order, one VCARD record per message.
#include <cstring>

#include "messages/MessageStoreWalk.h"
#include "platform/msxml/msxml.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"
#include "xml/XMLTextWriter.h"

// True when the inbox message goes first: the first of year, month, day,
// hour, minute, second that differs decides, and equal times put the sent
// message first.
static bool InboxFirst(const SYSTEMTIME& in, const SYSTEMTIME& sent) {
  const WORD a[6] = {in.wYear, in.wMonth, in.wDay, in.wHour, in.wMinute, in.wSecond};
  const WORD b[6] = {sent.wYear, sent.wMonth, sent.wDay, sent.wHour, sent.wMinute, sent.wSecond};
  for (int i = 0; i < 6; ++i)
    if (a[i] != b[i]) return a[i] < b[i];
  return false;
}

// The percentage written so far. Messages that arrive after the count would
// take it past 100, and an empty count would divide by zero: both show 100.
static WPARAM Percent(ULONGLONG ullWritten, ULONG nTotal) {
  if (nTotal == 0) return 100;
  ULONGLONG ullPercent = ullWritten / nTotal;
  return (WPARAM)(ullPercent > 100 ? 100 : ullPercent);
}

// Releases what the walk still holds: both folders, their tables and the
// last buffers.
static void EndWalk(IMAPITable** ppInboxTable, IMAPITable** ppSentTable) {
  ReleaseInboxMessage();
  ReleaseSentMessage();
  IMAPITable** tables[2] = {ppInboxTable, ppSentTable};
  for (IMAPITable** pp : tables) {
    if (*pp != NULL) {
      (*pp)->Release();
      *pp = NULL;
    }
  }
  IMAPIFolder** folders[2] = {&g_pInboxFolder, &g_pSentFolder};
  for (IMAPIFolder** pp : folders) {
    if (*pp != NULL) {
      (*pp)->Release();
      *pp = NULL;
    }
  }
}

// 0 when a folder of the store can't be read: a file without its messages
// would look complete. Messages that could not be read or written are
// counted in g_nMessagesLeftOut, with every row a table did not give before
// it ended early.
int CXMLTextWriter::WriteMessages(IMsgStore* pStore) {
  OpenInboxTable(pStore);
  OpenSentTable(pStore);
  if (m_pInboxTable == NULL || m_pSentTable == NULL) {
    EndWalk(&m_pInboxTable, &m_pSentTable);
    return 0;
  }
  int nInbox = ReadNextInboxMessage();
  int nSent = ReadNextSentMessage();
  ULONGLONG ullWritten = 0;
  ULONG nTaken = 0;         // messages the reads gave, written or not
  LONG nWriteFailures = 0;  // of those, the ones that have no whole record

  // A COM string that cannot be made (_com_error) ends the walk: what it
  // holds goes back and the file is not saved.
  try {
    while (nInbox == 1 || nSent == 1) {
      WCHAR szTime[MAX_PATH];
      WCHAR szDate[MAX_PATH];
      memset(szTime, 0, sizeof(szTime));
      memset(szDate, 0, sizeof(szDate));
      ullWritten += 100;

      bool bInbox =
          nInbox == 1 && (nSent != 1 || InboxFirst(g_InboxMessage.stTime, g_SentMessage.stTime));
      MessageRecord* pRecord = bInbox ? &g_InboxMessage : &g_SentMessage;

      // A message without a time is written with empty Date and Time.
      if (pRecord->stTime.wYear != 0) {
        wsprintfW(szTime, u"  %d:%d:%d", pRecord->stTime.wHour, pRecord->stTime.wMinute,
                  pRecord->stTime.wSecond);
        wsprintfW(szDate, u"%d-%d-%d", pRecord->stTime.wYear, pRecord->stTime.wMonth,
                  pRecord->stTime.wDay);
      }
      pRecord->pszTimeText = szTime;
      pRecord->pszDateText = szDate;

      // A missing address leaves the label's prefix alone.
      WCHAR szLabel[MAX_PATH];
      LPCWSTR pszAddress = pRecord->pszAddress != NULL ? pRecord->pszAddress : u"";
      if (swprintf(szLabel, MAX_PATH, bInbox ? u"来自于：%s" : u"到：%s", pszAddress) < 0)
        szLabel[MAX_PATH - 1] = 0;

      ++nTaken;
      int bWhole = 0;
      if (!CreateMessageCard(&m_pCurrentNode, szLabel, szLabel) && m_pCurrentNode != NULL) {
        // A record appended before its attributes failed is taken out again:
        // the message counts as not written rather than saved without them.
        IXMLDOMNode* pRemoved = NULL;
        if (m_pRootNode != NULL && SUCCEEDED(m_pRootNode->removeChild(m_pCurrentNode, &pRemoved)) &&
            pRemoved != NULL)
          pRemoved->Release();
        m_pCurrentNode->Release();
        m_pCurrentNode = NULL;
      }
      if (m_pCurrentNode != NULL) {
        IXMLDOMNode* pTextNode = NULL;
        if (CreateNode(u"MESSAGE//TEXT", &pTextNode, szDate, szTime, u"1") == 1 &&
            pTextNode != NULL) {
          bWhole = 1;
          if (pRecord->pszText != NULL && pRecord->pszText[0] != 0) {
            BSTR bstrText = SysAllocString(pRecord->pszText);
            if (bstrText == NULL || FAILED(pTextNode->put_text(bstrText))) bWhole = 0;
            SysFreeString(bstrText);
          }
          pTextNode->Release();
        }
        m_pCurrentNode->Release();
        m_pCurrentNode = NULL;
      }
      if (!bWhole) ++nWriteFailures;

      if (bInbox)
        nInbox = ReadNextInboxMessage();
      else
        nSent = ReadNextSentMessage();
      SendMessageW(g_hMainWnd, WM_PROGRESS, Percent(ullWritten, g_nMessageTotal),
                   PROGRESS_MESSAGES);
    }

  } catch (...) {
    if (m_pCurrentNode != NULL) {
      m_pCurrentNode->Release();
      m_pCurrentNode = NULL;
    }
    EndWalk(&m_pInboxTable, &m_pSentTable);
    return 0;
  }

  EndWalk(&m_pInboxTable, &m_pSentTable);
  const ULONG nReadSkipped = (ULONG)g_nMessagesLeftOut;
  if (g_nMessageTotal > nTaken + nReadSkipped)
    g_nMessagesLeftOut += (LONG)(g_nMessageTotal - nTaken - nReadSkipped);
  g_nMessagesLeftOut += nWriteFailures;
  return 1;
}
