// The merge of inbox and sent items by local time, the record format and
// the progress of the messages line.
#include "messages/tests/messages_fixture.h"

TEST_F(MessagesTest, EarlierFirstAndSentFirstOnTheSameSecond) {
  auto s = AddStore(u"SMS");
  Received(s.inbox, u"1", u"in 10:00:00", Utc(2009, 4, 23, 10, 0, 0));
  Received(s.inbox, u"1", u"in 11:00:00", Utc(2009, 4, 23, 11, 0, 0));
  Sent(s.sent, u"2", u"out 09:59:59", Utc(2009, 4, 23, 9, 59, 59));
  Sent(s.sent, u"2", u"out 11:00:00", Utc(2009, 4, 23, 11, 0, 0));
  EXPECT_EQ(RunBackup(), 1);
  EXPECT_EQ(Records(),
            (std::vector<std::string>{Card("到：2", "2009-4-23", "  9:59:59", "out 09:59:59"),
                                      Card("来自于：1", "2009-4-23", "  10:0:0", "in 10:00:00"),
                                      Card("到：2", "2009-4-23", "  11:0:0", "out 11:00:00"),
                                      Card("来自于：1", "2009-4-23", "  11:0:0", "in 11:00:00")}));
  EXPECT_EQ(Progress(), (std::vector<WPARAM>{25, 50, 75, 100}));
}

TEST_F(MessagesTest, TheYearDecidesBeforeLaterFields) {
  auto s = AddStore(u"SMS");
  Received(s.inbox, u"1", u"old year", Utc(2008, 12, 31, 23, 59, 59));
  Sent(s.sent, u"2", u"new year", Utc(2009, 1, 1, 0, 0, 0));
  EXPECT_EQ(RunBackup(), 1);
  EXPECT_EQ(Records(),
            (std::vector<std::string>{Card("来自于：1", "2008-12-31", "  23:59:59", "old year"),
                                      Card("到：2", "2009-1-1", "  0:0:0", "new year")}));
}

TEST_F(MessagesTest, TimesAreShownInTheDevicesTimeZone) {
  auto s = AddStore(u"SMS");
  Received(s.inbox, u"1", u"evening in London", Utc(2009, 4, 22, 20, 5, 7));
  SetTimeZone("CST-8");
  EXPECT_EQ(RunBackup(), 1);
  EXPECT_EQ(Records(), std::vector<std::string>{
                           Card("来自于：1", "2009-4-23", "  4:5:7", "evening in London")});
  SetTimeZone("EST5");
  EXPECT_EQ(RunBackup(), 1);
  EXPECT_EQ(Records(), std::vector<std::string>{
                           Card("来自于：1", "2009-4-22", "  15:5:7", "evening in London")});
}

TEST_F(MessagesTest, OneEmptyFolderLeavesTheOtherInTableOrder) {
  auto s = AddStore(u"SMS");
  Received(s.inbox, u"1", u"c", Utc(2009, 3, 1, 0, 0, 0));
  Received(s.inbox, u"2", u"a", Utc(2009, 1, 1, 0, 0, 0));
  Received(s.inbox, u"3", u"b", Utc(2009, 2, 1, 0, 0, 0));
  EXPECT_EQ(RunBackup(), 1);
  EXPECT_EQ(Records(), (std::vector<std::string>{Card("来自于：2", "2009-1-1", "  0:0:0", "a"),
                                                 Card("来自于：3", "2009-2-1", "  0:0:0", "b"),
                                                 Card("来自于：1", "2009-3-1", "  0:0:0", "c")}));
  EXPECT_EQ(Progress(), (std::vector<WPARAM>{33, 66, 100}));
}

TEST_F(MessagesTest, EmptyFoldersSaveTheTemplateAndSendNoProgress) {
  AddStore(u"SMS");
  EXPECT_EQ(RunBackup(), 1);
  EXPECT_EQ(File(),
            "<?xml version=\"1.0\"?>\r\n"
            "<?xml-stylesheet type='text/xsl' href='MessageLogMsg.xsl'?>\r\n"
            "<CONTACTS>\r\n</CONTACTS>\r\n");
  EXPECT_TRUE(Progress().empty());
}

TEST_F(MessagesTest, TextsAreEscapedAndKeptWhole) {
  auto s = AddStore(u"SMS");
  Received(s.inbox, u"+86 \"138\" <x>", u"a & b < c > d 你好", Utc(2009, 1, 1, 0, 0, 0));
  EXPECT_EQ(RunBackup(), 1);
  EXPECT_EQ(Records(),
            std::vector<std::string>{Card("来自于：+86 &quot;138&quot; &lt;x&gt;", "2009-1-1",
                                          "  0:0:0", "a &amp; b &lt; c &gt; d 你好")});
}
