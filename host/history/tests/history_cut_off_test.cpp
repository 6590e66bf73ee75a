// An add killed at any moment, in the middle of its rows, its indexes or its
// commit: the history reads afterwards as it was before that file, or with
// all of it, never with part of it, and is not refused as damaged. (A kill
// before the add first wrote into the file leaves a journal SQLite knows to
// be no one's, and reads past.)
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "host/history/history_add.h"
#include "host/history/history_check.h"
#include "host/history/history_store.h"
#include "test_support/files.h"

namespace {

namespace fs = std::filesystem;
using namespace vardel::history;

// A messages backup as the program writes it, `count` messages.
std::string backup_of(int count, const char* text = "快递已放在门卫室") {
  std::string xml =
      "<?xml version=\"1.0\"?>\n<?xml-stylesheet type='text/xsl' "
      "href='MessageLogMsg.xsl'?>\n<CONTACTS>\n";
  char record[400];
  for (int i = 0; i < count; ++i) {
    std::snprintf(record, sizeof record,
                  "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"来自于：138%08d\" "
                  "ContactNumber=\"来自于：138%08d\"><MESSAGE Date=\"2010-%d-%d\" "
                  "Time=\"%d:%d:%d\" Direction=\"1\"><TEXT>%s %d</TEXT>"
                  "</MESSAGE></VCARD>\n",
                  i % 300, i % 300, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i / 60 % 60, text, i);
    xml += record;
  }
  return xml + "</CONTACTS>\n";
}

const ContactsReader kNoContacts = [](const fs::path&, std::string_view) {
  return std::vector<vardel::poom::ContactRecord>{};
};

size_t messages_in(const fs::path& history) {
  HistoryStore s(history, HistoryStore::Access::read_only);
  return s.messages(MessageQuery{}).size();
}

// The add in a child, killed after `delay` (or let finish when negative).
void add_in_child(const fs::path& history, const fs::path& file, std::chrono::microseconds delay) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    try {
      HistoryStore s(history);
      add_file(s, file, kNoContacts);
    } catch (...) {
      _exit(1);
    }
    _exit(0);
  }
  if (delay.count() >= 0) {
    std::this_thread::sleep_for(delay);
    kill(child, SIGKILL);
  }
  int status = 0;
  waitpid(child, &status, 0);
}

TEST(CutOffAdd, LeavesTheHistoryAsItWasBeforeThatFileOrWithAllOfIt) {
  vardel::testing::TempFolder folder{"vardel-history-cut"};
  const fs::path file = folder / "短信.xml", history = folder / "history.db";
  constexpr int kMessages = 20000;
  vardel::testing::write_file(file, backup_of(kMessages));
  vardel::testing::write_file(folder / "few.xml", backup_of(3, "held before"));

  // How long a whole add takes here, to spread the kills over it.
  const auto start = std::chrono::steady_clock::now();
  add_in_child(folder / "timed.db", file, std::chrono::microseconds(-1));
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  ASSERT_EQ(messages_in(folder / "timed.db"), static_cast<size_t>(kMessages));

  int before = 0, after = 0, journals = 0;
  // One add into a history of three messages, killed after `delay` (never
  // when negative).
  auto cut_off_at = [&](std::chrono::microseconds delay) {
    for (const char* side : {"", "-wal", "-journal"}) fs::remove(history.string() + side);
    {
      HistoryStore s(history);
      add_file(s, folder / "few.xml", kNoContacts);
    }
    add_in_child(history, file, delay);
    journals += fs::exists(history.string() + "-journal");
    const HistoryCheck check = check_history(history);
    EXPECT_TRUE(check.whole) << "killed after " << delay.count() << " us: " << check.detail;
    const size_t held = messages_in(history);
    EXPECT_TRUE(held == 3 || held == 3 + kMessages)
        << "killed after " << delay.count() << " us: " << held;
    (held == 3 ? before : after) += 1;
    // And the history takes the file whole afterwards.
    HistoryStore s(history);
    add_file(s, file, kNoContacts);
    EXPECT_EQ(s.messages(MessageQuery{}).size(), static_cast<size_t>(3 + kMessages));
  };
  // Spread over the add; then over its middle again until a kill fell while
  // it wrote through its journal (a loaded machine stretches an add
  // unevenly); and last, an add left to finish.
  for (int tenth = 0; tenth < 11; ++tenth) cut_off_at(whole * tenth / 10);
  for (int round = 0; round < 5 && journals == 0; ++round)
    for (int tenth = 2; tenth < 10; ++tenth) cut_off_at(whole * tenth / 10 + whole / 20);
  cut_off_at(std::chrono::microseconds(-1));
  EXPECT_GT(before, 0);
  EXPECT_GT(after, 0);
  EXPECT_GT(journals, 0);
}

// The journal is this add's only: the history is back in its log after
// it, and an add while a reader has the history open stays in the log.
TEST(CutOffAdd, ABigAddLeavesTheHistoryInItsLogAndKeepsItWhileAReaderIsThere) {
  vardel::testing::TempFolder folder{"vardel-history-log"};
  const fs::path file = folder / "短信.xml", history = folder / "history.db";
  vardel::testing::write_file(file, backup_of(12000));
  vardel::testing::write_file(folder / "few.xml", backup_of(3, "held before"));
  auto journal_mode = [](sqlite3* db) {
    sqlite3_stmt* s = nullptr;
    std::string mode;
    if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
      mode = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    sqlite3_finalize(s);
    return mode;
  };
  {
    HistoryStore s(history);
    add_file(s, file, kNoContacts);
    EXPECT_EQ(journal_mode(s.connection()), "wal");
  }
  for (const char* side : {"", "-wal", "-shm"}) fs::remove(history.string() + side);
  HistoryStore fresh(history);
  add_file(fresh, folder / "few.xml", kNoContacts);
  {
    HistoryStore reader(history, HistoryStore::Access::read_only);
    EXPECT_EQ(reader.messages(MessageQuery{}).size(), 3u);
    add_file(fresh, file, kNoContacts);
    EXPECT_FALSE(fs::exists(history.string() + "-journal"));
    EXPECT_EQ(journal_mode(fresh.connection()), "wal");
    EXPECT_EQ(reader.messages(MessageQuery{}).size(), 12003u);
  }
}

}  // namespace
