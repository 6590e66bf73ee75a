// Reading a text field of the current contact: through the contact's own
// getter where it has one, else through the generic item's property access
// (contacts/ContactPropertyAccess.h). Categories, notes and the dates are
// not read.
#include <new>

#include "contacts/ContactPropertyAccess.h"
#include "contacts/ContactStore.h"
#include "platform/com/com.h"
#include "platform/core/windows.h"

namespace {

void SetEmpty(ContactFieldValue* pValue) {
  pValue->pszText = NULL;
  pValue->dwPad = 0;
}

}  // namespace

int CContactStore::ReadsField(DWORD dwTag) {
  const ContactPropertyAccess* pAccess = FindContactPropertyAccess(dwTag);
  return (pAccess && (pAccess->pfnGet || pAccess->bItemRead)) ? 1 : 0;
}

int CContactStore::GetField(DWORD dwTag, ContactFieldValue* pValue) {
  if (!m_bOpened || !pValue) return 0;
  SetEmpty(pValue);
  if (!m_pCurrent) return 0;

  const ContactPropertyAccess* pAccess = FindContactPropertyAccess(dwTag);
  if (!pAccess) return 0;
  PFNGETTEXT pfnGet = pAccess->pfnGet;
  if (pfnGet) {
    BSTR bstr = NULL;
    HRESULT hr = (m_pCurrent->*pfnGet)(&bstr);
    int bCopied = 0;
    UINT cch = bstr ? SysStringLen(bstr) : 0;
    if (cch > 0) {
      WCHAR* pszCopy = new (std::nothrow) WCHAR[cch + 1];
      if (pszCopy) {
        for (UINT i = 0; i < cch; i++) pszCopy[i] = bstr[i];
        pszCopy[cch] = 0;
        pValue->pszText = pszCopy;
        bCopied = 1;
      }
    }
    SysFreeString(bstr);
    if (cch > 0 && !bCopied) return 0;  // a text that could not be copied is not an empty one
    return (bCopied || SUCCEEDED(hr)) ? 1 : 0;
  }
  if (pAccess->bItemRead) {
    HRESULT hr = GetPropertyText(dwTag, pValue);
    if (FAILED(hr)) SetEmpty(pValue);
    return SUCCEEDED(hr) ? 1 : 0;
  }
  return 0;
}

HRESULT CContactStore::GetPropertyText(DWORD dwTag, ContactFieldValue* pValue) {
  if (!pValue || !m_pApp || !m_pCurrent) return E_FAIL;
  // The value is read as a text: any other type would hand out a pointer
  // that is not one.
  if (TypeFromPropID(dwTag) != CEVT_LPWSTR) return E_FAIL;

  long oid = 0;
  HRESULT hr = m_pCurrent->get_Oid(&oid);
  if (FAILED(hr)) return hr;

  IItem* pItem = NULL;
  hr = m_pApp->GetItemFromOidEx((CEOID)oid, 0, &pItem);
  if (FAILED(hr)) {
    if (pItem) pItem->Release();
    return hr;
  }
  if (!pItem) return E_FAIL;

  CEPROPID propid = dwTag;
  CEPROPVAL* pProps = NULL;
  ULONG cbBuffer = 0;
  hr = pItem->GetProps(&propid, 0, 1, &pProps, &cbBuffer, NULL);
  if (hr == HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER))
    pProps = (CEPROPVAL*)LocalAlloc(LMEM_FIXED, cbBuffer);
  hr = pProps ? pItem->GetProps(&propid, 0, 1, &pProps, &cbBuffer, NULL) : E_FAIL;

  if (FAILED(hr)) {
    hr = E_FAIL;
  } else if (pProps->wFlags & (CEDB_PROPNOTFOUND | CEDB_PROPDELETE)) {
    // Absent: the value stays as the caller left it.
    hr = S_OK;
  } else {
    UINT cch = pProps->wLenData;
    const WCHAR* pszText = pProps->val.lpwstr;
    if (cch == 0 || !pszText) {
      SetEmpty(pValue);
      hr = S_OK;
    } else {
      WCHAR* pszCopy = new (std::nothrow) WCHAR[cch + 1];
      if (!pszCopy) {
        hr = E_FAIL;
      } else {
        UINT i = 0;
        for (; i < cch && pszText[i]; i++) pszCopy[i] = pszText[i];
        pszCopy[i] = 0;
        pValue->pszText = pszCopy;
        pValue->dwPad = 0;
        hr = S_OK;
      }
    }
  }

  if (pProps) LocalFree(pProps);
  pItem->Release();
  return hr;
}

int CContactStore::GetItemProps(int nPosition, const CEPROPID* pTags, WORD cTags,
                                CEPROPVAL** ppProps) {
  if (!ppProps) return 0;
  *ppProps = NULL;
  if (!SelectItem(nPosition) || !m_pApp) return 0;

  long oid = 0;
  if (FAILED(m_pCurrent->get_Oid(&oid))) return 0;
  IItem* pItem = NULL;
  HRESULT hr = m_pApp->GetItemFromOidEx((CEOID)oid, 0, &pItem);
  if (FAILED(hr) || !pItem) {
    if (pItem) pItem->Release();
    return 0;
  }
  CEPROPVAL* pProps = NULL;
  ULONG cbBuffer = 0;
  hr = pItem->GetProps(pTags, 0, cTags, &pProps, &cbBuffer, NULL);
  if (hr == HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)) {
    pProps = (CEPROPVAL*)LocalAlloc(LMEM_FIXED, cbBuffer);
    hr = pProps ? pItem->GetProps(pTags, 0, cTags, &pProps, &cbBuffer, NULL) : E_FAIL;
  }
  pItem->Release();
  if (FAILED(hr)) {
    if (pProps) LocalFree(pProps);
    return 0;
  }
  *ppProps = pProps;
  return 1;
}
