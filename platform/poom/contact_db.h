// Host-side access to the device's contacts database, for the device tools
// (create a device, import, export and list contacts) and for tests that need
// to see what the phone holds without going through the object model.
//
// A contact is an ordered list of properties, each a tag (see the PIMPR_*
// tags in pimstore.h) and its text. Dates (PIMPR_BIRTHDAY, PIMPR_ANNIVERSARY)
// travel as ISO 8601 text: "1980-05-17" for a date at midnight, else
// "1980-05-17T06:30:00". Contacts are listed in the item collection's order
// (FileAs without regard to case, then creation); a contact's properties in
// ascending tag order. Empty texts are not stored.
//
// The functions use the process's connection to the database (the one the
// object model shares), so they see contacts an application object has just
// saved or removed. They throw std::runtime_error when the database cannot be
// opened, read or written (a corrupt file is refused and left as it is).
#pragma once

#include <filesystem>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/types.h"
#include "platform/sql/imported_files.h"

namespace vardel::poom {

struct ContactProperty {
  CEPROPID tag = 0;
  std::u16string text;

  bool operator==(const ContactProperty&) const = default;
};

using ContactRecord = std::vector<ContactProperty>;

// The database the phone uses: vardel::device::contacts_db().
std::filesystem::path default_contacts_db();

// Creates an empty contacts database (and its folder) unless one exists.
void create_contacts_db(const std::filesystem::path& db = default_contacts_db());

// Every contact, in the item collection's order.
std::vector<ContactRecord> list_contacts(const std::filesystem::path& db = default_contacts_db());

// Adds a saved contact (creating the database if needed) and returns its
// object identifier. Throws std::invalid_argument for an unknown tag, a tag
// given twice, or a date text that is not ISO 8601.
long add_contact(const ContactRecord& contact,
                 const std::filesystem::path& db = default_contacts_db());
// Adds several, each saved as add_contact saves one, in one transaction:
// every record is checked first, and when one is refused, or the writing
// fails or is cut off (the process killed), none is added.
std::vector<long> add_contacts(const std::vector<ContactRecord>& contacts,
                               const std::filesystem::path& db = default_contacts_db());

// add_contacts, each contact keeping the UID it came with (uids[i] for
// contacts[i]; "" or a missing entry for none, and one another contact
// holds already is not kept).
std::vector<long> add_contacts(const std::vector<ContactRecord>& contacts,
                               const std::vector<std::string>& uids,
                               const std::filesystem::path& db = default_contacts_db());

// add_contacts for an import: the file they came from is noted as imported
// in the same transaction, so that contacts_imported_when finds it exactly
// when the contacts landed.
std::vector<long> import_contacts(const std::vector<ContactRecord>& contacts,
                                  const std::vector<std::string>& uids,
                                  const sql::FileIdentity& file,
                                  const std::filesystem::path& db = default_contacts_db());

class ContactDatabase;

// import_contacts for a file too large to hold: its contacts are added a
// batch at a time, all in one transaction that commit() ends by noting the
// file. Until then nothing is seen by anyone else, and a failure, an
// exception or the process's end before commit() adds none of them.
// While it is open, this thread may not use the database otherwise (the
// connection is taken; another thread waits). Not thread-safe.
class ContactImport {
 public:
  explicit ContactImport(const std::filesystem::path& db = default_contacts_db());
  ~ContactImport();  // rolls back unless committed
  ContactImport(const ContactImport&) = delete;
  ContactImport& operator=(const ContactImport&) = delete;

  // Checks and writes the contacts (uids as add_contacts takes them).
  // Throws as add_contacts does; the import must then be abandoned.
  void add(const std::vector<ContactRecord>& contacts, const std::vector<std::string>& uids);
  size_t added() const { return added_; }
  void commit(const sql::FileIdentity& file);

 private:
  std::shared_ptr<ContactDatabase> db_;
  size_t added_ = 0;
  bool open_ = false;
};

// When that file was imported (FILETIME ticks, UTC), or nothing.
std::optional<std::int64_t> contacts_imported_when(
    const sql::FileIdentity& file, const std::filesystem::path& db = default_contacts_db());

// The contacts' vCard UIDs, in the order of oids ("" for one that does not
// exist): the one each contact came with, else a UUID made the first time
// it is asked for and kept with the contact from then on.
std::vector<std::string> contact_uids(const std::vector<long>& oids,
                                      const std::filesystem::path& db = default_contacts_db());

// Every contact with its object identifier, in the item collection's order.
struct StoredContact {
  long oid = 0;
  ContactRecord record;
};
std::vector<StoredContact> list_stored_contacts(
    const std::filesystem::path& db = default_contacts_db());

// Deletes the contacts whose identifiers are in `remove` (one already gone is
// passed over) and adds `add`, in one transaction: when anything fails (a
// record refused as add_contact refuses it, a write that fails), the
// database is left as it was. Returns the added contacts' identifiers.
std::vector<long> replace_contacts(const std::vector<long>& remove,
                                   const std::vector<ContactRecord>& add,
                                   const std::filesystem::path& db = default_contacts_db());

// Deletes every contact.
void delete_all_contacts(const std::filesystem::path& db = default_contacts_db());

// Readable property names, the object model's own ("FirstName", "FileAs",
// "MobileTelephoneNumber", "Nickname", "IM1Address", "Birthday", ...).
// property_tag matches names without regard to ASCII case.
std::optional<CEPROPID> property_tag(std::string_view name);
std::string_view property_name(CEPROPID tag);  // "" for an unknown tag

// Every tag the store knows, in ascending order.
const std::vector<CEPROPID>& known_property_tags();

}  // namespace vardel::poom
