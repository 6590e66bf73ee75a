// SQLite's result codes as HRESULTs and exceptions.
#include "platform/sql/errors.h"

#include <sqlite3.h>

namespace vardel::sql {

HRESULT hr_from_sqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return S_OK;
    case SQLITE_FULL:
      return STG_E_MEDIUMFULL;
    case SQLITE_NOMEM:
      return E_OUTOFMEMORY;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return kHrCorrupt;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kHrBusy;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return kHrOpenFailed;
    default:
      return E_FAIL;
  }
}

void raise(sqlite3* db, const std::string& where, const char* what) {
  const int rc = db ? sqlite3_extended_errcode(db) : SQLITE_NOMEM;
  throw Error(where + " " + what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"),
              rc == SQLITE_OK ? SQLITE_ERROR : rc);
}

}  // namespace vardel::sql
