// Apartments and the class table behind CoCreateInstance.
#include <mutex>
#include <utility>
#include <vector>

#include "platform/com/com.h"
#include "platform/core/fault.h"

#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106)

const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

thread_local int t_count = 0;
thread_local DWORD t_model = COINIT_MULTITHREADED;

struct ClassTable {
  std::mutex mu;
  std::vector<std::pair<CLSID, vardel::com::ClassFactory>> classes;
};

ClassTable& class_table() {
  static ClassTable* t = new ClassTable;  // never destroyed: job threads may outlive main
  return *t;
}

}  // namespace

HRESULT CoInitializeEx(LPVOID, DWORD dwCoInit) {
  DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
  if (t_count > 0 && model != t_model) return RPC_E_CHANGED_MODE;
  t_model = model;
  return t_count++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  if (t_count > 0) --t_count;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (t_count == 0) return CO_E_NOTINITIALIZED;
  if (HRESULT hr = vardel::fault::check("com.CoCreateInstance")) return hr;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  vardel::com::ClassFactory factory = nullptr;
  {
    ClassTable& t = class_table();
    std::lock_guard lock(t.mu);
    for (const auto& [clsid, f] : t.classes)
      if (clsid == rclsid) factory = f;
  }
  if (!factory) return REGDB_E_CLASSNOTREG;
  HRESULT hr = factory(riid, ppv);
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

namespace vardel::com {

void register_class(REFCLSID clsid, ClassFactory factory) {
  ClassTable& t = class_table();
  std::lock_guard lock(t.mu);
  for (auto& entry : t.classes) {
    if (entry.first == clsid) {
      entry.second = factory;
      return;
    }
  }
  t.classes.emplace_back(clsid, factory);
}

int apartment_count() { return t_count; }

}  // namespace vardel::com
