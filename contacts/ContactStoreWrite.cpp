// The restore side of the contact store: a new contact, its properties set
// through the contact's own setters or queued for the generic item
// (contacts/ContactPropertyAccess.h), and the two saves that store them.
#include <cstring>
#include <new>

#include "contacts/ContactPropertyAccess.h"
#include "contacts/ContactStore.h"
#include "platform/com/com.h"
#include "platform/core/windows.h"
#include "xml/ComHolders.h"

int CContactStore::NewContact() {
  if (!m_bOpened) return 0;
  if (m_pCurrent) {
    m_pCurrent->Release();
    m_pCurrent = NULL;
  }
  IDispatch* pItem = NULL;
  HRESULT hr = m_pApp->CreateItem(olContactItem, &pItem);
  if (FAILED(hr)) {
    if (pItem) pItem->Release();
    return 0;
  }
  m_pCurrent = static_cast<IContact*>(pItem);
  return m_pCurrent ? 1 : 0;
}

int CContactStore::SetField(DWORD dwTag, ContactFieldValue* pValue) {
  if (!m_bOpened || !m_pCurrent || !pValue) return 0;

  CBstr bstrText;
  if (TypeFromPropID(dwTag) == CEVT_LPWSTR) bstrText = pValue->pszText;

  HRESULT hr = E_FAIL;
  const ContactPropertyAccess* pAccess = FindContactPropertyAccess(dwTag);
  if (pAccess && pAccess->pfnPut) {
    hr = (m_pCurrent->*pAccess->pfnPut)(bstrText.Value());
  } else if (pAccess) {
    hr = QueueProperty(dwTag, pValue);
  } else if (dwTag == PIMPR_BIRTHDAY || dwTag == PIMPR_ANNIVERSARY) {
    // Calendar date as the file gave it: no time-zone conversion.
    FILETIME ft = pValue->ftDate;
    SYSTEMTIME st;
    std::memset(&st, 0, sizeof(st));
    FileTimeToSystemTime(&ft, &st);
    DATE date = 0;
    m_pApp->SystemTimeToVariantTime(&st, &date);
    hr = dwTag == PIMPR_BIRTHDAY ? m_pCurrent->put_Birthday(date)
                                 : m_pCurrent->put_Anniversary(date);
  } else {
    return 0;  // categories, notes and unknown tags are not set
  }
  return SUCCEEDED(hr) ? 1 : 0;
}

HRESULT CContactStore::QueueProperty(DWORD dwTag, ContactFieldValue* pValue) {
  if (TypeFromPropID(dwTag) != CEVT_LPWSTR) return E_FAIL;
  if (!pValue || !pValue->pszText) return E_FAIL;

  size_t cch = wcslen(pValue->pszText);
  WCHAR* pszCopy = new (std::nothrow) WCHAR[cch + 1];
  if (!pszCopy) return E_FAIL;
  CopyBounded(pszCopy, pValue->pszText, cch + 1);

  CEPROPVAL prop;
  std::memset(&prop, 0, sizeof(prop));
  prop.propid = dwTag;
  prop.wLenData = (WORD)cch;
  prop.wFlags = 0;
  prop.val.lpwstr = pszCopy;
  if (!m_QueuedProps.Add(prop)) {
    // The queue could not take it: the property would be lost silently.
    delete[] pszCopy;
    return E_FAIL;
  }
  return S_OK;
}

int CContactStore::SaveContact() {
  if (!m_bOpened || !m_pCurrent) return 0;
  try {
    HRESULT hr = m_pCurrent->Save();
    if (FAILED(hr)) throw(long) hr;
    hr = ApplyQueuedProperties();
    if (FAILED(hr)) throw(long) hr;
    return 1;
  } catch (long) {
    m_pCurrent->Release();
    m_pCurrent = NULL;
    return 0;
  }
}

HRESULT CContactStore::ApplyQueuedProperties() {
  int nCount = m_QueuedProps.GetCount();
  if (nCount == 0) return S_OK;

  HRESULT hrResult = S_OK;
  CEPROPVAL* pProps = NULL;
  IItem* pItem = NULL;
  try {
    pProps = new (std::nothrow) CEPROPVAL[nCount];
    if (!pProps) throw(long) E_FAIL;
    for (int i = 0; i < nCount; i++) m_QueuedProps.GetAt(&pProps[i], i);

    if (!m_pCurrent || !m_pApp) throw(long) E_FAIL;
    long oid = 0;
    HRESULT hr = m_pCurrent->get_Oid(&oid);
    if (FAILED(hr)) throw(long) hr;
    hr = m_pApp->GetItemFromOidEx((CEOID)oid, 0, &pItem);
    if (FAILED(hr) || !pItem) throw(long) E_FAIL;
    hr = pItem->SetProps(0, (WORD)nCount, pProps);
    if (FAILED(hr)) throw(long) hr;
    hr = pItem->Save();
    if (FAILED(hr)) throw(long) hr;
    hrResult = S_OK;
  } catch (long hr) {
    hrResult = hr;
  }

  // The queue is emptied whatever happened; it owns the texts.
  CEPROPVAL prop;
  for (int i = 0; i < m_QueuedProps.GetCount(); i++) {
    m_QueuedProps.GetAt(&prop, i);
    delete[] prop.val.lpwstr;
  }
  m_QueuedProps.RemoveAll();
  delete[] pProps;
  if (pItem) pItem->Release();
  return hrResult;
}
