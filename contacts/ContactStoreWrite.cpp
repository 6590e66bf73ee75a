// The restore side of the contact store: a new contact, its properties set
// through the contact's own setters or queued for the generic item, and the
// two saves that store them.
#include <cstring>
#include <new>

#include "contacts/ContactStore.h"
#include "platform/com/com.h"
#include "platform/core/windows.h"
#include "xml/ComHolders.h"

namespace {

typedef HRESULT (IContact::*PFNPUTTEXT)(BSTR);

struct SetterEntry {
  DWORD dwTag;
  PFNPUTTEXT pfnPut;
};

const SetterEntry kSetters[] = {
    {0x0080001F, &IContact::put_FileAs},
    {0x0081001F, &IContact::put_Title},
    {0x0082001F, &IContact::put_FirstName},
    {0x0083001F, &IContact::put_MiddleName},
    {0x0084001F, &IContact::put_LastName},
    {0x0085001F, &IContact::put_Suffix},
    {0x008A001F, &IContact::put_CompanyName},
    {0x008B001F, &IContact::put_Department},
    {0x008C001F, &IContact::put_JobTitle},
    {0x008E001F, &IContact::put_OfficeLocation},
    {0x008F001F, &IContact::put_AssistantName},
    {0x0090001F, &IContact::put_Email1Address},
    {0x0091001F, &IContact::put_Email2Address},
    {0x0092001F, &IContact::put_Email3Address},
    {0x0096001F, &IContact::put_MobileTelephoneNumber},
    {0x0097001F, &IContact::put_BusinessTelephoneNumber},
    {0x0098001F, &IContact::put_Business2TelephoneNumber},
    {0x0099001F, &IContact::put_HomeTelephoneNumber},
    {0x009A001F, &IContact::put_Home2TelephoneNumber},
    {0x009B001F, &IContact::put_BusinessFaxNumber},
    {0x009C001F, &IContact::put_HomeFaxNumber},
    {0x009D001F, &IContact::put_PagerNumber},
    {0x009E001F, &IContact::put_CarTelephoneNumber},
    {0x009F001F, &IContact::put_RadioTelephoneNumber},
    {0x00A1001F, &IContact::put_AssistantTelephoneNumber},
    {0x00A5001F, &IContact::put_Spouse},
    {0x00A6001F, &IContact::put_Children},
    {0x00A7001F, &IContact::put_WebPage},
    {0x00C1001F, &IContact::put_BusinessAddressStreet},
    {0x00C2001F, &IContact::put_BusinessAddressCity},
    {0x00C3001F, &IContact::put_BusinessAddressState},
    {0x00C4001F, &IContact::put_BusinessAddressPostalCode},
    {0x00C5001F, &IContact::put_BusinessAddressCountry},
    {0x00D1001F, &IContact::put_HomeAddressStreet},
    {0x00D2001F, &IContact::put_HomeAddressCity},
    {0x00D3001F, &IContact::put_HomeAddressState},
    {0x00D4001F, &IContact::put_HomeAddressPostalCode},
    {0x00D5001F, &IContact::put_HomeAddressCountry},
    {0x00E1001F, &IContact::put_OtherAddressStreet},
    {0x00E2001F, &IContact::put_OtherAddressCity},
    {0x00E3001F, &IContact::put_OtherAddressState},
    {0x00E4001F, &IContact::put_OtherAddressPostalCode},
    {0x00E5001F, &IContact::put_OtherAddressCountry},
};

// Properties without a setter of their own: queued, and written through the
// generic item once the contact has been saved.
const DWORD kQueuedTags[] = {
    0x0086001F,                          // nickname
    0x008D001F,                          // manager
    0x0093001F, 0x0094001F, 0x0095001F,  // instant messaging
    0x00A0001F,                          // company telephone
    0x00A8001F,                          // company reading
    0x00A9001F,                          // customer id
    0x00AA001F,                          // government id
    0x00AB001F,                          // account name
};

PFNPUTTEXT FindSetter(DWORD dwTag) {
  for (const SetterEntry& e : kSetters)
    if (e.dwTag == dwTag) return e.pfnPut;
  return NULL;
}

bool IsQueuedTag(DWORD dwTag) {
  for (DWORD t : kQueuedTags)
    if (t == dwTag) return true;
  return false;
}

}  // namespace

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
  PFNPUTTEXT pfnPut = FindSetter(dwTag);
  if (pfnPut) {
    hr = (m_pCurrent->*pfnPut)(bstrText.Value());
  } else if (IsQueuedTag(dwTag)) {
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
