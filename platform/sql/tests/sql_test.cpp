// SQLite as both stores use it: texts stored as UTF-8 and read back as
// UTF-16, and a file examined before it is opened, refused untouched when it
// is damaged or not the store's.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/sql/database.h"
#include "platform/sql/errors.h"
#include "platform/sql/statement.h"
#include "platform/sql/transaction.h"
#include "platform/core/device_lock.h"
#include "test_support/files.h"
#include "test_support/temp_device.h"

namespace {

namespace fs = std::filesystem;
using namespace vardel;
using vardel::testing::read_file;
using vardel::testing::write_file;

constexpr sql::TableProbes kProbes = {"SELECT id, text FROM notes LIMIT 0"};

// The rows of the notes table, or -1 when it cannot be read.
int notes_in(sqlite3* db) {
  int rows = 0;
  auto count = [](void* n, int, char**, char**) {
    ++*static_cast<int*>(n);
    return 0;
  };
  return sqlite3_exec(db, "SELECT * FROM notes", count, &rows, nullptr) == SQLITE_OK ? rows : -1;
}

class Sql : public ::testing::Test {
 protected:
  fs::path make_store(const char* extra = "") {
    sqlite3* db = nullptr;
    EXPECT_EQ(sql::open_database(file_, kProbes, &db), S_OK);
    EXPECT_EQ(
        sqlite3_exec(
            db, (std::string("CREATE TABLE notes(id INTEGER PRIMARY KEY, text);") + extra).c_str(),
            nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close_v2(db);
    return file_;
  }

  vardel::testing::TempFolder folder_{"vardel-sql"};
  fs::path file_ = folder_ / "deep" / "store.db";
};

TEST_F(Sql, TextsAreStoredAsUtf8AndComeBackAsTheyWentInSaveALoneSurrogate) {
  make_store();
  sqlite3* db = nullptr;
  ASSERT_EQ(sql::open_database(file_, kProbes, &db), S_OK);
  const std::u16string texts[] = {u"", u"10086", u"余额 查询", u"\U0001F600 smile",
                                  std::u16string(u"a") + char16_t(0xD800) + u"b"};
  sql::Statement put, get;
  ASSERT_TRUE(put.prepare(db, "INSERT INTO notes(text) VALUES(?1)"));
  ASSERT_TRUE(get.prepare(db, "SELECT text, length(CAST(text AS BLOB)) FROM notes ORDER BY id"));
  for (const auto& t : texts) {
    ASSERT_EQ(sql::bind_text(put.get(), 1, t), SQLITE_OK);
    ASSERT_EQ(put.run(), SQLITE_OK);
  }
  std::vector<std::u16string> back;
  std::vector<int> bytes;
  while (sqlite3_step(get.get()) == SQLITE_ROW) {
    back.push_back(sql::column_text(get.get(), 0));
    bytes.push_back(sqlite3_column_int(get.get(), 1));
  }
  get.done();
  ASSERT_EQ(back.size(), 5u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(back[i], texts[i]);
  EXPECT_EQ(back[4], u"a\uFFFDb");  // UTF-8 cannot carry it
  EXPECT_EQ(bytes[2], 13);          // four ideographs of three bytes and a space
  EXPECT_EQ(bytes[3], 10);
  sqlite3_stmt* mode = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &mode, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(mode), SQLITE_ROW);
  EXPECT_EQ(sql::column_text(mode, 0), u"wal");
  sqlite3_finalize(mode);
  sqlite3_close_v2(db);
}

TEST_F(Sql, AFileThatIsNotASoundStoreOfOursIsRefusedAndLeftAsItWas) {
  EXPECT_EQ(sql::check_database_file(file_, kProbes), S_OK);  // missing: made on open
  write_file(file_, "");
  EXPECT_EQ(sql::check_database_file(file_, kProbes), S_OK);  // empty: a new database

  const std::string garbage(8192, 'Z');
  write_file(file_, garbage);
  sqlite3* db = nullptr;
  EXPECT_EQ(sql::open_database(file_, kProbes, &db), sql::kHrCorrupt);
  EXPECT_EQ(db, nullptr);
  EXPECT_EQ(read_file(file_), garbage);
  EXPECT_FALSE(fs::exists(file_.string() + "-wal"));
  EXPECT_FALSE(fs::exists(file_.string() + "-shm"));

  // Another program's database, and ours cut short.
  fs::remove(file_);
  make_store();
  EXPECT_EQ(sql::check_database_file(file_, {"SELECT id FROM stores LIMIT 0"}), sql::kHrCorrupt);
  EXPECT_EQ(sql::check_database_file(file_, kProbes), S_OK);
  fs::remove(file_);
  make_store(
      "INSERT INTO notes(text) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
      "FROM n WHERE i < 2000) SELECT printf('%0500d', i) FROM n;");
  const std::string whole = read_file(file_);
  ASSERT_GT(whole.size(), 100000u);
  write_file(file_, whole.substr(0, whole.size() / 2));
  EXPECT_EQ(sql::check_database_file(file_, kProbes), sql::kHrCorrupt);
  EXPECT_EQ(read_file(file_).size(), whole.size() / 2);

  // What is not a regular file.
  EXPECT_EQ(sql::check_database_file(folder_.path(), kProbes), sql::kHrOpenFailed);
  EXPECT_EQ(sql::open_database(fs::path(), kProbes, &db), sql::kHrOpenFailed);
}

TEST(SqlErrors, ResultCodesBecomeTheHresultsTheStoresReport) {
  EXPECT_EQ(sql::hr_from_sqlite(SQLITE_DONE), S_OK);
  EXPECT_EQ(sql::hr_from_sqlite(SQLITE_FULL), STG_E_MEDIUMFULL);
  EXPECT_EQ(sql::hr_from_sqlite(SQLITE_IOERR_WRITE), E_FAIL);
  EXPECT_EQ(sql::hr_from_sqlite(SQLITE_CORRUPT_INDEX), sql::kHrCorrupt);
  EXPECT_EQ(sql::hr_from_sqlite(SQLITE_NOTADB), sql::kHrCorrupt);
  EXPECT_EQ(sql::hr_from_sqlite(SQLITE_CANTOPEN), sql::kHrOpenFailed);
  EXPECT_EQ(sql::hr_from_sqlite(SQLITE_BUSY_SNAPSHOT), sql::kHrBusy);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  sqlite3_exec(db, "SELECT * FROM nowhere", nullptr, nullptr, nullptr);
  try {
    sql::raise(db, "notes", "step");
    FAIL();
  } catch (const sql::Error& e) {
    EXPECT_EQ(std::string(e.what()), "notes step: no such table: nowhere");
    EXPECT_EQ(e.hr(), E_FAIL);
  }
  sqlite3_close(db);
}

// A connection that keeps the file's lock: no other connection reads or
// writes until it closes, its log's index is in memory (no -shm file), and
// what it committed is there for the next one. A file already open
// elsewhere is opened shared instead of failing.
TEST_F(Sql, AnExclusiveConnectionKeepsTheFileUntilItCloses) {
  make_store();
  sqlite3* owner = nullptr;
  ASSERT_EQ(sql::open_database(file_, kProbes, &owner, sql::Locking::exclusive), S_OK);
  EXPECT_TRUE(sql::holds_file_lock(owner));
  ASSERT_EQ(
      sqlite3_exec(owner, "INSERT INTO notes(text) VALUES('kept')", nullptr, nullptr, nullptr),
      SQLITE_OK);
  EXPECT_FALSE(fs::exists(file_.string() + "-shm"));

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(file_.c_str(), &other), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(other, "SELECT * FROM notes", nullptr, nullptr, nullptr), SQLITE_BUSY);
  // Another process's check meanwhile waits, then finds the file in use,
  // not damaged.
  EXPECT_EQ(sql::check_database_file(file_, kProbes), sql::kHrBusy);
  sqlite3_close_v2(owner);
  EXPECT_EQ(notes_in(other), 1);

  // `other` has the file open now: the exclusive opening shares it.
  sqlite3* late = nullptr;
  ASSERT_EQ(sql::open_database(file_, kProbes, &late, sql::Locking::exclusive), S_OK);
  EXPECT_FALSE(sql::holds_file_lock(late));
  EXPECT_EQ(
      sqlite3_exec(late, "INSERT INTO notes(text) VALUES('shared')", nullptr, nullptr, nullptr),
      SQLITE_OK);
  EXPECT_EQ(notes_in(other), 2);
  sqlite3_close_v2(late);
  sqlite3_close_v2(other);
}

// The page size asked for is the new file's; a file that has pages keeps
// its own, and its rows, whatever a later opening asks.
TEST_F(Sql, ANewFileTakesThePageSizeAskedAndAnOldOneKeepsItsOwn) {
  auto page_size = [](sqlite3* db) {
    sqlite3_stmt* s = nullptr;
    int size = 0;
    if (sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
      size = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    return size;
  };
  sqlite3* db = nullptr;
  ASSERT_EQ(sql::open_database(file_, kProbes, &db, sql::Locking::shared, 16384), S_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TABLE notes(id INTEGER PRIMARY KEY, text);"
                         "INSERT INTO notes(text) VALUES('kept')",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  EXPECT_EQ(page_size(db), 16384);
  sqlite3_close_v2(db);

  ASSERT_EQ(sql::open_database(file_, kProbes, &db, sql::Locking::shared, 65536), S_OK);
  EXPECT_EQ(page_size(db), 16384);
  EXPECT_EQ(notes_in(db), 1);
  sqlite3_close_v2(db);

  const fs::path old_file = folder_ / "old.db";
  ASSERT_EQ(sql::open_database(old_file, kProbes, &db), S_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(id INTEGER PRIMARY KEY, text)", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  sqlite3_close_v2(db);
  ASSERT_EQ(sql::open_database(old_file, kProbes, &db, sql::Locking::shared, 16384), S_OK);
  EXPECT_EQ(page_size(db), 4096);
  sqlite3_close_v2(db);
}

// A file this process closed while holding the device is not read whole
// again by the next check, but only while that holds: the note is used once,
// and any change to the file, or letting the device go in between, brings
// the full check back. The damage below keeps the file's size and time, so
// only a full check can see it.
TEST_F(Sql, AFileClosedWhileTheDeviceIsHeldIsReadAgainOnceAnythingMayHaveChanged) {
  vardel::testing::TempDevice device;
  ASSERT_EQ(device::lock_device(), device::LockResult::locked);
  auto fill_and_close_held = [&] {
    fs::remove(file_);
    make_store(
        "INSERT INTO notes(text) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
        "FROM n WHERE i < 2000) SELECT printf('%0500d', i) FROM n;");
    sqlite3* db = nullptr;
    ASSERT_EQ(sql::open_database(file_, kProbes, &db, sql::Locking::exclusive), S_OK);
    ASSERT_EQ(sqlite3_exec(db, "INSERT INTO notes(text) VALUES('x')", nullptr, nullptr, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_close_v2(db), SQLITE_OK);
    sql::note_closed_while_held(file_);
  };
  auto damage = [&](bool keep_time) {
    struct stat before;
    ASSERT_EQ(::stat(file_.c_str(), &before), 0);
    {
      std::fstream f(file_, std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(before.st_size / 2);
      f << std::string(8192, '\xA5');
    }
    if (keep_time) {
      const timespec times[2] = {before.st_atim, before.st_mtim};
      ASSERT_EQ(::utimensat(AT_FDCWD, file_.c_str(), times, 0), 0);
    }
  };

  fill_and_close_held();
  damage(true);
  EXPECT_EQ(sql::check_database_file(file_, kProbes), S_OK);             // the note stood for it
  EXPECT_EQ(sql::check_database_file(file_, kProbes), sql::kHrCorrupt);  // used up

  fill_and_close_held();
  damage(false);
  EXPECT_EQ(sql::check_database_file(file_, kProbes), sql::kHrCorrupt);

  fill_and_close_held();
  device::unlock_device();
  ASSERT_EQ(device::lock_device(), device::LockResult::locked);
  damage(true);
  EXPECT_EQ(sql::check_database_file(file_, kProbes), sql::kHrCorrupt);

  device::unlock_device();
  fill_and_close_held();  // noted without the device: no note is kept
  ASSERT_EQ(device::lock_device(), device::LockResult::locked);
  damage(true);
  EXPECT_EQ(sql::check_database_file(file_, kProbes), sql::kHrCorrupt);
  device::unlock_device();
}

// The guards: what was not committed is gone when the guard goes, an
// exception included; a savepoint undoes only its own part; a guard that
// could not begin undoes nothing of the transaction already open.
class SqlGuards : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    ASSERT_EQ(exec("CREATE TABLE t(v)"), SQLITE_OK);
  }
  void TearDown() override { sqlite3_close_v2(db_); }
  int exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }
  int rows() {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db_, "SELECT count(*) FROM t", -1, &s, nullptr);
    sqlite3_step(s);
    const int n = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    return n;
  }
  bool in_transaction() { return !sqlite3_get_autocommit(db_); }

  sqlite3* db_ = nullptr;
};

TEST_F(SqlGuards, ATransactionNotCommittedIsRolledBackHoweverItsScopeIsLeft) {
  sql::Statement begin, commit, rollback;
  ASSERT_TRUE(begin.prepare(db_, "BEGIN IMMEDIATE") && commit.prepare(db_, "COMMIT") &&
              rollback.prepare(db_, "ROLLBACK"));
  {
    sql::Transaction txn(begin, commit, rollback);
    ASSERT_EQ(txn.began(), SQLITE_OK);
    exec("INSERT INTO t VALUES(1)");
  }
  EXPECT_EQ(rows(), 0);
  EXPECT_FALSE(in_transaction());
  try {
    sql::Transaction txn(db_, "BEGIN IMMEDIATE");
    exec("INSERT INTO t VALUES(1)");
    throw std::runtime_error("cut off");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(rows(), 0);
  EXPECT_FALSE(in_transaction());
  {
    sql::Transaction txn(begin, commit, rollback);
    exec("INSERT INTO t VALUES(1)");
    EXPECT_EQ(txn.commit(), SQLITE_OK);
  }
  EXPECT_EQ(rows(), 1);
  // One that can't begin (a transaction is open already) leaves that one be.
  ASSERT_EQ(exec("BEGIN; INSERT INTO t VALUES(2)"), SQLITE_OK);
  {
    sql::Transaction inner(db_, "BEGIN");
    EXPECT_EQ(inner.began(), SQLITE_ERROR);
  }
  EXPECT_TRUE(in_transaction());
  EXPECT_EQ(exec("COMMIT"), SQLITE_OK);
  EXPECT_EQ(rows(), 2);
}

TEST_F(SqlGuards, ASavepointNotReleasedUndoesOnlyItsOwnPart) {
  ASSERT_EQ(exec("BEGIN; INSERT INTO t VALUES(1)"), SQLITE_OK);
  {
    sql::Savepoint part(db_, "part");
    ASSERT_EQ(part.began(), SQLITE_OK);
    exec("INSERT INTO t VALUES(2)");
  }
  EXPECT_TRUE(in_transaction());  // the enclosing transaction goes on
  EXPECT_EQ(rows(), 1);
  {
    sql::Savepoint part(db_, "part");
    exec("INSERT INTO t VALUES(3)");
    EXPECT_EQ(part.release(), SQLITE_OK);
  }
  EXPECT_EQ(exec("COMMIT"), SQLITE_OK);
  EXPECT_EQ(rows(), 2);
  // Outside a transaction a savepoint is one: released, it is committed;
  // not, nothing of it stays and nothing is left open.
  {
    sql::Savepoint alone(db_, "alone");
    exec("INSERT INTO t VALUES(4)");
    EXPECT_EQ(alone.release(), SQLITE_OK);
  }
  EXPECT_FALSE(in_transaction());
  {
    sql::Savepoint alone(db_, "alone");
    exec("INSERT INTO t VALUES(5)");
  }
  EXPECT_FALSE(in_transaction());
  EXPECT_EQ(rows(), 3);
}

}  // namespace
