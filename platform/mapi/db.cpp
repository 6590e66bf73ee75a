#include "platform/mapi/db.h"

#include "platform/core/device_files.h"

#include <stdexcept>
#include <system_error>

namespace vardel::mapi {

namespace {

// The database is created in UTF-16 so texts round-trip exactly, lone
// surrogates included.
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
  if (sqlite3_bind_text16(stmt_, i, v.data(), static_cast<int>(v.size() * 2), SQLITE_TRANSIENT) !=
      SQLITE_OK)
    db_.fail("bind");
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
  auto* p = static_cast<const char16_t*>(sqlite3_column_text16(stmt_, col));
  if (!p) return {};
  return std::u16string(p, static_cast<size_t>(sqlite3_column_bytes16(stmt_, col)) / 2);
}

std::optional<std::u16string> Query::opt_text(int col) const {
  if (is_null(col)) return std::nullopt;
  return text(col);
}

Db::Db(const std::filesystem::path& path) {
  // Inside the device, the database's folder is reached through real
  // folders only (made here when missing): SQLite opens it by name.
  if (!device::prepare_store_path(path))
    throw std::runtime_error("messages database " + path.string() +
                             ": refused, a link on the way leads elsewhere");
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  int rc =
      sqlite3_open_v2(path.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw std::runtime_error("messages database " + path.string() + ": " + msg);
  }
  try {
    sqlite3_busy_timeout(db_, 5000);
    exec("PRAGMA encoding = 'UTF-16le'");
    exec("PRAGMA journal_mode = WAL");
    exec("PRAGMA synchronous = NORMAL");
    exec(kSchema);
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

void Db::refresh_snapshot() {
  end_snapshot();
  exec("BEGIN");
  // BEGIN defers the snapshot to the first read; take it now.
  auto q = query("SELECT 1 FROM stores LIMIT 1");
  q.step();
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
  for (auto& [sql, stmt] : cache_) sqlite3_finalize(stmt);
  sqlite3_close(db_);
}

Query Db::query(const char* sql) {
  auto it = cache_.find(sql);
  if (it == cache_.end()) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
      fail("prepare");
    it = cache_.emplace(sql, stmt).first;
  }
  return Query(*this, it->second);
}

void Db::exec(const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::string msg = err ? err : "error";
    sqlite3_free(err);
    throw std::runtime_error(std::string("messages database: ") + msg);
  }
}

std::int64_t Db::last_insert_id() const { return sqlite3_last_insert_rowid(db_); }

void Db::fail(const char* what) const {
  throw std::runtime_error(std::string("messages database ") + what + ": " + sqlite3_errmsg(db_));
}

}  // namespace vardel::mapi
