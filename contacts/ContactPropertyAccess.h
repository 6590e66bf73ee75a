// How the contact store reaches each text property of a contact, one row per
// property tag: through the contact's own getter and setter, or, for the
// properties without one, as a property of the generic item (read with
// GetPropertyText, and queued by SetField to be written after the contact's
// first save). The read and write sides of the store share this one table,
// so a property is always set the way it is read.
//
// Dates, categories and notes have no row: GetField reports failure for
// them, and SetField sets the dates on their own path.
#pragma once

#include "platform/poom/pimstore.h"

typedef HRESULT (IContact::*PFNGETTEXT)(BSTR*);
typedef HRESULT (IContact::*PFNPUTTEXT)(BSTR);

struct ContactPropertyAccess {
  DWORD dwTag;
  PFNGETTEXT pfnGet;  // the contact's getter; null: read as an item property or not at all
  PFNPUTTEXT pfnPut;  // the contact's setter; null: queued for the item
  int bItemRead;      // without a getter: read through GetPropertyText
};

// The row of a tag, or null when the store neither reads nor sets it as text.
const ContactPropertyAccess* FindContactPropertyAccess(DWORD dwTag);
