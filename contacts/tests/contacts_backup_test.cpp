// The contacts backup, checked on the saved file.
#include "contacts/ContactStore.h"
#include "contacts/tests/contacts_fixture.h"
#include "xml/XMLTextWriter.h"

using namespace contacts_test;
using vardel::poom::add_contact;

namespace {

class ContactsBackupTest : public ContactsTest {
 protected:
  // Runs one contacts backup into the contacts file; its result.
  int Backup() {
    CXMLTextWriter writer;
    if (!writer.Open(DOCUMENT_CONTACTS)) return -1;
    int result = writer.SavePhoneContactsToXML(FilePath());
    writer.Close();
    return result;
  }
  std::vector<unsigned> Percentages() const {
    std::vector<unsigned> values;
    for (const auto& [w, l] : RecordedProgress()) {
      EXPECT_EQ(l, PROGRESS_CONTACTS);
      values.push_back(w);
    }
    return values;
  }
};

TEST_F(ContactsBackupTest, EmptyFolderSavesTheTemplateAndSendsNoProgress) {
  EXPECT_EQ(Backup(), 1);
  std::string bytes = FileBytes();
  EXPECT_NE(bytes.find("href='MessageLogContact.xsl'"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("<CONTACTS>\r\n</CONTACTS>"), std::string::npos) << bytes;
  EXPECT_TRUE(Outline(FilePath()).empty());
  EXPECT_TRUE(RecordedProgress().empty());
}

TEST_F(ContactsBackupTest, ProgressRisesAfterEveryContactToAHundred) {
  for (int i = 0; i < 3; ++i) add_contact(Contact({{PIMPR_FILEAS, "C"}}));
  EXPECT_EQ(Backup(), 1);
  EXPECT_EQ(Percentages(), (std::vector<unsigned>{33, 66, 100}));

  ClearProgress();
  for (int i = 0; i < 4; ++i) add_contact(Contact({{PIMPR_FILEAS, "C"}}));
  EXPECT_EQ(Backup(), 1);
  EXPECT_EQ(Percentages(), (std::vector<unsigned>{14, 28, 42, 57, 71, 85, 100}));
  EXPECT_EQ(Outline(FilePath()).size(), 7u);
}

TEST_F(ContactsBackupTest, DirectionFollowsThePositionOfEveryContact) {
  add_contact(Contact({{PIMPR_FILEAS, "A"}}));
  add_contact(Contact({{PIMPR_FILEAS, "B"}}));
  add_contact(Contact({{PIMPR_FILEAS, "C"}}));
  EXPECT_EQ(Backup(), 1);
  EXPECT_EQ(Outline(FilePath()),
            (std::vector<std::string>{"A|0|FIRST=,FILEAS=A|ADDRESS", "B|1|FIRST=,FILEAS=B|ADDRESS",
                                      "C|0|FIRST=,FILEAS=C|ADDRESS"}));

  // A contact with nothing to file it under (the store names every contact
  // with a name, company, number or address) gets no record but keeps its
  // position (and its progress message), and is counted as left out.
  vardel::poom::delete_all_contacts();
  add_contact(Contact({{PIMPR_FILEAS, "A"}}));
  add_contact(Contact({{PIMPR_BODY, "a note and nothing else"}}));
  add_contact(Contact({{PIMPR_FILEAS, "C"}}));
  auto listed = vardel::poom::list_contacts();
  ASSERT_EQ(listed.size(), 3u);
  std::vector<std::string> expected;
  for (size_t k = 0; k < listed.size(); ++k) {
    std::string fileAs = vardel::utf8(Prop(listed[k], PIMPR_FILEAS));
    if (fileAs.empty()) continue;
    expected.push_back(fileAs + "|" + (k % 2 == 0 ? "0" : "1") + "|FIRST=,FILEAS=" + fileAs +
                       "|ADDRESS");
  }
  ClearProgress();
  EXPECT_EQ(Backup(), 1);
  EXPECT_EQ(Outline(FilePath()), expected);
  EXPECT_EQ(expected.size(), 2u);
  EXPECT_EQ(g_nContactsLeftOut, 1);
  EXPECT_EQ(Percentages(), (std::vector<unsigned>{33, 66, 100}));
}

TEST_F(ContactsBackupTest, FieldsFollowTheMapOrderAndSharedElementsKeepTheLaterRow) {
  add_contact(Contact({{PIMPR_FILEAS, "A mobile"}, {PIMPR_MOBILE_TELEPHONE_NUMBER, "139"}}));
  add_contact(Contact({{PIMPR_FILEAS, "B fax"},
                       {PIMPR_BUSINESS_FAX_NUMBER, "fax"},
                       {PIMPR_RADIO_TELEPHONE_NUMBER, "radio"}}));
  add_contact(Contact({{PIMPR_FILEAS, "C fax and phone 2"},
                       {PIMPR_BUSINESS_FAX_NUMBER, "fax"},
                       {PIMPR_BUSINESS2_TELEPHONE_NUMBER, "phone2"},
                       {PIMPR_RADIO_TELEPHONE_NUMBER, "radio"}}));
  add_contact(Contact({{PIMPR_FILEAS, "D company"},
                       {PIMPR_FIRST_NAME, "Dan"},
                       {PIMPR_COMPANY_NAME, "ACME"},
                       {PIMPR_EMAIL1_ADDRESS, "d@x"},
                       {PIMPR_DEPARTMENT, "R&D"},
                       {PIMPR_WEB_PAGE, "http://d"},
                       {PIMPR_BIRTHDAY, "1980-05-17"},
                       {PIMPR_CATEGORIES, "Friends"},
                       {PIMPR_BODY, "a note"}}));
  add_contact(Contact({{PIMPR_FILEAS, "E home"},
                       {PIMPR_HOME2_TELEPHONE_NUMBER, "home2"},
                       {PIMPR_COMPANY_TELEPHONE_NUMBER, "company phone"}}));
  EXPECT_EQ(Backup(), 1);
  EXPECT_EQ(Outline(FilePath()),
            (std::vector<std::string>{
                "A mobile|0|FIRST=,FILEAS=A mobile,MOBILE=139|ADDRESS",
                "B fax|1|FIRST=,FILEAS=B fax,RADIO=radio,WORK2=fax|ADDRESS",
                "C fax and phone 2|0|FIRST=,FILEAS=C fax and phone 2,WORK2=fax,RADIO=radio|ADDRESS",
                "D company|1|FIRST=Dan,FILEAS=D company,EMAIL1=d@x,COMPANY=ACME,DEPT=R&D|"
                "ADDRESS,WEB=http://d",
                "E home|0|FIRST=,FILEAS=E home,HOME2=home2,COMPANY=company phone|ADDRESS"}));
  std::string bytes = FileBytes();
  EXPECT_EQ(bytes.find("1980"), std::string::npos);
  EXPECT_EQ(bytes.find("Friends"), std::string::npos);
  EXPECT_EQ(bytes.find("a note"), std::string::npos);
  EXPECT_NE(bytes.find("<VCARD TITLE=\"A mobile\" TYPE=\"WinMobile\"><ADDRESS Direction=\"0\">"),
            std::string::npos)
      << bytes;
}

TEST_F(ContactsBackupTest, MarkupCharactersAreEscapedAndReadBackUnchanged) {
  add_contact(Contact({{PIMPR_FILEAS, "Tom & <Jerry>"},
                       {PIMPR_FIRST_NAME, "  two spaces"},
                       {PIMPR_HOME_ADDRESS_STREET, "line 1\r\nline 2 \"quoted\" 'single' ]]>"}}));
  EXPECT_EQ(Backup(), 1);
  std::string bytes = FileBytes();
  EXPECT_NE(bytes.find("Tom &amp; &lt;Jerry&gt;"), std::string::npos) << bytes;
  EXPECT_EQ(bytes.find("<Jerry>"), std::string::npos);
  EXPECT_EQ(Outline(FilePath()),
            (std::vector<std::string>{"Tom & <Jerry>|0|FIRST=  two spaces,FILEAS=Tom & <Jerry>,"
                                      "STREET2=line 1\r\nline 2 \"quoted\" 'single' ]]>|ADDRESS"}));
}

TEST_F(ContactsBackupTest, FailuresLeaveThePreviousFileWhole) {
  for (int i = 0; i < 10; ++i) add_contact(Contact({{PIMPR_FILEAS, "Contact"}}));
  ASSERT_EQ(Backup(), 1);
  const std::string previous = FileBytes();
  add_contact(Contact({{PIMPR_FILEAS, "Newcomer"}}));

  // The fifth contact cannot be selected: nothing is saved.
  ClearProgress();
  vardel::fault::arm("poom.Item", E_FAIL, 5);
  EXPECT_EQ(Backup(), 0);
  EXPECT_EQ(FileBytes(), previous);
  EXPECT_EQ(Percentages(), (std::vector<unsigned>{9, 18, 27, 36}));

  // The disk fills while saving: the result says so and the old file stays.
  vardel::fault::reset();
  vardel::fault::arm("msxml.save", STG_E_MEDIUMFULL);
  EXPECT_EQ(Backup(), 0);
  EXPECT_EQ(FileBytes(), previous);
}

TEST_F(ContactsBackupTest, ARecordThatCannotBeMadeEndsTheWalkWithoutAHalfRecord) {
  add_contact(Contact({{PIMPR_FILEAS, "A"}}));
  add_contact(Contact({{PIMPR_FILEAS, "B"}}));
  add_contact(Contact({{PIMPR_FILEAS, "C"}}));
  // Each record sets TITLE, TYPE and Direction: the 7th attribute is the
  // third record's TITLE.
  vardel::fault::arm("msxml.setAttribute", E_OUTOFMEMORY, 7);
  EXPECT_EQ(Backup(), 1);
  EXPECT_EQ(Outline(FilePath()), (std::vector<std::string>{"A|0|FIRST=,FILEAS=A|ADDRESS",
                                                           "B|1|FIRST=,FILEAS=B|ADDRESS"}));
  EXPECT_EQ(Percentages(), (std::vector<unsigned>{33, 66}));
}

}  // namespace
