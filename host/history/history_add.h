// Adding files to the history: this program's backups (contacts and
// messages, current or dated), Android SMS backups and vCard files, each
// told by its content. Each file is one transaction: a file that cannot be
// read, or a kill halfway, leaves the history as it was before that file.
#pragma once

#include <filesystem>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/history/history_store.h"
#include "platform/poom/contact_db.h"

namespace vardel::history {

enum class FileKind { messages_backup, contacts_backup, android_sms, vcard, unknown };

// A file that claims to be one of the kinds but cannot be read.
class AddError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct AddResult {
  FileKind kind = FileKind::unknown;
  int messages_added = 0, messages_held = 0;
  int contacts_added = 0, contacts_held = 0;
};

// The program's contacts backup reader lives with the command line (it reads
// through the restore's field map); the caller passes it in.
// It is given the file's name (for its refusals) and its bytes.
using ContactsReader = std::function<std::vector<poom::ContactRecord>(
    const std::filesystem::path& file, std::string_view bytes)>;

FileKind file_kind(const std::filesystem::path& file);

// Told the records of the file done so far, every few thousand records.
using AddProgress = std::function<void(int records)>;

// Adds one file; kind unknown (nothing added) for a file of none of the
// kinds. Throws AddError for one that cannot be read, HistoryError when the
// history cannot be written.
AddResult add_file(HistoryStore& store, const std::filesystem::path& file,
                   const ContactsReader& read_contacts, const AddProgress& progress = {});
// The same for a file the caller has read (file only names it): for the
// device's files, which are read through the device root.
AddResult add_bytes(HistoryStore& store, const std::filesystem::path& file, std::string_view bytes,
                    const ContactsReader& read_contacts, const AddProgress& progress = {});

// Reads a file's bytes, throwing what it likes when it cannot.
using FileReader = std::function<std::string(const std::filesystem::path& file)>;

// After a backup: adds the files it saved to the history file, creating
// it when missing, so a history starts with the first backup. Each file is
// read by read_file (the device's files through the device root). Never
// throws: a history that cannot be written, or a file that cannot be read,
// is said on warn and the backup stands.
void add_saved_backups(const std::filesystem::path& history,
                       const std::vector<std::filesystem::path>& files,
                       const ContactsReader& read_contacts, std::ostream& warn,
                       const FileReader& read_file);

}  // namespace vardel::history
