// What every stand-in COM object is built from: QueryInterface over its
// interface list, an atomic reference count, the loud "not implemented"
// stub, and the guard that keeps C++ exceptions from crossing a COM call.
//
//   inline constexpr com::Module kPoom{u"poom", E_FAIL, E_NOTIMPL};
//
//   class Folder final : public com::Object<kPoom, IFolder, &IID_IDispatch, &IID_IFolder> {
//     HRESULT get_Items(IPOutlookItemCollection** pp) override {
//       return guard([&] { ... });        // may allocate, read the database
//     }
//     HRESULT get_DefaultItemType(int* p) noexcept override { ... }  // cannot throw
//     HRESULT get_Application(IPOutlookApp2**) noexcept override {
//       return stub(u"IFolder::get_Application");
//     }
//   };
//
// The rule for methods: a body that may throw (it allocates, or calls what
// does) runs inside guard(); one that only checks pointers and copies values
// is declared noexcept. Either way no exception leaves a COM call: the guard
// answers E_OUTOFMEMORY for an allocation failure and the module's failure
// HRESULT for anything else (traced through NKDbgPrintfW).
//
// An object starts with one reference, its creator's (make<T>), and deletes
// itself when the last is released. AddRef and Release may be called from
// any thread; the objects' other methods are used as each module says.
#pragma once

#include <atomic>
#include <utility>

#include "platform/com/com.h"

namespace vardel::com {

// What a platform module answers where its own HRESULTs are not named.
struct Module {
  const char16_t* name;     // in trace lines: "poom", "mapi", "msxml"
  HRESULT failure;          // an exception other than running out of memory
  HRESULT not_implemented;  // a call the stand-in does not provide
};

// The HRESULT for the exception being handled (call only inside a catch):
// E_OUTOFMEMORY for std::bad_alloc, else module.failure with a trace line.
HRESULT exception_result(const Module& module) noexcept;

// Runs body (returning an HRESULT) and turns an exception leaving it into
// exception_result.
template <class Body>
HRESULT guard(const Module& module, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return exception_result(module);
  }
}

// Traces "<module>: <what> is not implemented" and answers
// module.not_implemented: a loud stub, never a silent success.
HRESULT not_implemented(const Module& module, const char16_t* what) noexcept;

// A COM object implementing Interface, which answers QueryInterface for
// IID_IUnknown and each of Iids with the Interface pointer. An object that
// answers conditionally overrides QueryInterface and calls this one for the
// rest.
template <const Module& M, class Interface, const IID*... Iids>
class Object : public Interface {
 public:
  static constexpr const Module& module = M;

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || ((riid == *Iids) || ...)) {
      AddRef();
      *ppv = static_cast<Interface*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() final { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG Release() final {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  Object() = default;
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  template <class Body>
  static HRESULT guard(Body&& body) noexcept {
    return com::guard(M, std::forward<Body>(body));
  }
  static HRESULT stub(const char16_t* what) noexcept { return not_implemented(M, what); }

 private:
  std::atomic<ULONG> refs_{1};
};

// A new object holding one reference, its creator's. Throws std::bad_alloc
// like new: call it inside a guard.
template <class T, class... Args>
T* make(Args&&... args) {
  return new T(std::forward<Args>(args)...);
}

// The class factory's idiom: makes a T and gives out the asked-for
// interface, whose reference is then the only one (the object is gone again
// when T does not offer riid).
template <class T, class... Args>
HRESULT create_instance(REFIID riid, void** ppv, Args&&... args) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return guard(T::module, [&] {
    T* object = make<T>(std::forward<Args>(args)...);
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  });
}

}  // namespace vardel::com
