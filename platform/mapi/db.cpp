// The messages database connection (see db.h).
#include "platform/mapi/db.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/core/fault.h"
#include "platform/core/wstr.h"
#include "platform/sql/database.h"
#include "platform/sql/errors.h"
#include "platform/sql/transaction.h"

namespace vardel::mapi {

namespace {

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS stores(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS folders(
  id INTEGER PRIMARY KEY,
  store INTEGER NOT NULL REFERENCES stores(id),
  kind INTEGER NOT NULL,
  name TEXT NOT NULL,
  UNIQUE(store, kind));
CREATE TABLE IF NOT EXISTS messages(
  id INTEGER PRIMARY KEY,
  folder INTEGER NOT NULL REFERENCES folders(id),
  subject TEXT,
  sender TEXT,
  delivery INTEGER);
CREATE INDEX IF NOT EXISTS messages_by_time ON messages(folder, delivery, id);
CREATE TABLE IF NOT EXISTS recipients(
  id INTEGER PRIMARY KEY,
  message INTEGER NOT NULL REFERENCES messages(id),
  address TEXT);
CREATE INDEX IF NOT EXISTS recipients_by_message ON recipients(message, id);
)sql";

// What an existing file must hold to be opened (sql::check_database_file).
constexpr sql::TableProbes kTables = {
    "SELECT id, name FROM stores LIMIT 0", "SELECT id, store, kind, name FROM folders LIMIT 0",
    "SELECT id, folder, subject, sender, delivery FROM messages LIMIT 0",
    "SELECT id, message, address FROM recipients LIMIT 0"};

// Why the file could not be opened, for the exception's text.
const char* open_failure(HRESULT hr) {
  if (hr == sql::kHrCorrupt) return "damaged, or not a messages database";
  if (hr == E_ACCESSDENIED) return "refused, a link on the way leads elsewhere";
  return "cannot be opened";
}

}  // namespace

Query::~Query() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

Query& Query::bind(int i, std::int64_t v) {
  if (sqlite3_bind_int64(stmt_, i, v) != SQLITE_OK) db_.fail("bind");
  return *this;
}

Query& Query::bind(int i, std::u16string_view v) {
  if (sql::bind_text(stmt_, i, v) != SQLITE_OK) db_.fail("bind");
  return *this;
}

Query& Query::bind(int i, const std::optional<std::u16string>& v) {
  if (!v) {
    if (sqlite3_bind_null(stmt_, i) != SQLITE_OK) db_.fail("bind");
    return *this;
  }
  return bind(i, std::u16string_view(*v));
}

Query& Query::bind(int i, const std::optional<std::int64_t>& v) {
  if (!v) {
    if (sqlite3_bind_null(stmt_, i) != SQLITE_OK) db_.fail("bind");
    return *this;
  }
  return bind(i, *v);
}

bool Query::step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  db_.fail("step");
}

std::int64_t Query::integer(int col) const { return sqlite3_column_int64(stmt_, col); }

bool Query::is_null(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }

std::u16string Query::text(int col) const {
  if (!db_.utf16_file()) return sql::column_text(stmt_, col);
  // Read as stored, so that what SQLite's conversion to UTF-8 would mangle
  // (a lone surrogate) comes back as it was.
  auto* p = static_cast<const char16_t*>(sqlite3_column_text16(stmt_, col));
  if (!p) return {};
  return std::u16string(p, static_cast<size_t>(sqlite3_column_bytes16(stmt_, col)) / 2);
}

std::optional<std::u16string> Query::opt_text(int col) const {
  if (is_null(col)) return std::nullopt;
  return text(col);
}

Db::Db(const std::filesystem::path& path, Access access) : path_(path), access_(access) {
  const HRESULT hr = access == Access::read ? sql::open_database_read_only(path, kTables, &db_)
                                            : sql::open_database(path, kTables, &db_);
  if (FAILED(hr))
    throw sql::Error("messages database " + path.string() + ": " + open_failure(hr),
                     hr == sql::kHrCorrupt  ? SQLITE_CORRUPT
                     : hr == E_ACCESSDENIED ? SQLITE_PERM
                                            : SQLITE_CANTOPEN);
  try {
    if (access == Access::write) exec(kSchema);
    {
      auto q = query("PRAGMA encoding");
      utf16_file_ = q.step() && q.text(0).starts_with(u"UTF-16");
    }
    if (access == Access::write) merge_alike_stores();
  } catch (...) {
    cache_.clear();
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw;
  }
}

std::vector<std::pair<std::int64_t, std::int64_t>> Db::alike_stores() {
  std::vector<std::pair<std::int64_t, std::int64_t>> later;
  std::vector<std::pair<std::int64_t, std::u16string>> first;
  auto q = query("SELECT id, name FROM stores ORDER BY id");
  while (q.step()) {
    const std::int64_t id = q.integer(0);
    std::u16string name = q.text(1);
    auto same = std::find_if(first.begin(), first.end(), [&](const auto& f) {
      return _wcsicmp(f.second.c_str(), name.c_str()) == 0;
    });
    if (same != first.end())
      later.emplace_back(same->first, id);
    else
      first.emplace_back(id, std::move(name));
  }
  return later;
}

void Db::merge_alike_stores() {
  // Only read unless there is something to merge: a job that only reads
  // must find the file's bytes as they were.
  if (alike_stores().empty()) return;
  try {
    sql::Transaction txn(db_, "BEGIN IMMEDIATE");
    if (txn.began() != SQLITE_OK) fail("exec");
    // Read again inside the transaction: another process may have merged
    // them between the look and the lock.
    for (const auto& [into, from] : alike_stores()) {
      std::vector<std::pair<std::int64_t, std::int64_t>> folders;  // (id, kind)
      {
        auto q = query("SELECT id, kind FROM folders WHERE store = ? ORDER BY id");
        q.bind(1, from);
        while (q.step()) folders.emplace_back(q.integer(0), q.integer(1));
      }
      for (const auto& [folder, kind] : folders) {
        std::optional<std::int64_t> target;
        {
          auto q = query("SELECT id FROM folders WHERE store = ? AND kind = ?");
          q.bind(1, into).bind(2, kind);
          if (q.step()) target = q.integer(0);
        }
        if (target) {
          query("UPDATE messages SET folder = ? WHERE folder = ?")
              .bind(1, *target)
              .bind(2, folder)
              .step();
          query("DELETE FROM folders WHERE id = ?").bind(1, folder).step();
        } else {
          // The first store lacks that folder: it takes this one whole.
          query("UPDATE folders SET store = ? WHERE id = ?").bind(1, into).bind(2, folder).step();
        }
      }
      query("DELETE FROM stores WHERE id = ?").bind(1, from).step();
    }
    if (HRESULT hr = fault::check("mapi.MergeStores"); FAILED(hr))
      throw sql::Error("messages database: merging the stores failed", SQLITE_IOERR);
    if (txn.commit() != SQLITE_OK) fail("exec");
  } catch (const std::exception&) {
    // Rolled back by the guard: left as it was; the stores stay apart and
    // the walk reports the messages of the later ones as not saved.
  }
}

void Db::refresh_snapshot() {
  end_snapshot();
  exec("BEGIN");
  // BEGIN defers the snapshot to the first read; take it now.
  auto q = query("SELECT 1 FROM stores LIMIT 1");
  q.step();
  static std::atomic<std::uint64_t> next_snapshot{1};
  snapshot_ = next_snapshot.fetch_add(1, std::memory_order_relaxed);
  in_snapshot_ = true;
}

void Db::end_snapshot() {
  if (!in_snapshot_) return;
  in_snapshot_ = false;
  if (!sqlite3_get_autocommit(db_)) exec("COMMIT");
}

Db::~Db() {
  if (in_snapshot_ && !sqlite3_get_autocommit(db_))
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  cache_.clear();
  // Written and closed cleanly while this process holds the device: the
  // next opening in this process need not read the whole file again.
  if (sqlite3_close_v2(db_) == SQLITE_OK && access_ == Access::write)
    sql::note_closed_while_held(path_);
}

Query Db::query(const char* sql) {
  sql::Statement& stmt = cache_[sql];
  if (!stmt.get() && !stmt.prepare(db_, sql)) {
    cache_.erase(sql);
    fail("prepare");
  }
  return Query(*this, stmt.get());
}

void Db::exec(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail("exec");
}

std::int64_t Db::last_insert_id() const { return sqlite3_last_insert_rowid(db_); }

void Db::fail(const char* what) const { sql::raise(db_, "messages database", what); }

}  // namespace vardel::mapi
