#include "host/history/new_messages.h"

#include "host/history/history_store.h"
#include "platform/sql/errors.h"

namespace vardel::history {

namespace {

constexpr int kColumns = 8;

std::string insert_sql(int rows) {
  std::string sql =
      "INSERT OR FAIL INTO messages(id, key, received, number, number_key, time, text, first_add, "
      "last_add) VALUES";
  for (int r = 0; r < rows; ++r) {
    const int p = r * kColumns;
    sql += r ? ",(" : "(";
    for (int c = 1; c <= kColumns; ++c) sql += "?" + std::to_string(p + c) + ",";
    sql += "?" + std::to_string(p + kColumns) + ")";  // first and last add alike
  }
  return sql;
}

void bind_text(sqlite3_stmt* s, int at, const std::string& text) {
  sqlite3_bind_text(s, at, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

}  // namespace

void NewMessages::start(sqlite3_int64 last_id) {
  waiting_ = 0;
  next_id_ = last_id + 1;
}

sqlite3_int64 NewMessages::add(sqlite3* db, const HistoryMessage& m, std::string_view key,
                               std::string_view number_key, sqlite3_int64 add_id) {
  if (waiting_ == kRows) flush(db);
  Row& r = rows_[waiting_++];
  r.id = next_id_++;
  r.add = add_id;
  r.received = m.received;
  r.key.assign(key);
  r.number = m.number;
  r.number_key.assign(number_key);
  r.time = m.time;
  r.text = m.text;
  return r.id;
}

void NewMessages::insert(sqlite3* db, sql::Statement& s, int first, int count) {
  for (int i = 0; i < count; ++i) {
    const Row& r = rows_[first + i];
    const int p = i * kColumns;
    sqlite3_bind_int64(s.get(), p + 1, r.id);
    sqlite3_bind_blob(s.get(), p + 2, r.key.data(), static_cast<int>(r.key.size()), SQLITE_STATIC);
    sqlite3_bind_int(s.get(), p + 3, r.received ? 1 : 0);
    bind_text(s.get(), p + 4, r.number);
    bind_text(s.get(), p + 5, r.number_key);
    bind_text(s.get(), p + 6, r.time);
    bind_text(s.get(), p + 7, r.text);
    sqlite3_bind_int64(s.get(), p + 8, r.add);
  }
  if (s.run() != SQLITE_OK) sql::raise(db, "history", "add a message");
}

void NewMessages::flush(sqlite3* db) {
  if (waiting_ == 0) return;
  if (waiting_ == kRows) {
    if (!many_.get() && !many_.prepare(db, insert_sql(kRows))) sql::raise(db, "history", "prepare");
    insert(db, many_, 0, kRows);
  } else {
    if (!one_.get() && !one_.prepare(db, insert_sql(1))) sql::raise(db, "history", "prepare");
    for (int i = 0; i < waiting_; ++i) insert(db, one_, i, 1);
  }
  waiting_ = 0;
}

}  // namespace vardel::history
