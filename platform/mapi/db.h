// One connection to the messages database, with its schema and a cache of
// prepared statements. Shared (std::shared_ptr) by a session and every object
// opened through it; used on one thread only.
//
// Layout: stores(id, name); folders(id, store, kind, name); messages(id,
// folder, subject, sender, delivery); recipients(id, message, address).
// Texts are stored as UTF-8, as the contacts database stores them
// (platform/sql); a database made in UTF-16 by an earlier version is read
// and written as it is, its texts read unit for unit. delivery is a FILETIME
// in 100 ns ticks (UTC) or NULL; id order is arrival order.
//
// Errors throw sql::Error (a std::runtime_error naming what failed).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/sql/statement.h"

namespace vardel::mapi {

class Db;

// A cached statement in use: bind, step, read columns. Resets itself (and
// clears its bindings) when it goes out of scope, ready for the next use.
class Query {
 public:
  Query(Db& db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& bind(int i, std::int64_t v);
  Query& bind(int i, std::u16string_view v);
  Query& bind(int i, const std::optional<std::u16string>& v);
  Query& bind(int i, const std::optional<std::int64_t>& v);
  // true while a row is ready; false when done. Throws on error.
  bool step();
  std::int64_t integer(int col) const;
  bool is_null(int col) const;
  std::u16string text(int col) const;
  std::optional<std::u16string> opt_text(int col) const;

 private:
  Db& db_;
  sqlite3_stmt* stmt_;
};

// How a connection uses the file. `read` writes nothing at all, not even the
// merge below: for a look that must leave the device's bytes as they were.
enum class Access { write, read };

class Db {
 public:
  // Opens (creating when missing, with its folder) and sets up the schema.
  // Throws sql::Error when the database can't be opened: an existing file
  // that is damaged or not a messages database is refused untouched.
  //
  // Opened for writing, a file holding stores whose names differ only in
  // letter case (imports of an earlier version made them) has them merged
  // into the first of them, in one transaction: each later store's messages
  // move, ids and recipients kept, to the first store's folder of the same
  // kind, and the later store goes. When the merge fails it is rolled back,
  // the file is left as it was and the connection is still opened: the
  // stores stay apart until an open succeeds in merging them. A file without
  // such stores is not written to. Opened with Access::read, the file must
  // exist and nothing is merged. Fault point "mapi.MergeStores" (before the
  // merge commits).
  explicit Db(const std::filesystem::path& path, Access access = Access::write);
  ~Db();
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;

  // Starts a fresh read snapshot, ending the one held before. Reads then
  // share one transaction instead of locking the database per statement;
  // in WAL mode writers on other connections go on meanwhile.
  void refresh_snapshot();
  // Ends the snapshot a refresh started, if any.
  void end_snapshot();
  // The read snapshot held now, 0 when none: reads under one value see the
  // same data. Never the same value twice in the process.
  std::uint64_t snapshot() const { return in_snapshot_ ? snapshot_ : 0; }

  // The statement for sql, prepared once per connection.
  Query query(const char* sql);
  void exec(const char* sql);
  std::int64_t last_insert_id() const;
  // Rows the last finished INSERT, UPDATE or DELETE changed.
  int changes() const { return sqlite3_changes(db_); }
  [[noreturn]] void fail(const char* what) const;
  // The connection, for the shared helpers of platform/sql.
  sqlite3* handle() const { return db_; }
  // True for a database an earlier version made in UTF-16.
  bool utf16_file() const { return utf16_file_; }

 private:
  // Stores named alike, later ones after the first: empty when none are.
  std::vector<std::pair<std::int64_t, std::int64_t>> alike_stores();
  void merge_alike_stores();

  std::filesystem::path path_;
  Access access_;
  sqlite3* db_ = nullptr;
  bool in_snapshot_ = false;
  std::uint64_t snapshot_ = 0;
  bool utf16_file_ = false;
  std::unordered_map<const char*, sql::Statement> cache_;
};

}  // namespace vardel::mapi
