// What a watcher of replaced files is told, and that a watcher's failure
// keeps the old file; the digests it is given are the files' SHA-256.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/core/atomic_file.h"
#include "platform/core/sha256.h"
#include "platform/core/windows.h"
#include "test_support/temp_device.h"

namespace {

using vardel::testing::read_file;
using vardel::testing::TempDevice;
using vardel::testing::write_file;
namespace core = vardel::core;

std::string sha256(std::string_view text) {
  core::Sha256 sha;
  sha.update(text);
  return sha.hex();
}

TEST(Sha256, GivesTheStandardDigests) {
  EXPECT_EQ(sha256(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Fed in pieces, the same as whole.
  core::Sha256 pieces;
  pieces.update("a");
  pieces.update("bc");
  EXPECT_EQ(pieces.hex(), sha256("abc"));
  EXPECT_TRUE(core::is_sha256_hex(sha256("x")));
  EXPECT_FALSE(core::is_sha256_hex(std::string(64, 'G')));
}

struct Seen {
  std::string name, sha256, source;
};

class RecordingWatcher : public core::CommitWatcher {
 public:
  bool watches(int, const std::string& name) override {
    return name.rfind(".xml") != std::string::npos;
  }
  HRESULT committing(const core::Commit& c) override {
    seen.push_back({c.name, c.sha256, c.source_dir >= 0 ? c.source_name : ""});
    return answer;
  }
  std::vector<Seen> seen;
  HRESULT answer = S_OK;
};

class CommitWatcherTest : public ::testing::Test {
 protected:
  void SetUp() override { core::set_commit_watcher(&watcher_); }
  void TearDown() override { core::set_commit_watcher(nullptr); }
  TempDevice dev_;
  RecordingWatcher watcher_;
};

TEST_F(CommitWatcherTest, IsToldOfWrittenAndCopiedFilesWithTheirDigests) {
  core::AtomicFile file;
  ASSERT_EQ(file.open(u"\\a.xml"), S_OK);
  ASSERT_EQ(file.write("<a/>"), S_OK);
  ASSERT_EQ(file.commit(), S_OK);
  ASSERT_TRUE(CopyFileW(u"\\a.xml", u"\\b.xml", TRUE));
  write_file(dev_.root() / "c.txt", "not watched");
  ASSERT_TRUE(CopyFileW(u"\\c.txt", u"\\d.txt", TRUE));

  ASSERT_EQ(watcher_.seen.size(), 2u);
  EXPECT_EQ(watcher_.seen[0].name, "a.xml");
  EXPECT_EQ(watcher_.seen[0].sha256, sha256("<a/>"));
  EXPECT_EQ(watcher_.seen[0].source, "");
  EXPECT_EQ(watcher_.seen[1].name, "b.xml");
  EXPECT_EQ(watcher_.seen[1].sha256, sha256("<a/>"));
  EXPECT_EQ(watcher_.seen[1].source, "a.xml");
}

TEST_F(CommitWatcherTest, AWatcherThatFailsKeepsTheOldFileAndNoTemporary) {
  write_file(dev_.root() / "a.xml", "old");
  watcher_.answer = E_FAIL;
  core::AtomicFile file;
  ASSERT_EQ(file.open(u"\\a.xml"), S_OK);
  ASSERT_EQ(file.write("new"), S_OK);
  EXPECT_EQ(file.commit(), E_FAIL);
  EXPECT_FALSE(CopyFileW(u"\\a.xml", u"\\b.xml", TRUE));
  EXPECT_EQ(read_file(dev_.root() / "a.xml"), "old");
  EXPECT_FALSE(std::filesystem::exists(dev_.root() / "b.xml"));
  for (const auto& e : std::filesystem::directory_iterator(dev_.root()))
    EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
}

}  // namespace

namespace {

// Files outside the device go through the same replacement: a link or a
// device node in the target's place is refused (the link not followed), a
// replaced file keeps its owner's mode, and nothing is left beside it.
TEST(HostFile, ReplacesOnlyRegularFilesAndKeepsTheirMode) {
  vardel::testing::TempFolder dir("vardel-host-file");
  const auto& d = dir.path();
  write_file(d / "kept.txt", "old");
  ASSERT_EQ(::chmod((d / "kept.txt").c_str(), 0600), 0);
  ASSERT_EQ(core::write_host_file(d / "kept.txt", "new"), S_OK);
  EXPECT_EQ(read_file(d / "kept.txt"), "new");
  struct stat st;
  ASSERT_EQ(::stat((d / "kept.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  write_file(d / "target.txt", "elsewhere");
  std::filesystem::create_symlink(d / "target.txt", d / "link.txt");
  EXPECT_EQ(core::write_host_file(d / "link.txt", "redirected"), E_ACCESSDENIED);
  EXPECT_EQ(read_file(d / "target.txt"), "elsewhere");
  EXPECT_TRUE(std::filesystem::is_symlink(d / "link.txt"));
  EXPECT_EQ(core::write_host_file("/dev/null", "x"), E_ACCESSDENIED);
  EXPECT_EQ(core::write_host_file(d / "no-such-folder" / "a.txt", "x"),
            HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  for (const auto& e : std::filesystem::directory_iterator(d))
    EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
}

}  // namespace
