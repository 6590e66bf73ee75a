// Contacts and messages files in and out for the command line.
#include "host/formats/data_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>

#include <nlohmann/json.hpp>

#include "host/formats/contacts_json.h"
#include "host/device/device_tools.h"
#include "host/formats/address_book_csv.h"
#include "host/device/free_space.h"
#include "host/device/host_files.h"
#include "host/formats/messages_json.h"
#include "host/tools/android_sms.h"
#include "host/tools/sms_ie.h"
#include "host/tools/vcard.h"
#include "platform/core/calendar.h"
#include "platform/core/device.h"
#include "platform/core/device_files.h"
#include "platform/core/sha256.h"
#include "platform/core/windows.h"
#include "platform/mapi/message_db.h"
#include "platform/poom/contact_db.h"
#include "platform/core/wstr.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

nlohmann::json parse_json(const fs::path& file, const std::string& bytes) {
  return parse_json_text(bytes, file.string());
}

std::string lower(std::string_view s) { return ascii_lower(s); }

// The first text of the file after a byte order mark and white space.
std::string_view opening(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  while (!bytes.empty() && std::isspace(static_cast<unsigned char>(bytes.front())))
    bytes.remove_prefix(1);
  return bytes.substr(0, 11);
}

// What an import notes in the store, and looks for before it adds anything.
sql::FileIdentity identity_of(std::string_view bytes) {
  core::Sha256 hash;
  hash.update(bytes);
  return {hash.hex(), static_cast<std::int64_t>(bytes.size())};
}

// The same for a file that is read in pieces, never whole: open, and
// hashed from its start.
sql::FileIdentity identity_of_fd(const fs::path& file, int fd) {
  struct stat st;
  std::string hex;
  if (fd < 0 || ::fstat(fd, &st) != 0 || !core::sha256_of_fd(fd, &hex))
    throw UsageError(file.string() + ": cannot be read (" + std::strerror(errno) + ")");
  return {hex, static_cast<std::int64_t>(st.st_size)};
}

sql::FileIdentity identity_of_file(const fs::path& file) {
  device::Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  return identity_of_fd(file, fd.get());
}

// Says so when the store has taken this file in already: a retry after a run
// that was killed (even after its commit, before it could say so) then adds
// nothing twice.
bool imported_already(const fs::path& file, std::optional<std::int64_t> when, std::ostream& out) {
  if (!when) return false;
  FILETIME utc = calendar::filetime_from_ticks(static_cast<std::uint64_t>(*when)), local{};
  SYSTEMTIME st{};
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &st);
  char date[32];
  std::snprintf(date, sizeof date, "%04u-%02u-%02u %02u:%02u", st.wYear, st.wMonth, st.wDay,
                st.wHour, st.wMinute);
  out << file.string() << " was imported already (on " << date << "); nothing added\n";
  return true;
}

bool is_vcard_file(const fs::path& file, std::string_view bytes) {
  const std::string ext = lower(file.extension().string());
  return ext == ".vcf" || ext == ".vcard" || lower(std::string(opening(bytes))) == "begin:vcard";
}

// A vCard file is read as it is imported, never whole (tools/vcard.h).
int import_vcard_file(const fs::path& file, std::ostream& out, std::ostream& err, bool again) {
  device::Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (fd && (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))) {
    fd.reset();
    errno = EACCES;
  }
  const sql::FileIdentity identity = identity_of_fd(file, fd.get());
  if (!again &&
      imported_already(file, poom::contacts_imported_when(identity, device::contacts_db()), out))
    return 0;
  tools::VcardFileImport cards;
  try {
    cards = tools::import_vcard_fd(fd.get(), device::contacts_db(), identity, [&](std::string&& w) {
      err << "vardel: " << file.string() << ": " << w << "\n";
    });
  } catch (const tools::VcardFileError& e) {
    throw UsageError(file.string() + ": " + e.what() + "; nothing imported");
  }
  if (cards.added == 0)
    throw UsageError(file.string() + " holds no readable vCard (no BEGIN:VCARD ... END:VCARD)");
  out << "imported " << cards.added << " contacts\n";
  return static_cast<int>(cards.added);
}

}  // namespace

int import_contacts_file(const fs::path& file, std::ostream& out, std::ostream& err, bool again) {
  using tools::FileKind;
  // A file named as a vCard goes to the vCard reader, which says what is
  // wrong with it (no BEGIN:VCARD, a card cut short).
  if (const std::string ext = lower(file.extension().string()); ext == ".vcf" || ext == ".vcard")
    check_input_file(
        file, file.string(),
        {FileKind::vcard, FileKind::contacts_json, FileKind::contacts_csv, FileKind::unknown});
  else
    check_input_file(file, file.string(),
                     {FileKind::vcard, FileKind::contacts_json, FileKind::contacts_csv});
  require_room_for(file, device::contacts_db());
  if (is_vcard_file(file, read_host_file_head(file, 4096)))
    return import_vcard_file(file, out, err, again);
  const std::string bytes = read_host_file(file);
  const sql::FileIdentity identity = identity_of(bytes);
  if (!again &&
      imported_already(file, poom::contacts_imported_when(identity, device::contacts_db()), out))
    return 0;
  std::vector<poom::ContactRecord> records;
  if (address_book_csv_layout(bytes)) {
    CsvContacts sheet = read_address_book_csv(bytes);
    for (const auto& w : sheet.warnings) err << "vardel: " << file.string() << ": " << w << "\n";
    records = std::move(sheet.contacts);
  } else {
    const std::string_view start = opening(bytes);
    if (!start.starts_with("[") && !start.starts_with("{"))
      throw UsageError(file.string() +
                       " is neither a vCard file (no BEGIN:VCARD) nor a JSON list of contacts");
    records = contacts_from_json(parse_json(file, bytes));
  }
  poom::import_contacts(records, {}, identity, device::contacts_db());
  out << "imported " << records.size() << " contacts\n";
  return static_cast<int>(records.size());
}

int import_messages_file(const fs::path& file, std::ostream& out, std::ostream& err, bool again) {
  using tools::FileKind;
  // Other XML goes to the SMS backup reader, which names the line it breaks
  // at or the root it found instead of <smses>.
  check_input_file(file, file.string(),
                   {FileKind::messages_json, FileKind::android_sms, FileKind::zip, FileKind::xml});
  require_room_for(file, device::messages_db());
  const sql::FileIdentity identity = identity_of_file(file);
  if (!again &&
      imported_already(file, mapi::MessageDb(device::messages_db()).imported_when(identity), out))
    return 0;
  // Told by its first bytes, so that an Android file is read in pieces,
  // never whole. The app writes UTF-8, but a file saved again by an editor
  // may be UTF-16.
  std::string head = read_host_file_head(file, 4096);
  const bool zip = tools::is_zip(head);
  if (auto utf8 = tools::utf8_of_utf16(head)) head = std::move(*utf8);
  if (opening(head).starts_with("<") || zip) {
    tools::SmsImport sms;
    try {
      sms = zip ? tools::import_sms_ie(read_host_file(file), device::messages_db(), &identity)
                : tools::import_android_sms_file(file, device::messages_db(), &identity);
    } catch (const tools::SmsFileError& e) {
      throw UsageError(file.string() + " is " + e.what());
    } catch (const tools::SmsIeError& e) {
      throw UsageError(file.string() + " is " + e.what() + "; nothing imported");
    }
    for (const auto& w : sms.warnings) err << "vardel: " << file.string() << ": " << w << "\n";
    out << "imported " << sms.added << " messages (" << sms.sms_added << " SMS, " << sms.mms_added
        << " MMS)";
    if (sms.skipped_duplicates > 0)
      out << "; " << sms.skipped_duplicates << " already on the phone";
    if (sms.messages_left_out > 0 || sms.attachments_left_out > 0)
      out << "; left out: " << sms.messages_left_out << " messages, " << sms.attachments_left_out
          << " MMS attachments";
    out << "\n";
    return sms.added;
  }
  std::string bytes = read_host_file(file);
  if (auto utf8 = tools::utf8_of_utf16(bytes)) bytes = std::move(*utf8);
  mapi::MessageDb db(device::messages_db());
  const int n = import_messages(db, parse_json(file, bytes), &identity);
  out << "imported " << n << " messages\n";
  return n;
}

}  // namespace vardel::host
