// The pages' answers below the server: conversations with names and first
// words, a conversation walked page by page in both directions without
// losing or repeating a message, opening at a message or a day, search
// pages, and contacts with their versions.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <set>

#include "host/history/short_text.h"
#include "host/history_view/history_pages.h"
#include "platform/poom/pimstore.h"
#include "test_support/files.h"

namespace {

using namespace vardel::history;
using nlohmann::json;
using vardel::history_view::HistoryPages;
using vardel::history_view::PageAt;

HistoryMessage msg(bool received, std::string number, std::string time, std::string text) {
  return {received, std::move(number), std::move(time), std::move(text), "", "", "", ""};
}

std::string two(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

class Pages : public ::testing::Test {
 protected:
  Pages() {
    HistoryStore s(file_);
    s.begin();
    // 250 messages with 李娜, five to a minute with the same time, so the
    // order within equal times matters.
    for (int i = 0; i < 250; ++i)
      s.add_message(
          msg(i % 2 == 0, "+86 139 0000 0001",
              "2009-0" + std::to_string(1 + i / 50) + "-" + two(1 + (i / 5) % 10) + " 10:00:00",
              "第" + std::to_string(i) + "条 Harbour"),
          "a.xml");
    s.add_message(msg(true, "10086", "2010-02-01 08:00:00", "您的话费余额不足 <script>"), "a.xml");
    s.add_message(msg(false, "555", "2008-01-01 08:00:00", "old one"), "a.xml");
    s.add_contact({{PIMPR_FILEAS, u"李娜"}, {PIMPR_MOBILE_TELEPHONE_NUMBER, u"13900000001"}},
                  "a.xml");
    s.add_contact({{PIMPR_FILEAS, u"李娜"},
                   {PIMPR_MOBILE_TELEPHONE_NUMBER, u"13900000001"},
                   {PIMPR_EMAIL1_ADDRESS, u"na@example.com"}},
                  "b.xml");
    s.commit();
  }

  // Every id of a walk through the conversation, older pages first.
  std::vector<std::int64_t> walk_back(HistoryPages& p, const std::string& key) {
    std::vector<std::int64_t> ids;
    json page = p.conversation(key, {});
    for (;;) {
      std::vector<std::int64_t> these;
      for (const json& m : page["messages"]) these.push_back(m["id"]);
      ids.insert(ids.begin(), these.begin(), these.end());
      if (!page["older"].get<bool>()) break;
      page = p.conversation(key, {PageAt::From::before, these.front(), ""});
    }
    return ids;
  }

  vardel::testing::TempFolder folder_{"vardel-pages"};
  std::filesystem::path file_ = folder_.path() / "history.db";
};

TEST_F(Pages, ConversationsAreNewestFirstWithTheirNamesAndFirstWords) {
  HistoryStore s(file_, HistoryStore::Access::read_only);
  HistoryPages p(s);
  const json all = p.conversations();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0]["key"], "10086");
  EXPECT_EQ(all[0]["name"], "");
  EXPECT_EQ(all[0]["last_text"], "您的话费余额不足 <script>");
  EXPECT_EQ(all[1]["name"], "李娜");
  EXPECT_EQ(all[1]["number"], "+86 139 0000 0001");
  EXPECT_EQ(all[1]["count"], 250);
  EXPECT_EQ(all[1]["first"], "2009-01-01 10:00:00");
  EXPECT_EQ(all[1]["last_text"], "第249条 Harbour");
  EXPECT_EQ(all[2]["key"], "555");
}

TEST_F(Pages, ASummaryLessHistoryListsTheSameConversations) {
  json with;
  {
    HistoryStore s(file_, HistoryStore::Access::read_only);
    with = HistoryPages(s).conversations();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file_.c_str(), &db), SQLITE_OK);
    sqlite3_exec(
        db,
        "DROP TRIGGER IF EXISTS conversation_summary_add; DROP TRIGGER conversation_summary_remove;"
        "DROP TABLE conversation_summary",
        nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  HistoryStore s(file_, HistoryStore::Access::read_only);
  ASSERT_FALSE(s.has_summary());
  EXPECT_EQ(HistoryPages(s).conversations(), with);
}

TEST_F(Pages, AConversationWalksBothWaysWithoutLosingOrRepeatingAMessage) {
  HistoryStore s(file_, HistoryStore::Access::read_only);
  HistoryPages p(s, 16);
  const std::string key = "13900000001";
  const json newest = p.conversation(key, {});
  EXPECT_EQ(newest["name"], "李娜");
  EXPECT_EQ(newest["messages"].size(), 16u);
  EXPECT_TRUE(newest["older"].get<bool>());
  EXPECT_FALSE(newest["newer"].get<bool>());
  EXPECT_EQ(newest["messages"].back()["text"], "第249条 Harbour");  // oldest first in a page

  const std::vector<std::int64_t> back = walk_back(p, key);
  ASSERT_EQ(back.size(), 250u);
  EXPECT_EQ(std::set<std::int64_t>(back.begin(), back.end()).size(), 250u);

  // Forward from the oldest, the same order.
  std::vector<std::int64_t> forward;
  json page = p.conversation(key, {PageAt::From::at, back.front(), ""});
  for (const json& m : page["messages"]) forward.push_back(m["id"]);
  while (page["newer"].get<bool>()) {
    page = p.conversation(key, {PageAt::From::after, forward.back(), ""});
    for (const json& m : page["messages"]) forward.push_back(m["id"]);
  }
  EXPECT_EQ(forward, back);
}

TEST_F(Pages, OpensAtAMessageOrADay) {
  HistoryStore s(file_, HistoryStore::Access::read_only);
  HistoryPages p(s, 16);
  const std::string key = "13900000001";
  const std::vector<std::int64_t> ids = walk_back(p, key);
  const json at = p.conversation(key, {PageAt::From::at, ids[100], ""});
  EXPECT_EQ(at["anchor"], ids[100]);
  EXPECT_EQ(at["messages"][7]["id"], ids[100]);  // half a page before it, then it
  EXPECT_TRUE(at["older"].get<bool>());
  EXPECT_TRUE(at["newer"].get<bool>());

  const json day = p.conversation(key, {PageAt::From::date, 0, "2009-03-05"});
  EXPECT_EQ(day["messages"][7]["time"], "2009-03-05 10:00:00");
  EXPECT_EQ(day["messages"][6]["time"], "2009-03-04 10:00:00");
  // A day after the last message: the end; a message of another
  // conversation: the newest page.
  EXPECT_FALSE(p.conversation(key, {PageAt::From::date, 0, "2030-01-01"})["newer"].get<bool>());
  const json other = p.conversation(key, {PageAt::From::at, 251, ""});
  EXPECT_FALSE(other.contains("anchor"));
  EXPECT_EQ(other["messages"].back()["id"], ids.back());
  EXPECT_TRUE(p.conversation("nobody", {})["messages"].empty());
}

TEST_F(Pages, SearchHitsCarryTheirConversationAndTakeAnyTextAsItStands) {
  HistoryStore s(file_, HistoryStore::Access::read_only);
  HistoryPages p(s, 100);
  const json first = p.search("harbour", std::nullopt);
  ASSERT_EQ(first["hits"].size(), 100u);
  EXPECT_TRUE(first["more"].get<bool>());
  EXPECT_EQ(first["hits"][0]["name"], "李娜");
  EXPECT_EQ(first["hits"][0]["number"], "+86 139 0000 0001");
  EXPECT_EQ(first["hits"][0]["text"], "第249条 Harbour");
  // Two characters are no trigram: found through the trigrams they begin.
  EXPECT_EQ(p.search("话费", std::nullopt)["hits"].size(), 1u);
  EXPECT_EQ(p.search("不足", std::nullopt)["hits"].size(), 1u);
  EXPECT_EQ(p.search("<script>", std::nullopt)["hits"][0]["key"], "10086");
  EXPECT_TRUE(p.search("\"", std::nullopt)["hits"].empty());
  EXPECT_TRUE(p.search("", std::nullopt)["hits"].empty());
}

// Every hit of a text, walked page by page, as sorting all of them by time
// lists them.
std::vector<std::int64_t> all_hits(HistoryPages& p, const std::string& text) {
  std::vector<std::int64_t> ids;
  json page = p.search(text, std::nullopt);
  for (;;) {
    for (const json& h : page["hits"]) ids.push_back(h["id"]);
    if (!page["more"].get<bool>()) return ids;
    page = p.search(text, ids.back());
  }
}

std::vector<std::int64_t> sorted_hits(HistoryStore& s, const std::string& text) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(s.connection(),
                     "SELECT id FROM messages WHERE instr(lower(text), lower(?1)) > 0 "
                     "ORDER BY time DESC, id DESC",
                     -1, &st, nullptr);
  sqlite3_bind_text(st, 1, text.c_str(), -1, SQLITE_TRANSIENT);
  std::vector<std::int64_t> ids;
  while (sqlite3_step(st) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(st, 0));
  sqlite3_finalize(st);
  return ids;
}

TEST(Search, SearchByIdGivesTheOrderOfTime) {
  vardel::testing::TempFolder folder("vardel-pages");
  const auto file = folder / "h.db";
  auto add = [&](int from, int to, int year, const char* number) {
    HistoryStore s(file);
    s.begin();
    for (int i = from; i < to; ++i)
      s.add_message(msg(true, number,
                        std::to_string(year + i % 7) + "-0" + std::to_string(1 + i % 9) + "-" +
                            two(1 + i % 28) + " 1" + std::to_string(i % 10) + ":00:00",
                        (i % 3 ? "Common words " : "rare ") + std::to_string(i)),
                    "a");
    s.commit();
  };
  // Ids against time: a recent phone, then an old phone's backup added
  // later, then recent messages again, some at equal times.
  add(0, 700, 2015, "1");
  add(700, 1400, 2003, "2");
  add(1400, 1700, 2015, "3");
  HistoryStore s(file, HistoryStore::Access::read_only);
  HistoryPages p(s, 25);
  for (const char* text : {"common", "words 1", "rare 13", "rare", "re 1"}) {
    const auto expected = sorted_hits(s, text);
    ASSERT_FALSE(expected.empty()) << text;
    EXPECT_EQ(all_hits(p, text), expected) << text;
  }
  // Messages added after the pages were opened, old and new.
  add(1700, 1900, 2001, "4");
  add(1900, 2000, 2030, "5");
  EXPECT_EQ(all_hits(p, "common"), sorted_hits(s, "common"));
}

// A two-character Chinese text is found through the trigrams that begin
// with it and the index of endings: wherever it stands in a message, and
// as a whole message, the hits are those reading every message finds.
TEST(Search, TwoChineseCharactersFindWhatReadingEveryMessageFinds) {
  vardel::testing::TempFolder folder("vardel-pages");
  const auto file = folder / "h.db";
  {
    HistoryStore s(file);
    s.begin(1000);  // the indexes made at the end, as a first add makes them
    const char* texts[] = {"张伟", "张伟说好", "我是张伟", "请找张伟吧", "张 伟",
                           "伟张", "张伟张伟", "明天见",   "zhang 张伟!"};
    for (int i = 0; i < 90; ++i)
      s.add_message(msg(i % 2 == 0, std::to_string(i % 4),
                        "2012-0" + std::to_string(1 + i % 9) + "-" + two(1 + i % 28) + " 10:00:00",
                        std::string(texts[i % 9]) + (i % 2 ? "" : std::to_string(i))),
                    "a");
    s.commit();
  }
  HistoryStore s(file, HistoryStore::Access::read_only);
  HistoryPages p(s, 7);
  // The indexes answer Chinese; Latin letters are read message by message.
  ASSERT_TRUE(short_text_candidates(s.connection(), "张伟"));
  EXPECT_FALSE(short_text_candidates(s.connection(), "zh"));
  for (const char* text : {"张伟", "伟张", "明天", "天见", "找张", "zh", "g "}) {
    const auto expected = sorted_hits(s, text);
    ASSERT_FALSE(expected.empty()) << text;
    EXPECT_EQ(all_hits(p, text), expected) << text;
  }
  EXPECT_TRUE(all_hits(p, "伟明").empty());
}

TEST_F(Pages, AContactShowsEveryVersionAndItsConversations) {
  HistoryStore s(file_, HistoryStore::Access::read_only);
  HistoryPages p(s);
  const json all = p.contacts();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0]["versions"], 2);
  EXPECT_EQ(all[0]["numbers"][0]["label"], "手机");
  EXPECT_EQ(all[0]["emails"][0], "na@example.com");
  const json one = p.contact("李娜");
  ASSERT_EQ(one["versions"].size(), 2u);
  EXPECT_EQ(one["versions"][0]["first_file"], "b.xml");
  EXPECT_EQ(one["versions"][0]["fields"].size(), 3u);
  EXPECT_EQ(one["versions"][1]["fields"].size(), 2u);
  ASSERT_EQ(one["conversations"].size(), 1u);
  EXPECT_EQ(one["conversations"][0]["count"], 250);
  EXPECT_TRUE(p.contact("nobody").is_null());
}

}  // namespace
