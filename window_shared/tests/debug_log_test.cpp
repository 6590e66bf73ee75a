// The diagnostic log: entry layout, appending, a missing folder, and many
// threads writing at once.
#include <gtest/gtest.h>

#include <chrono>
#include <latch>
#include <map>
#include <regex>
#include <thread>
#include <vector>

#include "test_support/temp_device.h"
#include "window_shared/DebugLog.h"

namespace fs = std::filesystem;
using vardel::testing::read_file;
using vardel::testing::write_file;
using vardel::testing::TempDevice;
using vardel::testing::write_file;

namespace {

struct Entry {
  DWORD thread;
  long long tick;
  std::string text;
};

// Splits the log into entries: "%8x - %6d -- " + text + "\n". Every text
// in these tests ends with "\r\n", so each entry ends with "\r\n\n".
std::vector<Entry> parse(const std::string& log, std::string* rest = nullptr) {
  static const std::regex entry(R"(([ 0-9a-f]{8}) - ( *-?[0-9]{1,}) -- ([^\n]*\r\n)\n)");
  std::vector<Entry> out;
  auto it = log.cbegin();
  std::smatch m;
  while (std::regex_search(it, log.cend(), m, entry, std::regex_constants::match_continuous)) {
    out.push_back({static_cast<DWORD>(std::stoul(m[1].str(), nullptr, 16)), std::stoll(m[2].str()),
                   m[3].str()});
    EXPECT_GE(m[2].length(), 6);  // right-aligned in six, longer values whole
    it = m[0].second;
  }
  if (rest) *rest = std::string(it, log.cend());
  return out;
}

}  // namespace

TEST(DebugLog, EachCallAppendsOneEntryAndAnEmptyLine) {
  TempDevice dev;
  fs::create_directory(dev.root() / "My Documents");
  write_file(dev.root() / "My Documents" / "debugmsg.txt", "");
  DWORD before = GetTickCount();
  WriteDebugLog(u"start\r\n");
  WriteDebugLog(u"来自于：SetColumns\r\n");
  DWORD after = GetTickCount();

  std::string log = read_file(dev.root() / "My Documents" / "debugmsg.txt");
  std::string rest;
  auto entries = parse(log, &rest);
  ASSERT_EQ(entries.size(), 2u) << log;
  EXPECT_EQ(rest, "");
  EXPECT_EQ(entries[0].text, "start\r\n");
  EXPECT_EQ(entries[1].text, "来自于：SetColumns\r\n");
  for (const Entry& e : entries) {
    EXPECT_EQ(e.thread, GetCurrentThreadId());
    EXPECT_GE(static_cast<DWORD>(e.tick), before);
    EXPECT_LE(static_cast<DWORD>(e.tick), after);
  }
  char prefix[32];
  snprintf(prefix, sizeof prefix, "%8x - ", GetCurrentThreadId());
  EXPECT_EQ(log.substr(0, 11), prefix);

  // Later calls append; nothing earlier is lost.
  WriteDebugLog(u"after OpenEntry\r\n");
  entries = parse(read_file(dev.root() / "My Documents" / "debugmsg.txt"));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2].text, "after OpenEntry\r\n");
}

TEST(DebugLog, AMissingFolderMeansNoLogAndNoFailure) {
  TempDevice dev;
  WriteDebugLog(u"start\r\n");
  EXPECT_FALSE(fs::exists(dev.root() / "My Documents"));
  int entries = 0;
  for (auto& e : fs::recursive_directory_iterator(dev.root())) entries += !e.is_directory();
  EXPECT_EQ(entries, 0);

  // Within a walk the missing folder is not looked for again until the walk
  // closes the log; the next walk finds the folder made meanwhile.
  OpenDebugLog();
  WriteDebugLog(u"start\r\n");
  fs::create_directory(dev.root() / "My Documents");
  WriteDebugLog(u"SetColumns\r\n");
  CloseDebugLog();
  EXPECT_FALSE(fs::exists(dev.root() / "My Documents" / "debugmsg.txt"));
  OpenDebugLog();
  WriteDebugLog(u"start\r\n");
  CloseDebugLog();
  EXPECT_EQ(parse(read_file(dev.root() / "My Documents" / "debugmsg.txt")).size(), 1u);

  // A line longer than the usual ones is written whole as well.
  const std::u16string long_text = std::u16string(300, u'长') + u"\r\n";
  WriteDebugLog(long_text.c_str());
  auto lines = parse(read_file(dev.root() / "My Documents" / "debugmsg.txt"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].text, vardel::utf8(long_text));
}

// Within a walk entries are not written one by one, but each reaches the
// file soon without the walk doing anything more (a walk that hangs still
// shows how far it got), and every one of them by the time the walk closes
// the log, also when walks open and close it in quick turns.
TEST(DebugLog, AWalksEntriesReachTheFileWithoutWaitingForItsEnd) {
  TempDevice dev;
  fs::create_directory(dev.root() / "My Documents");
  const auto log = dev.root() / "My Documents" / "debugmsg.txt";
  OpenDebugLog();
  WriteDebugLog(u"start\r\n");
  WriteDebugLog(u"SetColumns\r\n");
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (parse(fs::exists(log) ? read_file(log) : "").size() < 2 &&
         std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(parse(read_file(log)).size(), 2u);
  CloseDebugLog();

  for (int walk = 0; walk < 20; ++walk) {
    OpenDebugLog();
    for (int i = 0; i < 100; ++i) WriteDebugLog(u"after OpenEntry\r\n");
    CloseDebugLog();
  }
  std::string rest;
  EXPECT_EQ(parse(read_file(log), &rest).size(), 2u + 20 * 100);
  EXPECT_EQ(rest, "");
}

TEST(DebugLog, EntriesFromManyThreadsStayWhole) {
  TempDevice dev;
  fs::create_directory(dev.root() / "My Documents");
  constexpr int kThreads = 4, kEach = 50;
  std::vector<std::thread> threads;
  std::map<DWORD, int> expected_ids;
  std::mutex mu;
  std::latch all_started(kThreads);  // all alive at once, so no id is reused
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      {
        std::lock_guard lock(mu);
        expected_ids[GetCurrentThreadId()] = 0;
      }
      all_started.arrive_and_wait();
      for (int i = 0; i < kEach; ++i) WriteDebugLog(u"after QueryRows111\r\n");
    });
  }
  for (auto& t : threads) t.join();
  std::string rest;
  auto entries = parse(read_file(dev.root() / "My Documents" / "debugmsg.txt"), &rest);
  EXPECT_EQ(rest, "");
  ASSERT_EQ(entries.size(), static_cast<size_t>(kThreads * kEach));
  std::map<DWORD, int> per_thread;
  for (const Entry& e : entries) {
    EXPECT_EQ(e.text, "after QueryRows111\r\n");
    ++per_thread[e.thread];
  }
  EXPECT_EQ(per_thread.size(), expected_ids.size());
  for (const auto& [id, n] : per_thread) {
    EXPECT_TRUE(expected_ids.count(id));
    EXPECT_EQ(n, kEach);
  }
}

// Night after night of backups: the log never takes more than twice its
// limit, the newest lines are in the current file, the ones before them in
// the older copy, and every line stays whole across the switch.
TEST(DebugLog, TheLogIsBoundedByMovingItAsideAtItsLimit) {
  TempDevice dev;
  const fs::path docs = dev.root() / "My Documents";
  fs::create_directory(docs);
  const std::u16string text = u"after QueryRows111 来自于：10086\r\n";
  for (int backup = 0; backup < 3; ++backup) {
    OpenDebugLog();
    for (int i = 0; i < 25000; ++i) WriteDebugLog(text.c_str());  // about 1.2 MiB
    CloseDebugLog();
  }
  const auto current = fs::file_size(docs / "debugmsg.txt");
  const auto older = fs::file_size(docs / "debugmsg.old.txt");
  EXPECT_LE(current, static_cast<std::uintmax_t>(DEBUG_LOG_LIMIT));
  EXPECT_LE(older, static_cast<std::uintmax_t>(DEBUG_LOG_LIMIT));
  EXPECT_GT(older, static_cast<std::uintmax_t>(DEBUG_LOG_LIMIT) * 9 / 10);
  for (const char* name : {"debugmsg.txt", "debugmsg.old.txt"}) {
    std::string rest;
    auto entries = parse(read_file(docs / name), &rest);
    EXPECT_EQ(rest, "") << name;
    EXPECT_GT(entries.size(), 0u);
  }

  // A folder in the older file's place: an empty one gives way; one with
  // files in it is left alone and the log stops at its limit.
  fs::remove(docs / "debugmsg.old.txt");
  fs::create_directory(docs / "debugmsg.old.txt");
  OpenDebugLog();
  for (int i = 0; i < 25000; ++i) WriteDebugLog(text.c_str());
  CloseDebugLog();
  EXPECT_TRUE(fs::is_regular_file(docs / "debugmsg.old.txt"));
  fs::remove(docs / "debugmsg.old.txt");
  fs::create_directory(docs / "debugmsg.old.txt");
  write_file(docs / "debugmsg.old.txt" / "mine.txt", "keep me");
  for (int backup = 0; backup < 2; ++backup) {
    OpenDebugLog();
    for (int i = 0; i < 25000; ++i) WriteDebugLog(text.c_str());
    CloseDebugLog();
  }
  EXPECT_LE(fs::file_size(docs / "debugmsg.txt"), static_cast<std::uintmax_t>(DEBUG_LOG_LIMIT));
  EXPECT_EQ(read_file(docs / "debugmsg.old.txt" / "mine.txt"), "keep me");
  fs::remove_all(docs / "debugmsg.old.txt");

  // Outside a walk each line is written and the file closed again: it can be
  // moved away between two lines.
  fs::rename(docs / "debugmsg.txt", docs / "kept.txt");
  WriteDebugLog(u"start\r\n");
  EXPECT_EQ(parse(read_file(docs / "debugmsg.txt")).size(), 1u);
}
