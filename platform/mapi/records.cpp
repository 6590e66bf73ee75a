#include "platform/mapi/records.h"

#include "platform/mapi/read_ahead.h"

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

// Holds only the ordered message ids; each row is read when it is asked for,
// so a folder of any size costs eight bytes a message while its table lives.
class ContentsSource final : public RowSource {
 public:
  ContentsSource(std::shared_ptr<Db> db, std::vector<std::int64_t> ids)
      : db_(std::move(db)), ids_(std::move(ids)) {}
  ULONG count() const override { return static_cast<ULONG>(ids_.size()); }
  const PropList& row(ULONG index) override {
    std::int64_t id = ids_.at(index);
    if (db_->snapshot() != 0)
      if (auto m = ahead_.take(*db_, ids_, index)) return keep_for_open(*db_, std::move(*m))->props;
    // Read again, outside a snapshot, or gone from the block.
    if (const MessageRecord* m = read_for_row(*db_, id)) return m->props;
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
  ReadAhead ahead_;
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

MessageRecord message_from_row(const Query& q, int col, std::int64_t message) {
  MessageRecord m;
  m.id = message;
  m.folder = q.integer(col);
  m.props.reserve(8);
  m.props.push_back({PR_ENTRYID, encode_entry_id(MAPI_MESSAGE, message)});
  m.props.push_back({PR_OBJECT_TYPE, static_cast<LONG>(MAPI_MESSAGE)});
  m.props.push_back({PR_MESSAGE_CLASS, std::u16string(u"IPM.SMStext")});
  m.props.push_back({PR_MESSAGE_FLAGS, static_cast<LONG>(0)});
  m.props.push_back({PR_PARENT_ENTRYID, encode_entry_id(MAPI_FOLDER, m.folder)});
  if (!q.is_null(col + 1)) m.props.push_back({PR_SUBJECT, q.text(col + 1)});
  if (!q.is_null(col + 2)) m.props.push_back({PR_SENDER_EMAIL_ADDRESS, q.text(col + 2)});
  if (!q.is_null(col + 3))
    m.props.push_back({PR_MESSAGE_DELIVERY_TIME,
                       filetime_from_ticks(static_cast<std::uint64_t>(q.integer(col + 3)))});
  return m;
}

// The message as the database holds it now.
static std::optional<MessageRecord> read_message(Db& db, std::int64_t message) {
  auto q = db.query("SELECT folder, subject, sender, delivery FROM messages WHERE id = ?");
  q.bind(1, message);
  if (!q.step()) return std::nullopt;
  return message_from_row(q, 0, message);
}

namespace {

// A contents table reads each message for its row, and the walk opens the
// message right after: within one read snapshot the second read takes what
// the first one read.
struct LastRead {
  std::uint64_t snapshot = 0;
  MessageRecord record;
};
thread_local LastRead t_last;

}  // namespace

const MessageRecord* keep_for_open(Db& db, MessageRecord record) {
  t_last.snapshot = db.snapshot();
  t_last.record = std::move(record);
  return &t_last.record;
}

const MessageRecord* read_for_row(Db& db, std::int64_t message) {
  std::optional<MessageRecord> loaded = read_message(db, message);
  if (!loaded) return nullptr;
  return keep_for_open(db, std::move(*loaded));
}

std::optional<MessageRecord> load_message(Db& db, std::int64_t message) {
  const std::uint64_t snapshot = db.snapshot();
  if (snapshot != 0 && t_last.snapshot == snapshot && t_last.record.id == message) {
    t_last.snapshot = 0;  // taken: a third read reads again
    return std::move(t_last.record);
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

std::unique_ptr<RowSource> recipient_rows(Db& db, std::int64_t message) {
  std::vector<std::optional<std::u16string>> addresses;
  if (!read_ahead_recipients(db, message, &addresses)) {
    auto q = db.query("SELECT address FROM recipients WHERE message = ? ORDER BY id");
    q.bind(1, message);
    while (q.step()) addresses.push_back(q.opt_text(0));
  }
  std::vector<PropList> rows;
  rows.reserve(addresses.size());
  LONG row_id = 0;
  for (auto& address : addresses) {
    PropList r;
    r.reserve(5);
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
