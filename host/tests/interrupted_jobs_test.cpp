// A restore or an import killed at any moment (kill -9): the contacts
// database passes its integrity check, an import leaves none or all of its
// contacts (so a retry adds each once), and a restore run again afterwards
// leaves the phone with each contact once.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

class Interrupted : public Cli {
 protected:
  size_t contact_count() {
    const CliResult r = vardel("contacts list");
    EXPECT_EQ(r.status, 0) << r.err;
    return r.status == 0 ? nlohmann::json::parse(r.out).size() : 0;
  }

  bool contacts_db_whole() {
    return vardel::testing::database_intact(device_ / ".device" / "contacts.db");
  }
};

TEST_F(Interrupted, AKilledImportAddsNoneOrAllAndARetryAddsEachOnce) {
  ASSERT_EQ(vardel("device init").status, 0);
  constexpr size_t kCards = 1500;
  std::string cards;
  for (size_t i = 0; i < kCards; ++i)
    cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Person " + std::to_string(i) +
             "\r\nTEL;TYPE=CELL:139" + std::to_string(10000000 + i) + "\r\nEND:VCARD\r\n";
  const fs::path file = write("many.vcf", cards);
  // One whole import first, to place the kills across its length (builds
  // with sanitizers take several times as long).
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(vardel("contacts import '" + file.string() + "'").status, 0);
  const auto whole = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  size_t expected = kCards;
  bool saw_none = false, saw_all = false;
  for (double part : {0.02, 0.2, 0.4, 0.55, 0.7, 0.85, 1.5, 3.0}) {
    const auto ms = std::chrono::milliseconds(static_cast<long>(whole.count() * part));
    // Each run asked to import the file again: what one adds is the file
    // once more, whole or not at all.
    killed_after({"contacts", "import", "--again", file.string()}, ms);
    EXPECT_TRUE(contacts_db_whole()) << ms.count() << " ms";
    const size_t now = contact_count();
    EXPECT_TRUE(now == expected || now == expected + kCards) << ms.count() << " ms: " << now;
    if (now == expected) {
      saw_none = true;
      ASSERT_EQ(vardel("contacts import --again '" + file.string() + "'").status, 0);  // the retry
    } else {
      saw_all = true;
    }
    expected += kCards;
    EXPECT_EQ(contact_count(), expected) << ms.count() << " ms";
  }
  // The delays span the import, so both outcomes were met.
  EXPECT_TRUE(saw_none);
  EXPECT_TRUE(saw_all);
}

TEST_F(Interrupted, ARestoreKilledAtAnyMomentLosesNothingAndARerunEndsClean) {
  ASSERT_EQ(vardel("device init").status, 0);
  nlohmann::json contacts = nlohmann::json::array();
  for (int i = 0; i < 400; ++i)
    contacts.push_back({{"FileAs", "联系人 " + std::to_string(i)},
                        {"MobileTelephoneNumber", "138" + std::to_string(10000000 + i)}});
  ASSERT_EQ(vardel("contacts import '" + write("c.json", contacts.dump()).string() + "'").status,
            0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const std::string before = vardel("contacts list").out;

  for (int ms : {30, 150, 300, 600, 1000, 1600}) {
    killed_after({"restore", "--yes"}, std::chrono::milliseconds(ms));
    EXPECT_TRUE(contacts_db_whole()) << ms << " ms";
    // Every contact the phone had is still there (the restore only adds,
    // and its duplicate removal keeps the phone's own).
    EXPECT_GE(contact_count(), 400u) << ms << " ms";
  }
  const CliResult r = vardel("restore --yes");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(vardel("contacts list").out, before);
}

// A backup killed while it makes the dated copy leaves a temporary named
// after that copy; the next backup, holding the device, removes it.
TEST_F(Interrupted, TheNextBackupRemovesWhatAKilledBackupLeftBehind) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  // What a copy cut off by kill -9 leaves: a hidden temporary of a process
  // that is gone.
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const fs::path leftover =
      backup_dir() / (".通讯录090423_140509.xml.tmp" + std::to_string(gone) + "-0");
  std::ofstream(leftover) << "half a copy";
  ASSERT_EQ(vardel("backup --yes").status, 0);
  EXPECT_FALSE(fs::exists(leftover));
}

}  // namespace
