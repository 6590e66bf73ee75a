// Texts in and out of SQLite.
#include "platform/sql/statement.h"

#include "platform/core/wstr.h"

namespace vardel::sql {

int bind_text(sqlite3_stmt* s, int index, std::u16string_view text) {
  const std::string bytes = utf8(text);
  return sqlite3_bind_text(s, index, bytes.data(), static_cast<int>(bytes.size()),
                           SQLITE_TRANSIENT);
}

std::u16string column_text(sqlite3_stmt* s, int col) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, col));
  if (!p) return {};
  return utf16(std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(s, col))));
}

}  // namespace vardel::sql
