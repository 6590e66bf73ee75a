// The backup folder's files read from the host side are read through the
// device root, as the phone's own jobs read them: `messages restore`,
// `history add`, `convert`, `render`, `view`, `verify` and the history a
// backup adds to take nothing through a link that leads out of the device,
// and a FIFO in a backup's place is refused at once.
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "host/device/backup_files.h"
#include "host/device/device_tools.h"
#include "host/history/history_add.h"
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
    outside.insert(at,
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

// Every command that reads one backup file named in the backup folder.
TEST_F(DeviceInputs, ConvertRenderAndViewTakeNothingThroughALinkOrAFifo) {
  // An outside contacts backup, whose names would show in what is made.
  std::string contacts = read_file(backup_dir() / "通讯录.xml");
  const auto at = contacts.find("<VCARD");
  ASSERT_NE(at, std::string::npos);
  contacts.insert(at, "<VCARD TITLE=\"Outsider\"><FIRSTNAME>Outsider</FIRSTNAME></VCARD>");
  const fs::path outside_contacts = write("outside-contacts.xml", contacts);
  const auto outside_shows = [&](const fs::path& made) {
    std::error_code ec;
    if (!fs::exists(made, ec)) return false;
    const std::string text = read_file(made);
    return has(text, "from outside") || has(text, "Outsider");
  };
  struct Case {
    std::string command;  // FILE stands for the backup's name
    fs::path made;        // what it would write
    std::string refusal;  // after the name
  };
  const std::string link_out = ": refused, a link on the way leads out of the device";
  const std::vector<Case> cases = {
      {"convert FILE -o '" + (dir_ / "out.json").string() + "'", dir_ / "out.json", link_out},
      {"render FILE -o '" + (dir_ / "page.html").string() + "'", dir_ / "page.html", link_out},
      // The window's opener is handed the device's path, which the device
      // root refuses before anything is read.
      {"view FILE", dir_ / "cache", ""},
  };
  for (const char* name : {"短信.xml", "通讯录.xml"}) {
    const fs::path file = backup_dir() / name;
    const fs::path saved = dir_ / (std::string("saved-") + name);
    fs::copy_file(file, saved, fs::copy_options::overwrite_existing);
    for (const Case& c : cases) {
      std::string args = c.command;
      args.replace(args.find("FILE"), 4, name);
      SCOPED_TRACE(args);
      fs::remove(file);
      fs::create_symlink(name == std::string("短信.xml") ? outside_ : outside_contacts, file);
      const CliResult linked = vardel(args);
      EXPECT_NE(linked.status, 0) << linked.out;
      EXPECT_TRUE(has(linked.err, c.refusal.empty() ? "could not open " + std::string(name)
                                                    : std::string(name) + c.refusal))
          << linked.err;
      if (fs::is_directory(c.made)) {
        for (const auto& e : fs::recursive_directory_iterator(c.made))
          EXPECT_FALSE(e.is_regular_file() && outside_shows(e.path())) << e.path();
      } else {
        EXPECT_FALSE(outside_shows(c.made));
      }
      replace_with_fifo(file);
      const CliResult fifo = vardel(args);  // under `timeout`: a wait would fail
      EXPECT_NE(fifo.status, 0) << fifo.out;
      EXPECT_NE(fifo.status, 124) << "waited on the FIFO";
      EXPECT_TRUE(has(fifo.err, "not a regular file")) << fifo.err;
      fs::remove(file);
      fs::copy_file(saved, file);
    }
  }
  // The contacts backup beside a messages backup gives its names only when
  // it is the device's own.
  fs::remove(backup_dir() / "通讯录.xml");
  fs::create_symlink(outside_contacts, backup_dir() / "通讯录.xml");
  const CliResult names = vardel("convert 短信.xml -o '" + (dir_ / "m.csv").string() + "'");
  EXPECT_EQ(names.status, 0) << names.err;
  EXPECT_TRUE(has(names.err, "no names from the contacts beside it")) << names.err;
  EXPECT_FALSE(outside_shows(dir_ / "m.csv"));
}

TEST_F(DeviceInputs, VerifyReadsNothingThroughALinkAndNeverWaitsOnAFifo) {
  ASSERT_EQ(vardel("verify").status, 0);
  // The history beside the backups a link out, then a FIFO.
  ASSERT_EQ(vardel("history add '" + outside_.string() + "'").status, 0);
  const fs::path outside_history = dir_ / "outside-history.db";
  fs::rename(backup_dir() / "history.db", outside_history);
  fs::create_symlink(outside_history, backup_dir() / "history.db");
  CliResult r = vardel("verify");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(has(r.out, "history.db: refused")) << r.out;
  EXPECT_FALSE(has(r.out, "messages, ")) << r.out;  // nothing read from it
  replace_with_fifo(backup_dir() / "history.db");
  r = vardel("verify");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "history.db: refused")) << r.out;
  fs::remove(backup_dir() / "history.db");

  // A backup a link out: reported, not read.
  replace_with_link(backup_dir() / "短信.xml");
  r = vardel("verify --json");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(has(r.out, "\"unreadable\"")) << r.out;
  // A folder on the way to the backup folder a link out of the device:
  // refused whole.
  fs::rename(device_ / "Storage Card", dir_ / "moved");
  fs::create_directory_symlink(dir_ / "moved", device_ / "Storage Card");
  r = vardel("verify");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_TRUE(has(r.err, "the backup folder Storage Card\\vardelbackup is outside the device"))
      << r.err;
}

// What a backup adds to the history is read through the device root too:
// a link or FIFO in a saved file's place (between the save and the adding)
// adds nothing, and the backup stands.
TEST_F(DeviceInputs, TheHistoryABackupAddsTakesNothingThroughALinkOrAFifo) {
  vardel::host::open_device(device_);
  replace_with_link(backup_dir() / "短信.xml");
  replace_with_fifo(backup_dir() / "通讯录.xml");
  for (const char* name : {"短信.xml", "通讯录.xml"}) {
    std::ostringstream warn;
    vardel::history::add_saved_backups(backup_dir() / "history.db", {backup_dir() / name},
                                       vardel::host::read_contacts_backup_bytes, warn,
                                       vardel::host::read_input_file);
    EXPECT_TRUE(has(warn.str(), "the backup was not added to the history")) << warn.str();
    EXPECT_TRUE(has(warn.str(), std::string(name) + ": refused")) << warn.str();
  }
  EXPECT_FALSE(has(vardel("history search 'from outside'").out, "from outside"));
}

}  // namespace
}  // namespace vardel_test
