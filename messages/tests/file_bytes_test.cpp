// The messages file byte for byte: the same store must always give the same
// file, however the DOM and the walk underneath are made faster. Values that
// repeat from record to record (types, directions, dates, numbers) are the
// ones a faster DOM shares between records, so they repeat here, with texts
// that need escaping between them.
#include <gtest/gtest.h>

#include "messages/tests/messages_fixture.h"

TEST_F(MessagesTest, TheFileIsByteForByteWhatTheStoreHolds) {
  auto s = AddStore(u"SMS");
  Received(s.inbox, u"13800138000", u"早上好", Utc(2009, 3, 4, 5, 6, 7));
  Received(s.inbox, u"13800138000", u"a & b < c\r\nd\te", Utc(2009, 3, 4, 5, 6, 8));
  Sent(s.sent, u"13800138000", u"\"引号\" 'x'", Utc(2009, 3, 4, 5, 6, 8));
  Received(s.inbox, u"13800138000", u"", Utc(2009, 3, 4, 23, 59, 59));
  m_db->add_message(s.inbox, vardel::mapi::Message{std::u16string(u"𠀀 无号码"), {}, {}, {}});
  Sent(s.sent, u"+86 \"1\" <2> & 3", u"]]> end", Utc(2010, 12, 31, 0, 0, 0));
  Received(s.inbox, u"10086", u"same", Utc(2010, 12, 31, 0, 0, 1));
  Received(s.inbox, u"10086", u"same", Utc(2010, 12, 31, 0, 0, 1));
  EXPECT_EQ(RunBackup(), 1);

  const std::string from = "来自于：";
  const std::string to = "到：";
  EXPECT_EQ(
      File(),
      "<?xml version=\"1.0\"?>\r\n"
      "<?xml-stylesheet type='text/xsl' href='MessageLogMsg.xsl'?>\r\n"
      "<CONTACTS>\r\n"
      "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"" +
          from + "\" ContactNumber=\"" + from +
          "\"><MESSAGE Date=\"\" Time=\"\" Direction=\"1\"><TEXT>𠀀 无号码</TEXT></MESSAGE></VCARD>"
          "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"" +
          from + "13800138000\" ContactNumber=\"" + from +
          "13800138000\"><MESSAGE Date=\"2009-3-4\" Time=\"  5:6:7\" Direction=\"1\">"
          "<TEXT>早上好</TEXT></MESSAGE></VCARD>"
          "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"" +
          to + "13800138000\" ContactNumber=\"" + to +
          "13800138000\"><MESSAGE Date=\"2009-3-4\" Time=\"  5:6:8\" Direction=\"1\">"
          "<TEXT>\"引号\" 'x'</TEXT></MESSAGE></VCARD>"
          "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"" +
          from + "13800138000\" ContactNumber=\"" + from +
          "13800138000\"><MESSAGE Date=\"2009-3-4\" Time=\"  5:6:8\" Direction=\"1\">"
          "<TEXT>a &amp; b &lt; c&#13;\r\nd\te</TEXT></MESSAGE></VCARD>"
          "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"" +
          from + "13800138000\" ContactNumber=\"" + from +
          "13800138000\"><MESSAGE Date=\"2009-3-4\" Time=\"  23:59:59\" Direction=\"1\">"
          "<TEXT/></MESSAGE></VCARD>"
          "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"" +
          to + "+86 &quot;1&quot; &lt;2&gt; &amp; 3\" ContactNumber=\"" + to +
          "+86 &quot;1&quot; &lt;2&gt; &amp; 3\"><MESSAGE Date=\"2010-12-31\" Time=\"  0:0:0\" "
          "Direction=\"1\"><TEXT>]]&gt; end</TEXT></MESSAGE></VCARD>"
          "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"" +
          from + "10086\" ContactNumber=\"" + from +
          "10086\"><MESSAGE Date=\"2010-12-31\" Time=\"  0:0:1\" Direction=\"1\">"
          "<TEXT>same</TEXT></MESSAGE></VCARD>"
          "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"" +
          from + "10086\" ContactNumber=\"" + from +
          "10086\"><MESSAGE Date=\"2010-12-31\" Time=\"  0:0:1\" Direction=\"1\">"
          "<TEXT>same</TEXT></MESSAGE></VCARD>"
          "</CONTACTS>\r\n");
}

// Many records, so that every repeating value is shared many times over:
// each record still holds its own values.
TEST_F(MessagesTest, RecordsSharingValuesKeepTheirOwn) {
  auto s = AddStore(u"SMS");
  m_db->begin();
  std::vector<std::string> expected;
  for (int i = 0; i < 3000; ++i) {
    const int day = 1 + i / 500;  // six days, each many times running
    const std::u16string number = u"1380000" + vardel::utf16(std::to_string(i % 7));
    const std::u16string text = u"短信 " + vardel::utf16(std::to_string(i));
    FILETIME when = Utc(2011, 2, day, 10, i % 60, 0);
    const bool sent = i % 3 == 0;
    if (sent)
      Sent(s.sent, number.c_str(), text.c_str(), when);
    else
      Received(s.inbox, number.c_str(), text.c_str(), when);
    expected.push_back(Card((sent ? "到：" : "来自于：") + vardel::utf8(number),
                            "2011-2-" + std::to_string(day),
                            "  10:" + std::to_string(i % 60) + ":0", vardel::utf8(text)));
  }
  m_db->commit();
  EXPECT_EQ(RunBackup(), 1);
  // Equal times put the sent message first; within a day the minutes rise
  // and wrap, so sort the expectation as the merge orders it.
  std::vector<std::string> records = Records();
  ASSERT_EQ(records.size(), expected.size());
  std::sort(records.begin(), records.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(records, expected);
}
