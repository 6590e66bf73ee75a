// The writer's life cycle: COM initialisation balanced across open and
// close (also when opening fails half-way), the templates of both kinds,
// the save, and what destruction leaves alone.
#include <new>

#include "contacts/ContactStore.h"
#include "platform/com/com.h"
#include "platform/core/windows.h"
#include "platform/msxml/msxml.h"
#include "test_support/device_test.h"
#include "test_support/files.h"
#include "xml/ComHolders.h"
#include "xml/XMLTextWriter.h"

namespace {

const char kContactsTemplate[] =
    "<?xml version=\"1.0\"?><?xml-stylesheet type='text/xsl' href='MessageLogContact.xsl'?>\r\n"
    "<CONTACTS>\r\n"
    "</CONTACTS>\r\n";
const char kMessagesTemplate[] =
    "<?xml version=\"1.0\"?>\r\n"
    "<?xml-stylesheet type='text/xsl' href='MessageLogMsg.xsl'?>\r\n"
    "<CONTACTS>\r\n"
    "</CONTACTS>\r\n";

class WriterLifeTest : public vardel::testing::DeviceTest {};

TEST_F(WriterLifeTest, OpenTwiceInitialisesComOnceAndCloseUndoesIt) {
  CXMLTextWriter writer;
  ASSERT_EQ(writer.Open(DOCUMENT_CONTACTS), 1);
  // The document and its store each initialise COM once.
  int nOpen = vardel::com::apartment_count();
  EXPECT_EQ(nOpen, 2);
  IXMLDOMDocument2* pDoc = writer.m_pDoc;
  EXPECT_EQ(writer.CXMLDocument::Open(), 1);
  EXPECT_EQ(vardel::com::apartment_count(), nOpen);
  EXPECT_EQ(writer.m_pDoc, pDoc);

  writer.Close();
  EXPECT_EQ(vardel::com::apartment_count(), 0);
  EXPECT_EQ(writer.m_bOpened, 0);
  EXPECT_EQ(writer.m_pStore, nullptr);
  EXPECT_EQ(writer.m_pDoc, nullptr);
  EXPECT_EQ(writer.m_pDocNode, nullptr);
  EXPECT_EQ(writer.m_pRootNode, nullptr);

  // A closed writer opens again, and a second Close takes nothing more away.
  ASSERT_EQ(writer.Open(DOCUMENT_MESSAGES), 1);
  writer.Close();
  CoInitializeEx(NULL, COINIT_MULTITHREADED);
  writer.Close();
  EXPECT_EQ(vardel::com::apartment_count(), 1);
  CoUninitialize();
}

TEST_F(WriterLifeTest, FailedOpenLeavesWriterClosedAndComBalanced) {
  // The job thread may already hold COM (the restore runs a reader and then
  // a writer): a failed open must give back exactly what it took.
  CoInitializeEx(NULL, COINIT_MULTITHREADED);
  const struct {
    const char* call;
    unsigned nth;
    DocumentKind kind;
  } cases[] = {
      {"com.CoCreateInstance", 1, DOCUMENT_CONTACTS},  // no DOM document
      {"com.CoCreateInstance", 2, DOCUMENT_CONTACTS},  // no Pocket Outlook
      {"poom.Logon", 1, DOCUMENT_CONTACTS},
      {"poom.GetDefaultFolder", 1, DOCUMENT_CONTACTS},  // no contacts folder
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " #" + std::to_string(c.nth));
    vardel::fault::reset();
    vardel::fault::arm(c.call, E_FAIL, c.nth);
    CXMLTextWriter writer;
    EXPECT_EQ(writer.Open(c.kind), 0);
    EXPECT_EQ(writer.m_bOpened, 0);
    EXPECT_EQ(writer.m_pStore, nullptr);
    EXPECT_EQ(writer.m_pDoc, nullptr);
    EXPECT_EQ(writer.m_pRootNode, nullptr);
    EXPECT_EQ(vardel::com::apartment_count(), 1);
  }
  CoUninitialize();
}

// The messages backup has no use for the contacts: a contacts store that
// cannot be opened (a damaged database) does not stop its writer.
TEST_F(WriterLifeTest, AMessagesWriterOpensWithoutTheContactStore) {
  vardel::fault::arm("poom.Logon", E_FAIL, 1);
  CXMLTextWriter writer;
  ASSERT_EQ(writer.Open(DOCUMENT_MESSAGES), 1);
  EXPECT_EQ(writer.m_pStore, nullptr);
  EXPECT_NE(writer.m_pRootNode, nullptr);
  writer.Close();
  EXPECT_EQ(vardel::com::apartment_count(), 0);
}

TEST_F(WriterLifeTest, UnknownKindFailsButLeavesWriterOpen) {
  CXMLTextWriter writer;
  EXPECT_EQ(writer.Open(2), 0);
  EXPECT_EQ(writer.m_bOpened, 1);
  EXPECT_NE(writer.m_pDoc, nullptr);
  ASSERT_NE(writer.m_pStore, nullptr);
  EXPECT_EQ(writer.m_pStore->m_bOpened, 1);
  EXPECT_EQ(writer.m_pRootNode, nullptr);
  EXPECT_EQ(writer.m_pDocNode, nullptr);
  EXPECT_EQ(vardel::com::apartment_count(), 2);
  writer.Close();
  EXPECT_EQ(vardel::com::apartment_count(), 0);
}

TEST_F(WriterLifeTest, DestroyingAnOpenWriterReleasesNothing) {
  alignas(CXMLTextWriter) unsigned char storage[sizeof(CXMLTextWriter)];
  CXMLTextWriter* pWriter = new (storage) CXMLTextWriter();
  ASSERT_EQ(pWriter->Open(DOCUMENT_CONTACTS), 1);
  IXMLDOMDocument2* pDoc = pWriter->m_pDoc;
  IXMLDOMNode* pRoot = pWriter->m_pRootNode;
  IXMLDOMNode* pDocNode = pWriter->m_pDocNode;
  CContactStore* pStore = pWriter->m_pStore;
  pWriter->~CXMLTextWriter();

  EXPECT_EQ(vardel::com::apartment_count(), 2);
  EXPECT_EQ(pStore->m_bOpened, 1);
  // Each pointer still holds its reference: the objects answer, and the
  // clean-up the writer skipped can be done by hand.
  BSTR bstrName = NULL;
  EXPECT_EQ(pRoot->get_nodeName(&bstrName), S_OK);
  EXPECT_EQ(std::u16string(bstrName), u"CONTACTS");
  SysFreeString(bstrName);
  pRoot->Release();
  pDocNode->Release();
  pStore->Close();
  delete pStore;
  pDoc->Release();
  CoUninitialize();
  EXPECT_EQ(vardel::com::apartment_count(), 0);
}

TEST_F(WriterLifeTest, EmptyDocumentsSaveAsTheirTemplates) {
  const struct {
    DocumentKind kind;
    const char* expected;
  } cases[] = {{DOCUMENT_CONTACTS, kContactsTemplate}, {DOCUMENT_MESSAGES, kMessagesTemplate}};
  for (const auto& c : cases) {
    CXMLTextWriter writer;
    ASSERT_EQ(writer.Open(c.kind), 1);
    CopyBounded(writer.m_szFilePath, u"\\empty.xml", MAX_PATH);
    EXPECT_EQ(writer.Save(), 1);
    EXPECT_EQ(vardel::testing::read_file(device_.root() / "empty.xml"), c.expected);
    writer.Close();
  }
}

TEST_F(WriterLifeTest, SaveFailureKeepsThePreviousFile) {
  CXMLTextWriter writer;
  ASSERT_EQ(writer.Open(DOCUMENT_MESSAGES), 1);
  CopyBounded(writer.m_szFilePath, u"out.xml", MAX_PATH);
  ASSERT_EQ(writer.Save(), 1);
  IXMLDOMNode* pCard = NULL;
  ASSERT_EQ(writer.CreateMessageCard(&pCard, u"a", u"1"), 1);
  pCard->Release();
  vardel::fault::arm("msxml.save", STG_E_MEDIUMFULL);
  EXPECT_EQ(writer.Save(), 0);
  EXPECT_EQ(vardel::testing::read_file(device_.root() / "out.xml"), kMessagesTemplate);
  writer.Close();
}

TEST_F(WriterLifeTest, LongPathIsCutTo259AndSavedThere) {
  // Three folders of 80 characters and a long file name: the path buffer
  // keeps 259 characters, which still end inside the file name.
  std::u16string folders;
  std::string hostFolders;
  for (int i = 0; i < 3; i++) {
    std::string part(80, char('a' + i));
    folders += u"\\" + std::u16string(part.begin(), part.end());
    hostFolders += (i ? "/" : "") + part;
  }
  std::filesystem::create_directories(device_.root() / hostFolders);
  std::u16string path = folders + u"\\" + std::u16string(300 - folders.size() - 1, u'f');
  ASSERT_EQ(path.size(), 300u);

  CXMLTextWriter writer;
  ASSERT_EQ(writer.Open(DOCUMENT_CONTACTS), 1);
  CopyBounded(writer.m_szFilePath, path.c_str(), MAX_PATH);
  EXPECT_EQ(std::u16string(writer.m_szFilePath), path.substr(0, 259));
  EXPECT_EQ(writer.Save(), 1);
  std::string leaf(259 - folders.size() - 1, 'f');
  EXPECT_EQ(vardel::testing::read_file(device_.root() / (hostFolders + "/" + leaf)),
            kContactsTemplate);
  writer.Close();
}

}  // namespace
