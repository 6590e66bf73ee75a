// Backups checked after they are written: SHA256SUMS as sha256sum reads it,
// and `vardel verify` naming a copy that rotted and a file cut short.
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <fstream>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The one dated copy of stem in the backup folder.
fs::path dated_copy(const fs::path& dir, const std::string& stem) {
  fs::path found;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.rfind(stem, 0) == 0 && name != stem + ".xml") found = e.path();
  }
  return found;
}

void flip_byte(const fs::path& p, std::streamoff at) {
  std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
  f.seekg(at);
  char c = 0;
  f.get(c);
  f.seekp(at);
  f.put(static_cast<char>(c ^ 0x01));
}

TEST_F(Cli, EveryBackupIsListedInSha256sumsAsSha256sumChecksIt) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const std::string sums = read_file(backup_dir() / "SHA256SUMS");
  for (const char* name :
       {"  通讯录.xml\n", "  短信.xml\n", "  MessageLogContact.xsl\n", "  MessageLogMsg.xsl\n"})
    EXPECT_TRUE(has(sums, name)) << name << sums;
  EXPECT_TRUE(has(sums, "  " + dated_copy(backup_dir(), "通讯录").filename().string() + "\n"));
  const std::string check = "cd '" + backup_dir().string() + "' && sha256sum --quiet -c SHA256SUMS";
  EXPECT_EQ(std::system(check.c_str()), 0);

  const CliResult r = vardel("verify");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "all 6 files are whole")) << r.out;
  EXPECT_TRUE(has(r.out, "通讯录.xml (40 records)")) << r.out;
}

TEST_F(Cli, VerifyNamesARottedDatedCopyAndACurrentFileCutShort) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const fs::path dated = dated_copy(backup_dir(), "通讯录");
  flip_byte(dated, 200);
  fs::resize_file(backup_dir() / "短信.xml", fs::file_size(backup_dir() / "短信.xml") / 2);

  CliResult r = vardel("verify");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(has(r.out, "changed")) << r.out;
  EXPECT_TRUE(has(r.out, dated.filename().string())) << r.out;
  EXPECT_TRUE(has(r.out, "短信.xml: is cut short")) << r.out;
  EXPECT_TRUE(has(r.out, "2 of 6 files are not whole")) << r.out;

  r = vardel("verify --json");
  EXPECT_EQ(r.status, 1);
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_FALSE(j["whole"].get<bool>());
  int broken = 0;
  for (const auto& f : j["files"])
    if (!f["whole"].get<bool>()) {
      ++broken;
      EXPECT_TRUE(f["name"] == dated.filename().string() || f["name"] == "短信.xml") << f;
      EXPECT_EQ(f["problems"][0], "changed");
    }
  EXPECT_EQ(broken, 2);

  // The next backup replaces the current file but vouches for nothing that
  // rotted: the old dated copy, and the new dated copy of the cut file, are
  // still named.
  ASSERT_EQ(vardel("backup --yes").status, 0);
  r = vardel("verify");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.out, dated.filename().string())) << r.out;
  EXPECT_TRUE(has(r.out, "短信.xml (300 records)")) << r.out;
  EXPECT_TRUE(has(r.out, "2 of 8 files are not whole")) << r.out;
}

TEST_F(Cli, VerifyChecksACopiedFolderAndRefusesAMissingOne) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const fs::path copy = dir_ / "copy";
  fs::copy(backup_dir(), copy);
  EXPECT_EQ(vardel("verify '" + copy.string() + "'").status, 0);
  fs::remove(copy / "通讯录.xml");
  const CliResult r = vardel("verify '" + copy.string() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.out, "missing")) << r.out;
  EXPECT_EQ(vardel("verify '" + (dir_ / "nowhere").string() + "'").status, 2);
}

TEST_F(Cli, PruneRemovesOnlyWhatNoRuleKeepsAndKeepsTheListWhole) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  // Copies of earlier days, as dated copies of the contacts file.
  const std::string contacts = read_file(backup_dir() / "通讯录.xml");
  for (const char* day : {"261101", "261102", "261201"})
    fs::copy_file(backup_dir() / "通讯录.xml",
                  backup_dir() / (std::string("通讯录") + day + "_080000.xml"));
  ASSERT_EQ(vardel("backup --yes").status, 0);  // lists them
  vardel::testing::write_file(backup_dir() / "notes.txt", "mine");
  const auto before = snapshot(device_);

  CliResult r = vardel("prune");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "at least one rule")) << r.err;
  r = vardel("prune --keep-monthly 1 --dry-run");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "remove  通讯录261101_080000.xml")) << r.out;
  EXPECT_EQ(snapshot(device_), before);

  r = vardel("prune --keep-monthly 1");
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* gone :
       {"通讯录261101_080000.xml", "通讯录261102_080000.xml", "通讯录261201_080000.xml"})
    EXPECT_FALSE(fs::exists(backup_dir() / gone)) << gone;
  for (const char* kept : {"通讯录.xml", "短信.xml", "MessageLogMsg.xsl", "notes.txt"})
    EXPECT_TRUE(fs::exists(backup_dir() / kept)) << kept;
  EXPECT_EQ(read_file(backup_dir() / "通讯录.xml"), contacts);
  r = vardel("verify");
  EXPECT_EQ(r.status, 0) << r.out;
}

// Under the usual umask every file a user's data lands in is the owner's
// alone, and a mode the owner set survives the next backup.
TEST_F(Cli, EveryFileOfTheDeviceIsPrivateAndAModeTheOwnerSetIsKept) {
  const mode_t old_mask = ::umask(022);  // inherited by every run below
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  ASSERT_EQ(vardel("render 通讯录.xml").status, 0);
  const fs::path exported = dir_ / "out.vcf";
  ASSERT_EQ(vardel("contacts export '" + exported.string() + "'").status, 0);
  auto mode = [](const fs::path& p) { return fs::status(p).permissions() & fs::perms::all; };
  size_t files = 0;
  for (const fs::path& root : {device_, dir_ / "cache"})
    for (const auto& e : fs::recursive_directory_iterator(root)) {
      if (e.is_symlink()) continue;
      const auto want =
          e.is_directory() ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write;
      EXPECT_EQ(mode(e.path()), want) << e.path();
      files += e.is_regular_file();
    }
  EXPECT_GT(files, 10u);
  EXPECT_EQ(mode(exported), fs::perms::owner_read | fs::perms::owner_write);

  fs::permissions(backup_dir() / "通讯录.xml",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  EXPECT_EQ(mode(backup_dir() / "通讯录.xml"),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ::umask(old_mask);
}

}  // namespace
