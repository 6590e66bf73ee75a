// The COM value holders and the bounded copy.
#include "xml/ComHolders.h"

#include <new>

CBstr::Data_t* CBstr::MakeData(const WCHAR* psz) {
  Data_t* pData = new (std::nothrow) Data_t;
  if (pData == NULL) throw _com_error(E_OUTOFMEMORY);
  pData->m_RefCount = 1;
  pData->m_wstr = SysAllocString(psz);
  if (pData->m_wstr == NULL && psz != NULL) {
    delete pData;
    throw _com_error(E_OUTOFMEMORY);
  }
  return pData;
}

CBstr::CBstr(const WCHAR* psz) : m_Data(MakeData(psz)) {}

CBstr& CBstr::operator=(const WCHAR* psz) {
  if (psz != NULL && m_Data != NULL && psz == m_Data->m_wstr) return *this;
  // The new block is made before the old one goes: the text may lie inside
  // the held BSTR (a suffix of it), which releasing first would free.
  Data_t* pData = MakeData(psz);
  Release();
  m_Data = pData;
  return *this;
}

void CBstr::Release() noexcept {
  if (m_Data != NULL) {
    if (InterlockedDecrement(reinterpret_cast<LONG volatile*>(&m_Data->m_RefCount)) == 0) {
      if (m_Data->m_wstr != NULL) SysFreeString(m_Data->m_wstr);
      delete m_Data;
    }
    m_Data = NULL;
  }
}

CVariant::CVariant(const WCHAR* psz) {
  VariantInit(this);
  *this = psz;
}

CVariant& CVariant::operator=(const WCHAR* psz) {
  // Copied before the old value is cleared, for the same reason as CBstr.
  BSTR bstr = NULL;
  if (psz != NULL) {
    bstr = SysAllocString(psz);
    if (bstr == NULL) throw _com_error(E_OUTOFMEMORY);
  }
  HRESULT hr = VariantClear(this);
  if (FAILED(hr)) {
    SysFreeString(bstr);
    throw _com_error(hr);
  }
  vt = VT_BSTR;
  bstrVal = bstr;
  return *this;
}

WCHAR* CopyBounded(WCHAR* pDest, const WCHAR* pSrc, size_t nCount) {
  if (nCount == 0 || pDest == NULL) return pDest;
  if (pSrc == NULL) {  // nothing to copy: an empty text
    pDest[0] = 0;
    return pDest;
  }
  size_t n = wcslen(pSrc) + 1;
  if (n > nCount - 1) n = nCount - 1;
  wcsncpy(pDest, pSrc, n);
  pDest[nCount - 1] = 0;
  return pDest;
}
