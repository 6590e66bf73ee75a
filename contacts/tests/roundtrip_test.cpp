// Backup, wipe, restore: every property the contacts file carries comes back
// identical, awkward characters included.
#include "contacts/ContactFieldMap.h"
#include "contacts/XMLTextReader.h"
#include "contacts/tests/contacts_fixture.h"
#include "xml/XMLTextWriter.h"

#include <map>
#include <set>

using namespace contacts_test;

namespace {

class RoundTripTest : public ContactsTest {};

TEST_F(RoundTripTest, EveryTextPropertyOfTheMapComesBack) {
  // Texts that XML, the path writer or the file's white space could spoil.
  const std::vector<std::u16string> awkward = {u"Tom & Jerry <tj@x> \"q\" 'a'",
                                               u"  lead and trail  ",
                                               u"line 1\r\nline 2\nline 3\r",
                                               u"tab\there",
                                               u"张三 空 ]]> &amp;",
                                               u"emoji 😀 and é",
                                               u"a/b//c"};
  std::set<CEPROPID> carried;
  for (const auto& row : ContactFieldMap) {
    if ((row.dwTag & 0xFFFF) != CEVT_LPWSTR || row.dwTag == PIMPR_CATEGORIES ||
        row.dwTag == PIMPR_BODY)
      continue;
    carried.insert(row.dwTag);
  }
  ASSERT_EQ(carried.size(), 49u);

  std::vector<vardel::poom::ContactRecord> originals;
  for (size_t k = 0; k < awkward.size(); ++k) {
    vardel::poom::ContactRecord c;
    for (CEPROPID tag : carried) {
      std::u16string text = vardel::utf16(vardel::poom::property_name(tag)) + u" " +
                            awkward[(k + tag) % awkward.size()];
      if (tag == PIMPR_FILEAS) text = u"Contact " + std::u16string(1, u'A' + k) + u" " + awkward[k];
      c.push_back({tag, text});
    }
    c.push_back({PIMPR_BIRTHDAY, u"1980-05-17"});
    c.push_back({PIMPR_CATEGORIES, u"Friends"});
    c.push_back({PIMPR_BODY, u"a note"});
    vardel::poom::add_contact(c);
  }
  originals = vardel::poom::list_contacts();
  ASSERT_EQ(originals.size(), awkward.size());

  {
    CXMLTextWriter writer;
    ASSERT_EQ(writer.Open(DOCUMENT_CONTACTS), 1);
    ASSERT_EQ(writer.SavePhoneContactsToXML(FilePath()), 1);
    writer.Close();
  }
  vardel::poom::delete_all_contacts();
  {
    CXMLTextReader reader;
    ASSERT_EQ(reader.Open(), 1);
    ASSERT_EQ(reader.LoadContactsXML(FilePath()), 1);
    ASSERT_EQ(reader.RestoreContacts(), 1);
    reader.Close();
  }
  auto restored = vardel::poom::list_contacts();
  ASSERT_EQ(restored.size(), originals.size());

  // A shared element carries the later row's text, and gives it to that
  // row's property alone (the fax; the company name, which reads as no
  // telephone number): the earlier rows come back empty.
  const std::set<CEPROPID> overwritten = {PIMPR_BUSINESS2_TELEPHONE_NUMBER,
                                          PIMPR_HOME2_TELEPHONE_NUMBER,
                                          PIMPR_COMPANY_TELEPHONE_NUMBER};
  for (size_t k = 0; k < originals.size(); ++k) {
    for (CEPROPID tag : carried) {
      const std::string expected =
          overwritten.count(tag) ? "" : vardel::utf8(Prop(originals[k], tag));
      EXPECT_EQ(vardel::utf8(Prop(restored[k], tag)), expected)
          << "contact " << k << " " << vardel::poom::property_name(tag);
    }
    EXPECT_EQ(Prop(restored[k], PIMPR_BIRTHDAY), u"");
    EXPECT_EQ(Prop(restored[k], PIMPR_CATEGORIES), u"");
    EXPECT_EQ(Prop(restored[k], PIMPR_BODY), u"");
  }
}

}  // namespace
