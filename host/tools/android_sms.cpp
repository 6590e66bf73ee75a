#include "host/tools/android_sms.h"

#include <pugixml.hpp>

#include <cstdlib>
#include <set>
#include <stdexcept>
#include <tuple>

#include "platform/core/calendar.h"
#include "platform/core/wstr.h"
#include "platform/mapi/message_db.h"

namespace vardel::tools {

namespace {

using Key = std::tuple<mapi::FolderKind, std::u16string, std::uint64_t, std::u16string>;

std::u16string address_of(const mapi::Message& m, mapi::FolderKind kind) {
  if (kind == mapi::FolderKind::inbox) return m.sender.value_or(u"");
  return m.recipients.empty() ? u"" : m.recipients.front().value_or(u"");
}

Key key_of(mapi::FolderKind kind, const mapi::Message& m) {
  return {kind, address_of(m, kind), m.delivery ? mapi::filetime_ticks(*m.delivery) : 0,
          m.text.value_or(u"")};
}

}  // namespace

bool is_android_sms_backup(std::string_view bytes) {
  pugi::xml_document doc;
  if (!doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default & ~pugi::parse_doctype))
    return false;
  return std::string(doc.document_element().name()) == "smses";
}

SmsImport import_android_sms(std::string_view file_bytes,
                             const std::filesystem::path& messages_db) {
  pugi::xml_document doc;
  auto parsed = doc.load_buffer(file_bytes.data(), file_bytes.size(),
                                pugi::parse_default & ~pugi::parse_doctype);
  if (!parsed)
    throw std::runtime_error(std::string("not a well-formed XML file: ") + parsed.description());
  auto root = doc.document_element();
  if (std::string(root.name()) != "smses")
    throw std::runtime_error("not an SMS backup (no <smses> root)");

  SmsImport result;
  mapi::MessageDb db(messages_db);
  // One transaction: a failure part-way leaves the database as it was,
  // since closing the connection discards an open transaction.
  db.begin();
  {
    std::int64_t store = db.sms_store();
    std::set<Key> present;
    for (auto kind : {mapi::FolderKind::inbox, mapi::FolderKind::sent, mapi::FolderKind::drafts,
                      mapi::FolderKind::outbox})
      for (auto& info : db.messages(db.folder(store, kind)))
        present.insert(key_of(kind, info.message));

    int index = 0;
    for (auto sms : root.children("sms")) {
      ++index;
      int type = sms.attribute("type").as_int(-1);
      mapi::FolderKind kind;
      switch (type) {
        case 1:
          kind = mapi::FolderKind::inbox;
          break;
        case 2:
          kind = mapi::FolderKind::sent;
          break;
        case 3:
          kind = mapi::FolderKind::drafts;
          break;
        case 4:
          kind = mapi::FolderKind::outbox;
          break;
        default:
          result.warnings.push_back("message " + std::to_string(index) + ": type " +
                                    sms.attribute("type").as_string() + " left out");
          continue;
      }
      mapi::Message m;
      std::u16string address = utf16(sms.attribute("address").as_string());
      if (!address.empty()) {
        if (kind == mapi::FolderKind::inbox)
          m.sender = address;
        else
          m.recipients.push_back(address);
      }
      if (auto body = sms.attribute("body")) m.text = utf16(body.as_string());
      const char* date = sms.attribute("date").as_string();
      char* end = nullptr;
      long long ms = std::strtoll(date, &end, 10);
      if (*date && end && *end == '\0' && ms >= 0) {
        m.delivery = mapi::filetime_from_ticks(calendar::kUnixEpochTicks +
                                               static_cast<std::uint64_t>(ms) * 10000ULL);
      } else if (*date) {
        result.warnings.push_back("message " + std::to_string(index) + ": date \"" + date +
                                  "\" not understood");
      }
      if (!present.insert(key_of(kind, m)).second) {
        ++result.skipped_duplicates;
        continue;
      }
      db.add_message(db.folder(store, kind), m);
      ++result.added;
    }
    db.commit();
  }
  return result;
}

}  // namespace vardel::tools
