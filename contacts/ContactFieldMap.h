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

// The tags whose properties a backup file can carry back to the phone, in the
// map's order: every row but categories and notes, which the backup never
// writes and the restore never sets. Fills pTags (room for
// CONTACT_FIELD_COUNT) and returns how many.
int GetCarriedContactTags(DWORD* pTags);

// The tag of the other row that shares dwTag's path (WORK2, HOME2, COMPANY),
// or 0. *pbLater (may be null) is 1 when dwTag's row is the later of the two,
// whose text the backup writes into the shared element when it has one.
DWORD GetContactFieldTwin(DWORD dwTag, int* pbLater);

// 1 when a text read from dwTag's element sets dwTag's property. An element
// two rows share stands for one value, so its text sets one of the two,
// never both: COMPANY's text sets the company telephone when it reads as a
// telephone number (IsTelephoneText) and the company name otherwise; WORK2's
// and HOME2's set the fax, the later row, whose text the backup keeps when
// a contact has both. Every other row takes its element's text.
int ContactFieldTakesText(DWORD dwTag, LPCWSTR pszText);

// 1 when the text reads as a telephone number: only digits, spaces and
// + - ( ) . / p w # * (pauses, waits and tones as phones dial them), with
// at least three digits.
int IsTelephoneText(LPCWSTR pszText);

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
