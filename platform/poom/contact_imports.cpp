// The files imports took contacts from: looked up before an import, noted
// by replace() or commit_import() in the import's own transaction
// (sql/imported_files.h); and the import written in batches.
#include "platform/poom/contact_database.h"

#include "platform/core/clock.h"
#include "platform/core/fault.h"

namespace vardel::poom {

HRESULT ContactDatabase::imported_when(const sql::FileIdentity& file,
                                       std::optional<std::int64_t>* when) {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = flush_locked(); FAILED(hr)) return hr;
  return sql::imported_when(db_, file, when);
}

HRESULT ContactDatabase::begin_import() {
  std::unique_lock lock(mutex_);
  if (HRESULT hr = flush_locked(); FAILED(hr)) return hr;
  if (HRESULT hr = exec_locked("BEGIN IMMEDIATE"); FAILED(hr)) return hr;
  import_lock_ = std::move(lock);
  return S_OK;
}

HRESULT ContactDatabase::import_batch(std::span<PropEdits> add, std::span<const std::string> uids,
                                      std::vector<long>* oids) {
  oids->clear();
  if (!import_lock_.owns_lock()) return E_UNEXPECTED;
  oids->reserve(add.size());
  for (std::size_t i = 0; i < add.size(); ++i) {
    // New contacts get their file-as names as a save gives them.
    if (HRESULT hr = add_default_file_as_locked(0, add[i]); FAILED(hr)) return hr;
    long oid = 0;
    if (HRESULT hr = write_locked(&oid, add[i]); FAILED(hr)) return hr;
    if (i < uids.size() && !uids[i].empty())
      if (HRESULT hr = insert_uid_locked(oid, uids[i]); FAILED(hr)) return hr;
    oids->push_back(oid);
  }
  return S_OK;
}

HRESULT ContactDatabase::commit_import(const sql::FileIdentity& imported) {
  if (!import_lock_.owns_lock()) return E_UNEXPECTED;
  HRESULT hr = sql::note_imported(db_, imported, static_cast<std::int64_t>(clock::utc_ticks()));
  if (SUCCEEDED(hr)) hr = fault::check("poom.ReplaceContacts.Commit");
  if (SUCCEEDED(hr)) hr = exec_locked("COMMIT");
  if (FAILED(hr)) {
    end_import();
    return hr;
  }
  version_.fetch_add(1, std::memory_order_acq_rel);
  import_lock_.unlock();
  return S_OK;
}

void ContactDatabase::end_import() {
  if (!import_lock_.owns_lock()) return;
  exec_locked("ROLLBACK");
  import_lock_.unlock();
}

}  // namespace vardel::poom
