// State of the messages walk: the SMS store's inbox and sent-items folders,
// the number of messages counted before the walk, and the message read last
// from each folder and not yet written.
//
// The walk runs on the messages backup job's thread only; nothing here is
// shared with another thread.
//
// A record's texts point into MAPI buffers the walk holds (g_pInboxProps,
// g_pSentProps, g_pszSentAddress) until the next read from the same folder or
// the end of the walk, so each message's buffers are freed once it has been
// written. A record whose message has no delivery time keeps an all-zero
// stTime (wYear 0: no real time has it); such a message sorts before any dated
// one and is written with empty Date and Time.
#pragma once

#include "platform/core/windows.h"
#include "platform/mapi/cemapi.h"

struct MessageRecord {
  SYSTEMTIME stTime;   // delivery time in local time; all zero when the message has none
  LPWSTR pszAddress;   // inbox: the sender; sent items: the recipient; may be null
  LPWSTR pszTimeText;  // "  h:m:s", set while the message is written
  LPWSTR pszDateText;  // "y-m-d", set while the message is written
  LPWSTR pszText;      // the message text; may be null
};

extern IMAPIFolder* g_pInboxFolder;
extern IMAPIFolder* g_pSentFolder;
extern ULONG g_nMessageTotal;
extern MessageRecord g_InboxMessage;
extern MessageRecord g_SentMessage;

// The buffers the two records point into.
extern LPSPropValue g_pInboxProps;
extern LPSPropValue g_pSentProps;
extern LPWSTR g_pszSentAddress;

// Frees what the walk still holds of each folder's last message, and clears
// its record.
void ReleaseInboxMessage();
void ReleaseSentMessage();
