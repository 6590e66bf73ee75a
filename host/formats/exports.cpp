// Contacts and messages written for other programs and phones.
#include "host/formats/exports.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <nlohmann/json.hpp>

#include "host/device/backup_files.h"
#include "host/formats/contacts_json.h"
#include "host/device/device_tools.h"
#include "host/formats/address_book_csv.h"
#include "host/formats/contact_fields.h"
#include "host/history/contact_names.h"
#include "host/device/host_files.h"
#include "host/formats/messages_json.h"
#include "host/tools/message_backup.h"
#include "host/tools/message_writers.h"
#include "host/tools/vcard.h"
#include "platform/core/device.h"
#include "platform/core/windows.h"
#include "platform/core/wstr.h"
#include "platform/mapi/message_db.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

std::string lower(std::string_view s) { return ascii_lower(s); }

}  // namespace

std::optional<ContactsFormat> contacts_format(const std::string& name) {
  if (name == "json") return ContactsFormat::json;
  if (name == "vcard") return ContactsFormat::vcard;
  if (name == "vcard3") return ContactsFormat::vcard3;
  if (name == "csv") return ContactsFormat::csv;
  if (name == "google-csv") return ContactsFormat::google_csv;
  if (name == "outlook-csv") return ContactsFormat::outlook_csv;
  return std::nullopt;
}

std::optional<MessagesFormat> messages_format(const std::string& name) {
  if (name == "android") return MessagesFormat::android;
  if (name == "csv") return MessagesFormat::csv;
  if (name == "json") return MessagesFormat::json;
  if (name == "sms-ie") return MessagesFormat::sms_ie;
  return std::nullopt;
}

std::optional<ContactsFormat> contacts_format_of(const fs::path& file) {
  const std::string ext = lower(file.extension().string());
  if (ext == ".vcf" || ext == ".vcard") return ContactsFormat::vcard;
  if (ext == ".csv") return ContactsFormat::csv;
  if (ext == ".json") return ContactsFormat::json;
  return std::nullopt;
}

std::optional<MessagesFormat> messages_format_of(const fs::path& file) {
  const std::string ext = lower(file.extension().string());
  if (ext == ".xml") return MessagesFormat::android;
  if (ext == ".csv") return MessagesFormat::csv;
  if (ext == ".json") return MessagesFormat::json;
  if (ext == ".zip") return MessagesFormat::sms_ie;
  return std::nullopt;
}

void write_contacts(const fs::path& file, const std::vector<poom::ContactRecord>& contacts,
                    ContactsFormat format, bool hex_tags, const std::vector<std::string>& uids) {
  switch (format) {
    case ContactsFormat::vcard:
    case ContactsFormat::vcard3:
      replace_host_file(
          file, tools::write_vcards(contacts,
                                    format == ContactsFormat::vcard3 ? tools::VcardVersion::v3
                                                                     : tools::VcardVersion::v4,
                                    uids));
      return;
    case ContactsFormat::csv:
      replace_host_file(file, address_book_csv(contacts, CsvLayout::phone));
      return;
    case ContactsFormat::google_csv:
      replace_host_file(file, address_book_csv(contacts, CsvLayout::google));
      return;
    case ContactsFormat::outlook_csv:
      replace_host_file(file, address_book_csv(contacts, CsvLayout::outlook));
      return;
    case ContactsFormat::json:
      replace_host_file(file,
                        contacts_to_json(contacts, hex_tags)
                                .dump(2, ' ', false, nlohmann::json::error_handler_t::replace) +
                            "\n");
      return;
  }
}

namespace {

// Halves of a surrogate pair without their partner: they become U+FFFD on
// the way to UTF-8, so an XML file counts them among its replacements.
size_t lone_surrogates(std::u16string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF)
      ++i;
    else if (c >= 0xD800 && c <= 0xDFFF)
      ++n;
  }
  return n;
}

}  // namespace

int export_messages(const fs::path& file, MessagesFormat format,
                    std::vector<std::string>& warnings) {
  mapi::MessageDb db(device::messages_db());
  if (format == MessagesFormat::json) {
    replace_host_file(
        file,
        messages_to_json(db).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
    int n = 0;
    for (const auto& store : db.stores())
      for (auto kind : {mapi::FolderKind::inbox, mapi::FolderKind::sent, mapi::FolderKind::drafts,
                        mapi::FolderKind::outbox, mapi::FolderKind::deleted})
        n += static_cast<int>(db.messages(db.folder(store.id, kind)).size());
    return n;
  }
  // The SMS store's folders merged by time, as the phone shows them.
  std::vector<tools::OutMessage> all;
  size_t lone = 0;
  const std::int64_t store = db.sms_store();
  for (auto kind : {mapi::FolderKind::inbox, mapi::FolderKind::sent, mapi::FolderKind::drafts,
                    mapi::FolderKind::outbox})
    for (const auto& info : db.messages(db.folder(store, kind))) {
      tools::OutMessage m;
      m.folder = kind;
      const auto& msg = info.message;
      if (kind == mapi::FolderKind::inbox) {
        m.addresses.push_back(utf8(msg.sender.value_or(u"")));
      } else {
        for (const auto& r : msg.recipients)
          if (r && !r->empty()) m.addresses.push_back(utf8(*r));
      }
      m.utc = msg.delivery;
      m.text = utf8(msg.text.value_or(u""));
      lone += lone_surrogates(msg.text.value_or(u""));
      all.push_back(std::move(m));
    }
  std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
    const auto t = [](const tools::OutMessage& m) {
      return m.utc ? mapi::filetime_ticks(*m.utc) : 0;
    };
    return t(a) < t(b);
  });
  const history::ContactNames names(poom::list_contacts(device::contacts_db()));
  HostOutput out(file);
  auto writer = tools::make_message_writer(format, out.get(),
                                           [&](const std::string& n) { return names.name_of(n); });
  for (const auto& m : all) writer->add(m);
  writer->finish();
  out.commit();
  if (format == MessagesFormat::android && writer->replaced() + lone > 0)
    warnings.push_back(tools::replaced_warning(writer->replaced() + lone));
  return writer->written();
}

int convert_messages_backup(const fs::path& in, const fs::path& out_file, MessagesFormat format,
                            const history::ContactNames& names,
                            std::vector<std::string>& warnings) {
  // Read through the device root when it is the device's.
  const device::Fd in_fd = open_input_file(in);
  HostOutput out(out_file);
  auto writer = tools::make_message_writer(format, out.get(),
                                           [&](const std::string& n) { return names.name_of(n); });
  int without_time = 0;
  try {
    tools::read_messages_backup_fd(
        in_fd.get(),
        [&](const tools::BackupMessage& b) {
          tools::OutMessage m;
          m.folder = b.received ? mapi::FolderKind::inbox : mapi::FolderKind::sent;
          m.addresses.push_back(b.address);
          m.text = b.text;
          if (b.has_time) {
            FILETIME local{}, utc{};
            SystemTimeToFileTime(&b.local, &local);
            LocalFileTimeToFileTime(&local, &utc);
            m.utc = utc;
            m.local = b.local;
          } else {
            ++without_time;
          }
          writer->add(m);
        },
        [&](int line, const std::string& why) {
          warnings.push_back("the message at line " + std::to_string(line) + ": " + why);
        });
  } catch (const tools::BackupFileError& e) {
    throw UsageError(in.string() + " is " + e.what() + "; nothing written");
  }
  writer->finish();
  out.commit();
  if (writer->replaced() > 0) warnings.push_back(tools::replaced_warning(writer->replaced()));
  if (without_time > 0 && format == MessagesFormat::android)
    warnings.push_back(std::to_string(without_time) +
                       " messages have no time: written with the date 0 (1970)");
  return writer->written();
}

}  // namespace vardel::host
