// Message stores <-> JSON.
#include "host/formats/messages_json.h"

#include <cstdio>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "host/device/device_tools.h"
#include "platform/core/calendar.h"
#include "platform/core/windows.h"

namespace vardel::host {

namespace {

struct FolderKey {
  const char* key;
  mapi::FolderKind kind;
};

const FolderKey kFolders[] = {
    {"inbox", mapi::FolderKind::inbox},     {"sent", mapi::FolderKind::sent},
    {"drafts", mapi::FolderKind::drafts},   {"outbox", mapi::FolderKind::outbox},
    {"deleted", mapi::FolderKind::deleted},
};

nlohmann::json message_to_json(const mapi::Message& m) {
  nlohmann::json obj = nlohmann::json::object();
  if (m.sender) obj["from"] = utf8(*m.sender);
  if (!m.recipients.empty()) {
    nlohmann::json to = nlohmann::json::array();
    for (const auto& r : m.recipients)
      to.push_back(r ? nlohmann::json(utf8(*r)) : nlohmann::json());
    obj["to"] = std::move(to);
  }
  if (m.delivery) obj["time"] = iso_time(*m.delivery);
  if (m.text) obj["text"] = utf8(*m.text);
  return obj;
}

// The phone's texts end at a NUL: a text holding one would be cut when it
// is backed up, so it is refused here.
std::u16string checked_text(const std::string& text, const std::string& what) {
  std::u16string wide = utf16(text);
  if (wide.find(u'\0') != std::u16string::npos) throw UsageError(what + " holds a NUL character");
  return wide;
}

std::optional<std::u16string> optional_text(const nlohmann::json& obj, const char* key,
                                            const std::string& where) {
  auto it = obj.find(key);
  if (it == obj.end() || it->is_null()) return std::nullopt;
  if (!it->is_string()) throw UsageError(where + ": \"" + key + "\" is not a text");
  return checked_text(it->get<std::string>(), where + ": \"" + key + "\"");
}

mapi::Message message_from_json(const nlohmann::json& obj, const std::string& where) {
  if (!obj.is_object()) throw UsageError(where + " is not an object");
  for (const auto& [key, value] : obj.items())
    if (key != "from" && key != "to" && key != "time" && key != "text")
      throw UsageError(where + ": unknown field \"" + key + "\"");
  mapi::Message m;
  m.text = optional_text(obj, "text", where);
  m.sender = optional_text(obj, "from", where);
  if (auto it = obj.find("to"); it != obj.end() && !it->is_null()) {
    const nlohmann::json& to = *it;
    if (to.is_string()) {
      m.recipients.push_back(checked_text(to.get<std::string>(), where + ": \"to\""));
    } else if (to.is_array()) {
      for (const auto& r : to) {
        if (r.is_null())
          m.recipients.emplace_back();
        else if (r.is_string())
          m.recipients.push_back(checked_text(r.get<std::string>(), where + ": \"to\""));
        else
          throw UsageError(where + ": a recipient in \"to\" is not a text");
      }
    } else {
      throw UsageError(where + ": \"to\" is not a list of texts");
    }
  }
  if (auto t = optional_text(obj, "time", where)) {
    try {
      m.delivery = parse_iso_time(utf8(*t));
    } catch (const UsageError& e) {
      throw UsageError(where + ": " + e.what());
    }
  }
  return m;
}

}  // namespace

std::string iso_time(const FILETIME& ft) {
  SYSTEMTIME st{};
  FileTimeToSystemTime(&ft, &st);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02uZ", st.wYear, st.wMonth, st.wDay,
                st.wHour, st.wMinute, st.wSecond);
  return buf;
}

FILETIME parse_iso_time(const std::string& text) {
  static const std::regex pattern(
      R"((\d{4})-(\d{2})-(\d{2})[T ](\d{2}):(\d{2})(?::(\d{2})(?:\.\d+)?)?(Z|([+-])(\d{2}):?(\d{2}))?)");
  std::smatch m;
  if (!std::regex_match(text, m, pattern))
    throw UsageError("\"" + text + "\" is not an ISO 8601 time (2009-04-23T02:00:00Z)");
  const int year = std::stoi(m[1]), month = std::stoi(m[2]), day = std::stoi(m[3]);
  const int hour = std::stoi(m[4]), minute = std::stoi(m[5]);
  const int second = m[6].matched ? std::stoi(m[6]) : 0;
  if (year < 1601 || !calendar::is_valid_date(year, month, day) ||
      !calendar::is_valid_time_of_day(hour, minute, second))
    throw UsageError("\"" + text + "\" is not a valid time");
  std::uint64_t ticks =
      mapi::filetime_ticks(mapi::utc_filetime(year, month, day, hour, minute, second));
  if (m[8].matched) {
    const int offset_hours = std::stoi(m[9]), offset_minutes = std::stoi(m[10]);
    if (offset_hours > 23 || offset_minutes > 59)
      throw UsageError("\"" + text + "\" has no valid zone offset (from -23:59 to +23:59)");
    const std::int64_t offset =
        (offset_hours * 60ll + offset_minutes) * 60 * 10000000ll * (m[8] == "+" ? 1 : -1);
    // A time east of Greenwich on the first day the phone can hold is
    // before it.
    if (offset > 0 && static_cast<std::uint64_t>(offset) > ticks)
      throw UsageError("\"" + text + "\" is before 1601, the earliest time a phone holds");
    ticks = static_cast<std::uint64_t>(static_cast<std::int64_t>(ticks) - offset);
  }
  return mapi::filetime_from_ticks(ticks);
}

nlohmann::json messages_to_json(mapi::MessageDb& db) {
  nlohmann::json stores = nlohmann::json::array();
  for (const auto& store : db.stores()) {
    nlohmann::json obj = nlohmann::json::object();
    obj["name"] = utf8(store.name);
    for (const auto& f : kFolders) {
      const auto messages = db.messages(db.folder(store.id, f.kind));
      if (messages.empty()) continue;
      nlohmann::json list = nlohmann::json::array();
      for (const auto& info : messages) list.push_back(message_to_json(info.message));
      obj[f.key] = std::move(list);
    }
    stores.push_back(std::move(obj));
  }
  return nlohmann::json{{"stores", std::move(stores)}};
}

std::vector<StoreImport> messages_from_json(const nlohmann::json& json) {
  if (!json.is_object() || !json.contains("stores") || !json["stores"].is_array())
    throw UsageError("messages JSON must be an object with a \"stores\" list");
  for (const auto& [key, value] : json.items())
    if (key != "stores") throw UsageError("messages JSON: unknown field \"" + key + "\"");

  std::vector<StoreImport> imports;
  size_t store_index = 0;
  for (const auto& store : json["stores"]) {
    const std::string where = "store " + std::to_string(++store_index);
    if (!store.is_object()) throw UsageError(where + " is not an object");
    auto name = store.find("name");
    if (name == store.end() || !name->is_string() || name->get<std::string>().empty())
      throw UsageError(where + " has no \"name\"");
    StoreImport imp{checked_text(name->get<std::string>(), where + ": \"name\""), {}};
    for (const auto& [key, value] : store.items()) {
      if (key == "name") continue;
      const FolderKey* folder = nullptr;
      for (const auto& f : kFolders)
        if (key == f.key) folder = &f;
      if (folder == nullptr) throw UsageError(where + ": unknown folder \"" + key + "\"");
      if (!value.is_array()) throw UsageError(where + ": \"" + key + "\" is not a list");
      size_t i = 0;
      for (const auto& msg : value)
        imp.messages.emplace_back(
            folder->kind,
            message_from_json(msg, where + " " + key + " message " + std::to_string(++i)));
    }
    imports.push_back(std::move(imp));
  }
  return imports;
}

int import_messages(mapi::MessageDb& db, const nlohmann::json& json,
                    const sql::FileIdentity* imported) {
  const std::vector<StoreImport> imports = messages_from_json(json);
  int added = 0;
  db.begin();  // all or nothing: a failure leaves the transaction uncommitted
  for (const auto& imp : imports) {
    // "sms" goes into the phone's "SMS": the phone takes store names in any
    // letter case, and a second store beside it would be left out of backups.
    const std::int64_t id = db.store_named(imp.name);
    for (const auto& [kind, message] : imp.messages) {
      db.add_message(db.folder(id, kind), message);
      ++added;
    }
  }
  if (imported) db.note_imported(*imported);
  db.commit();
  return added;
}

}  // namespace vardel::host
