// Telling files apart by their first bytes, as people actually hand them
// over: with byte order marks, in UTF-16, cut short, or with a body the XML
// parser would refuse.
#include <gtest/gtest.h>

#include <string>

#include "host/tools/file_kind.h"

using vardel::tools::FileKind;
using vardel::tools::what_file;

namespace {

std::string utf16le(std::string_view ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

TEST(FileKind, ContactsFilesAreToldWhateverTheirEncodingAndOpening) {
  EXPECT_EQ(what_file("BEGIN:VCARD\r\nVERSION:2.1\r\nN:A\r\nEND:VCARD\r\n"), FileKind::vcard);
  EXPECT_EQ(what_file("\r\n\r\nbegin:vcard\nfn:a\nend:vcard\n"), FileKind::vcard);
  EXPECT_EQ(what_file("\xEF\xBB\xBFX-JUNK: phone export\r\nBEGIN:VCARD\r\n"), FileKind::vcard);
  EXPECT_EQ(what_file(utf16le("BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\n")), FileKind::vcard);
  EXPECT_EQ(what_file("  [{\"FileAs\":\"A\"}]"), FileKind::contacts_json);
  EXPECT_EQ(what_file("\xEF\xBB\xBF"
                      "First Name,Middle Name,Last Name\r\nA,,B\r\n"),
            FileKind::contacts_csv);
  EXPECT_EQ(what_file("Name,Given Name,Family Name\n"), FileKind::contacts_csv);
}

TEST(FileKind, MessagesFilesAreToldEvenWhenCutShortOrHoldingNuls) {
  EXPECT_EQ(what_file("{\"stores\":[]}"), FileKind::messages_json);
  EXPECT_EQ(what_file("<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n"
                      "<!-- File Created By SMS Backup & Restore -->\n"
                      "<?xml-stylesheet type=\"text/xsl\" href=\"sms.xsl\"?>\n"
                      "<smses count=\"1\"><sms address=\"1\" body=\"cut&#0;here\"/></smses>"),
            FileKind::android_sms);
  EXPECT_EQ(what_file("<smses count=\"9\"><sms address=\"1\" bo"), FileKind::android_sms);
  EXPECT_EQ(what_file("PK\x03\x04\x14\x00"), FileKind::zip);
  EXPECT_EQ(what_file("\xEF\xBB\xBFtype,address,time,text\r\nsent,1,,x\r\n"),
            FileKind::messages_csv);
}

TEST(FileKind, ThisProgramsBackupsAreToldByTheirRecordsOrTheirStylesheet) {
  const std::string contacts =
      "<?xml version=\"1.0\"?><?xml-stylesheet type='text/xsl' href='MessageLogContact.xsl'?>\n"
      "<CONTACTS>\n<VCARD TITLE=\"A\" TYPE=\"WinMobile\"><ADDRESS Direction=\"0\"><FIRST>A";
  EXPECT_EQ(what_file(contacts), FileKind::contacts_backup);
  const std::string messages =
      "<?xml version=\"1.0\"?>\n<?xml-stylesheet type='text/xsl' href='MessageLogMsg.xsl'?>\n"
      "<CONTACTS>\n<VCARD Owner=\" \" TYPE=\"WinMobile\" ContactNumber=\"到：1\"><MESSAGE";
  EXPECT_EQ(what_file(messages), FileKind::messages_backup);
  // No records: the stylesheet says which it is.
  EXPECT_EQ(what_file("<?xml version=\"1.0\"?><?xml-stylesheet type='text/xsl' "
                      "href='MessageLogMsg.xsl'?>\n<CONTACTS>\n</CONTACTS>\n"),
            FileKind::messages_backup);
}

TEST(FileKind, WhatIsNoneOfThemIsSaidToBeNone) {
  EXPECT_EQ(what_file(""), FileKind::unknown);
  EXPECT_EQ(what_file("   \n"), FileKind::unknown);
  EXPECT_EQ(what_file("just some notes\nwith no commas\n"), FileKind::unknown);
  EXPECT_EQ(what_file("\x7F"
                      "ELF\x02\x01,\x01"),
            FileKind::unknown);
  EXPECT_EQ(what_file("<html><body>a, b</body></html>"), FileKind::xml);
  EXPECT_EQ(what_file("<CONTACTS><OTHER/></CONTACTS>"), FileKind::xml);
}

}  // namespace
