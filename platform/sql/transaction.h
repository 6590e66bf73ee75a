// Transactions and savepoints held by a guard: one not committed (released,
// for a savepoint) is rolled back when the guard goes, so neither an early
// return nor an exception between its beginning and its end leaves it open.
// The stores hold every transaction that begins and ends in one call this
// way; one that stays open across calls by design (the contacts store's
// removal group, the messages store's read snapshot and the transactions
// its callers begin) is not a guard's.
//
// Results are SQLite's result codes; each store turns them into what its
// own callers get (HRESULTs at the COM boundary, sql::Error in the messages
// database). A guard belongs to its connection's thread, as the connection
// does.
#pragma once

#include <sqlite3.h>

#include <string>

#include "platform/sql/statement.h"

namespace vardel::sql {

class Transaction {
 public:
  // Begins by running `begin` (a prepared BEGIN or BEGIN IMMEDIATE); commit
  // and rollback are the connection's prepared COMMIT and ROLLBACK. All
  // three outlive the guard.
  Transaction(Statement& begin, Statement& commit, Statement& rollback)
      : db_(sqlite3_db_handle(begin.get())),
        commit_(&commit),
        rollback_(&rollback),
        rc_(begin.run()),
        open_(rc_ == SQLITE_OK) {}
  // Begins with the statement text `begin` ("BEGIN IMMEDIATE"), for a
  // connection that keeps no prepared ones for it.
  Transaction(sqlite3* db, const char* begin)
      : db_(db), rc_(sqlite3_exec(db, begin, nullptr, nullptr, nullptr)), open_(rc_ == SQLITE_OK) {}
  ~Transaction() {
    // A commit that failed may have ended the transaction already.
    if (open_ && !sqlite3_get_autocommit(db_)) run(rollback_, "ROLLBACK");
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // SQLITE_OK when it began; when it did not, there is nothing to roll back.
  int began() const { return rc_; }
  // SQLite's result code; a transaction whose commit fails is rolled back
  // when the guard goes.
  int commit() {
    const int rc = run(commit_, "COMMIT");
    if (rc == SQLITE_OK) open_ = false;
    return rc;
  }

 private:
  int run(Statement* prepared, const char* text) {
    return prepared ? prepared->run() : sqlite3_exec(db_, text, nullptr, nullptr, nullptr);
  }

  sqlite3* db_;
  Statement* commit_ = nullptr;
  Statement* rollback_ = nullptr;
  int rc_;
  bool open_;
};

// A savepoint: a transaction of its own outside one, a part that can be
// undone alone inside one. Not released, it is rolled back to and released,
// so the enclosing transaction goes on without its changes.
class Savepoint {
 public:
  // name: an SQL identifier, the same for the savepoint's whole life.
  Savepoint(sqlite3* db, const std::string& name)
      : db_(db),
        release_("RELEASE " + name),
        undo_("ROLLBACK TO " + name + "; RELEASE " + name),
        rc_(sqlite3_exec(db, ("SAVEPOINT " + name).c_str(), nullptr, nullptr, nullptr)),
        open_(rc_ == SQLITE_OK) {}
  ~Savepoint() {
    if (open_) sqlite3_exec(db_, undo_.c_str(), nullptr, nullptr, nullptr);
  }
  Savepoint(const Savepoint&) = delete;
  Savepoint& operator=(const Savepoint&) = delete;

  // SQLITE_OK when it began.
  int began() const { return rc_; }
  // Keeps its changes (commits them, outside a transaction). SQLite's result
  // code; one not released is undone when the guard goes.
  int release() {
    const int rc = sqlite3_exec(db_, release_.c_str(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) open_ = false;
    return rc;
  }

 private:
  sqlite3* db_;
  std::string release_;
  std::string undo_;  // kept ready: the destructor makes no strings
  int rc_;
  bool open_;
};

}  // namespace vardel::sql
