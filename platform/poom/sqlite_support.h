// SQLite as the contacts database uses it: prepared statements, SQLite's
// result codes as HRESULTs, and the check of an existing file before it is
// opened for writing.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <string>

#include "platform/core/types.h"

namespace vardel::poom {

// A prepared statement, reset after each use.
class Stmt {
 public:
  Stmt() = default;
  ~Stmt() { sqlite3_finalize(s_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  bool prepare(sqlite3* db, const std::string& sql) {
    return sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s_, nullptr) ==
           SQLITE_OK;
  }
  sqlite3_stmt* get() const { return s_; }
  // Runs a statement that returns no rows.
  int run() {
    int rc = sqlite3_step(s_);
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
  }
  void done() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }

 private:
  sqlite3_stmt* s_ = nullptr;
};

// The HRESULT for a SQLite result code: S_OK for OK, DONE and ROW,
// STG_E_MEDIUMFULL, E_OUTOFMEMORY, kHrCorrupt, kHrOpenFailed, else E_FAIL.
HRESULT hr_from_sqlite(int rc);

// Examines an existing file without writing to it: it must be a SQLite
// database that passes the quick check and is empty or holds our tables.
HRESULT check_contacts_file(const std::filesystem::path& path);

}  // namespace vardel::poom
