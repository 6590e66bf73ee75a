// The device's message stores, seen from the host: what the device tools and
// the tests use to fill the phone's SMS folders and to look at them. The
// phone side reads the same database through cemapi.h.
//
// A store is created with the standard folders (Inbox, Sent Items, Drafts,
// Outbox, Deleted Items). Stores are listed in the order they were created;
// a folder's messages in ascending delivery time, equal times (and messages
// without a time, which come first) in the order they were added.
//
// Errors (a database that cannot be opened or written, an unknown store or
// folder) throw std::runtime_error. One MessageDb belongs to one thread.
//
// Fault points: "mapi.MessageDb.AddMessage" (one message's rows),
// "mapi.MessageDb.Commit" (before a commit of begin()'s transaction).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/calendar.h"
#include "platform/core/types.h"
#include "platform/sql/imported_files.h"

namespace vardel::mapi {

enum class FolderKind { inbox, sent, drafts, outbox, deleted };

// The folder's display name ("Inbox", "Sent Items", ...) and back.
std::u16string_view folder_name(FolderKind kind);
std::optional<FolderKind> folder_kind(std::u16string_view name);

struct StoreInfo {
  std::int64_t id = 0;
  std::u16string name;
};

struct FolderInfo {
  std::int64_t id = 0;
  std::int64_t store = 0;
  FolderKind kind = FolderKind::inbox;
  std::u16string name;
};

// One message. Absent parts are left out of the store: the phone then reports
// the property as missing. A recipient may itself lack an address.
struct Message {
  std::optional<std::u16string> text;                     // PR_SUBJECT
  std::optional<std::u16string> sender;                   // PR_SENDER_EMAIL_ADDRESS
  std::vector<std::optional<std::u16string>> recipients;  // PR_EMAIL_ADDRESS each
  std::optional<FILETIME> delivery;                       // PR_MESSAGE_DELIVERY_TIME, UTC
};

struct MessageInfo {
  std::int64_t id = 0;
  std::int64_t folder = 0;
  Message message;
};

// FILETIME <-> 100 ns ticks since 1601-01-01 UTC, and from a UTC calendar time.
using calendar::filetime_from_ticks;
using calendar::filetime_ticks;
FILETIME utc_filetime(int year, int month, int day, int hour, int minute, int second);

class MessageDb {
 public:
  // Opens the database at path, creating it (and its folder) when missing.
  // A file whose stores are named alike in different letter case has them
  // merged into the first (see db.h). read_only opens an existing file for
  // reading only: nothing is written, the writing calls below then throw.
  explicit MessageDb(const std::filesystem::path& path, bool read_only = false);
  ~MessageDb();
  MessageDb(MessageDb&&) noexcept;
  MessageDb& operator=(MessageDb&&) noexcept;

  // Creates a store with the standard folders; gives its id. Imports use
  // store_named instead, so that a name in other letter case does not make
  // a second store beside the phone's.
  std::int64_t add_store(std::u16string_view name);
  // The first store (lowest id) whose name equals name in any letter case
  // (as _wcsicmp folds it), or none.
  std::optional<std::int64_t> find_store(std::u16string_view name);
  // find_store's store, made (empty, with the standard folders) under name
  // when there is none.
  std::int64_t store_named(std::u16string_view name);
  // The phone's SMS store: store_named(u"SMS"). A new phone always has one.
  std::int64_t sms_store();
  // The store's folder of that kind.
  std::int64_t folder(std::int64_t store, FolderKind kind);
  std::int64_t add_message(std::int64_t folder, const Message& message);
  // Deletes a message with its recipients; false when there is none of that id.
  bool remove_message(std::int64_t id);

  std::vector<StoreInfo> stores();
  std::vector<FolderInfo> folders(std::int64_t store);
  std::vector<MessageInfo> messages(std::int64_t folder);

  // When an import took messages from the file (FILETIME ticks, UTC), or
  // nothing (sql/imported_files.h).
  std::optional<std::int64_t> imported_when(const sql::FileIdentity& file);
  // Notes the file as imported now; inside the import's transaction, so the
  // note lands with its messages or not at all.
  void note_imported(const sql::FileIdentity& file);

  // Groups many additions into one transaction (much faster for bulk loads).
  void begin();
  void commit();
  void rollback();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vardel::mapi
