#include "host/history/history_check.h"

#include <sqlite3.h>

#include "platform/sql/database.h"
#include "platform/sql/errors.h"

namespace vardel::history {

namespace {

// The first column of a one-row query, or nothing when it fails.
bool single_text(sqlite3* db, const char* sql, std::string* out) {
  sqlite3_stmt* s = nullptr;
  bool ok =
      sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW;
  if (ok) {
    const unsigned char* t = sqlite3_column_text(s, 0);
    *out = t ? reinterpret_cast<const char*>(t) : "";
  }
  sqlite3_finalize(s);
  return ok;
}

}  // namespace

HistoryCheck check_history(const std::filesystem::path& file) {
  HistoryCheck out;
  sqlite3* db = nullptr;
  // An add cut off is undone first, as the history's own opening does.
  HRESULT hr = sql::put_back_cut_off_transaction(file);
  if (SUCCEEDED(hr))
    hr = sql::open_database_read_only(
        file,
        {"SELECT id, key, received, number, number_key, time, text, first_add, last_add "
         "FROM messages LIMIT 0",
         "SELECT id, file, seen FROM adds LIMIT 0",
         "SELECT id, fields, name FROM contacts LIMIT 0"},
        &db);
  if (FAILED(hr)) {
    out.detail = hr == sql::kHrCorrupt ? "damaged, or not a vardel history" : "cannot be opened";
    return out;
  }
  std::string result, messages, contacts;
  if (!single_text(db, "PRAGMA integrity_check(1)", &result)) {
    out.detail = sqlite3_errmsg(db);
  } else if (result != "ok") {
    out.detail = "damaged: " + result;
  } else if (!single_text(db, "SELECT count(*) FROM messages", &messages) ||
             !single_text(db, "SELECT count(*) FROM contacts", &contacts)) {
    out.detail = sqlite3_errmsg(db);
  } else {
    out.whole = true;
    out.messages = std::stoul(messages);
    out.contact_versions = std::stoul(contacts);
  }
  sqlite3_close_v2(db);
  return out;
}

}  // namespace vardel::history
