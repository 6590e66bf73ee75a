// Reading a text field of the current contact: through the contact's own
// getter where it has one, else through the generic item's property access.
// Categories, notes and the dates are not read.
#include <new>

#include "contacts/ContactStore.h"
#include "platform/com/com.h"
#include "platform/core/windows.h"

namespace {

typedef HRESULT (IContact::*PFNGETTEXT)(BSTR*);

struct GetterEntry {
  DWORD dwTag;
  PFNGETTEXT pfnGet;
};

const GetterEntry kGetters[] = {
    {0x0082001F, &IContact::get_FirstName},
    {0x0084001F, &IContact::get_LastName},
    {0x0080001F, &IContact::get_FileAs},
    {0x0097001F, &IContact::get_BusinessTelephoneNumber},
    {0x0096001F, &IContact::get_MobileTelephoneNumber},
    {0x0099001F, &IContact::get_HomeTelephoneNumber},
    {0x0098001F, &IContact::get_Business2TelephoneNumber},
    {0x009A001F, &IContact::get_Home2TelephoneNumber},
    {0x009D001F, &IContact::get_PagerNumber},
    {0x009E001F, &IContact::get_CarTelephoneNumber},
    {0x00A1001F, &IContact::get_AssistantTelephoneNumber},
    {0x009F001F, &IContact::get_RadioTelephoneNumber},
    {0x009B001F, &IContact::get_BusinessFaxNumber},
    {0x009C001F, &IContact::get_HomeFaxNumber},
    {0x0090001F, &IContact::get_Email1Address},
    {0x0091001F, &IContact::get_Email2Address},
    {0x0092001F, &IContact::get_Email3Address},
    {0x00A7001F, &IContact::get_WebPage},
    {0x008A001F, &IContact::get_CompanyName},
    {0x008B001F, &IContact::get_Department},
    {0x008C001F, &IContact::get_JobTitle},
    {0x008E001F, &IContact::get_OfficeLocation},
    {0x008F001F, &IContact::get_AssistantName},
    {0x00C1001F, &IContact::get_BusinessAddressStreet},
    {0x00C2001F, &IContact::get_BusinessAddressCity},
    {0x00C3001F, &IContact::get_BusinessAddressState},
    {0x00C4001F, &IContact::get_BusinessAddressPostalCode},
    {0x00C5001F, &IContact::get_BusinessAddressCountry},
    {0x00D1001F, &IContact::get_HomeAddressStreet},
    {0x00D2001F, &IContact::get_HomeAddressCity},
    {0x00D3001F, &IContact::get_HomeAddressState},
    {0x00D4001F, &IContact::get_HomeAddressPostalCode},
    {0x00D5001F, &IContact::get_HomeAddressCountry},
    {0x00E1001F, &IContact::get_OtherAddressStreet},
    {0x00E2001F, &IContact::get_OtherAddressCity},
    {0x00E3001F, &IContact::get_OtherAddressState},
    {0x00E4001F, &IContact::get_OtherAddressPostalCode},
    {0x00E5001F, &IContact::get_OtherAddressCountry},
    {0x00A5001F, &IContact::get_Spouse},
    {0x00A6001F, &IContact::get_Children},
};

// Properties without a getter of their own, read as item properties.
const DWORD kItemPropertyTags[] = {
    0x0086001F,                          // nickname
    0x00A0001F,                          // company telephone
    0x0093001F, 0x0094001F, 0x0095001F,  // instant messaging
    0x008D001F,                          // manager
    0x00AA001F,                          // government id
    0x00AB001F,                          // account name
    0x00A9001F,                          // customer id
};

PFNGETTEXT FindGetter(DWORD dwTag) {
  for (const GetterEntry& e : kGetters)
    if (e.dwTag == dwTag) return e.pfnGet;
  return NULL;
}

bool IsItemProperty(DWORD dwTag) {
  for (DWORD t : kItemPropertyTags)
    if (t == dwTag) return true;
  return false;
}

void SetEmpty(ContactFieldValue* pValue) {
  pValue->pszText = NULL;
  pValue->dwPad = 0;
}

}  // namespace

int CContactStore::ReadsField(DWORD dwTag) {
  return (FindGetter(dwTag) != nullptr || IsItemProperty(dwTag)) ? 1 : 0;
}

int CContactStore::GetField(DWORD dwTag, ContactFieldValue* pValue) {
  if (!m_bOpened || !pValue) return 0;
  SetEmpty(pValue);
  if (!m_pCurrent) return 0;

  PFNGETTEXT pfnGet = FindGetter(dwTag);
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
  if (IsItemProperty(dwTag)) {
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
