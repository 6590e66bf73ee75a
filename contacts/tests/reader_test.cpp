// Loading the contacts file and reading element texts back.
#include "contacts/XMLTextReader.h"
#include "contacts/tests/contacts_fixture.h"

using namespace contacts_test;

namespace {

class ReaderTest : public ContactsTest {
 protected:
  void SetUp() override {
    ContactsTest::SetUp();
    ASSERT_EQ(reader_.Open(), 1);
  }
  void TearDown() override {
    reader_.Close();
    ContactsTest::TearDown();
  }
  // The text of the n-th selected record's element at path.
  std::u16string TextAt(long n, const WCHAR* path, int* length) {
    IXMLDOMNode* card = nullptr;
    EXPECT_EQ(reader_.m_pNodeList->get_item(n, &card), S_OK);
    if (card == nullptr) return u"<none>";
    IXMLDOMNode* node = nullptr;
    BSTR query = SysAllocString(path);
    card->selectSingleNode(query, &node);
    SysFreeString(query);
    card->Release();
    if (node == nullptr) return u"<none>";
    LPWSTR text = reader_.GetNodeText(node, length);
    node->Release();
    std::u16string s = text != nullptr ? text : u"<null>";
    delete[] text;
    return s;
  }

  CXMLTextReader reader_;
};

const char kProlog[] = "<?xml version=\"1.0\"?>\r\n";

TEST_F(ReaderTest, FilesThatCannotBeLoadedGiveZeroAndKeepTheCount) {
  EXPECT_EQ(reader_.LoadContactsXML(FilePath()), 0);  // no file yet
  EXPECT_EQ(reader_.m_pNodeList, nullptr);

  WriteFile(std::string(kProlog) + "<CONTACTS><VCARD></CONTACTS>");
  EXPECT_EQ(reader_.LoadContactsXML(FilePath()), 0);
  EXPECT_EQ(reader_.m_nContactCount, 0);

  WriteFile(std::string(kProlog) + "<CONTACTS><VCARD/><VCARD/></CONTACTS>");
  ASSERT_EQ(reader_.LoadContactsXML(FilePath()), 1);
  EXPECT_EQ(reader_.m_nContactCount, 2);
  // A failed load leaves no list behind; the restore then refuses to run.
  WriteFile("not xml at all");
  EXPECT_EQ(reader_.LoadContactsXML(FilePath()), 0);
  EXPECT_EQ(reader_.m_pNodeList, nullptr);
  EXPECT_EQ(reader_.RestoreContacts(), 0);
  EXPECT_TRUE(vardel::poom::list_contacts().empty());
}

TEST_F(ReaderTest, SelectsEveryVcardWhoseParentIsContacts) {
  WriteFile(std::string(kProlog) + "<CONTACTS>\r\n</CONTACTS>");
  ASSERT_EQ(reader_.LoadContactsXML(FilePath()), 1);
  EXPECT_EQ(reader_.m_nContactCount, 0);

  WriteFile(std::string(kProlog) +
            "<ROOT><CONTACTS><VCARD TITLE=\"nested\"><WEB>1</WEB></VCARD></CONTACTS>"
            "<OTHER><VCARD TITLE=\"elsewhere\"><WEB>2</WEB></VCARD></OTHER>"
            "<CONTACTS><VCARD TITLE=\"second\"><WEB>3</WEB></VCARD></CONTACTS></ROOT>");
  ASSERT_EQ(reader_.LoadContactsXML(FilePath()), 1);
  ASSERT_EQ(reader_.m_nContactCount, 2);
  int length = 0;
  EXPECT_EQ(TextAt(0, u"WEB", &length), u"1");
  EXPECT_EQ(TextAt(1, u"WEB", &length), u"3");
}

TEST_F(ReaderTest, TextsComeBackWithTheirWhiteSpaceAndChildTextsJoined) {
  WriteFile(std::string(kProlog) +
            "<CONTACTS><VCARD><ADDRESS><FIRST>  Li\nNa </FIRST><EMPTY/>"
            "<LAST>张&amp;<B>三</B><C>&#13;</C></LAST></ADDRESS></VCARD></CONTACTS>");
  ASSERT_EQ(reader_.LoadContactsXML(FilePath()), 1);
  int length = -1;
  EXPECT_EQ(TextAt(0, u"ADDRESS/FIRST", &length), u"  Li\nNa ");
  EXPECT_EQ(length, 8);
  EXPECT_EQ(TextAt(0, u"ADDRESS/LAST", &length), u"张&三\r");
  EXPECT_EQ(length, 4);
  EXPECT_EQ(TextAt(0, u"ADDRESS/EMPTY", &length), u"");
  EXPECT_EQ(length, 0);
}

TEST_F(ReaderTest, ASecondLoadReplacesTheFirstAndALongPathIsKeptShortened) {
  WriteFile(std::string(kProlog) + "<CONTACTS><VCARD/><VCARD/><VCARD/></CONTACTS>");
  ASSERT_EQ(reader_.LoadContactsXML(FilePath()), 1);
  EXPECT_EQ(reader_.m_nContactCount, 3);

  // The second file sits at a path of 300 characters: it is loaded from the
  // whole path, while the path buffer keeps its first 259.
  std::u16string path = u"\\Storage Card";
  std::filesystem::path host = device_.root() / "Storage Card";
  for (int k = 0; k < 5; ++k) {
    path += u"\\" + std::u16string(50, u'd');
    host /= std::string(50, 'd');
  }
  const size_t nameLength = 300 - path.size() - 1;
  path += u"\\" + std::u16string(nameLength - 4, u'c') + u".xml";
  host /= std::string(nameLength - 4, 'c') + ".xml";
  vardel::testing::write_file(host, std::string(kProlog) + "<CONTACTS><VCARD/></CONTACTS>");
  ASSERT_EQ(path.size(), 300u);
  ASSERT_EQ(reader_.LoadContactsXML(path.c_str()), 1);
  EXPECT_EQ(reader_.m_nContactCount, 1);
  EXPECT_EQ(std::u16string(reader_.m_szFilePath), path.substr(0, 259));
}

}  // namespace
