// Reading a contacts backup on the host (what the history, convert and the
// exports take from it): each field found where its path says, whatever
// else the card holds and in whatever order, as the restore finds it.
#include <gtest/gtest.h>

#include <string>

#include "host/device/backup_files.h"
#include "platform/poom/pimstore.h"

using vardel::poom::ContactProperty;
using vardel::poom::ContactRecord;

namespace {

std::vector<ContactRecord> read(const std::string& cards) {
  return vardel::host::read_contacts_backup_bytes(
      "test.xml", "<?xml version=\"1.0\"?>\n<CONTACTS>" + cards + "</CONTACTS>");
}

std::u16string field(const ContactRecord& r, CEPROPID tag) {
  for (const ContactProperty& p : r)
    if (p.tag == tag) return p.text;
  return u"(none)";
}

// A second ADDRESS is searched after the first; a field's first element in
// the file wins; "beneath ADDRESS" fields are found at any depth; an
// element of the same name elsewhere, or with a prefix, is not the field.
TEST(ContactsBackupReading, EachFieldIsTheFirstElementItsPathFindsInTheCard) {
  const auto cards = read(
      "<VCARD TITLE=\"A\">"
      "<ADDRESS Direction=\"0\"><LAST>First last</LAST><x:FIRST xmlns:x=\"u\">no</x:FIRST>"
      "<WEB>not the web page</WEB><EXTRA><SPOUSE>Deep spouse</SPOUSE></EXTRA></ADDRESS>"
      "<ADDRESS><FIRST>Second <b>address</b><![CDATA[ & more]]></FIRST><LAST>Later last</LAST>"
      "<SPOUSE>Later spouse</SPOUSE><A><B><GOVERMENT>G-1</GOVERMENT></B></A>"
      "<CHILDREN>Kids</CHILDREN></ADDRESS>"
      "<FILEAS>not under ADDRESS</FILEAS><WEB>example.org</WEB>"
      "</VCARD>"
      "<VCARD TITLE=\"B\"><ADDRESS><FIRST/><MOBILE>13800000000</MOBILE></ADDRESS></VCARD>");
  ASSERT_EQ(cards.size(), 2u);
  const ContactRecord& a = cards[0];
  EXPECT_EQ(field(a, PIMPR_WEB_PAGE), u"example.org");
  EXPECT_EQ(field(a, PIMPR_LAST_NAME), u"First last");
  EXPECT_EQ(field(a, PIMPR_FIRST_NAME), u"Second address & more");
  EXPECT_EQ(field(a, PIMPR_SPOUSE), u"Deep spouse");
  EXPECT_EQ(field(a, PIMPR_GOVERNMENTID), u"G-1");
  EXPECT_EQ(field(a, PIMPR_CHILDREN), u"Kids");
  EXPECT_EQ(field(a, PIMPR_FILEAS), u"(none)");
  EXPECT_EQ(a.size(), 6u);
  EXPECT_EQ(cards[1], (ContactRecord{{PIMPR_MOBILE_TELEPHONE_NUMBER, u"13800000000"}}));
}

// Elements two fields share give their text to one of them, and the date
// elements (from other tools' files) become ISO dates or nothing.
TEST(ContactsBackupReading, SharedElementsGiveTheirTextToOneFieldAndDatesBecomeIsoDates) {
  const auto cards = read(
      "<VCARD TITLE=\"A\"><ADDRESS><WORK2>010 1234</WORK2><COMPANY>Acme Ltd</COMPANY>"
      "<BIRTHDAY>1980-5-7</BIRTHDAY><ANNIVERSARY>not a day</ANNIVERSARY></ADDRESS></VCARD>"
      "<VCARD TITLE=\"B\"><ADDRESS><COMPANY>+86 10 5555 0101</COMPANY></ADDRESS></VCARD>");
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(field(cards[0], PIMPR_BUSINESS_FAX_NUMBER), u"010 1234");
  EXPECT_EQ(field(cards[0], PIMPR_BUSINESS2_TELEPHONE_NUMBER), u"(none)");
  EXPECT_EQ(field(cards[0], PIMPR_COMPANY_NAME), u"Acme Ltd");
  EXPECT_EQ(field(cards[0], PIMPR_COMPANY_TELEPHONE_NUMBER), u"(none)");
  EXPECT_EQ(field(cards[0], PIMPR_BIRTHDAY), u"1980-05-07");
  EXPECT_EQ(field(cards[0], PIMPR_ANNIVERSARY), u"(none)");
  EXPECT_EQ(field(cards[1], PIMPR_COMPANY_TELEPHONE_NUMBER), u"+86 10 5555 0101");
  EXPECT_EQ(field(cards[1], PIMPR_COMPANY_NAME), u"(none)");
}

// Cards are the VCARD children of a CONTACTS element wherever one is, in
// the order the file holds them.
TEST(ContactsBackupReading, CardsAreTheChildrenOfEveryContactsElementInFileOrder) {
  auto card = [](const char* number, const std::string& inside = "") {
    return std::string("<VCARD><ADDRESS><MOBILE>") + number + "</MOBILE></ADDRESS>" + inside +
           "</VCARD>";
  };
  const auto cards = read(card("1", "<CONTACTS>" + card("2") + "</CONTACTS>") + "<OTHER>" +
                          card("not a card") + "</OTHER>" + card("3"));
  ASSERT_EQ(cards.size(), 3u);
  for (size_t i = 0; i < cards.size(); ++i)
    EXPECT_EQ(field(cards[i], PIMPR_MOBILE_TELEPHONE_NUMBER), std::u16string(1, u'1' + i));
}

}  // namespace
