// A user's data through the command line: a new phone's first backup, a
// restore onto the phone that still holds its contacts, and contacts from
// another phone that carry no file-as name.
#include <nlohmann/json.hpp>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(Cli, ANewPhoneBacksUpAtOnceAndInitGivesBackAMissingSmsStore) {
  ASSERT_EQ(vardel("device init").status, 0);
  CliResult r = vardel("backup --yes");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "备份已经完成"));
  EXPECT_FALSE(has(read_file(backup_dir() / "短信.xml"), "<VCARD"));

  // A device whose messages database lost its SMS store: init adds one and
  // keeps the contacts.
  const fs::path card = write("one.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Kept\r\nEND:VCARD\r\n");
  ASSERT_EQ(vardel("contacts import '" + card.string() + "'").status, 0);
  for (const char* suffix : {"", "-wal", "-shm"})
    fs::remove(device_ / ".device" / (std::string("messages.db") + suffix));
  ASSERT_EQ(vardel("device init").status, 0);
  EXPECT_TRUE(has(vardel("contacts list").out, "Kept"));
  r = vardel("backup --yes");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

// The demo phone holds a few contacts twice: those the restore's duplicate
// removal takes away; every other contact stays exactly as it was.
TEST_F(Cli, BackupThenRestoreOntoTheSamePhoneChangesNoContact) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  auto before = nlohmann::json::parse(vardel("contacts list").out);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const CliResult r = vardel("restore --yes");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "恢复已经完成"));

  nlohmann::json expected = nlohmann::json::array();
  for (const auto& contact : before)
    if (expected.empty() || expected.back() != contact) expected.push_back(contact);
  EXPECT_LT(expected.size(), before.size());
  EXPECT_EQ(nlohmann::json::parse(vardel("contacts list").out), expected);
}

TEST_F(Cli, VcardsWithoutAFormattedNameReachTheBackup) {
  ASSERT_EQ(vardel("device init").status, 0);
  const fs::path cards =
      write("names.vcf",
            "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Lee;Ann;;;\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nVERSION:3.0\r\nEMAIL:who@example.com\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nVERSION:3.0\r\nORG:中国移动\r\nEND:VCARD\r\n");
  const CliResult imported = vardel("contacts import '" + cards.string() + "'");
  ASSERT_EQ(imported.status, 0) << imported.err;
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const std::string file = read_file(backup_dir() / "通讯录.xml");
  EXPECT_TRUE(has(file, "TITLE=\"Lee, Ann\""));
  EXPECT_TRUE(has(file, "TITLE=\"who@example.com\""));
  EXPECT_TRUE(has(file, "TITLE=\"中国移动\""));
}

// The demo phone's sent messages to two numbers are backed up under the last
// one: restoring that backup onto the same phone must not take them for new.
TEST_F(Cli, AMessagesRestoreOntoTheSamePhoneAddsNothing) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const std::string before = read_file(backup_dir() / "短信.xml");
  const CliResult r = vardel("messages restore --yes");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "restored 0 messages")) << r.out;
  ASSERT_EQ(vardel("backup --yes").status, 0);
  EXPECT_EQ(read_file(backup_dir() / "短信.xml"), before);
}

}  // namespace
