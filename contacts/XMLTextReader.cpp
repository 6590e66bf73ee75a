// The restore's document object: loads the contacts file and selects its
// records (every VCARD whose parent is a CONTACTS element, at any depth).
//
// The load is synchronous, selections are XPath and white space is kept, so
// a field's text comes back exactly as the backup stored it. A failing COM
// call is thrown as its HRESULT and caught here; the load then reports 0 and,
// for a negative value, drops what it had selected. Out-of-memory errors of
// the string holders (_com_error) are not caught by the load: the restore job
// catches them.
#include "contacts/XMLTextReader.h"

#include <new>

#include "platform/core/windows.h"
#include "platform/msxml/msxml.h"
#include "xml/ComHolders.h"

CXMLTextReader::CXMLTextReader() : CXMLDocument(), m_nContactCount(0) {}

int CXMLTextReader::Open() {
  if (!CXMLDocument::Open()) return 0;
  m_bOpened = 1;
  return 1;
}

void CXMLTextReader::Close() { CXMLDocument::Close(); }

int CXMLTextReader::LoadContactsXML(LPCWSTR pszPath) {
  int nResult = 0;
  if (pszPath == nullptr) return 0;
  CVariant source(pszPath);

  if (m_pNodeList != nullptr) {
    m_pNodeList->Release();
    m_pNodeList = nullptr;
  }
  if (m_pDocNode != nullptr) {
    m_pDocNode->Release();
    m_pDocNode = nullptr;
  }
  CopyBounded(m_szFilePath, pszPath, MAX_PATH);
  // A reader that is not open has no document to load into.
  if (m_pDoc == nullptr) return 0;

  try {
    m_pDoc->put_async(VARIANT_FALSE);

    HRESULT hr = m_pDoc->setProperty(CBstr(u"SelectionLanguage"), CVariant(u"XPath"));
    if (FAILED(hr)) throw(long) hr;

    hr = m_pDoc->put_preserveWhiteSpace(VARIANT_TRUE);
    if (FAILED(hr)) throw(long) hr;

    VARIANT_BOOL bLoaded = VARIANT_FALSE;
    hr = m_pDoc->load(source, &bLoaded);
    if (FAILED(hr) || bLoaded == VARIANT_FALSE) throw(long) hr;

    hr = m_pDoc->QueryInterface(IID_IXMLDOMNode, (void**)&m_pDocNode);
    if (FAILED(hr) || m_pDocNode == nullptr) throw(long) hr;

    hr = m_pDocNode->selectNodes(CBstr(u"//CONTACTS/VCARD"), &m_pNodeList);
    if (FAILED(hr) || m_pNodeList == nullptr) throw(long) hr;

    long nLength = 0;
    hr = m_pNodeList->get_length(&nLength);
    if (FAILED(hr)) throw(long) hr;
    m_nContactCount = (int)nLength;

    nResult = 1;
  } catch (long hr) {
    if (hr < 0) {
      if (m_pNodeList != nullptr) {
        m_pNodeList->Release();
        m_pNodeList = nullptr;
      }
      if (m_pDocNode != nullptr) {
        m_pDocNode->Release();
        m_pDocNode = nullptr;
      }
    }
    nResult = 0;
  }
  return nResult;
}

LPWSTR CXMLTextReader::GetNodeText(IXMLDOMNode* pNode, int* pnLength) {
  if (pNode == nullptr) return nullptr;
  BSTR bstrText = nullptr;
  if (FAILED(pNode->get_text(&bstrText))) return nullptr;

  const WCHAR* pszSource = bstrText != nullptr ? bstrText : u"";
  const int nLength = (int)wcslen(pszSource);
  WCHAR* pszCopy = new (std::nothrow) WCHAR[nLength + 1];
  if (pszCopy != nullptr) {
    for (int i = 0; i < nLength; ++i) pszCopy[i] = pszSource[i];
    pszCopy[nLength] = 0;
    if (pnLength != nullptr) *pnLength = nLength;
  }
  SysFreeString(bstrText);
  return pszCopy;
}
