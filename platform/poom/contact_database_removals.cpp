// The contacts database's removals: grouped removals (see
// contact_database.h), the purge of removed contacts' properties, and the
// removal of every contact.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/core/fault.h"
#include "platform/poom/contact_database.h"
#include "platform/poom/contact_database_internal.h"
#include "platform/sql/errors.h"

namespace vardel::poom {

using Stmt = sql::Statement;
using sql::hr_from_sqlite;

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
  Transaction txn = st_->write();
  if (txn.began() != SQLITE_OK) return hr_from_sqlite(txn.began());
  HRESULT hr = exec_locked(
      "UPDATE oid_high_water SET oid = max(oid, coalesce((SELECT max(oid) FROM contacts), 0));"
      " DELETE FROM properties; DELETE FROM contacts; DELETE FROM removed_contacts;"
      " DELETE FROM contact_uids;");
  if (SUCCEEDED(hr)) hr = hr_from_sqlite(txn.commit());
  if (SUCCEEDED(hr)) version_.fetch_add(1, std::memory_order_acq_rel);
  return hr;
}

}  // namespace vardel::poom
