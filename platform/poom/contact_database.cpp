// The contacts database: opening and checking, saves, grouped removals and
// batched property loads. See contact_database.h for the contract.
#include "platform/poom/contact_database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <system_error>
#include <unordered_map>

#include "platform/core/clock.h"
#include "platform/core/device.h"
#include "platform/core/device_lock.h"
#include "platform/core/fault.h"
#include "platform/core/wstr.h"
#include "platform/poom/file_as.h"
#include "platform/poom/objects.h"
#include "platform/poom/pimstore.h"
#include "platform/sql/database.h"
#include "platform/sql/errors.h"
#include "platform/sql/statement.h"

namespace vardel::poom {

using Stmt = sql::Statement;
using sql::hr_from_sqlite;

namespace {

constexpr int kLoadChunk = 64;
// A save stores its properties with one statement of up to this many rows.
constexpr int kUpsertRows = 16;

std::string upsert_sql(int rows) {
  std::string sql = "INSERT OR REPLACE INTO properties(oid, tag, value) VALUES";
  for (int i = 0; i < rows; ++i) {
    const int base = 3 * i;
    sql += (i ? ",(?" : "(?") + std::to_string(base + 1) + ",?" + std::to_string(base + 2) + ",?" +
           std::to_string(base + 3) + ")";
  }
  return sql;
}

void bind_value(sqlite3_stmt* s, int index, CEPROPID tag, const PropValue& v) {
  if (is_date_tag(tag)) {
    sqlite3_bind_int64(s, index, v.filetime);
  } else {
    sql::bind_text(s, index, v.text);
  }
}

// Reads a stored value into v. Texts are kept as UTF-8: ASCII, what most
// fields of a contact hold, is widened as it is, anything else goes through
// the full decoder. Loading is most of what a backup asks of the database.
void read_column(sqlite3_stmt* s, int col, CEPROPID tag, PropValue* v) {
  if (is_date_tag(tag)) {
    v->filetime = sqlite3_column_int64(s, col);
    return;
  }
  const unsigned char* p = sqlite3_column_text(s, col);
  if (!p) {
    v->text.clear();
    return;
  }
  const auto n = static_cast<std::size_t>(sqlite3_column_bytes(s, col));
  std::size_t ascii = 0;
  for (std::uint64_t word; ascii + sizeof word <= n; ascii += sizeof word) {
    std::memcpy(&word, p + ascii, sizeof word);
    if (word & 0x8080808080808080u) break;
  }
  while (ascii < n && p[ascii] < 0x80) ++ascii;
  if (ascii == n)
    v->text.assign(p, p + n);
  else
    v->text = utf16(std::string_view(reinterpret_cast<const char*>(p), n));
}

std::string fold_key(const PropEdits& edits) {
  auto it = edits.find(PIMPR_FILEAS);
  if (it == edits.end() || !it->second) return {};
  return utf8(fold_case(it->second->text));
}

bool stored(CEPROPID tag, const PropValue& v) { return is_date_tag(tag) || !v.text.empty(); }

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

// At exit, commits the removals of connections still open: a process that
// ends without releasing its collection keeps what it removed.
void flush_all_at_exit() {
  std::vector<std::shared_ptr<ContactDatabase>> open;
  {
    std::lock_guard lock(g_registry_mutex);
    for (auto& [path, weak] : registry())
      if (auto db = weak.lock()) open.push_back(std::move(db));
  }
  for (auto& db : open) db->flush();
}

// A transaction that is rolled back unless it was committed: a failure or
// an exception between its BEGIN and its COMMIT never leaves it open.
class Transaction {
 public:
  Transaction(Stmt& begin, Stmt& commit, Stmt& rollback)
      : commit_(commit), rollback_(rollback), rc_(begin.run()), open_(rc_ == SQLITE_OK) {}
  ~Transaction() {
    if (open_) rollback_.run();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // SQLITE_OK when it began.
  int began() const { return rc_; }
  // SQLite's result code; a commit that fails is rolled back.
  int commit() {
    const int rc = commit_.run();
    if (rc == SQLITE_OK) open_ = false;
    return rc;
  }

 private:
  Stmt& commit_;
  Stmt& rollback_;
  int rc_;
  bool open_;
};

}  // namespace

struct ContactDatabase::Statements {
  Stmt begin, begin_read, commit, rollback;
  Stmt insert_contact, contact_exists, update_key, delete_prop;
  Stmt delete_contact, delete_contact_props, order, load_chunk, load_one, raise_high_water;
  Stmt note_removed, any_removed, list_removed, forget_removed;
  Stmt data_version;
  Stmt upsert_rows[kUpsertRows];  // [n - 1] stores n rows; prepared when first needed

  Transaction write() { return Transaction(begin, commit, rollback); }
  Transaction read() { return Transaction(begin_read, commit, rollback); }
};

HRESULT ContactDatabase::open(const std::filesystem::path& path,
                              std::shared_ptr<ContactDatabase>* out) {
  *out = nullptr;
  if (path.empty()) return kHrOpenFailed;
  std::error_code ec;
  std::string key = std::filesystem::weakly_canonical(path, ec).string();
  if (ec) return kHrOpenFailed;

  std::lock_guard lock(g_registry_mutex);
  // The registry exists before the handler is registered, so it is still
  // there when the handler runs.
  static const bool at_exit_registered = (registry(), std::atexit(flush_all_at_exit) == 0);
  (void)at_exit_registered;
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
  // Room for the whole store of a large book (100,000 contacts take about
  // 42 MiB): a walk goes in file-as order, which is seldom the order the
  // contacts were made in, and with less room it reads the same pages from
  // the file again and again. The room is only taken as pages are read.
  if (HRESULT hr = db->exec_locked(kCacheSize); FAILED(hr)) return hr;
  db->path_ = path;
  db->wal_path_ = path.string() + "-wal";
  sqlite3_wal_hook(raw, &ContactDatabase::log_grew, db.get());
  // A file made before removals were noted may hold properties of removed
  // contacts anywhere: it is swept whole, once.
  const bool noted_removals = db->has_table("removed_contacts");
  HRESULT hr = db->exec_locked((std::string("BEGIN IMMEDIATE;") + kSchema).c_str());
  if (SUCCEEDED(hr) && db->has_table("sqlite_sequence")) hr = db->exec_locked(kFoldSequence);
  if (SUCCEEDED(hr) && !noted_removals)
    hr = db->exec_locked("DELETE FROM properties WHERE oid NOT IN (SELECT oid FROM contacts)");
  if (SUCCEEDED(hr)) hr = db->exec_locked("COMMIT");
  if (FAILED(hr)) {
    db->exec_locked("ROLLBACK");
    return hr;
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

HRESULT ContactDatabase::prepare() {
  std::string in = "?1";
  for (int i = 2; i <= kLoadChunk; ++i) in += ",?" + std::to_string(i);
  Statements& s = *st_;
  bool ok =
      s.begin.prepare(db_, "BEGIN IMMEDIATE") && s.begin_read.prepare(db_, "BEGIN") &&
      s.commit.prepare(db_, "COMMIT") && s.rollback.prepare(db_, "ROLLBACK") &&
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

HRESULT ContactDatabase::flush() {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = flush_locked(); FAILED(hr)) return hr;
  // A purge that fails is retried by the next flush, and the sweep when the
  // database is next opened finds whatever is left.
  purge_locked();
  return S_OK;
}

HRESULT ContactDatabase::flush_locked() {
  if (pending_removals_ == 0) return S_OK;
  pending_removals_ = 0;
  // The group's oids are retired with it.
  sqlite3_bind_int64(st_->raise_high_water.get(), 1, removed_high_);
  removed_high_ = 0;
  int rc = st_->raise_high_water.run();
  HRESULT hr = rc == SQLITE_OK ? fault::check("poom.RemoveGroup.Commit") : hr_from_sqlite(rc);
  if (SUCCEEDED(hr)) hr = hr_from_sqlite(st_->commit.run());
  if (FAILED(hr)) {
    // The group is undone as a whole, with its notes: those contacts stay,
    // complete.
    st_->rollback.run();
    return hr;
  }
  purge_pending_ = true;
  return S_OK;
}

HRESULT ContactDatabase::ordered_oids(std::vector<long>* out) {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = flush_locked(); FAILED(hr)) return hr;
  return ordered_oids_locked(out);
}

HRESULT ContactDatabase::ordered_oids_locked(std::vector<long>* out) {
  out->clear();
  sqlite3_stmt* s = st_->order.get();
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW)
    out->push_back(static_cast<long>(sqlite3_column_int64(s, 0)));
  st_->order.done();
  return rc == SQLITE_DONE ? S_OK : hr_from_sqlite(rc);
}

// A batch of contacts is read with one statement ("IN (...)"), a single
// contact with a plain seek.
HRESULT ContactDatabase::load_locked(std::span<const long> oids, Loaded* out) {
  for (std::size_t start = 0; start < oids.size(); start += kLoadChunk) {
    const std::size_t n = std::min<std::size_t>(kLoadChunk, oids.size() - start);
    Stmt& st = n == 1 ? st_->load_one : st_->load_chunk;
    sqlite3_stmt* s = st.get();
    for (std::size_t i = 0; i < n; ++i)
      sqlite3_bind_int64(s, static_cast<int>(i + 1), oids[start + i]);
    int rc;
    // Rows come contact by contact, each contact's in ascending tag order.
    long current = 0;
    PropMap* props = nullptr;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      const auto oid = static_cast<long>(sqlite3_column_int64(s, 0));
      if (!props || oid != current) {
        props = &out->emplace_back(oid, PropMap()).second;
        current = oid;
      }
      // A contact without properties comes as one row whose tag is NULL
      // (read as 0; its type is asked only then).
      const auto tag = static_cast<CEPROPID>(sqlite3_column_int64(s, 1));
      if (tag == 0 && sqlite3_column_type(s, 1) == SQLITE_NULL) continue;
      read_column(s, 2, tag, &props->emplace_hint(props->end(), tag, PropValue())->second);
    }
    st.done();
    if (rc != SQLITE_DONE) return hr_from_sqlite(rc);
  }
  return S_OK;
}

// Empties the cache when another connection has committed since it was
// filled.
HRESULT ContactDatabase::check_cache_locked() {
  // No other process can commit while this connection keeps the file's lock.
  if (exclusive_) return S_OK;
  const auto now_time = std::chrono::steady_clock::now();
  if (data_version_ >= 0 && now_time - checked_at_ < kForeignCheckAge) return S_OK;
  sqlite3_stmt* s = st_->data_version.get();
  int rc = sqlite3_step(s);
  const std::int64_t now = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
  st_->data_version.done();
  if (rc != SQLITE_ROW) {
    cache_.clear();
    data_version_ = -1;
    return hr_from_sqlite(rc);
  }
  if (now != data_version_) {
    cache_.clear();
    data_version_ = now;
  }
  checked_at_ = now_time;
  return S_OK;
}

void ContactDatabase::remember_locked(long oid, SharedProps props) {
  cache_.put(oid, std::move(props));
}

HRESULT ContactDatabase::load_one(long oid, SharedProps* out) {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = check_cache_locked(); FAILED(hr)) return hr;
  if (const SharedProps* cached = cache_.find(oid)) {
    *out = *cached;
    return S_OK;
  }
  Loaded loaded;
  const long one[] = {oid};
  if (HRESULT hr = load_locked(one, &loaded); FAILED(hr)) return hr;
  if (loaded.empty()) return kHrNotFound;
  auto shared = std::make_shared<const PropMap>(std::move(loaded.front().second));
  remember_locked(oid, shared);
  *out = std::move(shared);
  return S_OK;
}

HRESULT ContactDatabase::load(std::span<const long> oids,
                              std::vector<std::pair<long, SharedProps>>* out) {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = check_cache_locked(); FAILED(hr)) return hr;
  std::vector<long> missing;
  for (long oid : oids) {
    if (const SharedProps* cached = cache_.find(oid))
      out->emplace_back(oid, *cached);
    else
      missing.push_back(oid);
  }
  if (missing.empty()) return S_OK;
  Loaded loaded;
  loaded.reserve(missing.size());
  if (HRESULT hr = load_locked(missing, &loaded); FAILED(hr)) return hr;
  for (auto& [oid, props] : loaded) {
    auto shared = std::make_shared<const PropMap>(std::move(props));
    remember_locked(oid, shared);
    out->emplace_back(oid, std::move(shared));
  }
  return S_OK;
}

HRESULT ContactDatabase::save(long* oid, PropEdits& edits, SharedProps* stored) {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = flush_locked(); FAILED(hr)) return hr;
  if (HRESULT hr = add_default_file_as_locked(*oid, edits); FAILED(hr)) return hr;
  long target = *oid;
  {
    Transaction txn = st_->write();
    if (txn.began() != SQLITE_OK) return hr_from_sqlite(txn.began());
    if (HRESULT hr = write_locked(&target, edits); FAILED(hr)) return hr;
    if (int rc = txn.commit(); rc != SQLITE_OK) {
      cache_.erase(target);
      return hr_from_sqlite(rc);
    }
  }
  version_.fetch_add(1, std::memory_order_acq_rel);
  // What is now stored: a new contact holds just the edits; a cached one
  // takes them on top. Any other is loaded when next asked for. The caller's
  // copy is usually the cached one: the edits are then applied once.
  SharedProps before = stored ? *stored : nullptr;
  SharedProps after = stored ? apply_edits(before, edits) : nullptr;
  if (*oid == 0) {
    remember_locked(target, after ? after : apply_edits(nullptr, edits));
  } else if (SharedProps* cached = cache_.find(target)) {
    *cached = after && *cached == before ? after : apply_edits(*cached, edits);
  }
  if (stored) *stored = std::move(after);
  *oid = target;
  return S_OK;
}

// Inside the caller's transaction; the caller rolls back on failure.
HRESULT ContactDatabase::write_locked(long* oid, const PropEdits& edits) {
  if (HRESULT hr = fault::check("poom.Database.Write"); FAILED(hr)) return hr;
  Statements& s = *st_;
  long target = *oid;
  if (target == 0) {
    std::string key = fold_key(edits);
    sqlite3_bind_text(s.insert_contact.get(), 1, key.data(), static_cast<int>(key.size()),
                      SQLITE_TRANSIENT);
    if (int rc = s.insert_contact.run(); rc != SQLITE_OK) return hr_from_sqlite(rc);
    target = static_cast<long>(sqlite3_last_insert_rowid(db_));
  } else {
    sqlite3_bind_int64(s.contact_exists.get(), 1, target);
    int rc = sqlite3_step(s.contact_exists.get());
    s.contact_exists.done();
    if (rc == SQLITE_DONE) return kHrNotFound;
    if (rc != SQLITE_ROW) return hr_from_sqlite(rc);
    if (edits.count(PIMPR_FILEAS)) {
      std::string key = fold_key(edits);
      sqlite3_bind_int64(s.update_key.get(), 1, target);
      sqlite3_bind_text(s.update_key.get(), 2, key.data(), static_cast<int>(key.size()),
                        SQLITE_TRANSIENT);
      if (int urc = s.update_key.run(); urc != SQLITE_OK) return hr_from_sqlite(urc);
    }
  }
  *oid = target;
  std::vector<std::pair<CEPROPID, const PropValue*>> rows;
  rows.reserve(edits.size());
  for (const auto& [tag, value] : edits) {
    if (value && stored(tag, *value)) {
      rows.emplace_back(tag, &*value);
      continue;
    }
    sqlite3_bind_int64(s.delete_prop.get(), 1, target);
    sqlite3_bind_int64(s.delete_prop.get(), 2, tag);
    if (int rc = s.delete_prop.run(); rc != SQLITE_OK) return hr_from_sqlite(rc);
  }
  for (std::size_t start = 0; start < rows.size(); start += kUpsertRows) {
    const int n = static_cast<int>(std::min<std::size_t>(kUpsertRows, rows.size() - start));
    Stmt& st = s.upsert_rows[n - 1];
    if (!st.get() && !st.prepare(db_, upsert_sql(n))) {
      int rc = sqlite3_errcode(db_);
      return hr_from_sqlite(rc == SQLITE_OK ? SQLITE_ERROR : rc);
    }
    for (int i = 0; i < n; ++i) {
      const auto& [tag, value] = rows[start + static_cast<std::size_t>(i)];
      sqlite3_bind_int64(st.get(), 3 * i + 1, target);
      sqlite3_bind_int64(st.get(), 3 * i + 2, tag);
      bind_value(st.get(), 3 * i + 3, tag, *value);
    }
    if (int rc = st.run(); rc != SQLITE_OK) return hr_from_sqlite(rc);
  }
  return S_OK;
}

HRESULT ContactDatabase::replace(std::span<const long> remove, std::span<PropEdits> add,
                                 std::vector<long>* oids, std::span<const std::string> uids,
                                 const sql::FileIdentity* imported) {
  std::lock_guard lock(mutex_);
  oids->clear();
  if (HRESULT hr = flush_locked(); FAILED(hr)) return hr;
  // New contacts get their file-as names as a save gives them.
  for (PropEdits& edits : add)
    if (HRESULT hr = add_default_file_as_locked(0, edits); FAILED(hr)) return hr;
  Statements& s = *st_;
  Transaction txn = s.write();
  if (txn.began() != SQLITE_OK) return hr_from_sqlite(txn.began());
  auto fail = [&](HRESULT hr) {
    oids->clear();
    return hr;
  };
  long high = 0;
  for (long oid : remove) {
    sqlite3_bind_int64(s.delete_contact.get(), 1, oid);
    if (int rc = s.delete_contact.run(); rc != SQLITE_OK) return fail(hr_from_sqlite(rc));
    sqlite3_bind_int64(s.delete_contact_props.get(), 1, oid);
    if (int rc = s.delete_contact_props.run(); rc != SQLITE_OK) return fail(hr_from_sqlite(rc));
    high = std::max(high, oid);
  }
  // The removed oids are retired, as a removal group retires its own.
  sqlite3_bind_int64(s.raise_high_water.get(), 1, high);
  if (int rc = s.raise_high_water.run(); rc != SQLITE_OK) return fail(hr_from_sqlite(rc));
  oids->reserve(add.size());
  for (const PropEdits& edits : add) {
    long oid = 0;
    if (HRESULT hr = write_locked(&oid, edits); FAILED(hr)) return fail(hr);
    const std::size_t k = oids->size();
    if (k < uids.size() && !uids[k].empty())
      if (HRESULT hr = insert_uid_locked(oid, uids[k]); FAILED(hr)) return fail(hr);
    oids->push_back(oid);
  }
  if (imported)
    if (HRESULT hr =
            sql::note_imported(db_, *imported, static_cast<std::int64_t>(clock::utc_ticks()));
        FAILED(hr))
      return fail(hr);
  if (HRESULT hr = fault::check("poom.ReplaceContacts.Commit"); FAILED(hr)) return fail(hr);
  if (int rc = txn.commit(); rc != SQLITE_OK) return fail(hr_from_sqlite(rc));
  version_.fetch_add(1, std::memory_order_acq_rel);
  for (long oid : remove) cache_.erase(oid);
  for (std::size_t i = 0; i < add.size(); ++i)
    remember_locked((*oids)[i], apply_edits(nullptr, add[i]));
  return S_OK;
}

HRESULT ContactDatabase::fill_and_remove(long keep, const PropEdits& fill, long remove) {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = flush_locked(); FAILED(hr)) return hr;
  Statements& s = *st_;
  {
    Transaction txn = s.write();
    if (txn.began() != SQLITE_OK) return hr_from_sqlite(txn.began());
    long target = keep;
    if (HRESULT hr = write_locked(&target, fill); FAILED(hr)) return hr;
    // Deleted whole here, not noted for the purge: the transaction is a
    // single one either way.
    sqlite3_bind_int64(s.delete_contact.get(), 1, remove);
    if (int rc = s.delete_contact.run(); rc != SQLITE_OK) return hr_from_sqlite(rc);
    sqlite3_bind_int64(s.delete_contact_props.get(), 1, remove);
    if (int rc = s.delete_contact_props.run(); rc != SQLITE_OK) return hr_from_sqlite(rc);
    sqlite3_bind_int64(s.raise_high_water.get(), 1, remove);
    if (int rc = s.raise_high_water.run(); rc != SQLITE_OK) return hr_from_sqlite(rc);
    if (HRESULT hr = fault::check("poom.FillAndRemove.Commit"); FAILED(hr)) return hr;
    if (int rc = txn.commit(); rc != SQLITE_OK) return hr_from_sqlite(rc);
  }
  version_.fetch_add(1, std::memory_order_acq_rel);
  // The kept contact is loaded afresh when next asked for.
  cache_.erase(keep);
  cache_.erase(remove);
  return S_OK;
}

HRESULT ContactDatabase::add_default_file_as_locked(long oid, PropEdits& edits) {
  if (auto it = edits.find(PIMPR_FILEAS);
      it != edits.end() && it->second && !it->second->text.empty())
    return S_OK;
  SharedProps current;
  if (oid != 0) {
    if (HRESULT hr = check_cache_locked(); FAILED(hr)) return hr;
    if (const SharedProps* cached = cache_.find(oid)) {
      current = *cached;
    } else {
      Loaded loaded;
      const long one[] = {oid};
      if (HRESULT hr = load_locked(one, &loaded); FAILED(hr)) return hr;
      if (!loaded.empty())
        current = std::make_shared<const PropMap>(std::move(loaded.front().second));
    }
    // The usual update (a restore's second save) leaves a file-as name alone.
    if (current && !edits.count(PIMPR_FILEAS) && has_file_as(*current)) return S_OK;
  }
  const SharedProps after = apply_edits(current, edits);
  if (has_file_as(*after)) return S_OK;
  if (std::u16string name = default_file_as(*after); !name.empty())
    edits[PIMPR_FILEAS] = PropValue{std::move(name), 0};
  return S_OK;
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

HRESULT ContactDatabase::remove(long oid) {
  std::lock_guard lock(mutex_);
  Statements& s = *st_;
  if (pending_removals_ == 0) {
    if (int rc = s.begin.run(); rc != SQLITE_OK) return hr_from_sqlite(rc);
    batch_start_ = std::chrono::steady_clock::now();
  }
  ++pending_removals_;
  // Only the contact's row goes now, and a note of it in the same group (a
  // failing statement is undone alone, the group stays); its properties,
  // spread all over the file, are purged together later, by this process or
  // by the next to open the file. Until then nothing can reach them: every
  // read starts from the contacts table.
  cache_.erase(oid);
  sqlite3_bind_int64(s.delete_contact.get(), 1, oid);
  int rc = s.delete_contact.run();
  if (rc == SQLITE_OK && sqlite3_changes(db_) > 0) {
    sqlite3_bind_int64(s.note_removed.get(), 1, oid);
    rc = s.note_removed.run();
  }
  if (rc != SQLITE_OK) {
    --pending_removals_;
    flush_locked();
    return hr_from_sqlite(rc);
  }
  removed_high_ = std::max(removed_high_, oid);
  if (pending_removals_ >= kRemoveBatch ||
      std::chrono::steady_clock::now() - batch_start_ >= kRemoveBatchAge)
    return flush_locked();
  return S_OK;
}

HRESULT ContactDatabase::purge_locked() {
  if (!purge_pending_) return S_OK;
  Statements& s = *st_;
  int rc = sqlite3_step(s.any_removed.get());
  s.any_removed.done();
  if (rc == SQLITE_DONE) {
    purge_pending_ = false;
    return S_OK;
  }
  if (rc != SQLITE_ROW) return hr_from_sqlite(rc);
  Transaction txn = s.write();
  if (txn.began() != SQLITE_OK) return hr_from_sqlite(txn.began());
  // Contact by contact, in oid order: one statement over all of them would
  // first gather every key it deletes in a temporary table.
  std::vector<long> removed;
  sqlite3_stmt* list = s.list_removed.get();
  while ((rc = sqlite3_step(list)) == SQLITE_ROW)
    removed.push_back(static_cast<long>(sqlite3_column_int64(list, 0)));
  s.list_removed.done();
  if (rc != SQLITE_DONE) return hr_from_sqlite(rc);
  for (long oid : removed) {
    sqlite3_bind_int64(s.delete_contact_props.get(), 1, oid);
    if (rc = s.delete_contact_props.run(); rc != SQLITE_OK) return hr_from_sqlite(rc);
  }
  if (rc = s.forget_removed.run(); rc != SQLITE_OK) return hr_from_sqlite(rc);
  if (rc = txn.commit(); rc != SQLITE_OK) return hr_from_sqlite(rc);
  purge_pending_ = false;
  return S_OK;
}

HRESULT ContactDatabase::remove_all() {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = flush_locked(); FAILED(hr)) return hr;
  cache_.clear();
  HRESULT hr = exec_locked(
      "BEGIN IMMEDIATE;"
      " UPDATE oid_high_water SET oid = max(oid, coalesce((SELECT max(oid) FROM contacts), 0));"
      " DELETE FROM properties; DELETE FROM contacts; DELETE FROM removed_contacts;"
      " DELETE FROM contact_uids; COMMIT;");
  if (FAILED(hr))
    exec_locked("ROLLBACK");
  else
    version_.fetch_add(1, std::memory_order_acq_rel);
  return hr;
}

HRESULT ContactDatabase::list(std::vector<std::pair<long, PropMap>>* out) {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = flush_locked(); FAILED(hr)) return hr;
  out->clear();
  std::vector<long> oids;
  Loaded loaded;
  {
    // One read transaction, so the order and the properties agree.
    Transaction txn = st_->read();
    if (txn.began() != SQLITE_OK) return hr_from_sqlite(txn.began());
    HRESULT hr = ordered_oids_locked(&oids);
    if (SUCCEEDED(hr)) hr = load_locked(oids, &loaded);
    if (FAILED(hr)) return hr;
    txn.commit();
  }
  // The properties come in the database's order; the list is in the folder's.
  std::unordered_map<long, PropMap*> by_oid;
  by_oid.reserve(loaded.size());
  for (auto& [oid, props] : loaded) by_oid.emplace(oid, &props);
  out->reserve(oids.size());
  for (long oid : oids)
    if (auto it = by_oid.find(oid); it != by_oid.end())
      out->emplace_back(oid, std::move(*it->second));
  return S_OK;
}

}  // namespace vardel::poom
