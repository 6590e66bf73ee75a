// The fixed table that ties each contact property to its element path below
// a contact's VCARD element. The backup writes a contact by walking it in
// order; the restore reads one back by walking it in the same order.
#pragma once

#include "platform/core/types.h"

#define CONTACT_FIELD_COUNT 53
#define CONTACT_FIELD_PATH_LEN 82

// Value types in the low 16 bits of a tag.
#define CONTACT_TYPE_TEXT 0x001F  // CEVT_LPWSTR
#define CONTACT_TYPE_DATE 0x0040  // CEVT_FILETIME

struct ContactFieldMapEntry {
  WCHAR szPath[CONTACT_FIELD_PATH_LEN];
  DWORD dwTag;
};

extern const ContactFieldMapEntry ContactFieldMap[CONTACT_FIELD_COUNT];

// How a field travels between the store and its callers: a text, or for the
// two date tags the same bytes read as a FILETIME.
//
// pszText is allocated with new[] for the caller, who frees it with delete[];
// null for an empty or absent field. dwPad completes the record and is 0 for
// an empty field.
struct ContactFieldValue {
  union {
    LPWSTR pszText;
    FILETIME ftDate;
  };
  DWORD dwPad;
};
