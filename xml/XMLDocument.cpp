// CXMLDocument: the thread's COM initialisation, the DOM document and the
// contact store, opened and closed together; and the save of the document.
#include "xml/XMLDocument.h"

#include <new>

#include "contacts/ContactStore.h"
#include "platform/com/com.h"
#include "platform/core/windows.h"
#include "platform/msxml/msxml.h"
#include "xml/ComHolders.h"

CXMLDocument::CXMLDocument()
    : m_pStore(NULL),
      m_pDocNode(NULL),
      m_pDoc(NULL),
      m_pNodeList(NULL),
      m_bOpened(0),
      m_bWithoutStore(0),
      m_bComInit(0) {
  // Each file operation fills the path before use; an empty one until then
  // means a stray Save names no file rather than reading garbage.
  m_szFilePath[0] = 0;
}

int CXMLDocument::Open() {
  if (m_bOpened) return 1;
  try {
    CoInitializeEx(NULL, COINIT_MULTITHREADED);
    m_bComInit = 1;

    HRESULT hr =
        CoCreateInstance(CLSID_DOMDocument, NULL, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                         IID_IXMLDOMDocument2, (void**)&m_pDoc);
    if (FAILED(hr)) {
      m_pDoc = NULL;
      throw(long) hr;
    }

    if (!m_bWithoutStore) {
      m_pStore = new (std::nothrow) CContactStore();
      if (!m_pStore) throw(long) E_FAIL;
      if (!m_pStore->Open()) throw(long) E_FAIL;
    }

    m_bOpened = 1;
  } catch (long hr) {
    // Through the virtual table: a writer also drops its root element.
    if (hr < 0) Close();
  } catch (...) {
    // A COM string that could not be made: nothing half-open stays behind.
    Close();
  }
  return m_bOpened;
}

void CXMLDocument::Close() {
  if (m_pStore) {
    m_pStore->Close();
    delete m_pStore;
    m_pStore = NULL;
  }
  ReleaseField(m_pDoc);
  ReleaseField(m_pNodeList);
  ReleaseField(m_pDocNode);
  // Only the initialisation this object made is undone, so a Close without
  // an Open before it leaves the thread's other documents their COM.
  if (m_bComInit) {
    CoUninitialize();
    m_bComInit = 0;
  }
  m_bOpened = 0;
}

int CXMLDocument::Save() {
  if (!m_pDoc) return 0;
  CVariant varPath;
  varPath = m_szFilePath;
  HRESULT hr = m_pDoc->save(varPath);
  return SUCCEEDED(hr) ? 1 : 0;
}
