#include "platform/mapi/records.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>
#include <utility>

namespace vardel::mapi {

namespace {

// The store property that holds the entry id of each standard folder.
ULONG folder_tag(FolderKind kind) {
  switch (kind) {
    case FolderKind::inbox:
      return PR_CE_IPM_INBOX_ENTRYID;
    case FolderKind::sent:
      return PR_IPM_SENTMAIL_ENTRYID;
    case FolderKind::drafts:
      return PR_CE_IPM_DRAFTS_ENTRYID;
    case FolderKind::outbox:
      return PR_IPM_OUTBOX_ENTRYID;
    case FolderKind::deleted:
      return PR_IPM_WASTEBASKET_ENTRYID;
  }
  return PR_NULL;
}

const MessageRecord* read_ahead_for_row(const void* table, Db& db,
                                        const std::vector<std::int64_t>& ids, std::size_t index);

class ListSource final : public RowSource {
 public:
  ListSource(std::vector<PropList> rows, std::vector<ULONG> columns)
      : rows_(std::move(rows)), columns_(std::move(columns)) {}
  ULONG count() const override { return static_cast<ULONG>(rows_.size()); }
  const PropList& row(ULONG index) override { return rows_.at(index); }
  std::vector<ULONG> default_columns() const override { return columns_; }

 private:
  std::vector<PropList> rows_;
  std::vector<ULONG> columns_;
};

// Holds only the ordered message ids; rows are read when they are asked for
// (a batch at a time, see read_ahead_for_row), so a folder of any size costs
// eight bytes a message while its table lives.
class ContentsSource final : public RowSource {
 public:
  ContentsSource(std::shared_ptr<Db> db, std::vector<std::int64_t> ids)
      : db_(std::move(db)), ids_(std::move(ids)) {}
  ULONG count() const override { return static_cast<ULONG>(ids_.size()); }
  const PropList& row(ULONG index) override {
    std::int64_t id = ids_.at(index);
    if (const MessageRecord* m = read_ahead_for_row(this, *db_, ids_, index)) return m->props;
    // Deleted since the table was made: only its entry id is left.
    gone_ = {Prop{PR_ENTRYID, encode_entry_id(MAPI_MESSAGE, id)}};
    return gone_;
  }
  std::vector<ULONG> default_columns() const override {
    return {PR_ENTRYID,       PR_SUBJECT,      PR_SENDER_EMAIL_ADDRESS, PR_MESSAGE_DELIVERY_TIME,
            PR_MESSAGE_CLASS, PR_MESSAGE_FLAGS};
  }

 private:
  std::shared_ptr<Db> db_;
  std::vector<std::int64_t> ids_;
  PropList gone_;
};

}  // namespace

std::optional<PropList> load_store(Db& db, std::int64_t store) {
  PropList props;
  {
    auto q = db.query("SELECT name FROM stores WHERE id = ?");
    q.bind(1, store);
    if (!q.step()) return std::nullopt;
    props.push_back({PR_ENTRYID, encode_entry_id(MAPI_STORE, store)});
    props.push_back({PR_DISPLAY_NAME, q.text(0)});
    props.push_back({PR_OBJECT_TYPE, static_cast<LONG>(MAPI_STORE)});
  }
  auto q = db.query("SELECT id, kind FROM folders WHERE store = ? ORDER BY kind");
  q.bind(1, store);
  while (q.step()) {
    ULONG tag = folder_tag(static_cast<FolderKind>(q.integer(1)));
    if (tag != PR_NULL) props.push_back({tag, encode_entry_id(MAPI_FOLDER, q.integer(0))});
  }
  return props;
}

std::optional<FolderRecord> load_folder(Db& db, std::int64_t folder) {
  FolderRecord f;
  {
    auto q = db.query("SELECT store, name FROM folders WHERE id = ?");
    q.bind(1, folder);
    if (!q.step()) return std::nullopt;
    f.id = folder;
    f.store = q.integer(0);
    f.props.push_back({PR_ENTRYID, encode_entry_id(MAPI_FOLDER, folder)});
    f.props.push_back({PR_DISPLAY_NAME, q.text(1)});
    f.props.push_back({PR_OBJECT_TYPE, static_cast<LONG>(MAPI_FOLDER)});
    f.props.push_back({PR_STORE_ENTRYID, encode_entry_id(MAPI_STORE, f.store)});
  }
  auto q = db.query("SELECT count(*) FROM messages WHERE folder = ?");
  q.bind(1, folder);
  if (q.step()) f.props.push_back({PR_CONTENT_COUNT, static_cast<LONG>(q.integer(0))});
  return f;
}

namespace {

// A contents table's rows are asked for in order, and the walk opens each
// message right after its row and then reads its recipients. Within one read
// snapshot (where every read sees the same data) a table reads its rows a
// batch at a time, with the batch's recipients: two statements a batch
// instead of three a message. The walk goes through the inbox and the sent
// items side by side, so the thread keeps a batch for each of the last few
// tables; a batch serves only the snapshot it was read in.
constexpr std::size_t kReadAhead = 64;
constexpr std::size_t kBatches = 4;

struct Batch {
  const void* table = nullptr;  // the row source that read it
  std::uint64_t snapshot = 0;   // 0: serves nothing but its table's last row
  std::unordered_map<std::int64_t, MessageRecord> messages;  // each taken once by load_message
  std::unordered_map<std::int64_t, std::vector<std::optional<std::u16string>>> recipients;
};
thread_local std::array<Batch, kBatches> t_batches;
thread_local std::size_t t_next_batch = 0;

// The table's batch, emptied; the oldest one when the table has none.
Batch& fresh_batch(const void* table) {
  Batch* b = nullptr;
  for (Batch& candidate : t_batches)
    if (candidate.table == table) b = &candidate;
  if (b == nullptr) b = &t_batches[t_next_batch++ % kBatches];
  b->table = table;
  b->snapshot = 0;
  b->messages.clear();
  b->recipients.clear();
  return *b;
}

// The batch of the snapshot held now that read the message, if any.
Batch* batch_holding(Db& db, std::int64_t message) {
  const std::uint64_t snapshot = db.snapshot();
  if (snapshot == 0) return nullptr;
  for (Batch& b : t_batches)
    if (b.snapshot == snapshot && b.recipients.contains(message)) return &b;
  return nullptr;
}

// "?1, ?2, ..., ?n" inside the statement text, made once.
std::string in_list_sql(const char* head, const char* tail) {
  std::string sql = head;
  for (std::size_t i = 1; i <= kReadAhead; ++i) sql += (i == 1 ? "?" : ", ?") + std::to_string(i);
  return sql + tail;
}

MessageRecord record_from(std::int64_t message, std::int64_t folder,
                          std::optional<std::u16string> subject,
                          std::optional<std::u16string> sender,
                          std::optional<std::int64_t> delivery) {
  MessageRecord m;
  m.id = message;
  m.folder = folder;
  m.props.reserve(8);
  m.props.push_back({PR_ENTRYID, encode_entry_id(MAPI_MESSAGE, message)});
  m.props.push_back({PR_OBJECT_TYPE, static_cast<LONG>(MAPI_MESSAGE)});
  m.props.push_back({PR_MESSAGE_CLASS, std::u16string(u"IPM.SMStext")});
  m.props.push_back({PR_MESSAGE_FLAGS, static_cast<LONG>(0)});
  m.props.push_back({PR_PARENT_ENTRYID, encode_entry_id(MAPI_FOLDER, m.folder)});
  if (subject) m.props.push_back({PR_SUBJECT, std::move(*subject)});
  if (sender) m.props.push_back({PR_SENDER_EMAIL_ADDRESS, std::move(*sender)});
  if (delivery)
    m.props.push_back(
        {PR_MESSAGE_DELIVERY_TIME, filetime_from_ticks(static_cast<std::uint64_t>(*delivery))});
  return m;
}

// Reads ids[from, from + kReadAhead) and their recipients into the table's
// batch, for the snapshot held now.
void read_batch(const void* table, Db& db, const std::vector<std::int64_t>& ids, std::size_t from) {
  static const std::string messages_sql =
      in_list_sql("SELECT id, folder, subject, sender, delivery FROM messages WHERE id IN (", ")");
  static const std::string recipients_sql = in_list_sql(
      "SELECT message, address FROM recipients WHERE message IN (", ") ORDER BY message, id");
  Batch& batch = fresh_batch(table);
  const std::size_t to = std::min(ids.size(), from + kReadAhead);
  {
    auto q = db.query(messages_sql.c_str());
    for (std::size_t i = from; i < to; ++i) q.bind(static_cast<int>(i - from + 1), ids[i]);
    while (q.step()) {
      const std::int64_t id = q.integer(0);
      batch.messages.emplace(
          id, record_from(id, q.integer(1), q.opt_text(2), q.opt_text(3),
                          q.is_null(4) ? std::nullopt : std::optional(q.integer(4))));
    }
  }
  {
    auto q = db.query(recipients_sql.c_str());
    for (std::size_t i = from; i < to; ++i) {
      q.bind(static_cast<int>(i - from + 1), ids[i]);
      batch.recipients[ids[i]];  // read: none is an answer too
    }
    while (q.step()) batch.recipients[q.integer(0)].push_back(q.opt_text(1));
  }
  batch.snapshot = db.snapshot();  // usable once whole
}

std::unique_ptr<RowSource> recipient_list(std::vector<std::optional<std::u16string>> addresses);

}  // namespace

// The message as the database holds it now.
static std::optional<MessageRecord> read_message(Db& db, std::int64_t message) {
  auto q = db.query("SELECT folder, subject, sender, delivery FROM messages WHERE id = ?");
  q.bind(1, message);
  if (!q.step()) return std::nullopt;
  return record_from(message, q.integer(0), q.opt_text(1), q.opt_text(2),
                     q.is_null(3) ? std::nullopt : std::optional(q.integer(3)));
}

namespace {

const MessageRecord* read_ahead_for_row(const void* table, Db& db,
                                        const std::vector<std::int64_t>& ids, std::size_t index) {
  const std::int64_t id = ids.at(index);
  Batch* batch = batch_holding(db, id);
  if (batch == nullptr || batch->table != table) {
    if (db.snapshot() == 0) {
      // Outside a snapshot every row is read as the database holds it now.
      std::optional<MessageRecord> loaded = read_message(db, id);
      if (!loaded) return nullptr;
      return &fresh_batch(table).messages.emplace(id, std::move(*loaded)).first->second;
    }
    read_batch(table, db, ids, index);
    batch = batch_holding(db, id);
  }
  auto it = batch->messages.find(id);
  if (it != batch->messages.end()) return &it->second;
  // Not in the batch's answer (gone), or already taken by an open: as the
  // database holds it.
  std::optional<MessageRecord> loaded = read_message(db, id);
  if (!loaded) return nullptr;
  return &batch->messages.emplace(id, std::move(*loaded)).first->second;
}

}  // namespace

std::optional<MessageRecord> load_message(Db& db, std::int64_t message) {
  if (Batch* batch = batch_holding(db, message)) {
    auto it = batch->messages.find(message);
    if (it != batch->messages.end()) {
      MessageRecord m = std::move(it->second);
      batch->messages.erase(it);  // taken: a second open reads again
      return m;
    }
  }
  return read_message(db, message);
}

std::unique_ptr<RowSource> stores_rows(Db& db) {
  std::vector<std::int64_t> ids;
  {
    auto q = db.query("SELECT id FROM stores ORDER BY id");
    while (q.step()) ids.push_back(q.integer(0));
  }
  std::vector<PropList> rows;
  for (std::int64_t id : ids)
    if (auto p = load_store(db, id)) rows.push_back(std::move(*p));
  return std::make_unique<ListSource>(
      std::move(rows), std::vector<ULONG>{PR_ENTRYID, PR_DISPLAY_NAME, PR_OBJECT_TYPE});
}

namespace {

std::unique_ptr<RowSource> recipient_list(std::vector<std::optional<std::u16string>> addresses) {
  std::vector<PropList> rows;
  rows.reserve(addresses.size());
  LONG row_id = 0;
  for (auto& address : addresses) {
    PropList r;
    r.push_back({PR_ROWID, row_id++});
    r.push_back({PR_RECIPIENT_TYPE, static_cast<LONG>(MAPI_TO)});
    r.push_back({PR_ADDRTYPE, std::u16string(u"SMS")});
    if (address) {
      r.push_back({PR_DISPLAY_NAME, *address});
      r.push_back({PR_EMAIL_ADDRESS, std::move(*address)});
    }
    rows.push_back(std::move(r));
  }
  return std::make_unique<ListSource>(
      std::move(rows), std::vector<ULONG>{PR_ROWID, PR_DISPLAY_NAME, PR_EMAIL_ADDRESS, PR_ADDRTYPE,
                                          PR_RECIPIENT_TYPE});
}

}  // namespace

std::unique_ptr<RowSource> recipient_rows(Db& db, std::int64_t message) {
  if (Batch* batch = batch_holding(db, message)) return recipient_list(batch->recipients[message]);
  std::vector<std::optional<std::u16string>> addresses;
  auto q = db.query("SELECT address FROM recipients WHERE message = ? ORDER BY id");
  q.bind(1, message);
  while (q.step()) addresses.push_back(q.opt_text(0));
  return recipient_list(std::move(addresses));
}

std::unique_ptr<RowSource> contents_rows(std::shared_ptr<Db> db, std::int64_t folder) {
  std::vector<std::int64_t> ids;
  {
    auto q = db->query("SELECT id FROM messages WHERE folder = ? ORDER BY delivery, id");
    q.bind(1, folder);
    while (q.step()) ids.push_back(q.integer(0));
  }
  return std::make_unique<ContentsSource>(std::move(db), std::move(ids));
}

}  // namespace vardel::mapi
