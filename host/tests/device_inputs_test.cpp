// The backup folder's files read from the host side are read through the
// device root, as the phone's own jobs read them: `messages restore` and
// `history add` with no file named take nothing through a link that leads
// out of the device, and a FIFO in a backup's place is refused at once.
#include <sys/stat.h>
#include <unistd.h>

#include "host/tests/cli_fixture.h"

namespace vardel_test {
namespace {

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class DeviceInputs : public Cli {
 protected:
  void SetUp() override {
    ASSERT_EQ(vardel("device init --demo").status, 0);
    ASSERT_EQ(vardel("backup --yes").status, 0);
    wrapper_ = "timeout 30";
    // A messages backup outside the device with a message the phone has
    // never had: what a link would bring in.
    std::string outside = read_file(backup_dir() / "短信.xml");
    const auto at = outside.find("<VCARD");
    ASSERT_NE(at, std::string::npos);
    outside.insert(
        at,
        "<VCARD ContactNumber=\"来自于：5550100\" CONTACTS=\"来自于：5550100\">"
        "<MESSAGE Date=\"2020-1-2\" Time=\"  3:4:5\"><TEXT>from outside</TEXT></MESSAGE>"
                   "</VCARD>");
    outside_ = write("outside.xml", outside);
    messages_ = vardel("messages list").out;
  }
  void replace_with_link(const fs::path& file) {
    fs::remove(file);
    fs::create_symlink(outside_, file);
  }
  void replace_with_fifo(const fs::path& file) {
    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  }
  fs::path outside_;
  std::string messages_;
};

TEST_F(DeviceInputs, AMessagesRestoreTakesNothingThroughALinkOrAFifo) {
  // The file itself as it is restores (nothing new in it).
  const CliResult plain = vardel("messages restore --yes");
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_TRUE(has(plain.out, "restored 0 messages")) << plain.out;

  replace_with_link(backup_dir() / "短信.xml");
  const CliResult linked = vardel("messages restore --yes");
  EXPECT_EQ(linked.status, 2) << linked.out;
  EXPECT_TRUE(has(linked.err, "短信.xml: refused, a link on the way leads out of the device"))
      << linked.err;
  EXPECT_EQ(vardel("messages list").out, messages_);
  // Named on the command line, the name in the backup folder is the same file.
  EXPECT_TRUE(has(vardel("messages restore --yes 短信.xml").err, "refused, a link on the way"));

  // The backup folder itself a link out: refused as well.
  fs::remove(backup_dir() / "短信.xml");
  fs::rename(backup_dir(), dir_ / "moved");
  fs::copy_file(outside_, dir_ / "moved" / "短信.xml");
  fs::create_directory_symlink(dir_ / "moved", backup_dir());
  EXPECT_NE(vardel("messages restore --yes").status, 0);
  EXPECT_EQ(vardel("messages list").out, messages_);
  fs::remove(backup_dir());
  fs::rename(dir_ / "moved", backup_dir());

  replace_with_fifo(backup_dir() / "短信.xml");
  const CliResult fifo = vardel("messages restore --yes");
  EXPECT_EQ(fifo.status, 2) << fifo.out;
  EXPECT_TRUE(has(fifo.err, "短信.xml: cannot be read (not a regular file)")) << fifo.err;
  EXPECT_EQ(vardel("messages list").out, messages_);

  // A file outside the device named by its own path is the user's choice.
  const CliResult named = vardel("messages restore --yes '" + outside_.string() + "'");
  EXPECT_EQ(named.status, 0) << named.err;
  EXPECT_TRUE(has(named.out, "restored 1 messages")) << named.out;
}

TEST_F(DeviceInputs, AHistoryAddOfTheBackupFolderSkipsALinkOutAndNeverWaitsOnAFifo) {
  replace_with_link(backup_dir() / "短信.xml");
  replace_with_fifo(backup_dir() / "更多.xml");
  const CliResult r = vardel("history add");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_TRUE(has(r.err, "短信.xml: refused, a link on the way leads out of the device")) << r.err;
  EXPECT_TRUE(has(r.out, "contact versions")) << r.out;  // the contacts backup is added
  const CliResult search = vardel("history search 'from outside'");
  EXPECT_FALSE(has(search.out, "from outside")) << search.out;
  // The outside file named on its own is added.
  EXPECT_EQ(vardel("history add '" + outside_.string() + "'").status, 0);
  EXPECT_TRUE(has(vardel("history search 'from outside'").out, "from outside"));
}

}  // namespace
}  // namespace vardel_test
