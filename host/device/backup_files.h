// The program's backup files seen from the command line: where they are,
// what they hold, and putting a messages backup back into the phone.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/device_files.h"
#include "platform/poom/contact_db.h"

namespace vardel::host {

// The device's backup folder on the host (the storage card's vardelbackup,
// named by the registry as the window names it). The device must be open.
std::filesystem::path backup_folder();

// A file given on the command line: the path when it names a file, else
// the name in the device's backup folder when one is open and holds it;
// else the path as given (the caller then says it is missing).
std::filesystem::path backup_file(const std::filesystem::path& given);

// Opens a file to read: one inside the device (the backup folder's files)
// through the device root, so that no link on the way leads out of the
// device; one outside it by its host path. Either way the file is opened
// without waiting and must be a regular file: a FIFO or device node is
// refused, never waited on. Throws UsageError naming the file.
device::Fd open_input_file(const std::filesystem::path& file);
// The whole file, opened so.
std::string read_input_file(const std::filesystem::path& file);
// A folder opened to list and read its files, the same way (one inside the
// device through the device root). Throws UsageError naming the folder.
device::Fd open_input_folder(const std::filesystem::path& folder);

// The contacts of a contacts backup, read as the restore reads them: every
// VCARD whose parent is CONTACTS, each element of the field map that holds
// text setting its property (dates read as the restore reads them).
// Throws UsageError when the file is not well-formed, or cannot be opened
// as open_input_file opens it.
std::vector<poom::ContactRecord> read_contacts_backup(const std::filesystem::path& file);
// The same over the file's bytes (file names it in the refusal).
std::vector<poom::ContactRecord> read_contacts_backup_bytes(const std::filesystem::path& file,
                                                            std::string_view bytes);

struct MessagesRestore {
  int added = 0;
  int skipped_duplicates = 0;
  std::vector<std::string> warnings;  // records left out or kept without a time
};

// Adds the messages of a messages backup to the device's SMS store in one
// transaction: received ones to the inbox from their number, sent ones to
// sent items to theirs, the time read as the host's local time, the text as
// written; a message the store has already (same folder, number, time and
// text) is skipped. progress gets 0..100. Throws UsageError (nothing added)
// when the file is not a messages backup, or cannot be opened as
// open_input_file opens it. A dry run counts the same way and
// changes nothing: the messages database is only read, and what the real
// run would add is counted as added.
MessagesRestore restore_messages(const std::filesystem::path& file,
                                 const std::function<void(int percent)>& progress,
                                 bool dry_run = false);

}  // namespace vardel::host
