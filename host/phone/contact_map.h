// Phonebook entries and device contacts, both ways, and the duplicate key
// that says whether two contacts are the same.
//
// A phonebook entry becomes a contact with the fields the contacts store has
// a slot for: the name (its one name field, or its parts), numbers by kind
// (a second number of a kind takes the kind's next free slot), e-mail
// addresses, web page, postal addresses, company, job title, note,
// birthday, categories and internet call addresses. The contact's file-as
// name is the entry's name field, else the one the phone's contacts
// application makes from the other fields (poom::default_file_as: the name
// parts, else the company, a number, an e-mail address), so that every
// pulled contact is listed and backed up as it is stored. Fields with no slot are
// named in `unplaced`. The phone's own bookkeeping (its sync identifier and
// change time) is not part of a contact and is dropped without a word.
//
// The other way, a contact becomes an entry that reads back as the same
// contact where the phone has the fields: name parts when they make the
// file-as name, else the file-as name as the entry's name as well; each number of a
// slot as the kind that reads back into that slot.
#pragma once

#include <gammu.h>

#include <map>
#include <string>
#include <vector>

#include "platform/poom/contact_db.h"

namespace vardel::phone {

struct MappedContact {
  poom::ContactRecord record;         // ascending tag order, no empty texts
  std::vector<std::string> unplaced;  // one readable field name per field left out
};
MappedContact contact_from_entry(const GSM_MemoryEntry& entry);

// Fills out's entries (not its memory or location). `refused` names why the
// phone cannot take the contact at all (a field longer than the phone
// holds); otherwise `unplaced` names the contact's fields the phone has no
// place for.
struct EntryResult {
  std::string refused;
  std::vector<std::string> unplaced;
};
EntryResult entry_from_contact(const poom::ContactRecord& contact, GSM_MemoryEntry* out);

// File-as name, business, mobile and home numbers, case folded: two
// contacts with equal keys are duplicates (a missing part equals an empty
// one).
struct DuplicateKey {
  std::u16string file_as, business, mobile, home;
  auto operator<=>(const DuplicateKey&) const = default;
};
DuplicateKey duplicate_key(const poom::ContactRecord& contact);

// The file-as name the contacts store gives a contact with these fields
// (a file-as name among them is passed over).
std::u16string default_file_as(const std::map<CEPROPID, std::u16string>& texts);

}  // namespace vardel::phone
