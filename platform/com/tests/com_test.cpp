// Apartments, the class table, BSTR and VARIANT.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/com/com.h"
#include "platform/com/object.h"
#include "platform/core/fault.h"
#include "platform/core/wstr.h"

namespace {

const CLSID kTestClass = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
const CLSID kUnknownClass = {0x87654321, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

constexpr vardel::com::Module kTestModule{u"test", E_FAIL, E_NOTIMPL};

// A minimal object with a counted reference, for the class table and for
// VariantClear's release.
class Counted final : public vardel::com::Object<kTestModule, IUnknown> {
 public:
  static std::atomic<int> live;
  Counted() { ++live; }

 private:
  ~Counted() override { --live; }
};
std::atomic<int> Counted::live{0};

HRESULT create_counted(REFIID riid, void** ppv) {
  return vardel::com::create_instance<Counted>(riid, ppv);
}

}  // namespace

TEST(Apartments, CountPerThreadAndGateCreation) {
  vardel::com::register_class(kTestClass, create_counted);
  void* pv = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &pv),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(pv, nullptr);

  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  EXPECT_EQ(vardel::com::apartment_count(), 2);
  EXPECT_LT(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED),
            0);  // another model on the same thread

  // Another thread has its own count.
  HRESULT other = S_OK;
  std::thread([&] {
    void* p = nullptr;
    other = CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p);
  }).join();
  EXPECT_EQ(other, CO_E_NOTINITIALIZED);

  ASSERT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &pv), S_OK);
  EXPECT_EQ(Counted::live.load(), 1);
  static_cast<IUnknown*>(pv)->Release();
  EXPECT_EQ(Counted::live.load(), 0);

  EXPECT_EQ(CoCreateInstance(kUnknownClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &pv),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, kTestClass, &pv),
            E_NOINTERFACE);
  EXPECT_EQ(pv, nullptr);
  EXPECT_EQ(Counted::live.load(), 0);
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
            E_POINTER);

  {
    vardel::fault::Scope faults;
    vardel::fault::arm("com.CoCreateInstance", E_OUTOFMEMORY);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &pv),
              E_OUTOFMEMORY);
    EXPECT_EQ(pv, nullptr);
  }

  CoUninitialize();
  EXPECT_EQ(vardel::com::apartment_count(), 1);
  CoUninitialize();
  CoUninitialize();  // one too many is harmless
  EXPECT_EQ(vardel::com::apartment_count(), 0);
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &pv),
            CO_E_NOTINITIALIZED);
}

TEST(Bstr, IsLengthPrefixedAndTerminated) {
  BSTR b = SysAllocString(u"通讯录.xml");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 7u);
  std::uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<char*>(b) - 4, 4);
  EXPECT_EQ(prefix, 14u);  // bytes, not characters
  EXPECT_EQ(b[7], 0);
  EXPECT_EQ(std::u16string(b), u"通讯录.xml");
  SysFreeString(b);

  // Embedded zeros count in the length.
  BSTR z = SysAllocStringLen(u"a\0b", 3);
  EXPECT_EQ(SysStringLen(z), 3u);
  EXPECT_EQ(wcslen(z), 1u);
  SysFreeString(z);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);

  vardel::fault::Scope faults;
  vardel::fault::arm("com.SysAllocString", E_OUTOFMEMORY);
  EXPECT_EQ(SysAllocString(u"x"), nullptr);
  BSTR again = SysAllocString(u"x");
  EXPECT_NE(again, nullptr);
  SysFreeString(again);
}

TEST(Variant, ClearFreesWhatItOwns) {
  VARIANT v;
  std::memset(&v, 0xCD, sizeof v);
  VariantInit(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(VariantClear(&v), S_OK);

  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"held");  // freed by the clear (the leak checker watches)
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);

  IUnknown* obj = vardel::com::make<Counted>();
  obj->AddRef();
  v.vt = VT_UNKNOWN;
  v.punkVal = obj;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(Counted::live.load(), 1);  // one reference went with the variant
  obj->Release();
  EXPECT_EQ(Counted::live.load(), 0);

  v.vt = VT_BSTR;
  v.bstrVal = nullptr;  // a null BSTR is an empty text
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
  v.vt = 0x4000 | VT_I4;  // by reference: not a type this runtime holds
  EXPECT_LT(VariantClear(&v), 0);

  vardel::fault::Scope faults;
  vardel::fault::arm("com.VariantClear", E_FAIL);
  v.vt = VT_I4;
  EXPECT_EQ(VariantClear(&v), E_FAIL);
  EXPECT_EQ(v.vt, VT_I4);  // a failed clear leaves the value
}

TEST(Guid, TheRegistryFormReadsAsTheFieldsItNames) {
  constexpr GUID dispatch = vardel::com::guid("{00020400-0000-0000-C000-000000000046}");
  static_assert(dispatch.Data1 == 0x00020400 && dispatch.Data4[0] == 0xC0);
  EXPECT_EQ(dispatch, (GUID{0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}));
  EXPECT_EQ(vardel::com::guid("{af7d0dc7-3d35-424b-aa60-27a38b8b629e}"),
            (GUID{0xAF7D0DC7, 0x3D35, 0x424B, {0xAA, 0x60, 0x27, 0xA3, 0x8B, 0x8B, 0x62, 0x9E}}));
}
