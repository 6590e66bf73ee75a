// SQLite as the contacts database uses it (see sqlite_support.h).
#include "platform/poom/sqlite_support.h"

#include <string_view>
#include <system_error>

#include "platform/poom/contact_database.h"

namespace vardel::poom {

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
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return kHrOpenFailed;
    default:
      return E_FAIL;
  }
}

// Examines an existing file without writing to it: it must be a SQLite
// database that passes the quick check and is empty or holds our tables.
HRESULT check_contacts_file(const std::filesystem::path& path) {
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  if (ec || status.type() == std::filesystem::file_type::not_found) return S_OK;
  if (status.type() != std::filesystem::file_type::regular) return kHrOpenFailed;
  if (std::filesystem::file_size(path, ec) == 0 && !ec) return S_OK;

  // Without a write-ahead log beside it the file alone is the database: open
  // it as immutable, so that not even the -wal and -shm companions a
  // read-only connection makes appear. With a log, read both as they are.
  std::string uri = "file:";
  for (char c : path.string()) {
    if (c == '%')
      uri += "%25";
    else if (c == '?')
      uri += "%3f";
    else if (c == '#')
      uri += "%23";
    else
      uri += c;
  }
  uri += std::filesystem::exists(path.string() + "-wal", ec) ? "?mode=ro" : "?immutable=1";
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  HRESULT hr = S_OK;
  if (rc != SQLITE_OK) {
    hr = hr_from_sqlite(rc);
  } else {
    sqlite3_stmt* s = nullptr;
    rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &s, nullptr);
    if (rc == SQLITE_OK) {
      rc = sqlite3_step(s);
      const auto* text =
          rc == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(s, 0)) : nullptr;
      if (!text || std::string_view(text) != "ok")
        hr = rc == SQLITE_ROW ? kHrCorrupt : hr_from_sqlite(rc);
    } else {
      hr = hr_from_sqlite(rc);
    }
    sqlite3_finalize(s);
    if (SUCCEEDED(hr)) {
      int tables = -1;
      s = nullptr;
      if (sqlite3_prepare_v2(db,
                             "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name NOT "
                             "LIKE 'sqlite_%'",
                             -1, &s, nullptr) == SQLITE_OK &&
          sqlite3_step(s) == SQLITE_ROW)
        tables = sqlite3_column_int(s, 0);
      sqlite3_finalize(s);
      if (tables < 0) {
        hr = kHrCorrupt;
      } else if (tables > 0) {
        // Something else's database, or ours with a damaged schema.
        for (const char* probe : {"SELECT oid, fileas_key FROM contacts LIMIT 0",
                                  "SELECT oid, tag, value FROM properties LIMIT 0"}) {
          s = nullptr;
          if (sqlite3_prepare_v2(db, probe, -1, &s, nullptr) != SQLITE_OK) hr = kHrCorrupt;
          sqlite3_finalize(s);
        }
      }
    }
  }
  sqlite3_close_v2(db);
  return hr;
}

}  // namespace vardel::poom
