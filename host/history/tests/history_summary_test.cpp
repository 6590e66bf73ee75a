// The conversation summary kept beside the messages, and opening a history
// read-only: the summary must always say what the messages say, and a
// read-only opening must neither change the file nor miss what a writer
// adds meanwhile.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <sstream>

#include "host/history/history_store.h"
#include "test_support/files.h"

namespace {

using namespace vardel::history;

HistoryMessage msg(std::string number, std::string time, std::string text) {
  return {true, std::move(number), std::move(time), std::move(text), "", "", "", ""};
}

// Each number's summary row next to the same figures counted from the
// messages, as "key count first last last_id" lines.
std::string summary(sqlite3* db, bool from_messages) {
  const char* sql =
      from_messages
          ? "SELECT number_key, count(*), min(nullif(time, '')), max(time), "
            "(SELECT id FROM messages m WHERE m.number_key = g.number_key "
            "ORDER BY time DESC, id DESC LIMIT 1) FROM messages g GROUP BY number_key "
            "ORDER BY number_key"
          : "SELECT number_key, count, first_time, last_time, last_id FROM conversation_summary "
            "ORDER BY number_key";
  sqlite3_stmt* s = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &s, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  std::string out;
  while (sqlite3_step(s) == SQLITE_ROW) {
    for (int c = 0; c < 5; ++c) {
      const unsigned char* t = sqlite3_column_text(s, c);
      out += t ? reinterpret_cast<const char*>(t) : "NULL";
      out += ' ';
    }
    out += '\n';
  }
  sqlite3_finalize(s);
  return out;
}

std::string bytes_of(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class Summary : public ::testing::Test {
 protected:
  vardel::testing::TempFolder folder_{"vardel-summary"};
  std::filesystem::path file_ = folder_.path() / "history.db";

  void add_mixed(HistoryStore& s) {
    s.begin();
    // Out of time order, equal times, messages without a time, the same
    // number written two ways, a message seen again.
    s.add_message(msg("13800138000", "2009-05-01 10:00:00", "b"), "a");
    s.add_message(msg("+86 138 0013 8000", "2009-04-01 10:00:00", "a"), "a");
    s.add_message(msg("13800138000", "2009-05-01 10:00:00", "b2"), "a");
    s.add_message(msg("13800138000", "", "no time"), "a");
    s.add_message(msg("10086", "", "only without time"), "a");
    s.add_message(msg("10010", "2010-01-01 00:00:00", "x"), "a");
    s.add_message(msg("10010", "2009-01-01 00:00:00", "y"), "a");
    s.add_message(msg("10010", "2010-01-01 00:00:00", "x"), "b");
    s.commit();
  }
};

TEST_F(Summary, SaysWhatTheMessagesSayHoweverTheyArrive) {
  HistoryStore s(file_);
  ASSERT_TRUE(s.has_summary());
  add_mixed(s);
  const std::string counted = summary(s.connection(), true);
  EXPECT_EQ(summary(s.connection(), false), counted);
  EXPECT_NE(counted.find("13800138000 4 2009-04-01 10:00:00 2009-05-01 10:00:00 3"),
            std::string::npos)
      << counted;
  EXPECT_NE(counted.find("10086 1 NULL  5"), std::string::npos) << counted;
  // A message taken away (no command does yet, but the table must follow).
  ASSERT_EQ(
      sqlite3_exec(s.connection(), "DELETE FROM messages WHERE id = 3", nullptr, nullptr, nullptr),
      SQLITE_OK);
  EXPECT_EQ(summary(s.connection(), false), summary(s.connection(), true));
}

TEST_F(Summary, AHistoryMadeBeforeItGetsItFilledAtItsNextWritableOpening) {
  {
    HistoryStore s(file_);
    add_mixed(s);
    ASSERT_EQ(sqlite3_exec(s.connection(),
                           "DROP TRIGGER IF EXISTS conversation_summary_add; "
                           "DROP TRIGGER conversation_summary_remove; "
                           "DROP TABLE conversation_summary",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  {
    // Read-only, it is left without; the pages then count from the messages.
    HistoryStore s(file_, HistoryStore::Access::read_only);
    EXPECT_FALSE(s.has_summary());
  }
  HistoryStore s(file_);
  EXPECT_TRUE(s.has_summary());
  EXPECT_EQ(summary(s.connection(), false), summary(s.connection(), true));
  s.begin();
  s.add_message(msg("10086", "2011-01-01 00:00:00", "later"), "c");
  s.commit();
  EXPECT_EQ(summary(s.connection(), false), summary(s.connection(), true));
}

TEST_F(Summary, AReadOnlyOpeningChangesNothingAndSeesWhatAWriterAdds) {
  EXPECT_THROW(HistoryStore(file_, HistoryStore::Access::read_only), HistoryError);
  EXPECT_FALSE(std::filesystem::exists(file_));
  {
    HistoryStore w(file_);
    add_mixed(w);
  }
  const std::string before = bytes_of(file_);
  HistoryStore r(file_, HistoryStore::Access::read_only);
  EXPECT_EQ(r.messages({}).size(), 7u);
  EXPECT_NE(sqlite3_exec(r.connection(), "DELETE FROM messages", nullptr, nullptr, nullptr),
            SQLITE_OK);
  EXPECT_EQ(bytes_of(file_), before);
  {
    HistoryStore w(file_);
    w.begin();
    w.add_message(msg("10086", "2011-01-01 00:00:00", "while it was open"), "c");
    w.commit();
  }
  EXPECT_EQ(r.messages({"while it was open", std::nullopt, std::nullopt, std::nullopt}).size(), 1u);
  // A damaged file is refused read-only too, and left as it was.
  std::ofstream(folder_.path() / "junk.db") << "not a database at all";
  EXPECT_THROW(HistoryStore(folder_.path() / "junk.db", HistoryStore::Access::read_only),
               HistoryError);
  EXPECT_EQ(bytes_of(folder_.path() / "junk.db"), "not a database at all");
}

}  // namespace
