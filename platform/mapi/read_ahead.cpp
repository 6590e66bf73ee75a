#include "platform/mapi/read_ahead.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

namespace vardel::mapi {

// The messages of up to kBlock ids of one table, as one snapshot holds them,
// sorted by id; their recipients once asked for.
struct ReadAheadBlock {
  const Db* db = nullptr;
  std::uint64_t snapshot = 0;
  std::vector<std::int64_t> ids;                      // sorted
  std::vector<std::optional<MessageRecord>> records;  // by ids; null: gone or taken
  bool recipients_read = false;
  std::vector<std::vector<std::optional<std::u16string>>> recipients;  // by ids

  bool holds(const Db& d, std::int64_t id) const {
    return db == &d && snapshot != 0 && snapshot == d.snapshot() &&
           std::binary_search(ids.begin(), ids.end(), id);
  }
  size_t slot(std::int64_t id) const {
    return static_cast<size_t>(std::lower_bound(ids.begin(), ids.end(), id) - ids.begin());
  }
};

namespace {

// head, then ?1, ..., ?kBlock, then tail. A block shorter than that binds
// the rest as NULL, which matches nothing.
std::string block_query(const char* head, const char* tail) {
  std::string sql = head;
  for (size_t i = 1; i <= ReadAhead::kBlock; ++i) {
    if (i > 1) sql += ", ";
    sql += "?" + std::to_string(i);
  }
  return sql + tail;
}

// Prepared once per connection (Db::query keys its cache on the pointer).
const char* messages_sql() {
  static const std::string sql =
      block_query("SELECT id, folder, subject, sender, delivery FROM messages WHERE id IN (", ")");
  return sql.c_str();
}

const char* recipients_sql() {
  static const std::string sql = block_query(
      "SELECT message, address FROM recipients WHERE message IN (", ") ORDER BY message, id");
  return sql.c_str();
}

void bind_ids(Query& q, const std::vector<std::int64_t>& ids) {
  for (size_t i = 0; i < ReadAhead::kBlock; ++i) {
    if (i < ids.size())
      q.bind(static_cast<int>(i + 1), ids[i]);
    else
      q.bind(static_cast<int>(i + 1), std::optional<std::int64_t>());
  }
}

// The blocks this thread read lately, for the recipients asked for after a
// row: a walk reads two tables (inbox and sent) in turns.
constexpr size_t kRecent = 4;
thread_local std::array<std::weak_ptr<ReadAheadBlock>, kRecent> t_recent;
thread_local size_t t_next_recent = 0;

std::shared_ptr<ReadAheadBlock> read_block(Db& db, const std::vector<std::int64_t>& ids,
                                           size_t from) {
  auto block = std::make_shared<ReadAheadBlock>();
  block->db = &db;
  block->snapshot = db.snapshot();
  const size_t to = std::min(ids.size(), from + ReadAhead::kBlock);
  block->ids.assign(ids.begin() + static_cast<std::ptrdiff_t>(from),
                    ids.begin() + static_cast<std::ptrdiff_t>(to));
  std::sort(block->ids.begin(), block->ids.end());
  block->ids.erase(std::unique(block->ids.begin(), block->ids.end()), block->ids.end());
  block->records.resize(block->ids.size());
  auto q = db.query(messages_sql());
  bind_ids(q, block->ids);
  while (q.step()) {
    const std::int64_t id = q.integer(0);
    block->records[block->slot(id)] = message_from_row(q, 1, id);
  }
  t_recent[t_next_recent] = block;
  t_next_recent = (t_next_recent + 1) % kRecent;
  return block;
}

}  // namespace

ReadAhead::ReadAhead() = default;
ReadAhead::~ReadAhead() = default;

std::optional<MessageRecord> ReadAhead::take(Db& db, const std::vector<std::int64_t>& ids,
                                             size_t index) {
  const std::int64_t id = ids.at(index);
  if (!block_ || !block_->holds(db, id)) block_ = read_block(db, ids, index);
  std::optional<MessageRecord>& held = block_->records[block_->slot(id)];
  std::optional<MessageRecord> record = std::move(held);
  held.reset();
  return record;
}

bool read_ahead_recipients(Db& db, std::int64_t message,
                           std::vector<std::optional<std::u16string>>* out) {
  for (auto& weak : t_recent) {
    std::shared_ptr<ReadAheadBlock> block = weak.lock();
    if (!block || !block->holds(db, message)) continue;
    if (!block->recipients_read) {
      block->recipients.resize(block->ids.size());
      auto q = db.query(recipients_sql());
      bind_ids(q, block->ids);
      while (q.step()) block->recipients[block->slot(q.integer(0))].push_back(q.opt_text(1));
      block->recipients_read = true;
    }
    *out = block->recipients[block->slot(message)];
    return true;
  }
  return false;
}

}  // namespace vardel::mapi
