// The CE MAPI stand-in against a real messages database in a temp device.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/device.h"
#include "platform/core/device_lock.h"
#include "platform/core/fault.h"
#include "platform/core/wstr.h"
#include "platform/mapi/cemapi.h"
#include "platform/mapi/db.h"
#include "platform/mapi/message_db.h"
#include "platform/sql/database.h"
#include "platform/sql/errors.h"
#include "test_support/temp_device.h"

namespace {

using vardel::mapi::FolderKind;
using vardel::mapi::Message;
using vardel::mapi::MessageDb;
using vardel::mapi::utc_filetime;

class Mapi : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.emplace(vardel::device::messages_db());
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
  }
  void TearDown() override {
    if (session_) {
      session_->Logoff(0, 0, 0);
      session_->Release();
    }
    MAPIUninitialize();
    db_.reset();
  }

  IMAPISession* logon() {
    EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, &session_), S_OK);
    return session_;
  }

  // Opens the store of the row whose entry id is given.
  IMsgStore* open_store(const SBinary& eid) {
    IMsgStore* store = nullptr;
    ULONG type = 0;
    EXPECT_EQ(session_->OpenEntry(eid.cb, (LPENTRYID)eid.lpb, nullptr, MAPI_BEST_ACCESS, &type,
                                  (LPUNKNOWN*)&store),
              S_OK);
    EXPECT_EQ(type, MAPI_STORE);
    return store;
  }

  // Opens the folder whose entry id the store keeps under tag.
  IMAPIFolder* open_folder(IMsgStore* store, ULONG tag) {
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG n = 0;
    LPSPropValue props = nullptr;
    EXPECT_EQ(store->GetProps((LPSPropTagArray)&tags, MAPI_UNICODE, &n, &props), S_OK);
    IMAPIFolder* folder = nullptr;
    EXPECT_EQ(store->OpenEntry(props[0].Value.bin.cb, (LPENTRYID)props[0].Value.bin.lpb, nullptr,
                               MAPI_MODIFY, nullptr, (LPUNKNOWN*)&folder),
              S_OK);
    MAPIFreeBuffer(props);
    return folder;
  }

  // The one store whose name is given, through the stores table.
  IMsgStore* store_named(const std::u16string& name) {
    IMAPITable* table = nullptr;
    EXPECT_EQ(session_->GetMsgStoresTable(MAPI_UNICODE, &table), S_OK);
    IMsgStore* store = nullptr;
    for (;;) {
      LPSRowSet rows = nullptr;
      EXPECT_EQ(table->QueryRows(1, 0, &rows), S_OK);
      if (rows->cRows == 0) {
        FreeProws(rows);
        break;
      }
      LPSPropValue p = PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues, PR_DISPLAY_NAME);
      if (!store && p && name == p->Value.lpszW) {
        LPSPropValue e = PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues, PR_ENTRYID);
        store = open_store(e->Value.bin);
      }
      FreeProws(rows);
    }
    table->Release();
    return store;
  }

  // The message's subject, empty when it has none.
  static std::u16string subject_of(IMessage* message) {
    SizedSPropTagArray(1, tags) = {1, {PR_SUBJECT}};
    ULONG n = 0;
    LPSPropValue props = nullptr;
    message->GetProps((LPSPropTagArray)&tags, 0, &n, &props);
    std::u16string subject;
    if (props && props[0].ulPropTag == PR_SUBJECT) subject = props[0].Value.lpszW;
    MAPIFreeBuffer(props);
    return subject;
  }

  // Subjects of a table, one QueryRows(1) at a time, in table order.
  static std::vector<std::u16string> subjects(IMAPITable* table) {
    std::vector<std::u16string> out;
    for (;;) {
      LPSRowSet rows = nullptr;
      if (FAILED(table->QueryRows(1, 0, &rows)) || rows->cRows == 0) {
        FreeProws(rows);
        return out;
      }
      LPSPropValue p = PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues, PR_SUBJECT);
      out.push_back(p ? p->Value.lpszW : u"<none>");
      FreeProws(rows);
    }
  }

  vardel::testing::TempDevice device_;
  std::optional<MessageDb> db_;
  IMAPISession* session_ = nullptr;
};

TEST_F(Mapi, LogonNeedsInitialiseAndHonoursItsFaultPoint) {
  vardel::fault::Scope faults;
  MAPIUninitialize();
  IMAPISession* s = nullptr;
  EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, &s), MAPI_E_NOT_INITIALIZED);
  EXPECT_EQ(s, nullptr);
  MAPIInitialize(nullptr);
  vardel::fault::arm("mapi.MAPILogonEx", MAPI_E_LOGON_FAILED);
  EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, &s), MAPI_E_LOGON_FAILED);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, &s), S_OK);
  s->Logoff(0, 0, 0);
  s->Release();
}

TEST_F(Mapi, StoresTableListsStoresInCreationOrderOneRowAtATime) {
  db_->add_store(u"ActiveSync");
  db_->add_store(u"sms");
  db_->add_store(u"Outlook");
  logon();
  IMAPITable* table = nullptr;
  ASSERT_EQ(session_->GetMsgStoresTable(MAPI_UNICODE, &table), S_OK);
  SizedSPropTagArray(2, cols) = {2, {PR_ENTRYID, PR_DISPLAY_NAME_W}};
  ASSERT_EQ(table->SetColumns((LPSPropTagArray)&cols, 0), S_OK);
  ULONG count = 0;
  table->GetRowCount(0, &count);
  EXPECT_EQ(count, 3u);
  std::vector<std::u16string> names;
  for (;;) {
    LPSRowSet rows = nullptr;
    ASSERT_EQ(table->QueryRows(1, 0, &rows), S_OK);
    ASSERT_NE(rows, nullptr);
    if (rows->cRows == 0) {
      FreeProws(rows);
      break;
    }
    ASSERT_EQ(rows->cRows, 1u);
    ASSERT_EQ(rows->aRow[0].cValues, 2u);
    EXPECT_EQ(rows->aRow[0].lpProps[0].ulPropTag, PR_ENTRYID);
    EXPECT_EQ(rows->aRow[0].lpProps[1].ulPropTag, PR_DISPLAY_NAME_W);
    names.push_back(rows->aRow[0].lpProps[1].Value.lpszW);
    FreeProws(rows);
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"ActiveSync", u"sms", u"Outlook"}));
  table->Release();
}

TEST_F(Mapi, StoresTableQueryRowsFaultFailsThatRead) {
  vardel::fault::Scope faults;
  db_->add_store(u"SMS");
  logon();
  IMAPITable* table = nullptr;
  session_->GetMsgStoresTable(MAPI_UNICODE, &table);
  vardel::fault::arm("mapi.StoresTable.QueryRows", E_FAIL);
  LPSRowSet rows = reinterpret_cast<LPSRowSet>(1);
  EXPECT_EQ(table->QueryRows(1, 0, &rows), E_FAIL);
  EXPECT_EQ(rows, nullptr);
  ASSERT_EQ(table->QueryRows(1, 0, &rows), S_OK);  // the failed read did not advance
  EXPECT_EQ(rows->cRows, 1u);
  FreeProws(rows);
  table->Release();
}

TEST_F(Mapi, StoreHasStandardFoldersAndReportsMissingPropertiesAsErrors) {
  auto id = db_->add_store(u"SMS");
  auto folders = db_->folders(id);
  std::vector<std::u16string> names;
  for (auto& f : folders) names.push_back(f.name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Inbox", u"Sent Items", u"Drafts", u"Outbox",
                                                u"Deleted Items"}));
  logon();
  IMsgStore* store = store_named(u"SMS");
  ASSERT_NE(store, nullptr);
  SizedSPropTagArray(3, tags) = {3, {PR_CE_IPM_INBOX_ENTRYID, PR_SUBJECT, PR_IPM_SENTMAIL_ENTRYID}};
  ULONG n = 0;
  LPSPropValue props = nullptr;
  ASSERT_EQ(store->GetProps((LPSPropTagArray)&tags, MAPI_UNICODE, &n, &props),
            MAPI_W_ERRORS_RETURNED);
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(props[0].ulPropTag, PR_CE_IPM_INBOX_ENTRYID);
  EXPECT_EQ(props[1].ulPropTag, PROP_TAG(PT_ERROR, PROP_ID(PR_SUBJECT)));
  EXPECT_EQ(props[1].Value.err, MAPI_E_NOT_FOUND);
  EXPECT_EQ(props[2].ulPropTag, PR_IPM_SENTMAIL_ENTRYID);
  MAPIFreeBuffer(props);

  IMAPIFolder* inbox = open_folder(store, PR_CE_IPM_INBOX_ENTRYID);
  IMAPIFolder* sent = open_folder(store, PR_IPM_SENTMAIL_ENTRYID);
  SizedSPropTagArray(1, name) = {1, {PR_DISPLAY_NAME}};
  inbox->GetProps((LPSPropTagArray)&name, MAPI_UNICODE, &n, &props);
  EXPECT_EQ(std::u16string(props[0].Value.lpszW), u"Inbox");
  MAPIFreeBuffer(props);
  sent->GetProps((LPSPropTagArray)&name, MAPI_UNICODE, &n, &props);
  EXPECT_EQ(std::u16string(props[0].Value.lpszW), u"Sent Items");
  MAPIFreeBuffer(props);
  inbox->Release();
  sent->Release();
  store->Release();
}

TEST_F(Mapi, ContentsTableIsInDeliveryOrderWithTiesByArrivalAndUndatedFirst) {
  auto store = db_->add_store(u"SMS");
  auto inbox = db_->folder(store, FolderKind::inbox);
  auto t = [](int h, int m) { return utc_filetime(2009, 4, 23, h, m, 0); };
  db_->add_message(inbox, Message{u"late", u"1", {}, t(12, 0)});
  db_->add_message(inbox, Message{u"early", u"2", {}, t(9, 0)});
  db_->add_message(inbox, Message{u"tie-a", u"3", {}, t(10, 0)});
  db_->add_message(inbox, Message{u"undated", u"4", {}, std::nullopt});
  db_->add_message(inbox, Message{u"tie-b", u"5", {}, t(10, 0)});
  db_->add_message(db_->folder(store, FolderKind::drafts), Message{u"draft", {}, {}, t(8, 0)});
  logon();
  IMsgStore* s = store_named(u"SMS");
  IMAPIFolder* folder = open_folder(s, PR_CE_IPM_INBOX_ENTRYID);
  IMAPITable* table = nullptr;
  ASSERT_EQ(folder->GetContentsTable(0, &table), S_OK);
  ULONG count = 0;
  table->GetRowCount(0, &count);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(subjects(table),
            (std::vector<std::u16string>{u"undated", u"early", u"tie-a", u"tie-b", u"late"}));
  table->Release();
  folder->Release();
  s->Release();
}

TEST_F(Mapi, SentItemsDefaultColumnsBeginWithEntryIdThatOpensTheMessage) {
  auto store = db_->add_store(u"SMS");
  auto sent = db_->folder(store, FolderKind::sent);
  auto ft = utc_filetime(2009, 4, 23, 9, 5, 7);
  db_->add_message(
      sent, Message{u"你好 \U0001F600", {}, {u"+8613800000000", std::nullopt, u"10086"}, ft});
  logon();
  IMsgStore* s = store_named(u"SMS");
  IMAPIFolder* folder = open_folder(s, PR_IPM_SENTMAIL_ENTRYID);
  IMAPITable* table = nullptr;
  folder->GetContentsTable(0, &table);
  LPSRowSet rows = nullptr;
  ASSERT_EQ(table->QueryRows(1, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 1u);
  SPropValue& eid = rows->aRow[0].lpProps[0];
  ASSERT_EQ(eid.ulPropTag, PR_ENTRYID);
  IMessage* msg = nullptr;
  ULONG type = 0;
  ASSERT_EQ(folder->OpenEntry(eid.Value.bin.cb, (LPENTRYID)eid.Value.bin.lpb, nullptr,
                              MAPI_BEST_ACCESS, &type, (LPUNKNOWN*)&msg),
            S_OK);
  EXPECT_EQ(type, MAPI_MESSAGE);
  FreeProws(rows);

  SizedSPropTagArray(3, tags) = {3, {PR_ENTRYID, PR_SUBJECT_W, PR_MESSAGE_DELIVERY_TIME}};
  ULONG n = 0;
  LPSPropValue props = nullptr;
  ASSERT_EQ(msg->GetProps((LPSPropTagArray)&tags, MAPI_UNICODE, &n, &props), S_OK);
  EXPECT_EQ(std::u16string(props[1].Value.lpszW), u"你好 \U0001F600");
  EXPECT_EQ(props[2].Value.ft.dwLowDateTime, ft.dwLowDateTime);
  EXPECT_EQ(props[2].Value.ft.dwHighDateTime, ft.dwHighDateTime);
  MAPIFreeBuffer(props);

  // Recipients in order; one without an address has the address as an error.
  IMAPITable* recips = nullptr;
  ASSERT_EQ(msg->GetRecipientTable(0, &recips), S_OK);
  std::vector<std::u16string> addresses;
  for (;;) {
    LPSRowSet r = nullptr;
    ASSERT_EQ(recips->QueryRows(1, 0, &r), S_OK);
    if (r->cRows == 0) {
      FreeProws(r);
      break;
    }
    LPSPropValue a = PpropFindProp(r->aRow[0].lpProps, r->aRow[0].cValues, PR_EMAIL_ADDRESS_W);
    addresses.push_back(a ? a->Value.lpszW : u"-");
    FreeProws(r);
  }
  EXPECT_EQ(addresses, (std::vector<std::u16string>{u"+8613800000000", u"-", u"10086"}));
  recips->Release();
  msg->Release();
  table->Release();
  folder->Release();
  s->Release();
}

TEST_F(Mapi, MissingMessagePropertiesComeBackAsErrors) {
  auto store = db_->add_store(u"SMS");
  db_->add_message(db_->folder(store, FolderKind::inbox), Message{});
  logon();
  IMsgStore* s = store_named(u"SMS");
  IMAPIFolder* folder = open_folder(s, PR_CE_IPM_INBOX_ENTRYID);
  IMAPITable* table = nullptr;
  folder->GetContentsTable(0, &table);
  SizedSPropTagArray(4, cols) = {
      4, {PR_ENTRYID, PR_SUBJECT_W, PR_SENDER_EMAIL_ADDRESS_W, PR_MESSAGE_DELIVERY_TIME}};
  table->SetColumns((LPSPropTagArray)&cols, 0);
  LPSRowSet rows = nullptr;
  ASSERT_EQ(table->QueryRows(1, 0, &rows), S_OK);
  ASSERT_EQ(rows->aRow[0].cValues, 4u);
  EXPECT_EQ(rows->aRow[0].lpProps[0].ulPropTag, PR_ENTRYID);
  for (int i = 1; i < 4; ++i) {
    EXPECT_EQ(PROP_TYPE(rows->aRow[0].lpProps[i].ulPropTag), PT_ERROR) << i;
    EXPECT_EQ(PROP_ID(rows->aRow[0].lpProps[i].ulPropTag), PROP_ID(cols.aulPropTag[i])) << i;
  }
  FreeProws(rows);
  table->Release();
  folder->Release();
  s->Release();
}

TEST_F(Mapi, FaultPointsFailTheirCallsOnly) {
  vardel::fault::Scope faults;
  auto store = db_->add_store(u"SMS");
  db_->add_message(db_->folder(store, FolderKind::sent), Message{u"x", {}, {u"1"}, {}});
  logon();
  IMsgStore* s = store_named(u"SMS");
  IMAPIFolder* folder = open_folder(s, PR_IPM_SENTMAIL_ENTRYID);

  vardel::fault::arm("mapi.GetContentsTable", E_OUTOFMEMORY);
  IMAPITable* table = reinterpret_cast<IMAPITable*>(1);
  EXPECT_EQ(folder->GetContentsTable(0, &table), E_OUTOFMEMORY);
  EXPECT_EQ(table, nullptr);
  ASSERT_EQ(folder->GetContentsTable(0, &table), S_OK);

  LPSRowSet rows = nullptr;
  table->QueryRows(1, 0, &rows);
  SPropValue& eid = rows->aRow[0].lpProps[0];
  IMessage* msg = nullptr;
  folder->OpenEntry(eid.Value.bin.cb, (LPENTRYID)eid.Value.bin.lpb, nullptr, MAPI_BEST_ACCESS,
                    nullptr, (LPUNKNOWN*)&msg);
  FreeProws(rows);
  ASSERT_NE(msg, nullptr);

  vardel::fault::arm("mapi.GetProps", E_FAIL);
  SizedSPropTagArray(1, tags) = {1, {PR_SUBJECT}};
  ULONG n = 7;
  LPSPropValue props = reinterpret_cast<LPSPropValue>(1);
  EXPECT_EQ(msg->GetProps((LPSPropTagArray)&tags, MAPI_UNICODE, &n, &props), E_FAIL);
  EXPECT_EQ(props, nullptr);
  EXPECT_EQ(n, 0u);

  vardel::fault::arm("mapi.GetRecipientTable", E_FAIL);
  IMAPITable* recips = reinterpret_cast<IMAPITable*>(1);
  EXPECT_EQ(msg->GetRecipientTable(0, &recips), E_FAIL);
  EXPECT_EQ(recips, nullptr);
  ASSERT_EQ(msg->GetRecipientTable(0, &recips), S_OK);
  recips->Release();
  msg->Release();
  table->Release();
  folder->Release();
  s->Release();
}

TEST_F(Mapi, EntriesOpenOnlyWithinTheirStoreOrFolder) {
  auto a = db_->add_store(u"SMS");
  auto b = db_->add_store(u"Other");
  db_->add_message(db_->folder(b, FolderKind::inbox), Message{u"other", {}, {}, {}});
  db_->add_message(db_->folder(a, FolderKind::sent), Message{u"sent", {}, {}, {}});
  logon();
  IMsgStore* sms = store_named(u"SMS");
  IMsgStore* other = store_named(u"Other");
  IMAPIFolder* other_inbox = open_folder(other, PR_CE_IPM_INBOX_ENTRYID);
  IMAPIFolder* sms_inbox = open_folder(sms, PR_CE_IPM_INBOX_ENTRYID);
  IMAPITable* table = nullptr;
  other_inbox->GetContentsTable(0, &table);
  LPSRowSet rows = nullptr;
  table->QueryRows(1, 0, &rows);
  SBinary eid = rows->aRow[0].lpProps[0].Value.bin;
  IUnknown* unk = nullptr;
  EXPECT_EQ(sms_inbox->OpenEntry(eid.cb, (LPENTRYID)eid.lpb, nullptr, 0, nullptr, &unk),
            MAPI_E_NOT_FOUND);
  EXPECT_EQ(sms->OpenEntry(eid.cb, (LPENTRYID)eid.lpb, nullptr, 0, nullptr, &unk),
            MAPI_E_NOT_FOUND);
  EXPECT_EQ(unk, nullptr);
  BYTE junk[5] = {0, 0, 0, 0, 9};
  EXPECT_EQ(session_->OpenEntry(sizeof junk, (LPENTRYID)junk, nullptr, 0, nullptr, &unk),
            MAPI_E_INVALID_ENTRYID);
  ASSERT_EQ(session_->OpenEntry(eid.cb, (LPENTRYID)eid.lpb, &IID_IMessage, 0, nullptr, &unk), S_OK);
  unk->Release();
  FreeProws(rows);
  table->Release();
  sms_inbox->Release();
  other_inbox->Release();
  sms->Release();
  other->Release();
}

TEST_F(Mapi, HostApiReadsBackWhatItStored) {
  auto store = db_->add_store(u"SMS");
  auto sent = db_->folder(store, FolderKind::sent);
  std::u16string lone = u"a";
  lone += char16_t(0xD800);  // stored as UTF-8, which cannot carry a lone surrogate
  db_->add_message(sent,
                   Message{lone, {}, {u"1", std::nullopt}, utc_filetime(2008, 12, 31, 23, 59, 59)});
  db_->add_message(sent, Message{std::nullopt, u"s", {}, std::nullopt});
  auto msgs = db_->messages(sent);
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_FALSE(msgs[0].message.text.has_value());
  EXPECT_EQ(msgs[0].message.sender, u"s");
  EXPECT_EQ(msgs[1].message.text, u"a\uFFFD");
  ASSERT_EQ(msgs[1].message.recipients.size(), 2u);
  EXPECT_FALSE(msgs[1].message.recipients[1].has_value());
  EXPECT_EQ(vardel::mapi::filetime_ticks(*msgs[1].message.delivery),
            vardel::mapi::filetime_ticks(utc_filetime(2008, 12, 31, 23, 59, 59)));
  // 2009-01-01 00:00:00 UTC is 128752416000000000 ticks after 1601.
  EXPECT_EQ(vardel::mapi::filetime_ticks(utc_filetime(2009, 1, 1, 0, 0, 0)), 128752416000000000ULL);
  EXPECT_THROW(db_->add_message(9999, Message{}), std::runtime_error);
}

// A pull replaces messages: removals and additions in one transaction,
// undone together by a rollback.
TEST_F(Mapi, RemovedMessagesTakeTheirRecipientsAndARollbackKeepsThem) {
  auto store = db_->add_store(u"SMS");
  auto sent = db_->folder(store, FolderKind::sent);
  auto a = db_->add_message(sent, Message{u"a", {}, {u"1", u"2"}, std::nullopt});
  auto b = db_->add_message(sent, Message{u"b", {}, {u"3"}, std::nullopt});
  db_->begin();
  EXPECT_TRUE(db_->remove_message(a));
  EXPECT_FALSE(db_->remove_message(a));
  db_->add_message(sent, Message{u"c", {}, {}, std::nullopt});
  db_->rollback();
  ASSERT_EQ(db_->messages(sent).size(), 2u);
  EXPECT_EQ(db_->messages(sent)[0].message.recipients.size(), 2u);

  EXPECT_TRUE(db_->remove_message(a));
  auto left = db_->messages(sent);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].id, b);
  // The removed message's recipients went with it: a new message reusing
  // the id starts with none.
  auto c = db_->add_message(sent, Message{u"c", {}, {}, std::nullopt});
  for (const auto& m : db_->messages(sent)) {
    if (m.id == c) {
      EXPECT_TRUE(m.message.recipients.empty());
    }
  }
}

// The device keeps receiving while a session reads: the writer is not held
// up, and the new message shows in the next contents table.
// A message read for a table row and then opened is read once within one
// table's snapshot; a change made meanwhile shows from the next table on.
TEST_F(Mapi, AMessageChangedDuringASessionOpensAsTheNextTableShowsIt) {
  auto store = db_->add_store(u"SMS");
  auto inbox = db_->folder(store, FolderKind::inbox);
  db_->add_message(inbox, Message{u"first", {}, {}, utc_filetime(2009, 1, 1, 0, 0, 0)});
  logon();
  IMsgStore* s = store_named(u"SMS");
  IMAPIFolder* folder = open_folder(s, PR_CE_IPM_INBOX_ENTRYID);
  auto subject_of_first = [&] {
    IMAPITable* table = nullptr;
    folder->GetContentsTable(0, &table);
    LPSRowSet rows = nullptr;
    EXPECT_EQ(table->QueryRows(1, 0, &rows), S_OK);
    std::u16string subject;
    IMessage* message = nullptr;
    ULONG type = 0;
    const SBinary& eid = rows->aRow[0].lpProps[0].Value.bin;
    if (folder->OpenEntry(eid.cb, (LPENTRYID)eid.lpb, nullptr, 0, &type, (LPUNKNOWN*)&message) ==
        S_OK) {
      subject = subject_of(message);
      message->Release();
    }
    FreeProws(rows);
    table->Release();
    return subject;
  };
  EXPECT_EQ(subject_of_first(), u"first");
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(vardel::device::messages_db().c_str(), &raw), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(raw, "UPDATE messages SET subject = 'changed'", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(raw);
  EXPECT_EQ(subject_of_first(), u"changed");
  folder->Release();
  s->Release();
}

// A walk reads the inbox and the sent items in turns, a row, the message it
// opens and its recipients at a time; the rows of both tables, read ahead in
// blocks, must come back as they would one by one, and a row read again too.
TEST_F(Mapi, TwoTablesReadInTurnsGiveEachMessageAndItsRecipients) {
  auto store = db_->add_store(u"SMS");
  auto inbox = db_->folder(store, FolderKind::inbox);
  auto sent = db_->folder(store, FolderKind::sent);
  constexpr int kEach = 150;  // more than two blocks
  auto recipients_of = [](int i) -> std::vector<std::optional<std::u16string>> {
    if (i % 3 == 0) return {};
    if (i % 3 == 1) return {u"1380000" + vardel::utf16(std::to_string(i))};
    return {u"10086", std::nullopt};
  };
  for (int i = 0; i < kEach; ++i) {
    auto ft = utc_filetime(2010, 1, 1 + i / 24, i % 24, 0, 0);
    db_->add_message(inbox, Message{u"in " + vardel::utf16(std::to_string(i)), u"10010", {}, ft});
    db_->add_message(sent,
                     Message{u"out " + vardel::utf16(std::to_string(i)), {}, recipients_of(i), ft});
  }
  logon();
  IMsgStore* s = store_named(u"SMS");
  IMAPIFolder* folders[2] = {open_folder(s, PR_CE_IPM_INBOX_ENTRYID),
                             open_folder(s, PR_IPM_SENTMAIL_ENTRYID)};
  IMAPITable* tables[2] = {nullptr, nullptr};
  for (int t = 0; t < 2; ++t) ASSERT_EQ(folders[t]->GetContentsTable(0, &tables[t]), S_OK);

  // The subject of the row at the cursor through the message it opens, and
  // its recipients' addresses ("-" for one without).
  auto read_row = [&](int t, ULONG flags, std::vector<std::u16string>* addresses) {
    LPSRowSet rows = nullptr;
    EXPECT_EQ(tables[t]->QueryRows(1, flags, &rows), S_OK);
    std::u16string subject = u"<no row>";
    if (rows && rows->cRows == 1) {
      const SBinary& eid = rows->aRow[0].lpProps[0].Value.bin;
      IMessage* message = nullptr;
      ULONG type = 0;
      EXPECT_EQ(folders[t]->OpenEntry(eid.cb, (LPENTRYID)eid.lpb, nullptr, 0, &type,
                                      (LPUNKNOWN*)&message),
                S_OK);
      subject = subject_of(message);
      IMAPITable* recips = nullptr;
      EXPECT_EQ(message->GetRecipientTable(0, &recips), S_OK);
      for (;;) {
        LPSRowSet r = nullptr;
        EXPECT_EQ(recips->QueryRows(1, 0, &r), S_OK);
        const bool done = r->cRows == 0;
        if (!done) {
          LPSPropValue a = PpropFindProp(r->aRow[0].lpProps, r->aRow[0].cValues, PR_EMAIL_ADDRESS);
          addresses->push_back(a ? a->Value.lpszW : u"-");
        }
        FreeProws(r);
        if (done) break;
      }
      recips->Release();
      message->Release();
    }
    FreeProws(rows);
    return subject;
  };

  for (int i = 0; i < kEach; ++i) {
    for (int t = 0; t < 2; ++t) {
      const std::u16string want = (t == 0 ? u"in " : u"out ") + vardel::utf16(std::to_string(i));
      std::vector<std::u16string> addresses;
      if (i % 50 == 7) {  // looked at first without moving on
        EXPECT_EQ(read_row(t, TBL_NOADVANCE, &addresses), want);
        addresses.clear();
      }
      EXPECT_EQ(read_row(t, 0, &addresses), want);
      std::vector<std::u16string> expected;
      if (t == 1)
        for (const auto& a : recipients_of(i)) expected.push_back(a ? *a : u"-");
      EXPECT_EQ(addresses, expected) << "row " << i << " of table " << t;
    }
  }
  for (int t = 0; t < 2; ++t) {
    tables[t]->Release();
    folders[t]->Release();
  }
  s->Release();
}

TEST_F(Mapi, MessagesArrivingDuringASessionShowInTheNextTable) {
  auto store = db_->add_store(u"SMS");
  auto inbox = db_->folder(store, FolderKind::inbox);
  db_->add_message(inbox, Message{u"first", {}, {}, utc_filetime(2009, 1, 1, 0, 0, 0)});
  logon();
  IMsgStore* s = store_named(u"SMS");
  IMAPIFolder* folder = open_folder(s, PR_CE_IPM_INBOX_ENTRYID);
  IMAPITable* before = nullptr;
  folder->GetContentsTable(0, &before);
  db_->add_message(inbox, Message{u"second", {}, {}, utc_filetime(2009, 1, 2, 0, 0, 0)});
  EXPECT_EQ(subjects(before), std::vector<std::u16string>{u"first"});
  IMAPITable* after = nullptr;
  folder->GetContentsTable(0, &after);
  EXPECT_EQ(subjects(after), (std::vector<std::u16string>{u"first", u"second"}));
  before->Release();
  after->Release();
  folder->Release();
  s->Release();
}

// A store this process wrote and closed while holding the device is not read
// whole again at its next opening; one only read, or closed without the
// device, is.
TEST(MapiStoreCheck, AStoreWrittenAndClosedWhileHeldIsNotReadAgain) {
  vardel::testing::TempDevice device;
  const auto file = vardel::device::messages_db();
  auto fill_and_close = [&](vardel::mapi::Access access) {
    if (access == vardel::mapi::Access::write) {
      MessageDb db(file);
      auto inbox = db.folder(db.sms_store(), FolderKind::inbox);
      for (int i = 0; i < 400; ++i)
        db.add_message(inbox, Message{std::u16string(300, u'x'), u"10086", {}, {}});
    } else {
      vardel::mapi::Db db(file, access);
    }
  };
  // Damage in the middle of the file that keeps its size and time.
  auto damage = [&] {
    struct stat before;
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    {
      std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(before.st_size / 2);
      f << std::string(8192, '\xA5');
    }
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  };
  const vardel::sql::TableProbes probes = {"SELECT id, folder FROM messages LIMIT 0"};

  ASSERT_EQ(vardel::device::lock_device(), vardel::device::LockResult::locked);
  fill_and_close(vardel::mapi::Access::write);
  damage();
  EXPECT_EQ(vardel::sql::check_database_file(file, probes), S_OK);
  EXPECT_EQ(vardel::sql::check_database_file(file, probes), vardel::sql::kHrCorrupt);

  std::filesystem::remove(file);
  fill_and_close(vardel::mapi::Access::write);
  vardel::sql::check_database_file(file, probes);  // uses the note up
  fill_and_close(vardel::mapi::Access::read);
  damage();
  EXPECT_EQ(vardel::sql::check_database_file(file, probes), vardel::sql::kHrCorrupt);
  vardel::device::unlock_device();

  std::filesystem::remove(file);
  fill_and_close(vardel::mapi::Access::write);
  damage();
  EXPECT_EQ(vardel::sql::check_database_file(file, probes), vardel::sql::kHrCorrupt);
}

TEST(MapiBuffers, MoreBlocksAreFreedWithTheirHead) {
  void* head = nullptr;
  ASSERT_EQ(MAPIAllocateBuffer(16, &head), S_OK);
  void* more = nullptr;
  ASSERT_EQ(MAPIAllocateMore(100, head, &more), S_OK);
  ASSERT_EQ(MAPIAllocateMore(100, head, &more), S_OK);
  EXPECT_EQ(MAPIAllocateMore(8, more, &more), MAPI_E_INVALID_PARAMETER);  // not a head
  EXPECT_EQ(MAPIFreeBuffer(head), 0u);  // the sanitizer build reports any block left behind
  EXPECT_EQ(MAPIFreeBuffer(nullptr), 0u);
  FreeProws(nullptr);
}

}  // namespace

// Running out of memory inside a call (a fault armed to throw
// std::bad_alloc) comes back as MAPI_E_NOT_ENOUGH_MEMORY, never as an
// exception, and moves no cursor.
TEST_F(Mapi, AnAllocationFailureInsideACallIsOutOfMemory) {
  vardel::fault::Scope faults;
  auto store = db_->add_store(u"SMS");
  db_->add_message(db_->folder(store, FolderKind::inbox), Message{u"x", u"1", {}, {}});
  logon();
  IMAPITable* stores = nullptr;
  ASSERT_EQ(session_->GetMsgStoresTable(0, &stores), S_OK);
  vardel::fault::arm_out_of_memory("mapi.StoresTable.QueryRows");
  LPSRowSet rows = reinterpret_cast<LPSRowSet>(1);
  EXPECT_EQ(stores->QueryRows(1, 0, &rows), MAPI_E_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(rows, nullptr);
  ASSERT_EQ(stores->QueryRows(1, 0, &rows), S_OK);
  EXPECT_EQ(rows->cRows, 1u);
  FreeProws(rows);
  stores->Release();

  IMsgStore* s = store_named(u"SMS");
  IMAPIFolder* folder = open_folder(s, PR_CE_IPM_INBOX_ENTRYID);
  IMAPITable* table = reinterpret_cast<IMAPITable*>(1);
  vardel::fault::arm_out_of_memory("mapi.GetContentsTable");
  EXPECT_EQ(folder->GetContentsTable(0, &table), MAPI_E_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(table, nullptr);

  SizedSPropTagArray(1, tags) = {1, {PR_DISPLAY_NAME}};
  ULONG n = 7;
  LPSPropValue props = reinterpret_cast<LPSPropValue>(1);
  vardel::fault::arm_out_of_memory("mapi.GetProps");
  EXPECT_EQ(folder->GetProps((LPSPropTagArray)&tags, MAPI_UNICODE, &n, &props),
            MAPI_E_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(props, nullptr);
  EXPECT_EQ(n, 0u);
  // Calls the stand-in does not provide say so.
  EXPECT_EQ(folder->GetHierarchyTable(0, &table), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(folder->SetProps(0, nullptr, nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(folder->AddRef(), 2u);
  EXPECT_EQ(folder->Release(), 1u);
  folder->Release();
  s->Release();
}
