// The exception guard's answer and the stub's trace line.
#include "platform/com/object.h"

#include <exception>
#include <new>

#include "platform/core/windows.h"
#include "platform/core/wstr.h"

namespace vardel::com {

HRESULT exception_result(const Module& module) noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    if (vardel::core::debug_output()) {
      try {
        std::u16string what = utf16(e.what());
        NKDbgPrintfW(u"%s: a call failed: %s\r\n", module.name, what.c_str());
      } catch (...) {  // no memory left to say so
      }
    }
  } catch (...) {
    NKDbgPrintfW(u"%s: a call failed\r\n", module.name);
  }
  return module.failure;
}

HRESULT not_implemented(const Module& module, const char16_t* what) noexcept {
  NKDbgPrintfW(u"%s: %s is not implemented\r\n", module.name, what);
  return module.not_implemented;
}

}  // namespace vardel::com
