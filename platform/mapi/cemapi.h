// CE MAPI stand-in (cemapi): the messaging interface the program reads its
// SMS messages through.
//
// The phone's message stores live in the device's messages database
// (vardel::device::messages_db(), SQLite). A session lists the stores in the
// order they were created; every store has the standard folders (Inbox, Sent
// Items, Drafts, Outbox, Deleted Items). Contents tables give a folder's
// messages in ascending delivery time, messages of equal time (and messages
// without one, which come first) in the order they arrived. Every contents
// table's default column set begins with PR_ENTRYID. Times are UTC FILETIMEs.
//
// GetProps gives every asked-for property; one the object does not have comes
// back as PROP_TAG(PT_ERROR, id) holding MAPI_E_NOT_FOUND, and the call then
// returns MAPI_W_ERRORS_RETURNED. Texts are always UTF-16 (PT_UNICODE).
//
// Memory: property arrays and row sets come from MAPIAllocateBuffer; the
// caller frees a property array with MAPIFreeBuffer and a row set with
// FreeProws (each row's properties, then the set). Objects are reference
// counted; every interface pointer handed out holds one reference.
//
// Reads: a session reads from one snapshot of the database, taken afresh
// when it opens the stores table or a contents table, and let go at Logoff;
// messages that arrive meanwhile show in the next table.
//
// Threads: a session and everything opened through it belong to the thread
// that logged on (each session has its own database connection).
//
// Fault points: "mapi.MAPILogonEx", "mapi.StoresTable.QueryRows",
// "mapi.ContentsTable.QueryRows", "mapi.GetContentsTable", "mapi.GetProps",
// "mapi.GetRecipientTable", "mapi.MergeStores" (platform/mapi/db.h).
#pragma once

#include "platform/com/com.h"
#include "platform/core/types.h"

using FLAGS = ULONG;
using LPULONG = ULONG*;
using LPCIID = const IID*;
using BOOKMARK = ULONG;

// ---------------------------------------------------------------------------
// Property tags: identifier in the high 16 bits, type in the low 16 bits.

#define PROP_TYPE_MASK ((ULONG)0x0000FFFF)
#define PROP_TYPE(ulPropTag) (((ULONG)(ulPropTag)) & PROP_TYPE_MASK)
#define PROP_ID(ulPropTag) (((ULONG)(ulPropTag)) >> 16)
#define PROP_TAG(ulPropType, ulPropID) ((((ULONG)(ulPropID)) << 16) | ((ULONG)(ulPropType)))
#define CHANGE_PROP_TYPE(ulPropTag, ulPropType) \
  (((ULONG)0xFFFF0000 & (ULONG)(ulPropTag)) | (ULONG)(ulPropType))
#define PROP_ID_NULL 0

#define PT_UNSPECIFIED ((ULONG)0x0000)
#define PT_NULL ((ULONG)0x0001)
#define PT_I2 ((ULONG)0x0002)
#define PT_SHORT PT_I2
#define PT_LONG ((ULONG)0x0003)
#define PT_I4 PT_LONG
#define PT_R4 ((ULONG)0x0004)
#define PT_DOUBLE ((ULONG)0x0005)
#define PT_CURRENCY ((ULONG)0x0006)
#define PT_APPTIME ((ULONG)0x0007)
#define PT_ERROR ((ULONG)0x000A)
#define PT_BOOLEAN ((ULONG)0x000B)
#define PT_OBJECT ((ULONG)0x000D)
#define PT_I8 ((ULONG)0x0014)
#define PT_STRING8 ((ULONG)0x001E)
#define PT_UNICODE ((ULONG)0x001F)
#define PT_TSTRING PT_UNICODE
#define PT_SYSTIME ((ULONG)0x0040)
#define PT_CLSID ((ULONG)0x0048)
#define PT_BINARY ((ULONG)0x0102)
#define MV_FLAG ((ULONG)0x1000)
#define PT_MV_I2 (MV_FLAG | PT_I2)
#define PT_MV_LONG (MV_FLAG | PT_LONG)
#define PT_MV_STRING8 (MV_FLAG | PT_STRING8)
#define PT_MV_UNICODE (MV_FLAG | PT_UNICODE)
#define PT_MV_SYSTIME (MV_FLAG | PT_SYSTIME)
#define PT_MV_BINARY (MV_FLAG | PT_BINARY)

#define PR_NULL PROP_TAG(PT_NULL, PROP_ID_NULL)

// Tags the stand-in knows. Texts are wide; the _W names are the same tags.
#define PR_MESSAGE_CLASS PROP_TAG(PT_UNICODE, 0x001A)
#define PR_MESSAGE_CLASS_W PR_MESSAGE_CLASS
#define PR_SUBJECT PROP_TAG(PT_UNICODE, 0x0037)
#define PR_SUBJECT_W PR_SUBJECT
#define PR_CLIENT_SUBMIT_TIME PROP_TAG(PT_SYSTIME, 0x0039)
#define PR_RECIPIENT_TYPE PROP_TAG(PT_LONG, 0x0C15)
#define PR_SENDER_NAME PROP_TAG(PT_UNICODE, 0x0C1A)
#define PR_SENDER_NAME_W PR_SENDER_NAME
#define PR_SENDER_EMAIL_ADDRESS PROP_TAG(PT_UNICODE, 0x0C1F)
#define PR_SENDER_EMAIL_ADDRESS_W PR_SENDER_EMAIL_ADDRESS
#define PR_MESSAGE_DELIVERY_TIME PROP_TAG(PT_SYSTIME, 0x0E06)
#define PR_MESSAGE_FLAGS PROP_TAG(PT_LONG, 0x0E07)
#define PR_MESSAGE_SIZE PROP_TAG(PT_LONG, 0x0E08)
#define PR_PARENT_ENTRYID PROP_TAG(PT_BINARY, 0x0E09)
#define PR_RECORD_KEY PROP_TAG(PT_BINARY, 0x0FF9)
#define PR_STORE_ENTRYID PROP_TAG(PT_BINARY, 0x0FFB)
#define PR_OBJECT_TYPE PROP_TAG(PT_LONG, 0x0FFE)
#define PR_ENTRYID PROP_TAG(PT_BINARY, 0x0FFF)
#define PR_BODY PROP_TAG(PT_UNICODE, 0x1000)
#define PR_BODY_W PR_BODY
#define PR_ROWID PROP_TAG(PT_LONG, 0x3000)
#define PR_DISPLAY_NAME PROP_TAG(PT_UNICODE, 0x3001)
#define PR_DISPLAY_NAME_W PR_DISPLAY_NAME
#define PR_ADDRTYPE PROP_TAG(PT_UNICODE, 0x3002)
#define PR_ADDRTYPE_W PR_ADDRTYPE
#define PR_EMAIL_ADDRESS PROP_TAG(PT_UNICODE, 0x3003)
#define PR_EMAIL_ADDRESS_W PR_EMAIL_ADDRESS
#define PR_DEFAULT_STORE PROP_TAG(PT_BOOLEAN, 0x3400)
#define PR_IPM_SUBTREE_ENTRYID PROP_TAG(PT_BINARY, 0x35E0)
#define PR_IPM_OUTBOX_ENTRYID PROP_TAG(PT_BINARY, 0x35E2)
#define PR_IPM_WASTEBASKET_ENTRYID PROP_TAG(PT_BINARY, 0x35E3)
#define PR_IPM_SENTMAIL_ENTRYID PROP_TAG(PT_BINARY, 0x35E4)
#define PR_FOLDER_TYPE PROP_TAG(PT_LONG, 0x3601)
#define PR_CONTENT_COUNT PROP_TAG(PT_LONG, 0x3602)
#define PR_CONTENT_UNREAD PROP_TAG(PT_LONG, 0x3603)
#define PR_CE_IPM_INBOX_ENTRYID PROP_TAG(PT_BINARY, 0x8106)
#define PR_CE_IPM_DRAFTS_ENTRYID PROP_TAG(PT_BINARY, 0x8107)

// ---------------------------------------------------------------------------
// Flags, object types, results.

#define MAPI_MODIFY ((ULONG)0x00000001)
#define MAPI_DEFERRED_ERRORS ((ULONG)0x00000008)
#define MAPI_BEST_ACCESS ((ULONG)0x00000010)
#define MAPI_UNICODE ((ULONG)0x80000000)
#define TBL_NOADVANCE ((ULONG)0x00000001)
#define MAPI_EXTENDED ((ULONG)0x00000020)
#define MAPI_NEW_SESSION ((ULONG)0x00000002)

#define MAPI_STORE ((ULONG)0x00000001)
#define MAPI_FOLDER ((ULONG)0x00000003)
#define MAPI_MESSAGE ((ULONG)0x00000005)
#define MAPI_MAILUSER ((ULONG)0x00000006)

#define MAPI_ORIG 0
#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3

#define BOOKMARK_BEGINNING ((BOOKMARK)0)
#define BOOKMARK_CURRENT ((BOOKMARK)1)
#define BOOKMARK_END ((BOOKMARK)2)

#define MAPI_E_CALL_FAILED E_FAIL
#define MAPI_E_NOT_ENOUGH_MEMORY E_OUTOFMEMORY
#define MAPI_E_INVALID_PARAMETER E_INVALIDARG
#define MAPI_E_INTERFACE_NOT_SUPPORTED E_NOINTERFACE
#define MAPI_E_NO_ACCESS E_ACCESSDENIED
#define MAPI_E_NO_SUPPORT ((HRESULT)0x80040102)
#define MAPI_E_INVALID_ENTRYID ((HRESULT)0x80040107)
#define MAPI_E_CORRUPT_DATA ((HRESULT)0x8004011B)
#define MAPI_E_NOT_FOUND ((HRESULT)0x8004010F)
#define MAPI_E_LOGON_FAILED ((HRESULT)0x80040111)
#define MAPI_E_UNKNOWN_ENTRYID ((HRESULT)0x80040201)
#define MAPI_E_NOT_INITIALIZED ((HRESULT)0x80040605)
#define MAPI_W_ERRORS_RETURNED ((HRESULT)0x00040380)

// ---------------------------------------------------------------------------
// Values, rows, tag arrays, entry identifiers.

struct SBinary {
  ULONG cb;
  LPBYTE lpb;
};
using LPSBinary = SBinary*;

struct SWStringArray {
  ULONG cValues;
  LPWSTR* lppszW;
};
struct SBinaryArray {
  ULONG cValues;
  SBinary* lpbin;
};
struct SLongArray {
  ULONG cValues;
  LONG* lpl;
};

union _PV {
  SHORT i;
  LONG l;
  ULONG ul;
  double dbl;
  USHORT b;
  FILETIME ft;
  char* lpszA;
  SBinary bin;
  LPWSTR lpszW;
  GUID* lpguid;
  LONGLONG li;
  SLongArray MVl;
  SWStringArray MVszW;
  SBinaryArray MVbin;
  SCODE err;
  LONG x;
};

struct SPropValue {
  ULONG ulPropTag;
  ULONG dwAlignPad;
  union _PV Value;
};
using LPSPropValue = SPropValue*;

struct SRow {
  ULONG ulAdrEntryPad;
  ULONG cValues;
  LPSPropValue lpProps;
};
using LPSRow = SRow*;

// A row set holds cRows rows; aRow is as long as cRows says.
struct SRowSet {
  ULONG cRows;
  SRow aRow[1];
};
using LPSRowSet = SRowSet*;
#define CbNewSRowSet(_crow) (offsetof(SRowSet, aRow) + (_crow) * sizeof(SRow))

struct SPropTagArray {
  ULONG cValues;
  ULONG aulPropTag[1];
};
using LPSPropTagArray = SPropTagArray*;
#define CbNewSPropTagArray(_ctag) (offsetof(SPropTagArray, aulPropTag) + (_ctag) * sizeof(ULONG))
// A tag array of a fixed size, declared in place:
//   SizedSPropTagArray(2, Cols) = {2, {PR_ENTRYID, PR_DISPLAY_NAME}};
//   table->SetColumns((LPSPropTagArray)&Cols, 0);
#define SizedSPropTagArray(_ctag, _name) \
  struct _SPropTagArray_##_name {        \
    ULONG cValues;                       \
    ULONG aulPropTag[_ctag];             \
  } _name

struct ENTRYID {
  BYTE abFlags[4];
  BYTE ab[1];
};
using LPENTRYID = ENTRYID*;

// ---------------------------------------------------------------------------
// Interfaces.

extern const IID IID_IMAPISession;    // {00020300-0000-0000-C000-000000000046}
extern const IID IID_IMAPITable;      // {00020301-0000-0000-C000-000000000046}
extern const IID IID_IMAPIProp;       // {00020303-0000-0000-C000-000000000046}
extern const IID IID_IMsgStore;       // {00020306-0000-0000-C000-000000000046}
extern const IID IID_IMessage;        // {00020307-0000-0000-C000-000000000046}
extern const IID IID_IMAPIContainer;  // {0002030B-0000-0000-C000-000000000046}
extern const IID IID_IMAPIFolder;     // {0002030C-0000-0000-C000-000000000046}

struct IMAPITable : IUnknown {
  STDMETHOD(SetColumns)(LPSPropTagArray lpPropTagArray, ULONG ulFlags) PURE;
  STDMETHOD(QueryColumns)(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) PURE;
  STDMETHOD(GetRowCount)(ULONG ulFlags, ULONG* lpulCount) PURE;
  STDMETHOD(SeekRow)(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) PURE;
  STDMETHOD(QueryPosition)(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) PURE;
  STDMETHOD(QueryRows)(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) PURE;
};
using LPMAPITABLE = IMAPITable*;

struct IMAPIProp : IUnknown {
  STDMETHOD(SaveChanges)(ULONG ulFlags) PURE;
  STDMETHOD(GetProps)
  (LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
   LPSPropValue* lppPropArray) PURE;
  STDMETHOD(GetPropList)(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) PURE;
  STDMETHOD(SetProps)(ULONG cValues, LPSPropValue lpPropArray, void* lppProblems) PURE;
};
using LPMAPIPROP = IMAPIProp*;

struct IMAPIContainer : IMAPIProp {
  STDMETHOD(GetContentsTable)(ULONG ulFlags, LPMAPITABLE* lppTable) PURE;
  STDMETHOD(GetHierarchyTable)(ULONG ulFlags, LPMAPITABLE* lppTable) PURE;
  STDMETHOD(OpenEntry)
  (ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
   LPUNKNOWN* lppUnk) PURE;
};
using LPMAPICONTAINER = IMAPIContainer*;

struct IMAPIFolder : IMAPIContainer {
  STDMETHOD(CreateMessage)(LPCIID lpInterface, ULONG ulFlags, struct IMessage** lppMessage) PURE;
  STDMETHOD(DeleteMessages)
  (void* lpMsgList, ULONG_PTR ulUIParam, void* lpProgress, ULONG ulFlags) PURE;
};
using LPMAPIFOLDER = IMAPIFolder*;

struct IMessage : IMAPIProp {
  STDMETHOD(GetAttachmentTable)(ULONG ulFlags, LPMAPITABLE* lppTable) PURE;
  STDMETHOD(GetRecipientTable)(ULONG ulFlags, LPMAPITABLE* lppTable) PURE;
  STDMETHOD(SubmitMessage)(ULONG ulFlags) PURE;
};
using LPMESSAGE = IMessage*;

struct IMsgStore : IMAPIProp {
  STDMETHOD(OpenEntry)
  (ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
   LPUNKNOWN* lppUnk) PURE;
  STDMETHOD(GetReceiveFolder)
  (LPWSTR lpszMessageClass, ULONG ulFlags, ULONG* lpcbEntryID, LPENTRYID* lppEntryID,
   LPWSTR* lppszExplicitClass) PURE;
  STDMETHOD(StoreLogoff)(ULONG* lpulFlags) PURE;
};
using LPMDB = IMsgStore*;

struct IMAPISession : IUnknown {
  STDMETHOD(GetMsgStoresTable)(ULONG ulFlags, LPMAPITABLE* lppTable) PURE;
  STDMETHOD(OpenMsgStore)
  (ULONG_PTR ulUIParam, ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
   LPMDB* lppMDB) PURE;
  STDMETHOD(OpenEntry)
  (ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
   LPUNKNOWN* lppUnk) PURE;
  STDMETHOD(CompareEntryIDs)
  (ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2, ULONG ulFlags,
   ULONG* lpulResult) PURE;
  STDMETHOD(Logoff)(ULONG_PTR ulUIParam, ULONG ulFlags, ULONG ulReserved) PURE;
};
using LPMAPISESSION = IMAPISession*;

// ---------------------------------------------------------------------------
// Functions.

// Counts per process; MAPILogonEx needs at least one MAPIInitialize.
HRESULT MAPIInitialize(LPVOID lpMapiInit);
void MAPIUninitialize();
// Opens a session over the device's messages database (created when missing).
// No window, profile or password is needed; they are ignored.
HRESULT MAPILogonEx(ULONG_PTR ulUIParam, LPWSTR lpszProfileName, LPWSTR lpszPassword, FLAGS flFlags,
                    LPMAPISESSION* lppSession);

// A buffer from MAPIAllocateBuffer, with the blocks MAPIAllocateMore linked to
// it, is freed whole by one MAPIFreeBuffer. MAPIFreeBuffer(nullptr) is a no-op.
SCODE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer);
SCODE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer);
ULONG MAPIFreeBuffer(LPVOID lpBuffer);
void FreeProws(LPSRowSet lpRows);

// Finds the property with the given tag (PT_UNSPECIFIED matches any type)
// in an array, or null.
LPSPropValue PpropFindProp(LPSPropValue lpPropArray, ULONG cValues, ULONG ulPropTag);
