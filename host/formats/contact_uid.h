// UIDs for contacts that have no store to keep one: the contacts of a
// backup file being converted. Each is a name-based UUID (version 5) over
// what identifies the contact, so that converting the same file again, or
// a later backup of the same phone, gives the same card the same UID.
#pragma once

#include <string>
#include <vector>

#include "platform/poom/contact_db.h"

namespace vardel::fields {

// One UID per contact, from its file-as name and its first telephone
// number or e-mail address (in the field table's order). Contacts alike in
// all of these are told apart by their order among themselves ("#2", "#3").
std::vector<std::string> derived_uids(const std::vector<poom::ContactRecord>& contacts);

}  // namespace vardel::fields
