// Owning holders of the COM values handed to MSXML and Pocket Outlook, the
// release of interfaces held in fields, and the bounded copy used for every
// 260-unit path and name buffer.
//
// CBstr owns a BSTR in a counted block; CVariant is a VARIANT that clears
// itself. Both raise their failures as _com_error (never a thrown long), so
// the document operations, which catch only longs, pass them on.
// Neither holder is copied; a CVariant passes to a call taking a VARIANT by
// value as a plain (borrowed) VARIANT.
#pragma once

#include "platform/com/com.h"
#include "platform/core/windows.h"

class CBstr {
 public:
  CBstr() noexcept : m_Data(NULL) {}
  CBstr(const WCHAR* psz);
  ~CBstr() { Release(); }

  CBstr& operator=(const WCHAR* psz);

  // The held BSTR, or null when no block is held.
  BSTR Value() const noexcept { return m_Data ? m_Data->m_wstr : NULL; }
  operator BSTR() const noexcept { return Value(); }

  void Release() noexcept;

  CBstr(const CBstr&) = delete;
  CBstr& operator=(const CBstr&) = delete;

 private:
  struct Data_t {
    BSTR m_wstr;
    ULONG m_RefCount;
  };
  static Data_t* MakeData(const WCHAR* psz);

  Data_t* m_Data;
};

class CVariant : public VARIANT {
 public:
  CVariant() noexcept { VariantInit(this); }
  explicit CVariant(const WCHAR* psz);
  // A string is given back even when the clear fails.
  ~CVariant() {
    if (FAILED(VariantClear(this)) && vt == VT_BSTR) SysFreeString(bstrVal);
  }

  CVariant& operator=(const WCHAR* psz);

  CVariant(const CVariant&) = delete;
  CVariant& operator=(const CVariant&) = delete;
};

// Releases the interface a field holds, if any, and empties the field: how
// every Close gives back what its object held.
template <class T>
inline void ReleaseField(T*& pField) {
  if (pField) {
    pField->Release();
    pField = NULL;
  }
}

// Copies at most nCount-1 units of pSrc into pDest and always terminates
// within nCount units. Gives back pDest; nCount 0 or a null pDest leaves
// pDest untouched.
WCHAR* CopyBounded(WCHAR* pDest, const WCHAR* pSrc, size_t nCount);
