// Message stores as JSON, for the device tools:
//   {"stores":[{"name":"SMS",
//               "inbox":[{"from":"10086","time":"2009-04-23T02:00:00Z","text":"…"}],
//               "sent":[{"to":["10086","10010"],"time":"…","text":"…"}],
//               "drafts":[…], "outbox":[…], "deleted":[…]},
//              {"name":"ActiveSync"}]}
// Every message field may be missing; a recipient may be null (no address).
// Times are UTC ("Z") when listed; on import an offset ("+08:00") or none
// (taken as UTC) is accepted.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/mapi/message_db.h"

namespace vardel::host {

// Every store of the database with its non-empty folders.
nlohmann::json messages_to_json(mapi::MessageDb& db);

// The stores of the JSON with their messages, checked: throws UsageError
// naming the first problem (a text holding a NUL character among them).
struct StoreImport {
  std::u16string name;
  std::vector<std::pair<mapi::FolderKind, mapi::Message>> messages;
};
std::vector<StoreImport> messages_from_json(const nlohmann::json& json);

// Adds the messages of the JSON to the database in one transaction,
// appending to the store of the same name in any letter case when there is
// one (else creating it). The whole JSON is checked first: on a UsageError
// nothing is added. imported, when given, is noted in the transaction as
// the file the messages came from. Returns the number of messages added.
int import_messages(mapi::MessageDb& db, const nlohmann::json& json,
                    const sql::FileIdentity* imported = nullptr);

// "2009-04-23T02:00:00Z" and back (UsageError for a text that is not a time).
std::string iso_time(const FILETIME& ft);
FILETIME parse_iso_time(const std::string& text);

}  // namespace vardel::host
