// The history's pages on a big history: 1,000,000 messages in 2,000
// conversations (a few long ones, many short, as a phone's are), Chinese
// and Latin texts, 300 named contacts. Times what `vardel history view`
// answers, as the server's time: the answer's query and its JSON, each
// asked 15 times (median and slowest), and once more through the page
// server over loopback HTTP for the whole round trip.
//
// The history is made once into the file named (default: in the temporary
// folder) and reused while it holds the count asked for.
//
//   bench_history_view_bench [count=1000000] [--history FILE]
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/measure.h"
#include "host/history/history_store.h"
#include "host/history_view/history_pages.h"
#include "host/history_view/view_server.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"

namespace fs = std::filesystem;
using vardel::history::HistoryMessage;
using vardel::history::HistoryStore;
using vardel::history_view::HistoryPages;
using vardel::history_view::PageAt;

namespace {

constexpr int kConversations = 2000;

struct Lcg {
  std::uint64_t state = 0x2545F4914F6CDD1Dull;
  std::uint32_t next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state >> 33);
  }
  double unit() { return next() / 2147483648.0; }  // next() gives 31 bits
};

const char* const kWords[] = {
    "晚上",   "一起",   "吃饭",     "收到", "谢谢",   "会议",     "下午",     "三点",
    "快递",   "门卫室", "验证码",   "周末", "爬山",   "明天",     "见面",     "转账",
    "请查收", "路上",   "生日快乐", "🎂",    "老地方", "meeting",  "tomorrow", "running",
    "late",   "call",   "me",       "back", "thanks", "see",      "you",      "station",
    "dinner", "OK",     "sure",     "7pm",  "works",  "birthday", "happy",    "weekend"};

std::string number_of(int who) { return "139" + std::to_string(10000000 + who * 37); }

long held(const fs::path& file) {
  std::error_code ec;
  if (!fs::exists(file, ec)) return -1;
  try {
    HistoryStore s(file, HistoryStore::Access::read_only);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(s.connection(), "SELECT count(*) FROM messages", -1, &st, nullptr);
    const long n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
    sqlite3_finalize(st);
    return n;
  } catch (const std::exception&) {
    return -1;
  }
}

void make_history(const fs::path& file, long count) {
  fs::remove(file);
  fs::remove(file.string() + "-wal");
  fs::remove(file.string() + "-shm");
  const auto start = std::chrono::steady_clock::now();
  HistoryStore s(file);
  Lcg rng;
  const long kBatch = 50000;
  for (long i = 0; i < count; ++i) {
    if (i % kBatch == 0) s.begin();
    // Squared: a few long conversations (the longest some 20,000 messages),
    // most of a few hundred.
    const double u = rng.unit();
    const int who = static_cast<int>(u * u * kConversations);
    // Ten years, one message every five minutes or so on average.
    const long minute = i * 5 + static_cast<long>(rng.next() % 5);
    const std::time_t t = 1230768000 + minute * 60;  // from 2009-01-01
    std::tm tm{};
    gmtime_r(&t, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    std::string text;
    const int words = 3 + static_cast<int>(rng.next() % 12);
    for (int w = 0; w < words; ++w) {
      const char* word = kWords[rng.next() % std::size(kWords)];
      if (!text.empty() && static_cast<unsigned char>(word[0]) < 0x80) text += ' ';
      text += word;
    }
    text += " #" + std::to_string(i);  // every text its own
    HistoryMessage m{rng.next() % 2 == 0, number_of(who), when, text, "", "", "", ""};
    s.add_message(m, "bench.xml");
    if (i % kBatch == kBatch - 1 || i == count - 1) s.commit();
  }
  s.begin();
  for (int c = 0; c < 300; ++c)
    s.add_contact({{PIMPR_FILEAS, u"联系人" + vardel::utf16(std::to_string(c))},
                   {PIMPR_MOBILE_TELEPHONE_NUMBER, vardel::utf16(number_of(c * 5))}},
                  "bench.xml");
  s.commit();
  std::printf("made %ld messages in %.1f s\n", count, seconds_since(start));
}

struct Timing {
  double median_ms, max_ms;
};

Timing time_it(const std::function<void()>& f, int runs = 15) {
  std::vector<double> ms;
  f();  // the first asking warms SQLite's page cache, as the page's first load does
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    ms.push_back(seconds_since(start) * 1000);
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

}  // namespace

int main(int argc, char** argv) {
  long count = 1000000;
  fs::path file = fs::temp_directory_path() / "vardel-history-view-bench.db";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--history") == 0 && i + 1 < argc)
      file = argv[++i];
    else
      count = std::atol(argv[i]);
  }
  if (held(file) != count) make_history(file, count);

  auto opening = std::chrono::steady_clock::now();
  HistoryStore store(file, HistoryStore::Access::read_only);
  std::printf("opened (with its check) in %.0f ms\n", seconds_since(opening) * 1000);
  opening = std::chrono::steady_clock::now();
  HistoryPages pages(store);
  std::printf("pages ready in %.0f ms\n", seconds_since(opening) * 1000);
  const nlohmann::json all = pages.conversations();
  const std::string longest = all.empty() ? "" : [&] {
    std::string key;
    long most = 0;
    for (const auto& c : all)
      if (c["count"].get<long>() > most) {
        most = c["count"].get<long>();
        key = c["key"];
      }
    return key;
  }();
  const std::string typical = all.size() > 1000 ? all[1000]["key"].get<std::string>() : longest;
  std::int64_t deep = 0;  // a message far back in the longest conversation
  {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(store.connection(),
                       "SELECT id FROM messages WHERE number_key = ?1 ORDER BY time LIMIT 1 "
                       "OFFSET 100",
                       -1, &st, nullptr);
    sqlite3_bind_text(st, 1, longest.c_str(), -1, SQLITE_STATIC);
    if (sqlite3_step(st) == SQLITE_ROW) deep = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
  }
  std::printf("%ld messages, %zu conversations (longest %s)\n", count, all.size(), longest.c_str());

  struct Case {
    const char* what;
    std::function<nlohmann::json()> answer;
    std::string path;  // the same through the server
  };
  const std::vector<Case> cases = {
      {"conversations list", [&] { return pages.conversations(); }, "api/conversations"},
      {"first page, longest conversation", [&] { return pages.conversation(longest, {}); },
       "api/conversation?key=" + longest},
      {"first page, typical conversation", [&] { return pages.conversation(typical, {}); },
       "api/conversation?key=" + typical},
      {"older page, far back",
       [&] {
         return pages.conversation(longest, {PageAt::From::before, deep, ""});
       },
       "api/conversation?key=" + longest + "&before=" + std::to_string(deep)},
      {"open at a day",
       [&] {
         return pages.conversation(longest, {PageAt::From::date, 0, "2012-06-01"});
       },
       "api/conversation?key=" + longest + "&date=2012-06-01"},
      {"search 验证码 (common)", [&] { return pages.search("验证码", std::nullopt); },
       "api/search?q=%E9%AA%8C%E8%AF%81%E7%A0%81"},
      {"search \"running late\"", [&] { return pages.search("running late", std::nullopt); },
       "api/search?q=running%20late"},
      {"search #123456 (one hit)", [&] { return pages.search("#123456 ", std::nullopt); },
       "api/search?q=%23123456%20"},
      {"search 门卫 (two characters)", [&] { return pages.search("门卫", std::nullopt); },
       "api/search?q=%E9%97%A8%E5%8D%AB"},
      {"search 没有 (two characters, no hit)", [&] { return pages.search("没有", std::nullopt); },
       "api/search?q=%E6%B2%A1%E6%9C%89"},
  };

  vardel::history_view::ViewServer server(store);
  std::atomic<bool> stop{false};
  std::thread serving([&] { server.serve(stop, std::chrono::minutes(10)); });
  httplib::Client client("127.0.0.1", server.port());
  std::printf("%-36s %12s %12s %14s\n", "answer", "median ms", "slowest ms", "over HTTP ms");
  for (const Case& c : cases) {
    const Timing t = time_it([&] { (void)c.answer().dump(); });
    const Timing h = time_it([&] {
      auto r = client.Get(("/" + server.token() + "/" + c.path).c_str());
      if (!r || r->status != 200) std::fprintf(stderr, "%s: no answer\n", c.path.c_str());
    });
    std::printf("%-36s %12.1f %12.1f %14.1f\n", c.what, t.median_ms, t.max_ms, h.median_ms);
  }
  stop = true;
  serving.join();
  return 0;
}
