// CXMLTextWriter: opening a writer with its document kind, loading the
// kind's template, and closing.
#include "xml/XMLTextWriter.h"

#include "platform/com/com.h"
#include "platform/core/windows.h"
#include "platform/msxml/msxml.h"
#include "xml/ComHolders.h"

namespace {

// The contacts file keeps declaration and stylesheet on one line; the
// messages file has them on two. Both have the root CONTACTS, with a line
// break inside it that the save keeps (white space is preserved).
const WCHAR kContactsTemplate[] =
    u"<?xml version=\"1.0\"?><?xml-stylesheet type='text/xsl' href='MessageLogContact.xsl'?>\r\n"
    u"<CONTACTS>\r\n"
    u"</CONTACTS>\r\n";

const WCHAR kMessagesTemplate[] =
    u"<?xml version=\"1.0\"?>\r\n"
    u"<?xml-stylesheet type='text/xsl' href='MessageLogMsg.xsl'?>\r\n"
    u"<CONTACTS>\r\n"
    u"</CONTACTS>\r\n";

static_assert(sizeof(kContactsTemplate) / sizeof(WCHAR) - 1 == 111, "contacts template length");
static_assert(sizeof(kMessagesTemplate) / sizeof(WCHAR) - 1 == 109, "messages template length");

}  // namespace

CXMLTextWriter::CXMLTextWriter()
    : m_pRootNode(NULL), m_pCurrentNode(NULL), m_pInboxTable(NULL), m_pSentTable(NULL) {}

int CXMLTextWriter::Open(DocumentKind kind) {
  m_bWithoutStore = kind == DOCUMENT_MESSAGES;
  if (!CXMLDocument::Open()) return 0;
  return CreateDocument(kind);
}

int CXMLTextWriter::CreateDocument(DocumentKind kind) {
  try {
    if (m_pNodeList) {
      m_pNodeList->Release();
      m_pNodeList = NULL;
    }
    if (m_pDocNode) {
      m_pDocNode->Release();
      m_pDocNode = NULL;
    }
    if (!m_pDoc) throw(long) E_FAIL;

    m_pDoc->put_async(VARIANT_FALSE);

    CBstr bstrName(u"SelectionLanguage");
    CVariant varValue;
    varValue = u"XPath";
    HRESULT hr = m_pDoc->setProperty(bstrName, varValue);
    if (FAILED(hr)) throw(long) hr;

    hr = m_pDoc->put_preserveWhiteSpace(VARIANT_TRUE);
    if (FAILED(hr)) throw(long) hr;

    // Any other kind loads nothing: the parse of an empty text fails.
    const WCHAR* pszTemplate = NULL;
    if (kind == DOCUMENT_CONTACTS)
      pszTemplate = kContactsTemplate;
    else if (kind == DOCUMENT_MESSAGES)
      pszTemplate = kMessagesTemplate;
    CBstr bstrXML(pszTemplate);
    VARIANT_BOOL bLoaded = VARIANT_FALSE;
    hr = m_pDoc->loadXML(bstrXML, &bLoaded);
    if (FAILED(hr) || !bLoaded) throw(long) hr;

    hr = m_pDoc->QueryInterface(IID_IXMLDOMNode, (void**)&m_pDocNode);
    if (FAILED(hr) || !m_pDocNode) throw(long) hr;

    if (m_pRootNode) {
      m_pRootNode->Release();
      m_pRootNode = NULL;
    }
    CBstr bstrRoot(u"CONTACTS");
    hr = m_pDocNode->selectSingleNode(bstrRoot, &m_pRootNode);
    if (FAILED(hr) || !m_pRootNode) throw(long) hr;
    return 1;
  } catch (long hr) {
    if (hr < 0) {
      if (m_pNodeList) {
        m_pNodeList->Release();
        m_pNodeList = NULL;
      }
      if (m_pDocNode) {
        m_pDocNode->Release();
        m_pDocNode = NULL;
      }
    }
    return 0;
  } catch (const _com_error&) {
    // A COM string that could not be made: a failed template like any
    // other, which the caller closes.
    if (m_pDocNode) {
      m_pDocNode->Release();
      m_pDocNode = NULL;
    }
    return 0;
  }
}

void CXMLTextWriter::Close() {
  if (m_pRootNode) {
    m_pRootNode->Release();
    m_pRootNode = NULL;
  }
  CXMLDocument::Close();
}
