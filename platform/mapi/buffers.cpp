// MAPI's buffer allocator. A buffer is a chain of blocks: the head from
// MAPIAllocateBuffer and every block MAPIAllocateMore links to it. One
// MAPIFreeBuffer on the head frees the chain.
#include <cstdlib>
#include <cstring>

#include "platform/mapi/cemapi.h"

namespace {

constexpr std::uint32_t kHeadMagic = 0x4D415049;  // "MAPI"
constexpr std::uint32_t kMoreMagic = 0x4D4F5245;  // "MORE"

struct alignas(16) Block {
  Block* next;
  std::uint32_t magic;
};

Block* block_of(void* p) { return reinterpret_cast<Block*>(static_cast<char*>(p) - sizeof(Block)); }

void* allocate(ULONG cb, std::uint32_t magic) {
  auto* b = static_cast<Block*>(std::malloc(sizeof(Block) + (cb ? cb : 1)));
  if (!b) return nullptr;
  b->next = nullptr;
  b->magic = magic;
  return reinterpret_cast<char*>(b) + sizeof(Block);
}

}  // namespace

SCODE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer) {
  if (!lppBuffer) return MAPI_E_INVALID_PARAMETER;
  *lppBuffer = allocate(cbSize, kHeadMagic);
  return *lppBuffer ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

SCODE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer) {
  if (!lppBuffer || !lpObject) return MAPI_E_INVALID_PARAMETER;
  Block* head = block_of(lpObject);
  if (head->magic != kHeadMagic) return MAPI_E_INVALID_PARAMETER;
  void* p = allocate(cbSize, kMoreMagic);
  if (!p) {
    *lppBuffer = nullptr;
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
  Block* more = block_of(p);
  more->next = head->next;
  head->next = more;
  *lppBuffer = p;
  return S_OK;
}

ULONG MAPIFreeBuffer(LPVOID lpBuffer) {
  if (!lpBuffer) return S_OK;
  Block* b = block_of(lpBuffer);
  if (b->magic != kHeadMagic) return static_cast<ULONG>(MAPI_E_INVALID_PARAMETER);
  b->magic = 0;
  while (b) {
    Block* next = b->next;
    std::free(b);
    b = next;
  }
  return S_OK;
}

void FreeProws(LPSRowSet lpRows) {
  if (!lpRows) return;
  for (ULONG i = 0; i < lpRows->cRows; ++i) MAPIFreeBuffer(lpRows->aRow[i].lpProps);
  MAPIFreeBuffer(lpRows);
}

LPSPropValue PpropFindProp(LPSPropValue lpPropArray, ULONG cValues, ULONG ulPropTag) {
  if (!lpPropArray) return nullptr;
  for (ULONG i = 0; i < cValues; ++i) {
    ULONG tag = lpPropArray[i].ulPropTag;
    if (PROP_TYPE(ulPropTag) == PT_UNSPECIFIED ? PROP_ID(tag) == PROP_ID(ulPropTag)
                                               : tag == ulPropTag)
      return &lpPropArray[i];
  }
  return nullptr;
}
