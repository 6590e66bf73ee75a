// Building the records of a backup file: the VCARD record elements and the
// find-or-create element paths below the current record.
//
// A path is looked up whole as XPath below the current record; only when
// nothing is found are elements made, from two names: the parent (before the
// first "/") and the leaf (after the last "/"). So "A/B" and "A//B" build the
// same shape, B inside A inside the record.
#include "platform/com/com.h"
#include "platform/core/windows.h"
#include "platform/msxml/msxml.h"
#include "xml/ComHolders.h"
#include "xml/XMLTextWriter.h"

int CXMLTextWriter::CreateNode(LPCWSTR pszPath, IXMLDOMNode** ppNode) {
  // The plain form is the attributed form with no attributes to set.
  return CreateNode(pszPath, ppNode, NULL, NULL, NULL);
}

int CXMLTextWriter::CreateNode(LPCWSTR pszPath, IXMLDOMNode** ppNode, LPCWSTR pszDate,
                               LPCWSTR pszTime, LPCWSTR pszDirection) {
  if (!pszPath || !ppNode) return 0;
  NKDbgPrintfW(u"CXMLTextWriter::CreateNode()+++ %s\r\n", pszPath);

  int bResult = 0;
  IXMLDOMNode* pParent = NULL;
  IXMLDOMElement* pElement = NULL;
  *ppNode = NULL;
  try {
    if (m_pCurrentNode && m_pDoc) {
      CBstr bstrQuery(pszPath);
      IXMLDOMNode* pFound = NULL;
      HRESULT hr = m_pCurrentNode->selectSingleNode(bstrQuery, &pFound);
      if (FAILED(hr)) {
        if (pFound) pFound->Release();
        throw(long) hr;
      }
      if (pFound) {
        // Found: handed back as it is; found elements never get attributes.
        *ppNode = pFound;
        bResult = 1;
      } else {
        WCHAR szParent[MAX_PATH];
        WCHAR szLeaf[MAX_PATH];
        int bHaveParent = 1;
        if (GetParentPath(pszPath, szParent)) {
          if (!CreateNode(szParent, &pParent, pszDate, pszTime, pszDirection)) bHaveParent = 0;
        } else {
          pParent = m_pCurrentNode;
        }
        if (bHaveParent) {
          GetLeafName(pszPath, szLeaf);
          CBstr bstrLeaf(szLeaf);
          hr = m_pDoc->createElement(bstrLeaf, &pElement);
          if (FAILED(hr) || !pElement) throw(long) E_FAIL;
          hr = pParent->appendChild(pElement, ppNode);
          if (FAILED(hr) || !*ppNode) throw(long) E_FAIL;
          bResult = 1;

          // Only an element standing directly in the record carries the
          // attributes; for "MESSAGE//TEXT" that is MESSAGE, made by the
          // recursive call above. An attribute not set is a record not
          // whole: the call fails rather than leave it out unnoticed.
          if (pParent == m_pCurrentNode) {
            if (pszDate) {
              CBstr bstrName(u"Date");
              CVariant varValue;
              varValue = pszDate;
              if (FAILED(pElement->setAttribute(bstrName, varValue))) throw(long) E_FAIL;
            }
            if (pszTime) {
              CBstr bstrName(u"Time");
              CVariant varValue;
              varValue = pszTime;
              if (FAILED(pElement->setAttribute(bstrName, varValue))) throw(long) E_FAIL;
            }
            if (pszDirection) {
              CBstr bstrName(u"Direction");
              CVariant varValue;
              varValue = pszDirection;
              if (FAILED(pElement->setAttribute(bstrName, varValue))) throw(long) E_FAIL;
            }
          }
        }
      }
    }
  } catch (...) {
    // A failed call (long) or a COM string that could not be made
    // (_com_error): either way no node, and what was made is released below.
    bResult = 0;
  }

  // A failed call gives back no node.
  if (!bResult && *ppNode) {
    (*ppNode)->Release();
    *ppNode = NULL;
  }
  if (pParent && pParent != m_pCurrentNode) pParent->Release();
  if (pElement) pElement->Release();
  NKDbgPrintfW(u"CXMLTextWriter::CreateNode() %s---\r\n", pszPath);
  return bResult;
}

int CXMLTextWriter::CreateContactCard(LPCWSTR pszTitle, IXMLDOMNode** ppNode) {
  if (!pszTitle || !ppNode) return 0;
  int bResult = 0;
  IXMLDOMElement* pElement = NULL;
  try {
    if (!m_pDoc || !m_pRootNode) throw(long) E_FAIL;
    CBstr bstrName(u"VCARD");
    HRESULT hr = m_pDoc->createElement(bstrName, &pElement);
    if (FAILED(hr)) throw(long) hr;
    if (!pElement) throw(long) E_FAIL;
    hr = m_pRootNode->appendChild(pElement, ppNode);
    if (FAILED(hr) || !*ppNode) throw(long) E_FAIL;

    CBstr bstrTitle(u"TITLE");
    CVariant varTitle;
    varTitle = pszTitle;
    hr = pElement->setAttribute(bstrTitle, varTitle);
    if (FAILED(hr)) throw(long) hr;

    CBstr bstrType(u"TYPE");
    CVariant varType;
    varType = u"WinMobile";
    hr = pElement->setAttribute(bstrType, varType);
    if (FAILED(hr)) throw(long) hr;
    bResult = 1;
  } catch (...) {
    // A failed call (long) or a COM string that could not be made
    // (_com_error): either way no node, and what was made is released below.
    bResult = 0;
  }
  if (pElement) pElement->Release();
  return bResult;
}

int CXMLTextWriter::CreateMessageCard(IXMLDOMNode** ppNode, LPCWSTR pszContacts,
                                      LPCWSTR pszContactNumber) {
  if (!ppNode) return 0;
  int bResult = 0;
  IXMLDOMElement* pElement = NULL;
  try {
    if (!m_pDoc || !m_pRootNode) throw(long) E_FAIL;
    CBstr bstrName(u"VCARD");
    HRESULT hr = m_pDoc->createElement(bstrName, &pElement);
    if (FAILED(hr)) throw(long) hr;
    if (!pElement) throw(long) E_FAIL;
    hr = m_pRootNode->appendChild(pElement, ppNode);
    if (FAILED(hr) || !*ppNode) throw(long) E_FAIL;

    CBstr bstrOwner(u"Owner");
    CVariant varOwner;
    varOwner = u" ";
    hr = pElement->setAttribute(bstrOwner, varOwner);
    if (FAILED(hr)) throw(long) hr;

    CBstr bstrType(u"TYPE");
    CVariant varType;
    varType = u"WinMobile";
    hr = pElement->setAttribute(bstrType, varType);
    if (FAILED(hr)) throw(long) hr;

    CBstr bstrContacts(u"CONTACTS");
    CVariant varContacts;
    varContacts = pszContacts;
    hr = pElement->setAttribute(bstrContacts, varContacts);
    if (FAILED(hr)) throw(long) hr;

    CBstr bstrNumber(u"ContactNumber");
    CVariant varNumber;
    varNumber = pszContactNumber;
    hr = pElement->setAttribute(bstrNumber, varNumber);
    if (FAILED(hr)) throw(long) hr;
    bResult = 1;
  } catch (...) {
    // A failed call (long) or a COM string that could not be made
    // (_com_error): either way no node, and what was made is released below.
    bResult = 0;
  }
  if (pElement) pElement->Release();
  return bResult;
}

int CXMLTextWriter::GetParentPath(LPCWSTR pszPath, WCHAR* pszParent) {
  CopyBounded(pszParent, pszPath, MAX_PATH);
  WCHAR* pszSlash = wcschr(pszParent, u'/');
  if (!pszSlash) return 0;
  *pszSlash = 0;
  return 1;
}

int CXMLTextWriter::GetLeafName(LPCWSTR pszPath, WCHAR* pszLeaf) {
  const WCHAR* pszSlash = wcsrchr(pszPath, u'/');
  CopyBounded(pszLeaf, pszSlash ? pszSlash + 1 : pszPath, MAX_PATH);
  return 1;
}
