// COM runtime stand-in (ole32 / oleaut32): IUnknown, apartments, the class
// table behind CoCreateInstance, BSTR, VARIANT and _com_error.
//
// CoInitializeEx/CoUninitialize count per thread. CoCreateInstance fails with
// CO_E_NOTINITIALIZED on a thread whose count is 0, as the phone's does, and
// with REGDB_E_CLASSNOTREG for a class no stand-in registered. Stand-ins
// register their classes with vardel::com::register_class (see
// platform/platform.h, which registers them all).
//
// Fault points: "com.CoCreateInstance", "com.SysAllocString" (also
// SysAllocStringLen), "com.VariantClear".
#pragma once

#include "platform/core/types.h"

// Interface methods use the phone's calling convention; on Linux there is one.
#define STDMETHODCALLTYPE
#define STDMETHOD(name) virtual HRESULT name
#define STDMETHOD_(type, name) virtual type name
#define PURE = 0

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;  // released, never deleted through the interface
};
using LPUNKNOWN = IUnknown*;

extern const IID IID_IUnknown;  // {00000000-0000-0000-C000-000000000046}

// Apartments and class contexts.
#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);

// BSTR: length-prefixed UTF-16. The 32-bit byte length stands just before
// the text; the text is zero-terminated. A null BSTR is an empty text.
using BSTR = WCHAR*;
BSTR SysAllocString(const WCHAR* psz);
BSTR SysAllocStringLen(const WCHAR* pch, UINT cch);
void SysFreeString(BSTR bstr);
UINT SysStringLen(BSTR bstr);

// VARIANT with the types the program and the stand-ins use.
using VARTYPE = USHORT;
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_BOOL = 11,
  VT_UNKNOWN = 13,
  VT_UI4 = 19,
};

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONG lVal;
    SHORT iVal;
    ULONG ulVal;
    DATE date;
    BSTR bstrVal;
    VARIANT_BOOL boolVal;
    IUnknown* punkVal;
    LONGLONG llVal;
  };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;
#define V_VT(v) ((v)->vt)
#define V_BSTR(v) ((v)->bstrVal)

void VariantInit(VARIANT* pvarg);
// Frees what the variant owns (a BSTR, or a reference) and makes it VT_EMPTY.
HRESULT VariantClear(VARIANT* pvarg);

// The COM support error: carries a failing HRESULT, no error-information
// object. Thrown by the program's value holders, never caught by the
// document operations (they catch only thrown HRESULT longs).
class _com_error {
 public:
  explicit _com_error(HRESULT hr) noexcept : m_hr(hr) {}
  HRESULT Error() const noexcept { return m_hr; }

 private:
  HRESULT m_hr;
};

namespace vardel::com {

// Creates an object of a class and returns the asked-for interface with one
// reference, or a negative HRESULT.
using ClassFactory = HRESULT (*)(REFIID riid, void** ppv);

// Adds (or replaces) a class in the table CoCreateInstance looks in.
void register_class(REFCLSID clsid, ClassFactory factory);

// This thread's CoInitializeEx count (for tests).
int apartment_count();

// A GUID written as the registry writes it,
// "{2933BF90-7B36-11D2-B20E-00C04F983E60}"; read at compile time, where a
// malformed text does not compile.
consteval GUID guid(const char (&text)[39]) {
  auto hex = [&](int from, int digits) {
    std::uint32_t value = 0;
    for (int i = from; i < from + digits; ++i) {
      const char c = text[i];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                               : throw "not a hexadecimal digit";
      value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
  };
  if (text[0] != '{' || text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-' ||
      text[37] != '}')
    throw "not a GUID in braces";
  GUID g{hex(1, 8),
         static_cast<std::uint16_t>(hex(10, 4)),
         static_cast<std::uint16_t>(hex(15, 4)),
         {}};
  const int bytes[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<std::uint8_t>(hex(bytes[i], 2));
  return g;
}

}  // namespace vardel::com
