// Finding the SMS store, reading each folder, and what the diagnostic log
// shows of it.
#include "messages/tests/messages_fixture.h"
#include "platform/com/com.h"
#include "platform/mapi/cemapi.h"

#include <algorithm>

namespace {

const std::vector<std::string> kSentMessageLog(int recipientReads) {
  std::vector<std::string> v = {"after OpenEntry", "after GetRecipientTable"};
  for (int i = 0; i < recipientReads; ++i) v.push_back("after QueryRows111");
  v.push_back("before GetProps");
  return v;
}

}  // namespace

TEST_F(MessagesTest, StoresNamedSmsInAnyCaseAreBackedUpAsOneAndOthersAreNot) {
  auto other = AddStore(u"ActiveSync");
  auto lower = AddStore(u"sms");
  auto upper = AddStore(u"SMS");
  Received(other.inbox, u"1", u"from another store", Utc(2009, 1, 1, 0, 0, 0));
  Received(lower.inbox, u"2", u"lower", Utc(2009, 1, 1, 0, 0, 0));
  Received(upper.inbox, u"3", u"upper", Utc(2009, 1, 1, 0, 0, 0));
  int apartments = vardel::com::apartment_count();

  // The logon's open merges "SMS" into "sms", the first of them.
  EXPECT_EQ(RunBackup(), 1);
  EXPECT_EQ(Records(),
            (std::vector<std::string>{Card("来自于：2", "2009-1-1", "  0:0:0", "lower"),
                                      Card("来自于：3", "2009-1-1", "  0:0:0", "upper")}));
  EXPECT_EQ(g_nMessagesLeftOut, 0);
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"start", "SetColumns"}));
  EXPECT_EQ(vardel::com::apartment_count(), apartments);
}

TEST_F(MessagesTest, WithoutSmsStoreNothingIsSavedAndOnlyTheFirstStepsAreLogged) {
  auto other = AddStore(u"SMS2");
  Received(other.inbox, u"1", u"x", Utc(2009, 1, 1, 0, 0, 0));
  vardel::testing::write_file(FilePath(), "previous");
  int apartments = vardel::com::apartment_count();

  EXPECT_EQ(RunBackup(), 0);
  EXPECT_EQ(File(), "previous");
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"start", "SetColumns"}));
  EXPECT_TRUE(Progress().empty());
  EXPECT_EQ(vardel::com::apartment_count(), apartments);
}

TEST_F(MessagesTest, FailuresBeforeTheStoreIsOpenLeaveThePreviousFile) {
  AddStore(u"Other");
  auto s = AddStore(u"SMS");
  Received(s.inbox, u"1", u"x", Utc(2009, 1, 1, 0, 0, 0));
  vardel::testing::write_file(FilePath(), "previous");

  // The stores table fails on the row that would have been the SMS store.
  vardel::fault::arm("mapi.StoresTable.QueryRows", E_FAIL, 2);
  EXPECT_EQ(RunBackup(), 0);
  EXPECT_EQ(File(), "previous");

  // No logon: nothing to walk, nothing saved.
  vardel::fault::reset();
  vardel::fault::arm("mapi.MAPILogonEx", MAPI_E_LOGON_FAILED);
  EXPECT_EQ(RunBackup(), 0);
  EXPECT_EQ(File(), "previous");
  EXPECT_TRUE(Progress().empty());
}

TEST_F(MessagesTest, LastRecipientWithAnAddressWinsAndEachReadIsLogged) {
  auto s = AddStore(u"SMS");
  m_db->add_message(
      s.sent, vardel::mapi::Message{u"to two", {}, {u"111", u"222"}, Utc(2009, 1, 1, 0, 0, 0)});
  m_db->add_message(s.sent,
                    vardel::mapi::Message{
                        u"second has none", {}, {u"333", std::nullopt}, Utc(2009, 1, 2, 0, 0, 0)});

  EXPECT_EQ(RunBackup(), 1);
  EXPECT_EQ(Records(),
            (std::vector<std::string>{Card("到：222", "2009-1-1", "  0:0:0", "to two"),
                                      Card("到：333", "2009-1-2", "  0:0:0", "second has none")}));
  std::vector<std::string> log = {"start", "SetColumns"};
  for (auto& t : kSentMessageLog(3)) log.push_back(t);
  for (auto& t : kSentMessageLog(3)) log.push_back(t);
  EXPECT_EQ(LogTexts(), log);
}

// A message may lack its text, its address or its time: the file then holds
// empty texts where they would stand, never "(null)", and an undated message
// goes before the dated ones.
TEST_F(MessagesTest, MissingPartsAreWrittenEmpty) {
  auto s = AddStore(u"SMS");
  Received(s.inbox, u"10086", u"dated", Utc(2009, 4, 23, 8, 0, 0));
  m_db->add_message(
      s.inbox, vardel::mapi::Message{std::nullopt, std::nullopt, {}, Utc(2009, 4, 23, 9, 0, 0)});
  m_db->add_message(s.sent,
                    vardel::mapi::Message{u"no recipient", {}, {}, Utc(2009, 4, 23, 10, 0, 0)});
  m_db->add_message(s.sent, vardel::mapi::Message{u"undated", {}, {u"555"}, std::nullopt});

  EXPECT_EQ(RunBackup(), 1);
  EXPECT_EQ(Records(),
            (std::vector<std::string>{Card("到：555", "", "", "undated"),
                                      Card("来自于：10086", "2009-4-23", "  8:0:0", "dated"),
                                      Card("来自于：", "2009-4-23", "  9:0:0", ""),
                                      Card("到：", "2009-4-23", "  10:0:0", "no recipient")}));
  EXPECT_EQ(File().find("(null)"), std::string::npos);
  // The recipient-less message still logs its one empty read.
  auto log = LogTexts();
  EXPECT_EQ(std::count(log.begin(), log.end(), "after QueryRows111"), 3);
}

// A folder whose table can't be had fails the walk: a file without that
// folder's messages would look complete, so the previous file stays.
TEST_F(MessagesTest, AFolderThatCannotBeReadLeavesThePreviousFile) {
  auto s = AddStore(u"SMS");
  Received(s.inbox, u"1", u"in", Utc(2009, 1, 1, 0, 0, 0));
  Sent(s.sent, u"2", u"out", Utc(2009, 1, 2, 0, 0, 0));
  vardel::fault::arm("mapi.GetContentsTable", E_FAIL, 1);  // the inbox's
  EXPECT_EQ(RunBackup(), 0);
  EXPECT_FALSE(std::filesystem::exists(FilePath()));
}

// A failure inside a folder costs only the message it touches, and that
// message is counted as left out; the address of a message whose recipients
// can't be listed is written empty, and that message counted as not whole.
TEST_F(MessagesTest, MessagesThatCannotBeReadAreCountedAsLeftOut) {
  auto s = AddStore(u"SMS");
  Received(s.inbox, u"1", u"in", Utc(2009, 1, 1, 0, 0, 0));
  Sent(s.sent, u"2", u"out", Utc(2009, 1, 2, 0, 0, 0));
  Sent(s.sent, u"3", u"unreadable", Utc(2009, 1, 3, 0, 0, 0));
  Sent(s.sent, u"4", u"no list", Utc(2009, 1, 4, 0, 0, 0));
  // GetProps: the store's two folder properties, then the inbox message, the
  // first sent message, the second; the recipient list of the third.
  vardel::fault::arm("mapi.GetProps", E_FAIL, 5);
  vardel::fault::arm("mapi.GetRecipientTable", E_FAIL, 3);
  EXPECT_EQ(RunBackup(), 1);
  EXPECT_EQ(Records(), (std::vector<std::string>{Card("来自于：1", "2009-1-1", "  0:0:0", "in"),
                                                 Card("到：2", "2009-1-2", "  0:0:0", "out"),
                                                 Card("到：", "2009-1-4", "  0:0:0", "no list")}));
  EXPECT_EQ(g_nMessagesLeftOut, 1);
  EXPECT_EQ(g_nMessagesIncomplete, 1);

  // A table that stops giving rows leaves the rest of its messages out.
  vardel::fault::reset();
  // Reads: the inbox's first row, the sent items' first, the inbox's end,
  // then the sent items' second.
  vardel::fault::arm("mapi.ContentsTable.QueryRows", E_FAIL, 4);
  EXPECT_EQ(RunBackup(), 1);
  EXPECT_EQ(g_nMessagesLeftOut, 2);
  EXPECT_EQ(Records().size(), 2u);

  vardel::fault::reset();
  EXPECT_EQ(RunBackup(), 1);
  EXPECT_EQ(g_nMessagesLeftOut, 0);
  EXPECT_EQ(Records().size(), 4u);
}
