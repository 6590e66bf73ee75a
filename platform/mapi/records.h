// What the database holds, read as MAPI properties: stores, folders,
// messages, recipients, and the row sources behind the tables.
//
// Every function may throw std::runtime_error (a database error); the COM
// objects turn that into MAPI_E_CALL_FAILED.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/mapi/db.h"
#include "platform/mapi/message_db.h"
#include "platform/mapi/props.h"

namespace vardel::mapi {

// A store's properties: entry id, name, object type and the entry ids of its
// standard folders (PR_CE_IPM_INBOX_ENTRYID, PR_IPM_SENTMAIL_ENTRYID, ...).
std::optional<PropList> load_store(Db& db, std::int64_t store);

struct FolderRecord {
  std::int64_t id = 0;
  std::int64_t store = 0;
  PropList props;
};
std::optional<FolderRecord> load_folder(Db& db, std::int64_t folder);

struct MessageRecord {
  std::int64_t id = 0;
  std::int64_t folder = 0;
  PropList props;
};
// The message as the database holds it now; within a read snapshot, the
// record read_for_row read last for the same message (handed over once).
std::optional<MessageRecord> load_message(Db& db, std::int64_t message);
// Reads the message for a table row and keeps it for the load_message that
// follows; the record stays valid until the thread's next read. Null when
// the message is gone.
const MessageRecord* read_for_row(Db& db, std::int64_t message);

// The message of a row whose columns from `col` on are folder, subject,
// sender and delivery.
MessageRecord message_from_row(const Query& q, int col, std::int64_t message);
// Keeps the record for the load_message that follows, as read_for_row does.
const MessageRecord* keep_for_open(Db& db, MessageRecord record);

// The rows a table gives. count() is fixed when the table is made.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual ULONG count() const = 0;
  // The row's properties, valid until the next call on this source (or on
  // load_message for a contents table).
  virtual const PropList& row(ULONG index) = 0;
  virtual std::vector<ULONG> default_columns() const = 0;
};

// The message-stores table, in creation order.
std::unique_ptr<RowSource> stores_rows(Db& db);
// A message's recipients, in the order they were added.
std::unique_ptr<RowSource> recipient_rows(Db& db, std::int64_t message);
// A folder's contents: ascending delivery time, ties (and messages without a
// time, which come first) in arrival order. Default columns begin with
// PR_ENTRYID.
std::unique_ptr<RowSource> contents_rows(std::shared_ptr<Db> db, std::int64_t folder);

}  // namespace vardel::mapi
