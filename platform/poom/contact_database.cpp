// The contacts database: the process's registry of connections, opening
// and checking a file, its schema and the migrations of older files, and
// the tuning of its checkpoints. Reads are in contact_database_reads.cpp,
// saves in contact_database_saves.cpp, removals in
// contact_database_removals.cpp. See contact_database.h for the contract.
#include "platform/poom/contact_database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <map>
#include <string>
#include <system_error>

#include "platform/core/device.h"
#include "platform/core/device_lock.h"
#include "platform/core/wstr.h"
#include "platform/poom/contact_database_internal.h"
#include "platform/poom/file_as.h"
#include "platform/poom/pimstore.h"
#include "platform/sql/database.h"
#include "platform/sql/errors.h"

namespace vardel::poom {

using Stmt = sql::Statement;
using sql::hr_from_sqlite;

namespace {

// The contacts table has no AUTOINCREMENT and no index on fileas_key: each
// would add a page to every new contact's commit (sqlite_sequence, the index
// leaf), and a save's cost is mostly the pages its commit writes to the log.
// Oids stay unique for the life of the file through oid_high_water, the
// highest oid ever removed, which only removals write: a new contact takes
// one more than the larger of it and the highest oid present. The folder's
// order is sorted when a collection is made (a fraction of a second at
// 100,000 contacts). A file made when the table had AUTOINCREMENT keeps it;
// its sqlite_sequence is folded into the mark when it is opened.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS contacts("
    "  oid INTEGER PRIMARY KEY,"
    "  fileas_key TEXT NOT NULL DEFAULT '');"
    "DROP INDEX IF EXISTS contacts_by_fileas;"
    "CREATE TABLE IF NOT EXISTS properties("
    "  oid INTEGER NOT NULL,"
    "  tag INTEGER NOT NULL,"
    "  value NOT NULL,"
    "  PRIMARY KEY(oid, tag)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS oid_high_water(oid INTEGER NOT NULL);"
    "INSERT INTO oid_high_water(oid) SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM oid_high_water);"
    "CREATE TABLE IF NOT EXISTS removed_contacts(oid INTEGER PRIMARY KEY);"
    "CREATE TABLE IF NOT EXISTS contact_uids(oid INTEGER PRIMARY KEY, uid TEXT NOT NULL UNIQUE);";

// What an existing file must hold to be opened (sql::check_database_file).
constexpr sql::TableProbes kTables = {"SELECT oid, fileas_key FROM contacts LIMIT 0",
                                      "SELECT oid, tag, value FROM properties LIMIT 0"};

// Run in the schema's transaction when sqlite_sequence exists.
constexpr const char* kFoldSequence =
    "UPDATE oid_high_water SET oid = max(oid,"
    " coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'contacts'), 0));";

// Guards the registry, and also every opening and closing of a connection:
// a connection closing (which checkpoints and deletes the log) while another
// opens the same file would make the opening one fail as busy. Recursive,
// because a connection that fails to open is closed with it held.
std::recursive_mutex g_registry_mutex;
std::map<std::string, std::weak_ptr<ContactDatabase>>& registry() {
  static std::map<std::string, std::weak_ptr<ContactDatabase>> r;
  return r;
}

}  // namespace

HRESULT ContactDatabase::open(const std::filesystem::path& path,
                              std::shared_ptr<ContactDatabase>* out) {
  *out = nullptr;
  if (path.empty()) return kHrOpenFailed;
  std::error_code ec;
  std::string key = std::filesystem::weakly_canonical(path, ec).string();
  if (ec) return kHrOpenFailed;

  std::lock_guard lock(g_registry_mutex);
  if (auto existing = registry()[key].lock()) {
    *out = std::move(existing);
    return S_OK;
  }
  // One process changes the device at a time: while this one holds it, the
  // file's lock is taken once for the connection's life.
  const sql::Locking locking = device::locked_by_this_process() && path == device::contacts_db()
                                   ? sql::Locking::exclusive
                                   : sql::Locking::shared;
  sqlite3* raw = nullptr;
  if (HRESULT hr = sql::open_database(path, kTables, &raw, locking); FAILED(hr)) return hr;
  std::shared_ptr<ContactDatabase> db(new ContactDatabase(raw));
  db->exclusive_ = sql::holds_file_lock(raw);
  // Room for the inner pages of a large book's trees, not for its whole
  // file: a contact's properties lie together, so a walk in file-as order
  // (seldom the order the contacts were made in) reads about one page per
  // contact from the system's cache. Room for the whole store (42 MiB at
  // 100,000 contacts) saved a tenth of a scrambled book's backup and held a
  // backup's memory at two and a half times its file's size.
  if (HRESULT hr = db->exec_locked(kCacheSize); FAILED(hr)) return hr;
  db->path_ = path;
  db->wal_path_ = path.string() + "-wal";
  sqlite3_wal_hook(raw, &ContactDatabase::log_grew, db.get());
  // A file made before removals were noted may hold properties of removed
  // contacts anywhere: it is swept whole, once.
  const bool noted_removals = db->has_table("removed_contacts");
  // The schema's own transaction needs only these; the other statements
  // name its tables, so they are prepared once it is there.
  if (HRESULT hr = db->prepare_transactions(); FAILED(hr)) return hr;
  {
    Transaction txn = db->st_->write();
    if (txn.began() != SQLITE_OK) return hr_from_sqlite(txn.began());
    HRESULT hr = db->exec_locked(kSchema);
    if (SUCCEEDED(hr) && db->has_table("sqlite_sequence")) hr = db->exec_locked(kFoldSequence);
    if (SUCCEEDED(hr) && !noted_removals)
      hr = db->exec_locked("DELETE FROM properties WHERE oid NOT IN (SELECT oid FROM contacts)");
    if (SUCCEEDED(hr)) hr = hr_from_sqlite(txn.commit());
    if (FAILED(hr)) return hr;
  }
  if (HRESULT hr = db->prepare(); FAILED(hr)) return hr;
  if (HRESULT hr = db->migrate_file_as_locked(); FAILED(hr)) return hr;
  // Properties of contacts removed by a process that ended before purging
  // them.
  db->purge_pending_ = true;
  db->purge_locked();
  registry()[key] = db;
  *out = std::move(db);
  return S_OK;
}

ContactDatabase::ContactDatabase(sqlite3* db) : db_(db), st_(std::make_unique<Statements>()) {}

ContactDatabase::~ContactDatabase() {
  std::lock_guard registry_lock(g_registry_mutex);
  {
    std::lock_guard lock(mutex_);
    if (SUCCEEDED(flush_locked())) purge_locked();
  }
  st_.reset();
  // Closed while kept to this process: the next opening need not check the
  // whole file again.
  if (sqlite3_close_v2(db_) == SQLITE_OK && exclusive_) sql::note_closed_while_held(path_);
}

HRESULT ContactDatabase::exec_locked(const char* sql) {
  return hr_from_sqlite(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

// Replaces SQLite's automatic checkpoint (which this hook turns off) with the
// same PASSIVE checkpoint at kCheckpointPages pages instead of 1000: each
// checkpoint costs the saving thread two fsyncs, and a restore writes a page
// or two per save. Between checkpoints, every kWritebackPages pages the
// kernel is asked to start writing the log out, so the fsync that begins the
// next checkpoint finds most of it on the disk already instead of waiting
// for all of it. Nothing is waited for here, and what is durable when is
// unchanged. The bound is a few MiB, not more: the log takes room on the
// card that a restore needs for the contacts themselves (the transaction
// after a checkpoint cuts the file back to sql::kLogLimit).
int ContactDatabase::log_grew(void* self, sqlite3* db, const char* name, int pages) {
  auto* me = static_cast<ContactDatabase*>(self);
  if (pages >= kCheckpointPages) {
    sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    me->written_back_ = 0;
    return SQLITE_OK;
  }
  if (pages < me->written_back_) me->written_back_ = 0;  // the log started over
  if (pages - me->written_back_ >= kWritebackPages) {
    me->written_back_ = pages;
    const int fd = ::open(me->wal_path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
      ::close(fd);
    }
  }
  return SQLITE_OK;
}

bool ContactDatabase::has_table(const char* name) {
  sqlite3_stmt* s = nullptr;
  bool found =
      sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1", -1,
                         &s, nullptr) == SQLITE_OK &&
      sqlite3_bind_text(s, 1, name, -1, SQLITE_STATIC) == SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW;
  sqlite3_finalize(s);
  return found;
}

HRESULT ContactDatabase::prepare_transactions() {
  Statements& s = *st_;
  bool ok = s.begin.prepare(db_, "BEGIN IMMEDIATE") && s.begin_read.prepare(db_, "BEGIN") &&
            s.commit.prepare(db_, "COMMIT") && s.rollback.prepare(db_, "ROLLBACK");
  return ok ? S_OK : hr_from_sqlite(sqlite3_errcode(db_));
}

HRESULT ContactDatabase::prepare() {
  std::string in = "?1";
  for (int i = 2; i <= kLoadChunk; ++i) in += ",?" + std::to_string(i);
  Statements& s = *st_;
  bool ok =
      s.insert_contact.prepare(db_,
                               "INSERT INTO contacts(oid, fileas_key) VALUES(max("
                               "coalesce((SELECT max(oid) FROM contacts), 0),"
                               " (SELECT max(oid) FROM oid_high_water)) + 1, ?1)") &&
      s.raise_high_water.prepare(db_, "UPDATE oid_high_water SET oid = max(oid, ?1)") &&
      s.contact_exists.prepare(db_, "SELECT 1 FROM contacts WHERE oid = ?1") &&
      s.update_key.prepare(db_, "UPDATE contacts SET fileas_key = ?2 WHERE oid = ?1") &&
      s.delete_prop.prepare(db_, "DELETE FROM properties WHERE oid = ?1 AND tag = ?2") &&
      s.delete_contact.prepare(db_, "DELETE FROM contacts WHERE oid = ?1") &&
      s.delete_contact_props.prepare(db_, "DELETE FROM properties WHERE oid = ?1") &&
      s.note_removed.prepare(db_, "INSERT OR IGNORE INTO removed_contacts(oid) VALUES(?1)") &&
      s.any_removed.prepare(db_, "SELECT 1 FROM removed_contacts LIMIT 1") &&
      s.list_removed.prepare(db_, "SELECT oid FROM removed_contacts ORDER BY oid") &&
      s.forget_removed.prepare(db_, "DELETE FROM removed_contacts") &&
      s.order.prepare(db_, "SELECT oid FROM contacts ORDER BY fileas_key, oid") &&
      s.load_chunk.prepare(db_,
                           "SELECT c.oid, p.tag, p.value FROM contacts c LEFT JOIN properties p"
                           " ON p.oid = c.oid WHERE c.oid IN (" +
                               in + ")") &&
      s.load_one.prepare(db_,
                         "SELECT c.oid, p.tag, p.value FROM contacts c LEFT JOIN properties p"
                         " ON p.oid = c.oid WHERE c.oid = ?1") &&
      s.data_version.prepare(db_, "PRAGMA data_version");
  return ok ? S_OK : hr_from_sqlite(sqlite3_errcode(db_));
}

// Gives each contact of an older database that has no file-as name the one
// a save now gives, in one transaction, once.
HRESULT ContactDatabase::migrate_file_as_locked() {
  sqlite3_stmt* version = nullptr;
  int rc = sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &version, nullptr);
  const bool done =
      rc == SQLITE_OK && sqlite3_step(version) == SQLITE_ROW && sqlite3_column_int(version, 0) >= 1;
  sqlite3_finalize(version);
  if (rc != SQLITE_OK) return hr_from_sqlite(rc);
  if (done) return S_OK;

  Transaction txn = st_->write();
  if (txn.began() != SQLITE_OK) return hr_from_sqlite(txn.began());
  std::vector<long> unnamed;
  {
    Stmt q;
    if (!q.prepare(db_, "SELECT oid FROM contacts WHERE fileas_key = ''"))
      return hr_from_sqlite(sqlite3_errcode(db_));
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW)
      unnamed.push_back(static_cast<long>(sqlite3_column_int64(q.get(), 0)));
  }
  Loaded loaded;
  HRESULT hr = rc == SQLITE_DONE ? load_locked(unnamed, &loaded) : hr_from_sqlite(rc);
  for (auto it = loaded.begin(); SUCCEEDED(hr) && it != loaded.end(); ++it) {
    if (has_file_as(it->second)) continue;
    const std::u16string name = default_file_as(it->second);
    if (name.empty()) continue;
    const std::string key = utf8(fold_case(name));
    sqlite3_stmt* put = st_->upsert_rows[0].get();
    if (!put && !st_->upsert_rows[0].prepare(db_, upsert_sql(1))) {
      hr = hr_from_sqlite(sqlite3_errcode(db_));
      break;
    }
    put = st_->upsert_rows[0].get();
    sqlite3_bind_int64(put, 1, it->first);
    sqlite3_bind_int64(put, 2, PIMPR_FILEAS);
    sql::bind_text(put, 3, name);
    hr = hr_from_sqlite(st_->upsert_rows[0].run());
    if (FAILED(hr)) break;
    sqlite3_bind_int64(st_->update_key.get(), 1, it->first);
    sqlite3_bind_text(st_->update_key.get(), 2, key.data(), static_cast<int>(key.size()),
                      SQLITE_TRANSIENT);
    hr = hr_from_sqlite(st_->update_key.run());
  }
  if (SUCCEEDED(hr)) hr = exec_locked("PRAGMA user_version = 1");
  if (SUCCEEDED(hr)) hr = hr_from_sqlite(txn.commit());
  return hr;
}

}  // namespace vardel::poom
