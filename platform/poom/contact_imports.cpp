// The files imports took contacts from: looked up before an import, noted
// by replace() in the import's own transaction (sql/imported_files.h).
#include "platform/poom/contact_database.h"

namespace vardel::poom {

HRESULT ContactDatabase::imported_when(const sql::FileIdentity& file,
                                       std::optional<std::int64_t>* when) {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = flush_locked(); FAILED(hr)) return hr;
  return sql::imported_when(db_, file, when);
}

}  // namespace vardel::poom
