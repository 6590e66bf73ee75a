// The imported_files table (see imported_files.h).
#include "platform/sql/imported_files.h"

#include <sqlite3.h>

#include "platform/sql/errors.h"
#include "platform/sql/statement.h"

namespace vardel::sql {

namespace {

bool has_table(sqlite3* db) {
  Statement s;
  if (!s.prepare(db,
                 "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = "
                 "'imported_files'"))
    return false;
  return sqlite3_step(s.get()) == SQLITE_ROW;
}

}  // namespace

HRESULT imported_when(sqlite3* db, const FileIdentity& file, std::optional<std::int64_t>* when) {
  when->reset();
  if (!has_table(db)) return S_OK;
  Statement s;
  if (!s.prepare(db, "SELECT imported FROM imported_files WHERE sha256 = ?1 AND size = ?2"))
    return hr_from_sqlite(sqlite3_errcode(db));
  sqlite3_bind_text(s.get(), 1, file.sha256.data(), static_cast<int>(file.sha256.size()),
                    SQLITE_TRANSIENT);
  sqlite3_bind_int64(s.get(), 2, file.size);
  const int rc = sqlite3_step(s.get());
  if (rc == SQLITE_ROW) *when = sqlite3_column_int64(s.get(), 0);
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? S_OK : hr_from_sqlite(rc);
}

HRESULT note_imported(sqlite3* db, const FileIdentity& file, std::int64_t when) {
  int rc = sqlite3_exec(db,
                        "CREATE TABLE IF NOT EXISTS imported_files("
                        "  sha256 TEXT NOT NULL, size INTEGER NOT NULL, imported INTEGER NOT NULL,"
                        "  PRIMARY KEY(sha256, size)) WITHOUT ROWID",
                        nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return hr_from_sqlite(rc);
  Statement s;
  if (!s.prepare(db,
                 "INSERT OR REPLACE INTO imported_files(sha256, size, imported) "
                 "VALUES(?1, ?2, ?3)"))
    return hr_from_sqlite(sqlite3_errcode(db));
  sqlite3_bind_text(s.get(), 1, file.sha256.data(), static_cast<int>(file.sha256.size()),
                    SQLITE_TRANSIENT);
  sqlite3_bind_int64(s.get(), 2, file.size);
  sqlite3_bind_int64(s.get(), 3, when);
  return hr_from_sqlite(s.run());
}

}  // namespace vardel::sql
