// The contacts database's writes: one contact's save, the replace that
// imports and restores make in one transaction, the merge of a duplicate into
// the contact it duplicates, and the file-as name a save gives a contact
// that lacks one.
#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/core/clock.h"
#include "platform/core/fault.h"
#include "platform/core/wstr.h"
#include "platform/poom/contact_database.h"
#include "platform/poom/contact_database_internal.h"
#include "platform/poom/file_as.h"
#include "platform/poom/objects.h"
#include "platform/poom/pimstore.h"
#include "platform/sql/errors.h"
#include "platform/sql/imported_files.h"

namespace vardel::poom {

using Stmt = sql::Statement;
using sql::hr_from_sqlite;

std::string upsert_sql(int rows) {
  std::string sql = "INSERT OR REPLACE INTO properties(oid, tag, value) VALUES";
  for (int i = 0; i < rows; ++i) {
    const int base = 3 * i;
    sql += (i ? ",(?" : "(?") + std::to_string(base + 1) + ",?" + std::to_string(base + 2) + ",?" +
           std::to_string(base + 3) + ")";
  }
  return sql;
}

namespace {

void bind_value(sqlite3_stmt* s, int index, CEPROPID tag, const PropValue& v) {
  if (is_date_tag(tag)) {
    sqlite3_bind_int64(s, index, v.filetime);
  } else {
    sql::bind_text(s, index, v.text);
  }
}

std::string fold_key(const PropEdits& edits) {
  auto it = edits.find(PIMPR_FILEAS);
  if (it == edits.end() || !it->second) return {};
  return utf8(fold_case(it->second->text));
}

bool stored(CEPROPID tag, const PropValue& v) { return is_date_tag(tag) || !v.text.empty(); }

}  // namespace

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

}  // namespace vardel::poom
