// Record building checked on the saved file's bytes: the shapes element
// paths make, where attributes land and in which order, and what a failed
// or refused call leaves in the document.
#include "platform/com/com.h"
#include "platform/core/windows.h"
#include "platform/msxml/msxml.h"
#include "test_support/device_test.h"
#include "test_support/files.h"
#include "xml/ComHolders.h"
#include "xml/XMLTextWriter.h"

namespace {

class PathWriterTest : public vardel::testing::DeviceTest {
 protected:
  void SetUp() override {
    vardel::testing::DeviceTest::SetUp();
    ASSERT_EQ(m_writer.Open(DOCUMENT_CONTACTS), 1);
    CopyBounded(m_writer.m_szFilePath, u"\\out.xml", MAX_PATH);
  }
  void TearDown() override {
    if (m_writer.m_pCurrentNode) m_writer.m_pCurrentNode->Release();
    m_writer.m_pCurrentNode = NULL;
    m_writer.Close();
    vardel::testing::DeviceTest::TearDown();
  }

  // Writes text into the node at path (plain form) and releases it.
  void Write(LPCWSTR pszPath, LPCWSTR pszText) {
    IXMLDOMNode* pNode = NULL;
    ASSERT_EQ(m_writer.CreateNode(pszPath, &pNode), 1);
    ASSERT_NE(pNode, nullptr);
    CBstr bstrText(pszText);
    EXPECT_EQ(pNode->put_text(bstrText), S_OK);
    pNode->Release();
  }

  void EndRecord() {
    m_writer.m_pCurrentNode->Release();
    m_writer.m_pCurrentNode = NULL;
  }

  // What the save wrote between the root's line break and its end tag.
  std::string SavedRecords() {
    EXPECT_EQ(m_writer.Save(), 1);
    std::string file = vardel::testing::read_file(device_.root() / "out.xml");
    size_t begin = file.find("<CONTACTS>\r\n");
    size_t end = file.rfind("</CONTACTS>");
    if (begin == std::string::npos || end == std::string::npos) return "(no root) " + file;
    begin += 12;
    return file.substr(begin, end - begin);
  }

  CXMLTextWriter m_writer;
};

TEST_F(PathWriterTest, ContactRecordSharesItsParentElement) {
  ASSERT_EQ(m_writer.CreateContactCard(u"Wang & <Li>", &m_writer.m_pCurrentNode), 1);
  IXMLDOMNode* pFirst = NULL;
  ASSERT_EQ(m_writer.CreateNode(u"ADDRESS/FIRST", &pFirst, NULL, NULL, u"1"), 1);
  pFirst->Release();
  Write(u"ADDRESS/LAST", u"Li");
  Write(u"ADDRESS/FIRST", u"Wei");
  Write(u"NOTE", u"n");
  EndRecord();
  EXPECT_EQ(SavedRecords(),
            "<VCARD TITLE=\"Wang &amp; &lt;Li&gt;\" TYPE=\"WinMobile\">"
            "<ADDRESS Direction=\"1\"><FIRST>Wei</FIRST><LAST>Li</LAST></ADDRESS>"
            "<NOTE>n</NOTE></VCARD>");
}

TEST_F(PathWriterTest, SamePathTwiceKeepsOneElementWithTheLaterText) {
  ASSERT_EQ(m_writer.CreateContactCard(u"A", &m_writer.m_pCurrentNode), 1);
  Write(u"ADDRESS/WORK2", u"111");
  Write(u"ADDRESS/RADIO", u"222");
  Write(u"ADDRESS/WORK2", u"333");
  EndRecord();
  EXPECT_EQ(SavedRecords(),
            "<VCARD TITLE=\"A\" TYPE=\"WinMobile\">"
            "<ADDRESS><WORK2>333</WORK2><RADIO>222</RADIO></ADDRESS></VCARD>");
}

TEST_F(PathWriterTest, DoubleSlashAndLongerPathsBuildFirstAndLastNamesOnly) {
  ASSERT_EQ(m_writer.CreateContactCard(u"A", &m_writer.m_pCurrentNode), 1);
  Write(u"ADDRESS//GOVERMENT", u"g");
  // Found again through the descendant lookup, not made twice.
  Write(u"ADDRESS//GOVERMENT", u"g2");
  Write(u"X/Y/Z", u"z");
  EndRecord();
  EXPECT_EQ(SavedRecords(),
            "<VCARD TITLE=\"A\" TYPE=\"WinMobile\">"
            "<ADDRESS><GOVERMENT>g2</GOVERMENT></ADDRESS><X><Z>z</Z></X></VCARD>");
}

TEST_F(PathWriterTest, MessageRecordCarriesAttributesOnItsMessageElementOnly) {
  ASSERT_EQ(m_writer.CreateMessageCard(&m_writer.m_pCurrentNode, u"Zhao", u"+8613800000000"), 1);
  IXMLDOMNode* pText = NULL;
  ASSERT_EQ(m_writer.CreateNode(u"MESSAGE//TEXT", &pText, u"2009-01-02", u"03:04:05", u"1"), 1);
  CBstr bstrBody(u"hi\r\nthere");
  pText->put_text(bstrBody);
  pText->Release();
  // Found elements never get attributes, and only given ones are set.
  IXMLDOMNode* pAgain = NULL;
  ASSERT_EQ(m_writer.CreateNode(u"MESSAGE", &pAgain, u"x", u"y", u"z"), 1);
  pAgain->Release();
  IXMLDOMNode* pOnlyTime = NULL;
  ASSERT_EQ(m_writer.CreateNode(u"STAMP", &pOnlyTime, NULL, u"t", NULL), 1);
  pOnlyTime->Release();
  EndRecord();
  std::string saved = SavedRecords();
  EXPECT_EQ(
      saved,
      "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"Zhao\" ContactNumber=\"+8613800000000\">"
      "<MESSAGE Date=\"2009-01-02\" Time=\"03:04:05\" "
      "Direction=\"1\"><TEXT>hi&#13;\r\nthere</TEXT></MESSAGE>"
      "<STAMP Time=\"t\"/></VCARD>")
      << saved;
}

TEST_F(PathWriterTest, RefusedCallsAppendNothingAndTraceNothing) {
  vardel::core::set_debug_output(true);
  IXMLDOMNode* pNode = reinterpret_cast<IXMLDOMNode*>(&m_writer);  // must be cleared
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(m_writer.CreateNode(NULL, &pNode), 0);
  EXPECT_EQ(m_writer.CreateNode(u"NOTE", NULL), 0);
  EXPECT_EQ(m_writer.CreateNode(u"NOTE", NULL, u"d", u"t", u"1"), 0);
  EXPECT_EQ(m_writer.CreateContactCard(NULL, &m_writer.m_pCurrentNode), 0);
  EXPECT_EQ(m_writer.CreateContactCard(u"A", NULL), 0);
  EXPECT_EQ(m_writer.CreateMessageCard(NULL, u"a", u"1"), 0);
  std::string quiet = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(quiet, "");

  // No current record: the call fails after its trace lines.
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(m_writer.CreateNode(u"NOTE", &pNode), 0);
  EXPECT_EQ(pNode, nullptr);
  std::string traced = ::testing::internal::GetCapturedStderr();
  vardel::core::set_debug_output(false);
  EXPECT_EQ(traced,
            "CXMLTextWriter::CreateNode()+++ NOTE\r\nCXMLTextWriter::CreateNode() NOTE---\r\n");

  EXPECT_EQ(SavedRecords(), "");
}

TEST_F(PathWriterTest, FailingDomCallsGiveNoNode) {
  ASSERT_EQ(m_writer.CreateContactCard(u"A", &m_writer.m_pCurrentNode), 1);
  IXMLDOMNode* pNode = NULL;

  vardel::fault::arm("msxml.selectSingleNode", E_FAIL);
  EXPECT_EQ(m_writer.CreateNode(u"NOTE", &pNode), 0);
  EXPECT_EQ(pNode, nullptr);

  // The parent is made, the leaf is not: the parent stays, empty.
  vardel::fault::arm("msxml.createElement", E_OUTOFMEMORY, 2);
  EXPECT_EQ(m_writer.CreateNode(u"ADDRESS/MOBILE", &pNode), 0);
  EXPECT_EQ(pNode, nullptr);

  vardel::fault::arm("msxml.appendChild", E_FAIL);
  EXPECT_EQ(m_writer.CreateNode(u"WEB", &pNode), 0);
  EXPECT_EQ(pNode, nullptr);
  EndRecord();

  // A title the DOM refuses: the record stays appended without attributes,
  // and its node comes back for the caller to release.
  vardel::fault::arm("msxml.setAttribute", E_FAIL);
  EXPECT_EQ(m_writer.CreateContactCard(u"B", &m_writer.m_pCurrentNode), 0);
  ASSERT_NE(m_writer.m_pCurrentNode, nullptr);
  EndRecord();

  EXPECT_EQ(SavedRecords(),
            "<VCARD TITLE=\"A\" TYPE=\"WinMobile\"><ADDRESS/></VCARD>"
            "<VCARD/>");
}

TEST_F(PathWriterTest, PathSplitting) {
  WCHAR szBuf[MAX_PATH];
  EXPECT_EQ(m_writer.GetParentPath(u"ADDRESS//SPOUSE", szBuf), 1);
  EXPECT_EQ(std::u16string(szBuf), u"ADDRESS");
  EXPECT_EQ(m_writer.GetLeafName(u"ADDRESS//SPOUSE", szBuf), 1);
  EXPECT_EQ(std::u16string(szBuf), u"SPOUSE");
  EXPECT_EQ(m_writer.GetParentPath(u"NOTE", szBuf), 0);
  EXPECT_EQ(std::u16string(szBuf), u"NOTE");
  EXPECT_EQ(m_writer.GetLeafName(u"NOTE", szBuf), 1);
  EXPECT_EQ(std::u16string(szBuf), u"NOTE");

  // Names keep at most 259 characters.
  std::u16string longName(300, u'n');
  std::u16string longPath = u"A/" + longName;
  szBuf[MAX_PATH - 1] = u'x';
  EXPECT_EQ(m_writer.GetLeafName(longPath.c_str(), szBuf), 1);
  EXPECT_EQ(std::u16string(szBuf), longName.substr(0, 259));
  EXPECT_EQ(m_writer.GetParentPath(longName.c_str(), szBuf), 0);
  EXPECT_EQ(std::u16string(szBuf), longName.substr(0, 259));
}

}  // namespace
