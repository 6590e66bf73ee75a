// The few SQLite calls both halves of the history store make alike: a
// statement that must work (else sql::Error names what failed), UTF-8
// texts in and out.
#pragma once

#include <sqlite3.h>

#include <string>

#include "platform/sql/errors.h"

namespace vardel::history {

inline void exec(sqlite3* db, const char* sql, const char* what) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
    sql::raise(db, "history", what);
}

inline std::string column(sqlite3_stmt* s, int col) {
  const unsigned char* t = sqlite3_column_text(s, col);
  return t ? reinterpret_cast<const char*>(t) : "";
}

// Not named "bind": with std::string arguments, lookup would also find
// std::bind wherever <functional> is seen, and prefer it.
inline void bind_text(sqlite3_stmt* s, int index, const std::string& text) {
  sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace vardel::history
