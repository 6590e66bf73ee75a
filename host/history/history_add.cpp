#include "host/history/history_add.h"

#include <fstream>

#include "host/tools/android_sms.h"
#include "host/tools/file_kind.h"
#include "host/tools/message_backup.h"
#include "host/tools/message_key.h"
#include "host/tools/message_writers.h"
#include "host/tools/vcard.h"
#include "platform/core/wstr.h"

namespace fs = std::filesystem;

namespace vardel::history {

namespace {

std::string read_bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw AddError(file.string() + ": cannot be read");
  // In one read of the size the file has: a backup may be hundreds of MiB.
  std::error_code ec;
  std::string bytes(fs::file_size(file, ec), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (ec || in.bad()) throw AddError(file.string() + ": cannot be read");
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

FileKind kind_of(std::string_view bytes) {
  switch (tools::what_file(bytes.substr(0, tools::kHeadSize))) {
    case tools::FileKind::android_sms:
      return FileKind::android_sms;
    case tools::FileKind::vcard:
      return FileKind::vcard;
    case tools::FileKind::messages_backup:
      return FileKind::messages_backup;
    case tools::FileKind::contacts_backup:
      return FileKind::contacts_backup;
    default:
      return FileKind::unknown;
  }
}

void count(AddResult& r, bool added, bool message, const AddProgress& progress) {
  if (message)
    ++(added ? r.messages_added : r.messages_held);
  else
    ++(added ? r.contacts_added : r.contacts_held);
  const int done = r.messages_added + r.messages_held + r.contacts_added + r.contacts_held;
  if (progress && done % 4096 == 0) progress(done);
}

}  // namespace

FileKind file_kind(const fs::path& file) { return kind_of(tools::file_head(file)); }

AddResult add_file(HistoryStore& store, const fs::path& file, const ContactsReader& read_contacts,
                   const AddProgress& progress) {
  return add_bytes(store, file, read_bytes(file), read_contacts, progress);
}

AddResult add_bytes(HistoryStore& store, const fs::path& file, std::string_view bytes,
                    const ContactsReader& read_contacts, const AddProgress& progress) {
  AddResult r;
  r.kind = kind_of(bytes);
  if (r.kind == FileKind::unknown) return r;
  const std::string name = file.filename().string();
  // A record of a messages backup or an Android backup takes 200 bytes
  // or more.
  const bool messages = r.kind == FileKind::messages_backup || r.kind == FileKind::android_sms;
  store.begin(messages ? bytes.size() / 200 : 0);
  try {
    switch (r.kind) {
      case FileKind::messages_backup:
        tools::read_messages_backup_bytes(
            bytes,
            [&](const tools::BackupMessage& m) {
              HistoryMessage h;
              h.received = m.received;
              h.number = m.address;
              if (m.has_time) h.time = tools::local_time_text(m.local);
              h.text = m.text;
              count(r, store.add_message(h, name), true, progress);
            },
            [](int, const std::string&) {});
        break;
      case FileKind::android_sms:
        for (const tools::AndroidMessage& a : tools::read_android_sms(bytes).messages) {
          HistoryMessage h;
          h.received = a.folder == mapi::FolderKind::inbox;
          h.number = utf8(tools::message_address(a.message, a.folder));
          if (a.message.delivery) h.time = tools::local_time_text(*a.message.delivery);
          h.text = utf8(a.message.text.value_or(u""));
          count(r, store.add_message(h, name), true, progress);
        }
        break;
      case FileKind::contacts_backup:
        for (const poom::ContactRecord& c : read_contacts(file, bytes))
          count(r, store.add_contact(c, name), false, progress);
        break;
      case FileKind::vcard:
        for (const poom::ContactRecord& c : tools::read_vcards(bytes).contacts)
          count(r, store.add_contact(c, name), false, progress);
        break;
      case FileKind::unknown:
        break;
    }
    store.commit();
  } catch (const HistoryError&) {
    store.rollback();
    throw;
  } catch (const std::exception& e) {
    store.rollback();
    throw AddError(file.string() + ": " + e.what());
  }
  return r;
}

void add_saved_backups(const fs::path& history, const std::vector<fs::path>& files,
                       const ContactsReader& read_contacts, std::ostream& warn,
                       const FileReader& read_file) {
  if (files.empty()) return;
  try {
    HistoryStore store(history);
    for (const fs::path& f : files) add_bytes(store, f, read_file(f), read_contacts);
  } catch (const std::exception& e) {
    warn << "vardel: warning: the backup was not added to the history: " << e.what() << "\n";
  }
}

}  // namespace vardel::history
