// Restoring contacts from a contacts file into the phone.
#include "contacts/ContactFieldMap.h"
#include "contacts/ContactStore.h"
#include "contacts/DateText.h"
#include "contacts/XMLTextReader.h"
#include "contacts/tests/contacts_fixture.h"
#include "platform/core/wstr.h"

#include <map>

using namespace contacts_test;
using vardel::poom::list_contacts;

namespace {

class RestoreTest : public ContactsTest {
 protected:
  // Writes a contacts file holding the given VCARD bodies and restores it
  // with a fresh reader; the restore's result.
  int Restore(const std::vector<std::string>& cards) {
    std::string xml = "<?xml version=\"1.0\"?>\r\n<CONTACTS>\r\n";
    for (const auto& card : cards) xml += "<VCARD TYPE=\"WinMobile\">" + card + "</VCARD>";
    WriteFile(xml + "</CONTACTS>");
    CXMLTextReader reader;
    if (!reader.Open()) return -1;
    if (!reader.LoadContactsXML(FilePath())) {
      reader.Close();
      return -2;
    }
    int result = reader.RestoreContacts();
    queued_after_ = reader.m_pStore->m_QueuedProps.GetCount();
    reader.Close();
    return result;
  }
  std::vector<unsigned> Percentages() const {
    std::vector<unsigned> values;
    for (const auto& [w, l] : RecordedProgress()) {
      EXPECT_EQ(l, PROGRESS_RESTORE);
      values.push_back(w);
    }
    return values;
  }
  static std::string Named(int k) {
    return "<ADDRESS><FILEAS>c" + std::to_string(k) + "</FILEAS></ADDRESS>";
  }

  int queued_after_ = -1;
};

TEST_F(RestoreTest, EveryElementBecomesAContactAndProgressRunsToFifty) {
  const std::vector<std::pair<int, std::vector<unsigned>>> cases = {
      {0, {}}, {1, {50}}, {3, {16, 33, 50}}, {7, {7, 14, 21, 28, 35, 42, 50}}};
  for (const auto& [count, progress] : cases) {
    SCOPED_TRACE(count);
    vardel::poom::delete_all_contacts();
    ClearProgress();
    std::vector<std::string> cards;
    for (int k = 0; k < count; ++k) cards.push_back(Named(k));
    EXPECT_EQ(Restore(cards), 1);
    EXPECT_EQ(list_contacts().size(), (size_t)count);
    EXPECT_EQ(Percentages(), progress);
  }
  // The restore only adds: the same file again doubles every contact.
  EXPECT_EQ(Restore({Named(0), Named(1)}), 1);
  EXPECT_EQ(Restore({Named(0), Named(1)}), 1);
  EXPECT_EQ(list_contacts().size(), 7u + 4u);
}

TEST_F(RestoreTest, ElementTextsSetTheirPropertiesAsTheyStand) {
  ASSERT_EQ(Restore({"",
                     "<ADDRESS Direction=\"1\"><FIRST></FIRST><LAST> Wang </LAST>"
                     "<FILEAS>Wang</FILEAS><WORK2>work2</WORK2><HOME2>home2</HOME2>"
                     "<COMPANY>ACME</COMPANY><SPOUSE>Li</SPOUSE></ADDRESS>"
                     "<WEB>http://w</WEB><CATEGORIES>Friends</CATEGORIES><NOTE>n</NOTE>"}),
            1);
  auto listed = list_contacts();
  ASSERT_EQ(listed.size(), 2u);
  // The element without children still became a (blank) contact.
  EXPECT_TRUE(listed[0].empty());
  const auto& c = listed[1];
  EXPECT_EQ(Prop(c, PIMPR_FIRST_NAME), u"");
  EXPECT_EQ(Prop(c, PIMPR_LAST_NAME), u" Wang ");
  // A shared element sets one of its two properties, never both.
  EXPECT_EQ(Prop(c, PIMPR_BUSINESS2_TELEPHONE_NUMBER), u"");
  EXPECT_EQ(Prop(c, PIMPR_BUSINESS_FAX_NUMBER), u"work2");
  EXPECT_EQ(Prop(c, PIMPR_HOME2_TELEPHONE_NUMBER), u"");
  EXPECT_EQ(Prop(c, PIMPR_HOME_FAX_NUMBER), u"home2");
  EXPECT_EQ(Prop(c, PIMPR_COMPANY_NAME), u"ACME");
  EXPECT_EQ(Prop(c, PIMPR_COMPANY_TELEPHONE_NUMBER), u"");
  EXPECT_EQ(Prop(c, PIMPR_SPOUSE), u"Li");
  EXPECT_EQ(Prop(c, PIMPR_WEB_PAGE), u"http://w");
  EXPECT_EQ(Prop(c, PIMPR_CATEGORIES), u"");
  EXPECT_EQ(Prop(c, PIMPR_BODY), u"");
}

// COMPANY holds the company's name or its telephone: a text that reads as a
// number is the telephone, any other the name.
TEST_F(RestoreTest, TheCompanyElementIsANameUnlessItReadsAsANumber) {
  ASSERT_EQ(
      Restore({"<ADDRESS><FILEAS>Müller, Hans</FILEAS>"
               "<COMPANY>Example Trading &amp; Co.</COMPANY></ADDRESS>",
               "<ADDRESS><FILEAS>Desk</FILEAS><COMPANY>+49 (30) 123-45 #2</COMPANY></ADDRESS>",
               "<ADDRESS><FILEAS>Short</FILEAS><COMPANY>3M</COMPANY></ADDRESS>"}),
      1);
  auto listed = list_contacts();
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(Prop(listed[0], PIMPR_COMPANY_NAME), u"");
  EXPECT_EQ(Prop(listed[0], PIMPR_COMPANY_TELEPHONE_NUMBER), u"+49 (30) 123-45 #2");
  EXPECT_EQ(Prop(listed[1], PIMPR_COMPANY_NAME), u"Example Trading & Co.");
  EXPECT_EQ(Prop(listed[1], PIMPR_COMPANY_TELEPHONE_NUMBER), u"");
  EXPECT_EQ(Prop(listed[2], PIMPR_COMPANY_NAME), u"3M");
}

TEST(ContactFieldMapTest, TelephoneTextIsDigitsAndDiallingMarksWithThreeDigits) {
  for (LPCWSTR yes : {u"123", u"+86 (10) 6552-9988", u"030/1234.5", u"555p12w3#*"})
    EXPECT_EQ(IsTelephoneText(yes), 1) << vardel::utf8(yes);
  for (LPCWSTR no : {u"", u"12", u"Example Trading & Co.", u"3M", u"ext. 12", u"12345x"})
    EXPECT_EQ(IsTelephoneText(no), 0) << vardel::utf8(no);
}

// The three elements two rows share pair exactly those rows, the later of
// each pair taking the shared text on backup; every other field, and a tag
// the map does not hold, has no twin.
TEST(ContactFieldMapTest, OnlyTheThreeSharedElementsHaveTwins) {
  const std::map<CEPROPID, std::pair<CEPROPID, int>> twins = {
      {PIMPR_BUSINESS2_TELEPHONE_NUMBER, {PIMPR_BUSINESS_FAX_NUMBER, 0}},
      {PIMPR_BUSINESS_FAX_NUMBER, {PIMPR_BUSINESS2_TELEPHONE_NUMBER, 1}},
      {PIMPR_HOME2_TELEPHONE_NUMBER, {PIMPR_HOME_FAX_NUMBER, 0}},
      {PIMPR_HOME_FAX_NUMBER, {PIMPR_HOME2_TELEPHONE_NUMBER, 1}},
      {PIMPR_COMPANY_TELEPHONE_NUMBER, {PIMPR_COMPANY_NAME, 0}},
      {PIMPR_COMPANY_NAME, {PIMPR_COMPANY_TELEPHONE_NUMBER, 1}}};
  for (const auto& row : ContactFieldMap) {
    int later = -1;
    const DWORD twin = GetContactFieldTwin(row.dwTag, &later);
    const auto it = twins.find(row.dwTag);
    EXPECT_EQ(twin, it == twins.end() ? 0 : it->second.first) << row.dwTag;
    EXPECT_EQ(later, it == twins.end() ? 0 : it->second.second) << row.dwTag;
    EXPECT_EQ(GetContactFieldTwin(row.dwTag, nullptr), twin);
  }
  int later = -1;
  EXPECT_EQ(GetContactFieldTwin(0x12345678, &later), 0u);
  EXPECT_EQ(later, 0);
}

TEST_F(RestoreTest, QueuedPropertiesArriveOnlyWithTheSecondSave) {
  const std::string card =
      "<ADDRESS><FILEAS>Q</FILEAS><NICKNAME>Qi</NICKNAME><IM1>q@im</IM1></ADDRESS>";
  ASSERT_EQ(Restore({card}), 1);
  EXPECT_EQ(queued_after_, 0);
  auto listed = list_contacts();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(Prop(listed[0], PIMPR_NICKNAME), u"Qi");
  EXPECT_EQ(Prop(listed[0], PIMPR_IM1_ADDRESS), u"q@im");

  // When the item's own save fails, the contact stays as the first save left
  // it, the restore stops, and the queue is still emptied.
  vardel::poom::delete_all_contacts();
  vardel::fault::arm("poom.Item.Save", E_FAIL);
  EXPECT_EQ(Restore({card, card}), 0);
  EXPECT_EQ(queued_after_, 0);
  listed = list_contacts();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(Prop(listed[0], PIMPR_FILEAS), u"Q");
  EXPECT_EQ(Prop(listed[0], PIMPR_NICKNAME), u"");
  EXPECT_EQ(Prop(listed[0], PIMPR_IM1_ADDRESS), u"");
}

TEST_F(RestoreTest, AContactThatCannotBeSavedStopsTheRestore) {
  vardel::fault::arm("poom.Contact.Save", E_FAIL, 3);
  EXPECT_EQ(Restore({Named(1), Named(2), Named(3)}), 0);
  EXPECT_EQ(list_contacts().size(), 2u);
  EXPECT_EQ(Percentages(), (std::vector<unsigned>{16, 33}));
}

TEST_F(RestoreTest, DatesAreSetOnlyWhenTheTextIsAValidDate) {
  ASSERT_EQ(Restore({"<ADDRESS><FILEAS>a</FILEAS><BIRTHDAY>1980-05-17</BIRTHDAY>"
                     "<ANNIVERSARY>2001-2-3</ANNIVERSARY></ADDRESS>",
                     "<ADDRESS><FILEAS>b</FILEAS><BIRTHDAY> 1999-12-31T23:30:00-05:00 </BIRTHDAY>"
                     "<ANNIVERSARY>2004-02-29T06:30Z</ANNIVERSARY></ADDRESS>",
                     "<ADDRESS><FILEAS>c</FILEAS><BIRTHDAY>1981-02-29</BIRTHDAY>"
                     "<ANNIVERSARY>17/05/1980</ANNIVERSARY><LAST>kept</LAST></ADDRESS>"}),
            1);
  auto listed = list_contacts();
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(Prop(listed[0], PIMPR_BIRTHDAY), u"1980-05-17");
  EXPECT_EQ(Prop(listed[0], PIMPR_ANNIVERSARY), u"2001-02-03");
  EXPECT_EQ(Prop(listed[1], PIMPR_BIRTHDAY), u"1999-12-31T23:30:00");
  EXPECT_EQ(Prop(listed[1], PIMPR_ANNIVERSARY), u"2004-02-29T06:30:00");
  EXPECT_EQ(Prop(listed[2], PIMPR_BIRTHDAY), u"");
  EXPECT_EQ(Prop(listed[2], PIMPR_ANNIVERSARY), u"");
  EXPECT_EQ(Prop(listed[2], PIMPR_LAST_NAME), u"kept");
}

TEST(DateTextTest, AcceptsIsoAndTheProgramsOwnFormOnly) {
  auto ticks = [](const char16_t* text) -> long long {
    FILETIME ft = {0xAAAAAAAAu, 0xAAAAAAAAu};
    if (!DateTextToFileTime(text, &ft)) return -1;
    return (long long)(((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime);
  };
  const long long day = 864000000000LL;
  EXPECT_EQ(ticks(u"1601-01-01"), 0);
  EXPECT_EQ(ticks(u"1601-1-2"), day);
  EXPECT_EQ(ticks(u"1970-01-01T00:00:00Z"), 134774LL * day);
  EXPECT_EQ(ticks(u"1970-01-01 00:00:01.5+0100"), 134774LL * day + 15000000LL);
  EXPECT_EQ(ticks(u"2000-02-29"), ticks(u"2000-02-28") + day);
  EXPECT_EQ(ticks(u"2000-03-01"), ticks(u"2000-02-29") + day);
  EXPECT_EQ(ticks(u"9999-12-31T23:59:59"), ticks(u"9999-12-31") + day - 10000000LL);
  for (const char16_t* bad : {u"",
                              u"  ",
                              u"1980",
                              u"1980-05",
                              u"80-05-17",
                              u"1600-12-31",
                              u"10000-01-01",
                              u"1900-02-29",
                              u"1980-13-01",
                              u"1980-00-10",
                              u"1980-04-31",
                              u"1980-05-17T24:00",
                              u"1980-05-17T10:60",
                              u"1980-05-17T10",
                              u"1980-05-17T10:00:00+25:00",
                              u"1980-05-17T10:00:00.",
                              u"1980-05-17x",
                              u"1980-05-17Z",
                              u"-1980-05-17",
                              u"1980/05/17",
                              u"１９８０-05-17",
                              u"1980-005-17"}) {
    EXPECT_EQ(ticks(bad), -1) << vardel::utf8(bad);
  }
  FILETIME ft = {};
  EXPECT_EQ(DateTextToFileTime(nullptr, &ft), 0);
}

TEST_F(RestoreTest, StoreRefusesDatesInTheQueueAndEverythingWhenClosed) {
  CContactStore store;
  ContactFieldValue text = {};
  WCHAR name[] = u"x";
  text.pszText = name;
  EXPECT_EQ(store.SetField(PIMPR_FIRST_NAME, &text), 0);  // never opened
  ASSERT_EQ(store.Open(), 1);
  ASSERT_EQ(store.NewContact(), 1);
  ContactFieldValue date = {};
  ASSERT_EQ(DateTextToFileTime(u"1980-05-17", &date.ftDate), 1);
  EXPECT_EQ(store.QueueProperty(PIMPR_BIRTHDAY, &date), E_FAIL);
  EXPECT_EQ(store.m_QueuedProps.GetCount(), 0);
  store.Close();
  EXPECT_EQ(store.SetField(PIMPR_FIRST_NAME, &text), 0);
  EXPECT_EQ(store.NewContact(), 0);
  EXPECT_TRUE(list_contacts().empty());
}

}  // namespace
