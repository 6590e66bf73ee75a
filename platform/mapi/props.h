// Property values as the stand-in keeps them, and their hand-over to callers
// as MAPI property arrays (one MAPIAllocateBuffer block each).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/mapi/cemapi.h"

namespace vardel::mapi {

struct Prop {
  ULONG tag;
  std::variant<LONG, FILETIME, std::u16string, std::vector<BYTE>> value;
};
using PropList = std::vector<Prop>;

// Entry identifiers: four zero flag bytes, the object type (MAPI_STORE,
// MAPI_FOLDER, MAPI_MESSAGE) and the row id, little-endian.
struct EntryId {
  ULONG type = 0;
  std::int64_t id = 0;
};
std::vector<BYTE> encode_entry_id(ULONG type, std::int64_t id);
std::optional<EntryId> decode_entry_id(ULONG cb, const ENTRYID* entry);

// The value of the property with tag's id in props, or null when absent.
const Prop* find_prop(const PropList& props, ULONG tag);

// Builds the array for the asked-for tags (all of props when tags is null):
// each present property with its value, each absent one (or one asked for
// with another type) as PT_ERROR holding MAPI_E_NOT_FOUND. The array and its
// texts and bytes share one buffer, freed with MAPIFreeBuffer.
// Gives S_OK, MAPI_W_ERRORS_RETURNED when some property was absent, or
// MAPI_E_NOT_ENOUGH_MEMORY.
HRESULT build_props(const PropList& props, const ULONG* tags, ULONG count, ULONG* out_count,
                    LPSPropValue* out);

// The tags of props as a tag array (one MAPIFreeBuffer block).
HRESULT build_tag_array(const std::vector<ULONG>& tags, LPSPropTagArray* out);

}  // namespace vardel::mapi
