// Contacts and messages files in and out for the command line: JSON (the
// device tools' own form), vCard, and the Android SMS backup app's XML.
// Each function reports what it did on out and what it skipped on err.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>

namespace vardel::host {

// Both imports note the file (its SHA-256 and size) in the store, in the
// transaction that adds its records: a file the store has taken in already
// adds nothing and is reported as such on out, unless `again` is set.

// Adds the contacts of a vCard file (named .vcf/.vcard, or starting with
// BEGIN:VCARD) or a JSON file to the current device. Unreadable cards are
// skipped with a warning on err. Throws UsageError when the file cannot be
// read or holds nothing to import (the device is then unchanged). Returns
// the number of contacts added.
int import_contacts_file(const std::filesystem::path& file, std::ostream& out, std::ostream& err,
                         bool again = false);

// Appends the messages of a JSON file or an Android SMS backup (<smses>) to
// the current device's stores. Returns the number of messages added.
int import_messages_file(const std::filesystem::path& file, std::ostream& out, std::ostream& err,
                         bool again = false);

}  // namespace vardel::host
