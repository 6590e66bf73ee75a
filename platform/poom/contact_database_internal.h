// What the contacts database's source files share: the prepared statements
// of a connection, with the guard (sql::Transaction) every transaction but
// a removal group is held by. Used only by contact_database*.cpp and
// contact_uids.cpp.
#pragma once

#include <sqlite3.h>

#include <string>

#include "platform/poom/contact_database.h"
#include "platform/sql/statement.h"
#include "platform/sql/transaction.h"

namespace vardel::poom {

// Contacts read with one statement at most ("IN (?1, ..., ?64)").
inline constexpr int kLoadChunk = 64;
// A save stores its properties with one statement of up to this many rows.
inline constexpr int kUpsertRows = 16;

// "INSERT OR REPLACE INTO properties ..." with `rows` rows of (oid, tag,
// value) parameters.
std::string upsert_sql(int rows);

using sql::Transaction;

struct ContactDatabase::Statements {
  sql::Statement begin, begin_read, commit, rollback;
  sql::Statement insert_contact, contact_exists, update_key, delete_prop;
  sql::Statement delete_contact, delete_contact_props, order, load_chunk, load_one,
      raise_high_water;
  sql::Statement note_removed, any_removed, list_removed, forget_removed;
  sql::Statement data_version;
  sql::Statement upsert_rows[kUpsertRows];  // [n - 1] stores n rows; prepared when first needed

  Transaction write() { return Transaction(begin, commit, rollback); }
  Transaction read() { return Transaction(begin_read, commit, rollback); }
};

}  // namespace vardel::poom
