#include "platform/mapi/props.h"

#include <cstring>

namespace vardel::mapi {

namespace {

constexpr size_t kEntryIdSize = 16;

size_t aligned(size_t n) { return (n + 7) & ~size_t{7}; }

// Bytes a value needs beyond its SPropValue.
size_t extra_size(const Prop& p) {
  if (auto* s = std::get_if<std::u16string>(&p.value))
    return aligned((s->size() + 1) * sizeof(WCHAR));
  if (auto* b = std::get_if<std::vector<BYTE>>(&p.value)) return aligned(b->size());
  return 0;
}

// Fills v from p, taking text and byte space from *heap.
void fill(SPropValue& v, const Prop& p, BYTE** heap) {
  v.ulPropTag = p.tag;
  v.dwAlignPad = 0;
  if (auto* l = std::get_if<LONG>(&p.value)) {
    v.Value.l = *l;
  } else if (auto* ft = std::get_if<FILETIME>(&p.value)) {
    v.Value.ft = *ft;
  } else if (auto* s = std::get_if<std::u16string>(&p.value)) {
    auto* dst = reinterpret_cast<WCHAR*>(*heap);
    std::memcpy(dst, s->data(), s->size() * sizeof(WCHAR));
    dst[s->size()] = 0;
    v.Value.lpszW = dst;
    *heap += aligned((s->size() + 1) * sizeof(WCHAR));
  } else if (auto* b = std::get_if<std::vector<BYTE>>(&p.value)) {
    v.Value.bin.cb = static_cast<ULONG>(b->size());
    v.Value.bin.lpb = *heap;
    if (!b->empty()) std::memcpy(*heap, b->data(), b->size());
    *heap += aligned(b->size());
  }
}

// The property a tag asks for: same id, and the same type unless the tag
// leaves the type unspecified.
const Prop* match(const PropList& props, ULONG tag) {
  const Prop* p = find_prop(props, tag);
  if (!p) return nullptr;
  if (PROP_TYPE(tag) != PT_UNSPECIFIED && PROP_TYPE(tag) != PROP_TYPE(p->tag)) return nullptr;
  return p;
}

}  // namespace

std::vector<BYTE> encode_entry_id(ULONG type, std::int64_t id) {
  std::vector<BYTE> out(kEntryIdSize, 0);
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<BYTE>(type >> (8 * i));
  auto u = static_cast<std::uint64_t>(id);
  for (int i = 0; i < 8; ++i) out[8 + i] = static_cast<BYTE>(u >> (8 * i));
  return out;
}

std::optional<EntryId> decode_entry_id(ULONG cb, const ENTRYID* entry) {
  if (!entry || cb != kEntryIdSize) return std::nullopt;
  auto* b = reinterpret_cast<const BYTE*>(entry);
  if (b[0] || b[1] || b[2] || b[3]) return std::nullopt;
  EntryId e;
  for (int i = 0; i < 4; ++i) e.type |= static_cast<ULONG>(b[4 + i]) << (8 * i);
  std::uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u |= static_cast<std::uint64_t>(b[8 + i]) << (8 * i);
  e.id = static_cast<std::int64_t>(u);
  return e;
}

const Prop* find_prop(const PropList& props, ULONG tag) {
  for (const Prop& p : props)
    if (PROP_ID(p.tag) == PROP_ID(tag)) return &p;
  return nullptr;
}

HRESULT build_props(const PropList& props, const ULONG* tags, ULONG count, ULONG* out_count,
                    LPSPropValue* out) {
  *out = nullptr;
  *out_count = 0;
  if (!tags) count = static_cast<ULONG>(props.size());
  size_t bytes = aligned(sizeof(SPropValue) * (count ? count : 1));
  for (ULONG i = 0; i < count; ++i) {
    const Prop* p = tags ? match(props, tags[i]) : &props[i];
    if (p) bytes += extra_size(*p);
  }
  void* buf = nullptr;
  if (MAPIAllocateBuffer(static_cast<ULONG>(bytes), &buf) != S_OK) return MAPI_E_NOT_ENOUGH_MEMORY;
  auto* values = static_cast<SPropValue*>(buf);
  BYTE* heap = static_cast<BYTE*>(buf) + aligned(sizeof(SPropValue) * (count ? count : 1));
  HRESULT hr = S_OK;
  for (ULONG i = 0; i < count; ++i) {
    const Prop* p = tags ? match(props, tags[i]) : &props[i];
    if (p) {
      fill(values[i], *p, &heap);
    } else {
      values[i].ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tags[i]));
      values[i].dwAlignPad = 0;
      values[i].Value.err = MAPI_E_NOT_FOUND;
      hr = MAPI_W_ERRORS_RETURNED;
    }
  }
  *out = values;
  *out_count = count;
  return hr;
}

HRESULT build_tag_array(const std::vector<ULONG>& tags, LPSPropTagArray* out) {
  void* buf = nullptr;
  size_t n = tags.empty() ? 1 : tags.size();
  if (MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(n)), &buf) != S_OK)
    return MAPI_E_NOT_ENOUGH_MEMORY;
  auto* array = static_cast<SPropTagArray*>(buf);
  array->cValues = static_cast<ULONG>(tags.size());
  for (size_t i = 0; i < tags.size(); ++i) array->aulPropTag[i] = tags[i];
  *out = array;
  return S_OK;
}

}  // namespace vardel::mapi
