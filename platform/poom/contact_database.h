// The contacts database behind the object model.
//
// Schema: contacts(oid INTEGER PRIMARY KEY, fileas_key TEXT), properties(oid,
// tag, value) keyed by (oid, tag), and oid_high_water(oid), the highest oid
// ever removed. The oid is never reused, so it is also the creation order;
// fileas_key is the FileAs text case-folded (vardel::fold_case), so ordering
// by (fileas_key, oid) puts contacts whose FileAs differ only in case side by
// side, in the order they were created. Texts are stored as UTF-8, dates as
// FILETIME ticks. contact_uids(oid, uid) holds the contacts' vCard UIDs
// (contact_uids.cpp); imported_files the files imports took the contacts
// from (contact_imports.cpp). Every read starts from the contacts table, so properties
// whose contact is gone are never seen.
//
// One connection per database file per process, shared by every application
// object (and the host-side tools) through ContactDatabase::open: objects on
// one thread or on several see each other's work without waiting on each
// other's locks. Every method takes the connection's mutex.
//
// Loaded contacts are kept in a bounded cache of the connection
// (PropsCache), keyed by oid: a save updates its entry and a removal drops
// it, so every application object of the process (they share this
// connection) reads what was last committed. A commit by another process
// (PRAGMA data_version moves) empties the cache; that check takes a read
// transaction with its file locks, so it runs at most once per
// kForeignCheckAge: another process's changes show within that time. A
// connection that keeps the file's lock (opened with sql::Locking::exclusive
// by a process holding the device) never checks: no other process can
// commit. Reading one contact field by field then costs one load, not one
// per field.
//
// Saves are one transaction each. Removals are grouped: a removal joins an
// open removal transaction that commits after kRemoveBatch removals, after
// kRemoveBatchAge, or before anything else touches the database (a save, a
// new ordered list, a release of the collection). A removal deletes only the
// contact's row and notes its oid in removed_contacts; flush() purges the
// noted contacts' properties in one transaction, and opening the database
// purges any a dead process left noted (a file made before the notes is
// swept whole once). A process that dies inside a group loses at most that
// group's removals; the contacts then remain, whole. Nothing is done at
// process end (vardel leaves with std::_Exit): a connection commits its
// group, purges and closes when its last holder lets it go, as every job and
// device tool does before the program ends. This is what makes
// removing half of a large folder take well under a second instead of one
// commit per contact: a removal dirties pages all over the file, and a group
// writes each such page once.
//
// Every transaction is held by a guard (sql::Transaction) that rolls it
// back unless it was committed, so neither a failure nor an exception
// leaves one open; only a removal group stays open across calls, by design.
//
// Every contact has a file-as name when it has anything to make one from: a
// save gives one to a contact that lacks it, and a database made before
// that rule is given them once when it is opened (user_version 1).
//
// Fault points: "poom.RemoveGroup.Commit" (a removal group's commit),
// "poom.ReplaceContacts.Commit" (the commit of a replace or an import),
// "poom.Database.Write" (one contact's rows, inside its transaction).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/poom/props.h"
#include "platform/poom/props_cache.h"
#include "platform/sql/errors.h"
#include "platform/sql/imported_files.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vardel::poom {

// HRESULTs of the store.
inline constexpr HRESULT kHrCorrupt = sql::kHrCorrupt;                    // ERROR_FILE_CORRUPT
inline constexpr HRESULT kHrOpenFailed = sql::kHrOpenFailed;              // ERROR_OPEN_FAILED
inline constexpr HRESULT kHrNotFound = static_cast<HRESULT>(0x80070490);  // ERROR_NOT_FOUND

class ContactDatabase {
 public:
  static constexpr int kRemoveBatch = 2048;
  static constexpr std::chrono::milliseconds kRemoveBatchAge{200};
  static constexpr std::chrono::milliseconds kForeignCheckAge{50};
  static constexpr int kCheckpointPages = 1024;  // 4 MiB of log at most, normally
  static constexpr int kWritebackPages = 256;
  // The connection's page cache (contact_database.cpp says why it is this
  // size).
  static constexpr const char* kCacheSize = "PRAGMA cache_size = -8192";

  // The process's connection to the database at `path`, opened (and the
  // database created with its folder) if needed. A file that is not a
  // contacts database of ours, or fails SQLite's quick check, is refused with
  // a negative HRESULT and left untouched: it is examined read-only first.
  // The device's own database, opened while this process holds the device
  // (device_lock.h), keeps the file's lock until the connection closes and
  // no longer looks for other processes' commits.
  static HRESULT open(const std::filesystem::path& path, std::shared_ptr<ContactDatabase>* out);

  ~ContactDatabase();
  ContactDatabase(const ContactDatabase&) = delete;
  ContactDatabase& operator=(const ContactDatabase&) = delete;

  // Every contact's oid in the folder's order.
  HRESULT ordered_oids(std::vector<long>* out);

  // The properties of those contacts that exist, appended to *out in no
  // particular order; a contact without properties has an empty set.
  HRESULT load(std::span<const long> oids, std::vector<std::pair<long, SharedProps>>* out);
  // One contact's properties; kHrNotFound when it does not exist.
  HRESULT load_one(long oid, SharedProps* out);

  // Stores edits in one transaction. *oid 0 creates the contact and sets
  // *oid. kHrNotFound when the contact no longer exists. A contact that would
  // be left without a file-as name gets the one the phone makes
  // (default_file_as), and `edits` gains it, so the caller's copy of the
  // contact shows what was stored. `stored`, when given, is the caller's
  // copy of the contact's properties, replaced by what they now are.
  HRESULT save(long* oid, PropEdits& edits, SharedProps* stored = nullptr);

  // Deletes the contacts `remove` (those already gone are passed over) and
  // creates one contact per edits of `add` (given file-as names as a save
  // gives them), all in one transaction: on failure nothing has changed.
  // *oids receives the new contacts' oids.
  // uids, when given, are the UIDs the added contacts came with, in add's
  // order ("" for none); one another contact holds already is not kept.
  // imported, when given, is the file the contacts came from, noted as
  // imported now in the same transaction (sql/imported_files.h).
  HRESULT replace(std::span<const long> remove, std::span<PropEdits> add, std::vector<long>* oids,
                  std::span<const std::string> uids = {},
                  const sql::FileIdentity* imported = nullptr);

  // An import too large to hold at once, written in batches into one
  // transaction (contact_imports.cpp): begin_import opens it and takes the
  // connection for the calling thread until commit_import or end_import
  // (every other method waits, so none may be called on that thread
  // meanwhile); import_batch adds contacts as replace adds them; a
  // failure leaves the transaction open for end_import, which rolls it
  // back. commit_import notes the file, commits and gives the connection
  // back, rolling back when the commit fails.
  HRESULT begin_import();
  HRESULT import_batch(std::span<PropEdits> add, std::span<const std::string> uids,
                       std::vector<long>* oids);
  HRESULT commit_import(const sql::FileIdentity& imported);
  void end_import();

  // When that file was imported (FILETIME ticks, UTC), or nothing.
  HRESULT imported_when(const sql::FileIdentity& file, std::optional<std::int64_t>* when);

  // The contacts' UIDs, in the order of oids ("" for a contact that does not
  // exist). A contact without one is given a new UUID (version 4), stored in
  // the same transaction, so it is the same in every later export.
  HRESULT uids(std::span<const long> oids, std::vector<std::string>* out);

  // Stores `fill` on the contact `keep` and deletes the contact `remove`, in
  // one transaction of their own (pending removals are committed first): on
  // failure both contacts are as they were. kHrNotFound when `keep` no
  // longer exists.
  HRESULT fill_and_remove(long keep, const PropEdits& fill, long remove);

  // Deletes a contact (grouped, see above). S_OK also when it was gone.
  HRESULT remove(long oid);
  HRESULT remove_all();

  // Commits pending removals now, then purges the removed contacts'
  // properties.
  HRESULT flush();

  // Every contact with its properties, in the folder's order.
  HRESULT list(std::vector<std::pair<long, PropMap>>* out);

  // Advances whenever a save commits: cached properties older than this are
  // stale.
  std::uint64_t version() const { return version_.load(std::memory_order_acquire); }

 private:
  explicit ContactDatabase(sqlite3* db);
  HRESULT prepare_transactions();
  HRESULT prepare();
  HRESULT flush_locked();
  HRESULT write_locked(long* oid, const PropEdits& edits);
  HRESULT ordered_oids_locked(std::vector<long>* out);
  bool has_table(const char* name);
  static int log_grew(void* self, sqlite3* db, const char* name, int pages);
  HRESULT purge_locked();
  HRESULT exec_locked(const char* sql);
  // Appends (oid, properties) for each of oids that exists.
  using Loaded = std::vector<std::pair<long, PropMap>>;
  HRESULT load_locked(std::span<const long> oids, Loaded* out);
  HRESULT check_cache_locked();
  HRESULT add_default_file_as_locked(long oid, PropEdits& edits);
  HRESULT migrate_file_as_locked();
  void remember_locked(long oid, SharedProps props);
  HRESULT insert_uid_locked(long oid, const std::string& uid);

  std::mutex mutex_;
  std::unique_lock<std::mutex> import_lock_;  // held from begin_import to its end
  sqlite3* db_;
  std::atomic<std::uint64_t> version_{1};
  int pending_removals_ = 0;
  bool purge_pending_ = false;  // removals committed whose properties may remain
  bool exclusive_ = false;      // the connection keeps the file's lock
  long removed_high_ = 0;       // highest oid of the open removal group
  std::chrono::steady_clock::time_point batch_start_;
  PropsCache cache_;
  std::int64_t data_version_ = -1;  // of the cache's contents
  std::chrono::steady_clock::time_point checked_at_;
  std::filesystem::path path_;
  std::string wal_path_;
  int written_back_ = 0;  // log pages when writeback was last started

  struct Statements;
  std::unique_ptr<Statements> st_;
};

// A new random UUID (version 4) in its lower-case text form.
std::string new_contact_uid();

}  // namespace vardel::poom
