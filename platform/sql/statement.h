// Prepared statements and texts, as both databases use them.
//
// Texts go in and come out as UTF-16, as everywhere in the platform; the
// databases hold them as UTF-8 (a lone surrogate, which UTF-8 cannot carry,
// is stored as U+FFFD). SQLite converts for a database made in another
// encoding, so such a file is read and written as it is.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace vardel::sql {

// A statement prepared once for the connection's life, reset after each
// use. Used on one thread at a time, as its connection is.
class Statement {
 public:
  Statement() = default;
  ~Statement() { sqlite3_finalize(s_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool prepare(sqlite3* db, std::string_view sql) {
    return sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &s_, nullptr) == SQLITE_OK;
  }
  sqlite3_stmt* get() const { return s_; }
  // Runs a statement that returns no rows: SQLITE_OK or the error code.
  int run() {
    int rc = sqlite3_step(s_);
    done();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
  }
  // Makes it ready for the next use: reset, bindings cleared.
  void done() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }

 private:
  sqlite3_stmt* s_ = nullptr;
};

// Binds a text (copied) to parameter index. SQLite's result code.
int bind_text(sqlite3_stmt* s, int index, std::u16string_view text);
// The text of a column of the current row ("" for NULL).
std::u16string column_text(sqlite3_stmt* s, int col);

}  // namespace vardel::sql
