// BSTR and VARIANT. A BSTR points just after a 32-bit byte length; the text
// is zero-terminated, so it also reads as a plain WCHAR string.
#include <cstdlib>
#include <cstring>

#include "platform/com/com.h"
#include "platform/core/fault.h"
#include "platform/core/wstr.h"

#define DISP_E_BADVARTYPE ((HRESULT)0x80020008)

BSTR SysAllocStringLen(const WCHAR* pch, UINT cch) {
  if (vardel::fault::check("com.SysAllocString")) return nullptr;
  // The byte length must fit in the 32-bit prefix.
  if (cch > (0xFFFFFFFFu - sizeof(std::uint32_t) - sizeof(WCHAR)) / sizeof(WCHAR)) return nullptr;
  std::size_t bytes = static_cast<std::size_t>(cch) * sizeof(WCHAR);
  auto* block =
      static_cast<unsigned char*>(std::malloc(sizeof(std::uint32_t) + bytes + sizeof(WCHAR)));
  if (!block) return nullptr;
  auto len = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &len, sizeof len);
  auto* text = reinterpret_cast<BSTR>(block + sizeof(std::uint32_t));
  if (pch)
    std::memcpy(text, pch, bytes);
  else
    std::memset(text, 0, bytes);
  text[cch] = 0;
  return text;
}

BSTR SysAllocString(const WCHAR* psz) {
  if (!psz) return nullptr;
  return SysAllocStringLen(psz, static_cast<UINT>(wcslen(psz)));
}

void SysFreeString(BSTR bstr) {
  if (bstr) std::free(reinterpret_cast<unsigned char*>(bstr) - sizeof(std::uint32_t));
}

UINT SysStringLen(BSTR bstr) {
  if (!bstr) return 0;
  std::uint32_t len;
  std::memcpy(&len, reinterpret_cast<unsigned char*>(bstr) - sizeof len, sizeof len);
  return len / sizeof(WCHAR);
}

void VariantInit(VARIANT* pvarg) {
  if (!pvarg) return;
  std::memset(pvarg, 0, sizeof *pvarg);
  pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  if (HRESULT hr = vardel::fault::check("com.VariantClear")) return hr;
  switch (pvarg->vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_DATE:
    case VT_BOOL:
    case VT_UI4:
      break;
    case VT_BSTR:
      SysFreeString(pvarg->bstrVal);
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (pvarg->punkVal) pvarg->punkVal->Release();
      break;
    default:
      return DISP_E_BADVARTYPE;
  }
  VariantInit(pvarg);
  return S_OK;
}
