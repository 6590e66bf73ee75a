// The history store below the command line: what counts as the same
// message or contact version, searching short and long texts, and numbers
// compared as the phone compares them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "host/history/history_check.h"
#include "host/history/history_export.h"
#include "host/history/history_store.h"
#include "host/history/number_key.h"
#include "host/history/short_text.h"
#include "platform/poom/pimstore.h"
#include "test_support/files.h"

namespace {

using namespace vardel::history;

HistoryMessage msg(bool received, std::string number, std::string time, std::string text) {
  return {received, std::move(number), std::move(time), std::move(text), "", "", "", ""};
}

MessageQuery q(std::string text, std::optional<std::string> number = std::nullopt,
               std::optional<std::string> since = std::nullopt,
               std::optional<std::string> until = std::nullopt) {
  return {std::move(text), std::move(number), std::move(since), std::move(until)};
}

TEST(NumberKey, IgnoresSpacesDashesAndTheCountryPrefix) {
  EXPECT_EQ(number_key("+86 138-0013-8000"), "13800138000");
  EXPECT_EQ(number_key("0086 13800138000"), "13800138000");
  EXPECT_EQ(number_key("13800138000"), "13800138000");
  // Only a leading prefix goes: a number holding 86 elsewhere stays.
  EXPECT_EQ(number_key("021-8600-1234"), "02186001234");
  EXPECT_EQ(number_key("+86"), "+86");
}

class Store : public ::testing::Test {
 protected:
  vardel::testing::TempFolder folder_{"vardel-history"};
  std::filesystem::path file_ = folder_.path() / "history.db";
};

TEST_F(Store, AMessageIsHeldOnceAndRemembersWhereItWasFirstAndLastSeen) {
  HistoryStore s(file_);
  s.begin();
  EXPECT_TRUE(s.add_message(msg(true, "1380", "2009-01-05 10:47:00", "hello"), "a.xml"));
  EXPECT_FALSE(s.add_message(msg(true, "1380", "2009-01-05 10:47:00", "hello"), "b.xml"));
  // Any difference of direction, number, time or text is another message.
  EXPECT_TRUE(s.add_message(msg(false, "1380", "2009-01-05 10:47:00", "hello"), "b.xml"));
  EXPECT_TRUE(s.add_message(msg(true, "1381", "2009-01-05 10:47:00", "hello"), "b.xml"));
  EXPECT_TRUE(s.add_message(msg(true, "1380", "2009-01-05 10:47:01", "hello"), "b.xml"));
  EXPECT_TRUE(s.add_message(msg(true, "1380", "2009-01-05 10:47:00", "hello!"), "b.xml"));
  s.commit();
  const auto all = s.messages(q(""));
  ASSERT_EQ(all.size(), 5u);
  const auto first = s.messages(q("hello", "1380", "2009-01-05", "2009-01-05"));
  ASSERT_FALSE(first.empty());
  const auto& held = first.back();
  EXPECT_EQ(held.first_file, "a.xml");
  EXPECT_EQ(held.last_file, "b.xml");
}

// Where each message was last seen, by text.
std::map<std::string, std::string> last_files(HistoryStore& s) {
  std::map<std::string, std::string> out;
  for (const HistoryMessage& m : s.messages(q(""))) out[m.text] = m.last_file;
  return out;
}

// However many messages an add expects (none said, about as many as the
// history holds, many more), each is held once and last seen where it was.
TEST_F(Store, EachMessageIsLastSeenInTheLastFileThatHeldItWhateverItsOrderThere) {
  for (const size_t expected : {size_t{0}, size_t{6}, size_t{1000}}) {
    std::filesystem::remove(file_);
    HistoryStore s(file_);
    auto add = [&](const std::string& file, std::initializer_list<int> which) {
      s.begin(expected);
      for (int i : which)
        s.add_message(
            msg(true, "1", "2009-01-05 10:00:0" + std::to_string(i), "m" + std::to_string(i)),
            file);
      s.commit();
    };
    // Twice in one file is once.
    add("a", {1, 2, 3, 4, 5, 6, 1});
    // Out of order and with a gap: m4 is not in b, although its neighbours are.
    add("b", {5, 6, 7, 1, 2, 3, 7});
    add("c", {2, 7});
    EXPECT_EQ(last_files(s), (std::map<std::string, std::string>{{"m1", "b"},
                                                                 {"m2", "c"},
                                                                 {"m3", "b"},
                                                                 {"m4", "a"},
                                                                 {"m5", "b"},
                                                                 {"m6", "b"},
                                                                 {"m7", "c"}}))
        << expected;
    EXPECT_EQ(s.messages(q("")).size(), 7u) << expected;
    EXPECT_EQ(s.messages(q("m7", "1")).size(), 1u) << expected;  // the indexes are there
    // A rolled back add leaves no sighting and no message behind.
    s.begin(expected);
    s.add_message(msg(true, "1", "2009-01-05 10:00:01", "m1"), "d");
    s.add_message(msg(true, "1", "2009-01-05 10:00:09", "m9"), "d");
    s.rollback();
    EXPECT_EQ(last_files(s)["m1"], "b") << expected;
    EXPECT_EQ(s.messages(q("")).size(), 7u) << expected;
    EXPECT_EQ(check_history(file_).messages, 7u) << expected;
    EXPECT_TRUE(check_history(file_).whole) << expected;
  }
}

// The indexes of the history, by name.
std::vector<std::string> indexes_of(sqlite3* db) {
  std::vector<std::string> out;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT name FROM sqlite_master WHERE type='index' AND tbl_name='messages' "
                     "ORDER BY name",
                     -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW)
    out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  sqlite3_finalize(st);
  return out;
}

// A file much bigger than the history has the indexes dropped while it is
// added: they are all there again after its commit or its rollback, and one
// a history never had does not appear nor stop the add.
TEST_F(Store, ABigAddLeavesTheIndexesAsTheHistoryHadThem) {
  const std::vector<std::string> all{"messages_by_ending", "messages_by_key", "messages_by_number",
                                     "messages_by_time"};
  HistoryStore s(file_);
  ASSERT_EQ(indexes_of(s.connection()), all);
  auto add = [&](const std::string& file, int first) {
    s.begin(1000);
    for (int i = first; i < first + 3; ++i)
      s.add_message(
          msg(true, "1", "2009-01-05 10:00:0" + std::to_string(i), "m" + std::to_string(i)), file);
  };
  add("a", 1);
  s.rollback();
  EXPECT_EQ(indexes_of(s.connection()), all);
  add("a", 1);
  s.commit();
  EXPECT_EQ(indexes_of(s.connection()), all);
  ASSERT_EQ(sqlite3_exec(s.connection(), "DROP INDEX messages_by_time", nullptr, nullptr, nullptr),
            SQLITE_OK);
  {
    HistoryStore older(file_);
    older.begin(1000);
    older.add_message(msg(true, "1", "2009-01-05 10:00:09", "m9"), "b");
    older.commit();
    EXPECT_EQ(
        indexes_of(older.connection()),
        (std::vector<std::string>{"messages_by_ending", "messages_by_key", "messages_by_number"}));
    MessageQuery newest = q("m");
    newest.limit = 2;
    const std::vector<HistoryMessage> two = older.messages(newest);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].text, "m9");
    EXPECT_EQ(two[1].text, "m3");
  }
}

// A file far bigger than the history goes in many rows to a statement,
// with ids after those held; a message it holds twice is added once.
TEST_F(Store, ABigAddHoldsEachOfItsMessagesOnceAfterThoseHeld) {
  HistoryStore s(file_);
  s.begin();
  for (int i = 0; i < 3; ++i)
    s.add_message(msg(true, "2", "2009-01-04 10:00:0" + std::to_string(i), "held"), "a");
  s.commit();
  s.begin(1000);
  int added = 0;
  for (int i = 0; i < 70; ++i) {
    const std::string n = std::to_string(i);
    added += s.add_message(msg(i % 2 == 0, "+86 1" + n, "2009-01-05 10:00:" + n, "big " + n), "b");
  }
  EXPECT_FALSE(s.add_message(msg(false, "+86 133", "2009-01-05 10:00:33", "big 33"), "b"));
  EXPECT_TRUE(s.add_message(msg(true, "2", "2009-01-04 10:00:09", "held"), "b"));
  s.commit();
  EXPECT_EQ(added, 70);
  EXPECT_EQ(s.messages(q("")).size(), 74u);
  const std::vector<HistoryMessage> one = s.messages(q("big 33"));
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].number, "+86 133");
  EXPECT_EQ(one[0].first_file, "b");
  EXPECT_EQ(s.messages(q("", "133")).size(), 1u);
  EXPECT_EQ(s.messages(q("held", "2")).size(), 4u);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(s.connection(), "SELECT count(DISTINCT id), max(id) FROM messages",
                               -1, &st, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(st, 0), 74);
  EXPECT_EQ(sqlite3_column_int(st, 1), 74);
  sqlite3_finalize(st);
}

TEST_F(Store, AHistoryFromBeforeSightingsIsReadAsItWasAndTakesThemAtItsNextWrite) {
  {
    HistoryStore s(file_);
    s.begin();
    s.add_message(msg(true, "1", "2009-01-05 10:00:01", "old"), "a");
    s.add_message(msg(true, "1", "2009-01-05 10:00:02", "older"), "a");
    s.commit();
    // As the earlier schema kept it: the last add written into the row.
    sqlite3* db = s.connection();
    ASSERT_EQ(sqlite3_exec(db,
                           "INSERT INTO adds(file, seen) VALUES('b', '2010-01-01 00:00:00');"
                           "UPDATE messages SET last_add = (SELECT max(id) FROM adds) "
                           "WHERE text = 'old';"
                           "DROP TABLE sightings; DROP INDEX messages_by_ending; "
                           "PRAGMA user_version=1;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  {
    HistoryStore read(file_, HistoryStore::Access::read_only);
    EXPECT_EQ(last_files(read), (std::map<std::string, std::string>{{"old", "b"}, {"older", "a"}}));
  }
  HistoryStore s(file_);
  s.begin();
  s.add_message(msg(true, "1", "2009-01-05 10:00:02", "older"), "c");
  s.commit();
  EXPECT_EQ(last_files(s), (std::map<std::string, std::string>{{"old", "b"}, {"older", "c"}}));
  // and the index of endings that short Chinese searches read.
  EXPECT_TRUE(short_text_candidates(s.connection(), "张伟"));
}

TEST_F(Store, ARolledBackFileLeavesNothing) {
  HistoryStore s(file_);
  s.begin();
  s.add_message(msg(true, "1380", "2009-01-05 10:47:00", "gone"), "a.xml");
  s.rollback();
  EXPECT_TRUE(s.messages(q("")).empty());
}

TEST_F(Store, FindsShortAndLongTextsAnywhereInAMessage) {
  HistoryStore s(file_);
  s.begin();
  s.add_message(msg(true, "1", "2009-01-05 10:00:00", "快递已放在门卫室"), "a");
  s.add_message(msg(true, "2", "2009-01-06 10:00:00", "See you at the Station"), "a");
  s.add_message(msg(true, "3", "2009-01-07 10:00:00", "say \"hi\" OR not"), "a");
  s.commit();
  EXPECT_EQ(s.messages(q("门卫")).size(), 1u);  // two characters: their trigrams
  EXPECT_EQ(s.messages(q("卫室")).size(), 1u);  // and the text's end
  EXPECT_EQ(s.messages(q("门卫", "1")).size(), 1u);
  EXPECT_TRUE(s.messages(q("门卫", "2")).empty());
  EXPECT_EQ(s.messages(q("ee")).size(), 1u);         // Latin: the scan
  EXPECT_EQ(s.messages(q("门卫室")).size(), 1u);     // three: the index
  EXPECT_EQ(s.messages(q("station")).size(), 1u);    // without regard to case
  EXPECT_EQ(s.messages(q("\"hi\" OR")).size(), 1u);  // quotes and operators are text
  EXPECT_TRUE(s.messages(q("卫门")).empty());
  EXPECT_EQ(s.messages(q("", std::nullopt, "2009-01-06")).size(), 2u);
  EXPECT_EQ(s.messages(q("", std::nullopt, std::nullopt, "2009-01-06")).size(), 2u);
  const auto newest = s.messages(q(""));
  ASSERT_EQ(newest.size(), 3u);
  EXPECT_EQ(newest.front().number, "3");
}

TEST_F(Store, TheNewestFewAreTheFirstOfAllTheMatchesHoweverTheyAreFound) {
  HistoryStore s(file_);
  s.begin();
  s.add_message(msg(true, "9", "2008-01-01 00:00:00", "a Rare word"), "a");
  for (int i = 0; i < 60; ++i)
    s.add_message(
        msg(i % 2 == 0, "1",
            "2009-01-" + std::to_string(10 + i % 20) + " 10:00:" + std::to_string(10 + i % 40),
            "Common text " + std::to_string(i)),
        "a");
  s.commit();
  const auto all = s.messages(q("common"));
  ASSERT_EQ(all.size(), 60u);
  MessageQuery few = q("COMMON TEXT");
  few.limit = 5;
  const auto newest = s.messages(few);
  ASSERT_EQ(newest.size(), 5u);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(newest[i].text, all[i].text) << i;
  few.text = "rare";
  EXPECT_EQ(s.messages(few).size(), 1u);  // fewer than asked: all there are
}

TEST_F(Store, LikesWildcardsInAQueryAreText) {
  HistoryStore s(file_);
  s.begin();
  s.add_message(msg(true, "4", "2009-01-08 10:00:00", "100% sure, file_2"), "a");
  s.add_message(msg(true, "4", "2009-01-08 10:00:01", "1000 sure, file-2"), "a");
  s.commit();
  EXPECT_EQ(s.messages(q("100% s")).size(), 1u);
  EXPECT_EQ(s.messages(q("FILE_2")).size(), 1u);
  EXPECT_EQ(s.messages(q("sure")).size(), 2u);
}

TEST_F(Store, NamesComeFromTheNewestContactVersionHoldingTheNumber) {
  HistoryStore s(file_);
  using vardel::poom::ContactRecord;
  const ContactRecord old{{PIMPR_FILEAS, u"Old Name"},
                          {PIMPR_MOBILE_TELEPHONE_NUMBER, u"+86 138-0013-8000"}};
  const ContactRecord renamed{{PIMPR_FILEAS, u"New Name"},
                              {PIMPR_MOBILE_TELEPHONE_NUMBER, u"13800138000"}};
  s.begin();
  EXPECT_TRUE(s.add_contact(old, "a"));
  EXPECT_TRUE(s.add_contact(renamed, "b"));
  // The same fields in another order are the same version.
  EXPECT_FALSE(s.add_contact({renamed[1], renamed[0]}, "c"));
  s.add_message(msg(true, "0086 13800138000", "2009-01-05 10:00:00", "x"), "m");
  s.commit();
  EXPECT_EQ(s.name_for("138 0013 8000"), "New Name");
  const auto conversations = s.conversations();
  ASSERT_EQ(conversations.size(), 1u);
  EXPECT_EQ(conversations[0].name, "New Name");
  EXPECT_EQ(s.contacts().size(), 2u);
}

TEST_F(Store, RefusesAFileThatIsNoHistoryAndLeavesIt) {
  const std::string garbage(5000, '\x5a');
  vardel::testing::write_file(file_, garbage);
  EXPECT_THROW(HistoryStore{file_}, HistoryError);
  EXPECT_EQ(vardel::testing::read_file(file_), garbage);
}

TEST(LocalTime, ReadsTheStoredFormAndRefusesOthers) {
  const auto st = parse_local_time("2009-04-23 09:05:07");
  ASSERT_TRUE(st);
  EXPECT_EQ(st->wDay, 23);
  EXPECT_EQ(st->wSecond, 7);
  EXPECT_FALSE(parse_local_time(""));
  EXPECT_FALSE(parse_local_time("yesterday"));
}

vardel::poom::ContactRecord contact(std::initializer_list<std::pair<CEPROPID, std::u16string>> f) {
  vardel::poom::ContactRecord c;
  for (const auto& [tag, text] : f) c.push_back({tag, text});
  return c;
}

TEST_F(Store, AContactsVersionsComeBackOldestFirstWithTheirFields) {
  {
    HistoryStore s(file_);
    s.begin();
    s.add_contact(
        contact({{PIMPR_FILEAS, u"Müller, Hans"}, {PIMPR_MOBILE_TELEPHONE_NUMBER, u"1380"}}),
        "通讯录261201_100000.xml");
    s.commit();
    s.begin();
    // The same fields in another order are the same version.
    EXPECT_FALSE(s.add_contact(
        contact({{PIMPR_MOBILE_TELEPHONE_NUMBER, u"1380"}, {PIMPR_FILEAS, u"Müller, Hans"}}),
        "通讯录.xml"));
    EXPECT_TRUE(s.add_contact(contact({{PIMPR_FILEAS, u"Müller, Hans"},
                                       {PIMPR_MOBILE_TELEPHONE_NUMBER, u"1380"},
                                       {PIMPR_EMAIL1_ADDRESS, u"hans@example.org"}}),
                              "通讯录.xml"));
    s.add_contact(contact({{PIMPR_FILEAS, u"Zhang"}}), "通讯录.xml");
    s.commit();
  }
  HistoryStore s(file_);
  const auto all = s.contacts();
  ASSERT_EQ(all.size(), 2u);
  const ContactHistory& hans = all[0];
  EXPECT_EQ(hans.name, "Müller, Hans");
  ASSERT_EQ(hans.versions.size(), 2u);
  EXPECT_EQ(hans.versions[0].first_file, "通讯录261201_100000.xml");
  EXPECT_EQ(hans.versions[0].last_file, "通讯录.xml");
  const auto& fields = hans.versions[1].fields;
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_NE(std::find(fields.begin(), fields.end(),
                      std::pair<std::string, std::string>{"Email1Address", "hans@example.org"}),
            fields.end());
  EXPECT_EQ(all[1].versions.size(), 1u);
}

TEST_F(Store, TheCheckCountsASoundHistoryAndNamesADamagedOneWithoutTouchingIt) {
  {
    HistoryStore s(file_);
    s.begin();
    s.add_message(msg(true, "1", "2009-01-05 10:00:00", "a"), "a");
    s.add_message(msg(true, "1", "2009-01-05 10:00:01", "b"), "a");
    s.add_contact(contact({{PIMPR_FILEAS, u"Zhang"}}), "b");
    s.commit();
  }
  HistoryCheck sound = check_history(file_);
  EXPECT_TRUE(sound.whole) << sound.detail;
  EXPECT_EQ(sound.messages, 2u);
  EXPECT_EQ(sound.contact_versions, 1u);

  // The second page overwritten: the header still reads as SQLite. (Its
  // page size is the two bytes at 16, big-endian.)
  std::string bytes = vardel::testing::read_file(file_);
  const size_t page =
      static_cast<unsigned char>(bytes.at(16)) * 256u + static_cast<unsigned char>(bytes.at(17));
  ASSERT_GT(bytes.size(), 2 * page);
  for (size_t i = page + 100; i < 2 * page; ++i) bytes[i] = '\x5a';
  vardel::testing::write_file(file_, bytes);
  const HistoryCheck damaged = check_history(file_);
  EXPECT_FALSE(damaged.whole);
  EXPECT_FALSE(damaged.detail.empty());
  EXPECT_EQ(vardel::testing::read_file(file_), bytes);
  EXPECT_FALSE(std::filesystem::exists(file_.string() + "-wal"));
}

}  // namespace
