// The stores' log writes gathered per commit: a commit is in the file when
// it returns, even when the process dies at once; what the log holds is read
// back by the connection that wrote it; a write the system refuses fails the
// commit.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/sql/database.h"
#include "platform/sql/log_writes.h"
#include "test_support/temp_device.h"

namespace {

namespace fs = std::filesystem;
using namespace vardel;

constexpr sql::TableProbes kProbes = {"SELECT id, text FROM notes LIMIT 0"};

bool exec(sqlite3* db, const std::string& sql) {
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

long long single(sqlite3* db, const char* sql) {
  sqlite3_stmt* st = nullptr;
  long long v = -1;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    v = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  return v;
}

std::string many_rows(int from, int count) {
  std::string sql = "BEGIN;";
  for (int i = from; i < from + count; ++i)
    sql += "INSERT INTO notes(id, text) VALUES(" + std::to_string(i) + ", printf('%.200c', 'x'));";
  return sql + "COMMIT;";
}

class LogWrites : public ::testing::TestWithParam<sql::Locking> {
 protected:
  vardel::testing::TempFolder folder_{"vardel-log-writes"};
  fs::path file_ = folder_ / "store.db";
};

// The child commits, checks each small commit took one write, and is
// killed before it can close, sync or checkpoint anything.
TEST_P(LogWrites, EveryCommitIsInTheFileWhenItReturnsThoughTheProcessDiesRightAfter) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sqlite3* db = nullptr;
    if (sql::open_database(file_, kProbes, &db, GetParam()) != S_OK) _exit(2);
    if (!exec(db, "CREATE TABLE notes(id INTEGER PRIMARY KEY, text)")) _exit(3);
    for (int i = 1; i <= 40; ++i) {
      const auto before = sql::log_write_counts();
      if (!exec(db, "INSERT INTO notes(id, text) VALUES(" + std::to_string(i) + ", 'note')"))
        _exit(4);
      const auto after = sql::log_write_counts();
      if (after.system_writes - before.system_writes != 1) _exit(5);
      if (after.sqlite_writes - before.sqlite_writes < 2) _exit(6);
    }
    // Far more than is held at once: it goes in several writes.
    if (!exec(db, many_rows(1000, 3000))) _exit(7);
    if (!exec(db, "INSERT INTO notes(id, text) VALUES(9999, 'last')")) _exit(8);
    raise(SIGKILL);
    _exit(9);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped with " << WEXITSTATUS(status);
  ASSERT_EQ(WTERMSIG(status), SIGKILL);

  sqlite3* db = nullptr;
  ASSERT_EQ(sql::open_database(file_, kProbes, &db), S_OK);
  EXPECT_EQ(single(db, "SELECT count(*) FROM notes"), 40 + 3000 + 1);
  EXPECT_EQ(single(db, "SELECT count(*) FROM notes WHERE id = 9999 AND text = 'last'"), 1);
  EXPECT_EQ(single(db, "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'"),
            1);
  sqlite3_close_v2(db);
}

// With room for two pages, a long transaction spills pages into the log
// and reads them back from it before it commits.
TEST_P(LogWrites, AConnectionReadsBackWhatItHasWrittenToTheLog) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sql::open_database(file_, kProbes, &db, GetParam()), S_OK);
  ASSERT_TRUE(exec(db, "CREATE TABLE notes(id INTEGER PRIMARY KEY, text); PRAGMA cache_size = 2"));
  ASSERT_TRUE(exec(db, "BEGIN"));
  for (int round = 0; round < 5; ++round) {
    std::string sql = many_rows(round * 500, 500);
    sql = sql.substr(6, sql.size() - 6 - 7);  // without BEGIN; and COMMIT;
    ASSERT_TRUE(exec(db, sql));
    EXPECT_EQ(single(db, "SELECT count(*) FROM notes"), (round + 1) * 500);
    EXPECT_EQ(single(db, "SELECT sum(length(text)) FROM notes"), (round + 1) * 500 * 200);
  }
  ASSERT_TRUE(exec(db, "COMMIT"));
  EXPECT_EQ(single(db, "SELECT sum(id) FROM notes"), 2499LL * 2500 / 2);
  EXPECT_EQ(single(db, "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'"),
            1);
  sqlite3_close_v2(db);
}

// A log that may not grow (the process's file size limit stands in for a
// full card) fails the commit; nothing of it stays, and the next commit,
// once there is room, succeeds.
TEST_P(LogWrites, AWriteTheSystemRefusesFailsTheCommit) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    sqlite3* db = nullptr;
    if (sql::open_database(file_, kProbes, &db, GetParam()) != S_OK) _exit(2);
    if (!exec(db, "CREATE TABLE notes(id INTEGER PRIMARY KEY, text)")) _exit(3);
    if (!exec(db, "INSERT INTO notes(id, text) VALUES(1, 'kept')")) _exit(4);
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(5);
    const rlimit before = limit;
    std::error_code ec;
    limit.rlim_cur = fs::file_size(fs::path(file_.string() + "-wal"), ec) + 8192;
    if (ec || setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(6);
    if (exec(db, many_rows(100, 2000))) _exit(7);  // said to succeed
    if (setrlimit(RLIMIT_FSIZE, &before) != 0) _exit(8);
    if (single(db, "SELECT count(*) FROM notes") != 1) _exit(9);
    if (!exec(db, many_rows(100, 2000))) _exit(10);
    sqlite3_close_v2(db);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  sqlite3* db = nullptr;
  ASSERT_EQ(sql::open_database(file_, kProbes, &db), S_OK);
  EXPECT_EQ(single(db, "SELECT count(*) FROM notes"), 2001);
  sqlite3_close_v2(db);
}

INSTANTIATE_TEST_SUITE_P(SharedAndExclusive, LogWrites,
                         ::testing::Values(sql::Locking::shared, sql::Locking::exclusive),
                         [](const auto& info) {
                           return info.param == sql::Locking::shared ? "Shared" : "Exclusive";
                         });

}  // namespace
