// The messages of a big add, inserted many rows to a statement. While a file
// much bigger than the history is added, every message it brings is new
// unless the add brought it already (which the add's keys in memory tell),
// so each takes the next id and nothing needs asking of the table: the rows
// wait here and go in 32 at a time, which costs a third of what one
// statement per row does.
#pragma once

#include <sqlite3.h>

#include <array>
#include <string>
#include <string_view>

#include "platform/sql/statement.h"

namespace vardel::history {

struct HistoryMessage;

class NewMessages {
 public:
  // Starts the ids after `last_id`, the last one the history gave.
  void start(sqlite3_int64 last_id);
  // The id the message will have; it is in the table once flushed.
  sqlite3_int64 add(sqlite3* db, const HistoryMessage& m, std::string_view key,
                    std::string_view number_key, sqlite3_int64 add_id);
  // Inserts what waits. Raises sql::Error if SQLite refuses a row (an id
  // taken already fails rather than replaces).
  void flush(sqlite3* db);
  void clear() { waiting_ = 0; }

 private:
  static constexpr int kRows = 32;
  struct Row {
    sqlite3_int64 id = 0, add = 0;
    bool received = false;
    std::string key, number, number_key, time, text;
  };
  void insert(sqlite3* db, sql::Statement& s, int first, int count);
  std::array<Row, kRows> rows_;
  int waiting_ = 0;
  sqlite3_int64 next_id_ = 1;
  sql::Statement many_, one_;
};

}  // namespace vardel::history
