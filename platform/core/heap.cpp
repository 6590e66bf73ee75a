// The local heap. Each block carries its size in a header before the bytes
// handed out, so LocalReAlloc can zero what it adds and LocalSize can answer.
#include <cstdlib>
#include <cstring>

#include "platform/core/fault.h"
#include "platform/core/last_error.h"

namespace {

struct alignas(16) Header {
  SIZE_T size;
};

Header* header_of(HLOCAL h) { return static_cast<Header*>(h) - 1; }

}  // namespace

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  if (HRESULT hr = vardel::fault::check("core.LocalAlloc")) {
    vardel::core::fail_with(hr);
    return nullptr;
  }
  if (uBytes > SIZE_MAX - sizeof(Header)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* p = (uFlags & LMEM_ZEROINIT) ? std::calloc(1, sizeof(Header) + uBytes)
                                     : std::malloc(sizeof(Header) + uBytes);
  if (!p) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* h = static_cast<Header*>(p);
  h->size = uBytes;
  return h + 1;
}

HLOCAL LocalReAlloc(HLOCAL hMem, SIZE_T uBytes, UINT uFlags) {
  if (!hMem) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (HRESULT hr = vardel::fault::check("core.LocalReAlloc")) {
    vardel::core::fail_with(hr);
    return nullptr;
  }
  Header* h = header_of(hMem);
  SIZE_T old = h->size;
  if (uBytes <= old) {  // shrinking never moves
    h->size = uBytes;
    return hMem;
  }
  if (!(uFlags & LMEM_MOVEABLE) || uBytes > SIZE_MAX - sizeof(Header)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* n = static_cast<Header*>(std::realloc(h, sizeof(Header) + uBytes));
  if (!n) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (uFlags & LMEM_ZEROINIT) std::memset(reinterpret_cast<char*>(n + 1) + old, 0, uBytes - old);
  n->size = uBytes;
  return n + 1;
}

HLOCAL LocalFree(HLOCAL hMem) {
  if (hMem) std::free(header_of(hMem));
  return nullptr;
}

SIZE_T LocalSize(HLOCAL hMem) { return hMem ? header_of(hMem)->size : 0; }
