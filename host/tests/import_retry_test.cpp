// Importing the same file again: after a run that finished, or one killed at
// any moment (before its commit, during it, after it while the store is
// being closed), the retry leaves each record on the phone exactly once.
#include <nlohmann/json.hpp>

#include "host/tests/cli_fixture.h"

namespace vardel_test {
namespace {

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class ImportRetry : public Cli {
 public:
  size_t contacts() { return nlohmann::json::parse(vardel("contacts list").out).size(); }
  size_t messages() {
    size_t n = 0;
    const auto listed = nlohmann::json::parse(vardel("messages list").out);
    for (const auto& store : listed["stores"])
      for (const auto& [key, value] : store.items())
        if (value.is_array()) n += value.size();
    return n;
  }
  // Kills `import FILE` later and later, each time on a fresh device, until
  // a run finishes before its kill; after each kill, the retry must bring
  // the phone to exactly `whole` records, and one more retry adds nothing.
  // The delays step through a clean run's length in about 30 steps.
  void kill_loop(const std::string& group, const fs::path& file, size_t whole,
                 size_t (ImportRetry::*count)()) {
    ASSERT_EQ(vardel("device init").status, 0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(vardel(group + " import '" + file.string() + "'").status, 0);
    const auto step = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - start) /
                      30;
    int kills = 0;
    for (std::chrono::microseconds delay{0};; delay += step) {
      fs::remove_all(device_);
      ASSERT_EQ(vardel("device init").status, 0);
      const bool was_killed = killed_after({group, "import", file.string()}, delay);
      SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " us");
      const CliResult retry = vardel(group + " import '" + file.string() + "'");
      ASSERT_EQ(retry.status, 0) << retry.err;
      EXPECT_EQ((this->*count)(), whole) << retry.out;
      const CliResult again = vardel(group + " import '" + file.string() + "'");
      EXPECT_EQ(again.status, 0);
      EXPECT_TRUE(has(again.out, file.string() + " was imported already (on ")) << again.out;
      EXPECT_EQ((this->*count)(), whole);
      if (!was_killed) break;
      ++kills;
      ASSERT_LT(kills, 200);
    }
    std::printf("[ kill loop ] %s import: %d kills\n", group.c_str(), kills);
  }
};

TEST_F(ImportRetry, ASecondImportOfAFileAddsNothingUnlessAskedAgain) {
  ASSERT_EQ(vardel("device init").status, 0);
  const fs::path cards = write("cards.vcf",
                               "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nTEL:1\r\nEND:VCARD\r\n"
                               "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bob\r\nTEL:2\r\nEND:VCARD\r\n");
  EXPECT_TRUE(has(vardel("contacts import '" + cards.string() + "'").out, "imported 2 contacts"));
  const CliResult second = vardel("contacts import '" + cards.string() + "'");
  EXPECT_EQ(second.status, 0);
  EXPECT_TRUE(has(second.out, cards.string() + " was imported already (on ")) << second.out;
  EXPECT_TRUE(has(second.out, "); nothing added")) << second.out;
  EXPECT_EQ(contacts(), 2u);
  EXPECT_TRUE(
      has(vardel("contacts import --again '" + cards.string() + "'").out, "imported 2 contacts"));
  EXPECT_EQ(contacts(), 4u);
  // The same name with other contents is another file.
  write("cards.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Cy\r\nTEL:3\r\nEND:VCARD\r\n");
  EXPECT_TRUE(has(vardel("contacts import '" + cards.string() + "'").out, "imported 1 contacts"));
  EXPECT_EQ(contacts(), 5u);

  // The messages store keeps its own notes: a messages import of any form
  // is known again, and a contacts import of a file says nothing of it.
  const fs::path json =
      write("m.json", R"({"stores":[{"name":"SMS","inbox":[{"from":"1","text":"a"}]}]})");
  EXPECT_TRUE(has(vardel("messages import '" + json.string() + "'").out, "imported 1 messages"));
  const CliResult repeat = vardel("messages import '" + json.string() + "'");
  EXPECT_EQ(repeat.status, 0);
  EXPECT_TRUE(has(repeat.out, json.string() + " was imported already (on ")) << repeat.out;
  EXPECT_EQ(messages(), 1u);
  EXPECT_TRUE(
      has(vardel("messages import --again '" + json.string() + "'").out, "imported 1 messages"));
  EXPECT_EQ(messages(), 2u);
}

TEST_F(ImportRetry, AContactsImportKilledAtAnyMomentIsRetriedWithoutDoubles) {
  std::string cards;
  for (int i = 0; i < 3000; ++i)
    cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Card " + std::to_string(i) +
             "\r\nTEL:" + std::to_string(100000 + i) + "\r\nEMAIL:c" + std::to_string(i) +
             "@example.org\r\nEND:VCARD\r\n";
  kill_loop("contacts", write("cards.vcf", cards), 3000, &ImportRetry::contacts);
}

TEST_F(ImportRetry, AMessagesImportKilledAtAnyMomentIsRetriedWithoutDoubles) {
  std::string inbox;
  for (int i = 0; i < 3000; ++i)
    inbox += std::string(i ? "," : "") + R"({"from":")" + std::to_string(100000 + i) +
             R"(","time":"2020-01-01T00:00:00Z","text":"message )" + std::to_string(i) + "\"}";
  kill_loop("messages",
            write("messages.json", R"({"stores":[{"name":"SMS","inbox":[)" + inbox + "]}]}"), 3000,
            &ImportRetry::messages);
}

}  // namespace
}  // namespace vardel_test
