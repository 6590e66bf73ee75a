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

namespace {

// Appends an empty VCARD record to the root: the record comes back in
// *ppNode (one reference) and, for its attributes, in *ppElement. Throws the
// failing call's HRESULT.
void AppendCard(IXMLDOMDocument2* pDoc, IXMLDOMNode* pRoot, IXMLDOMNode** ppNode,
                IXMLDOMElement** ppElement) {
  if (!pDoc || !pRoot) throw(long) E_FAIL;
  CBstr bstrName(u"VCARD");
  HRESULT hr = pDoc->createElement(bstrName, ppElement);
  if (FAILED(hr)) throw(long) hr;
  if (!*ppElement) throw(long) E_FAIL;
  hr = pRoot->appendChild(*ppElement, ppNode);
  if (FAILED(hr) || !*ppNode) throw(long) E_FAIL;
}

HRESULT SetCardAttribute(IXMLDOMElement* pElement, LPCWSTR pszName, LPCWSTR pszValue) {
  CBstr bstrName(pszName);
  CVariant varValue;
  varValue = pszValue;
  return pElement->setAttribute(bstrName, varValue);
}

}  // namespace

int CXMLTextWriter::CreateContactCard(LPCWSTR pszTitle, IXMLDOMNode** ppNode) {
  if (!pszTitle || !ppNode) return 0;
  int bResult = 0;
  IXMLDOMElement* pElement = NULL;
  try {
    AppendCard(m_pDoc, m_pRootNode, ppNode, &pElement);
    HRESULT hr = SetCardAttribute(pElement, u"TITLE", pszTitle);
    if (FAILED(hr)) throw(long) hr;
    hr = SetCardAttribute(pElement, u"TYPE", u"WinMobile");
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
    AppendCard(m_pDoc, m_pRootNode, ppNode, &pElement);
    HRESULT hr = SetCardAttribute(pElement, u"Owner", u" ");
    if (FAILED(hr)) throw(long) hr;
    hr = SetCardAttribute(pElement, u"TYPE", u"WinMobile");
    if (FAILED(hr)) throw(long) hr;
    hr = SetCardAttribute(pElement, u"CONTACTS", pszContacts);
    if (FAILED(hr)) throw(long) hr;
    hr = SetCardAttribute(pElement, u"ContactNumber", pszContactNumber);
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
