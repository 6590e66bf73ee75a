// Files given to the wrong command, and the problems every command that
// takes a file can meet: each has one answer, worded and numbered the same
// by every command (the man page's DIAGNOSTICS table), and none of them
// changes the device.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

size_t lines(const std::string& s) { return std::count(s.begin(), s.end(), '\n'); }

class Refusals : public Cli {
 protected:
  // A demo phone backed up, and one file of every kind people hand over,
  // each written by the command that makes it.
  void SetUp() override {
    ASSERT_EQ(vardel("device init --demo").status, 0);
    ASSERT_EQ(vardel("backup --yes").status, 0);
    for (const char* made :
         {"contacts export c.vcf", "contacts export c.json",
          "contacts export --to google-csv c.csv", "messages export s.xml", "messages export s.zip",
          "messages export m.json", "messages export m.csv"}) {
      const std::string args = made;
      const size_t name = args.rfind(' ') + 1;
      ASSERT_EQ(
          vardel(args.substr(0, name) + "'" + (dir_ / args.substr(name)).string() + "'").status, 0)
          << made;
    }
    fs::copy_file(backup_dir() / "通讯录.xml", dir_ / "contacts-backup.xml");
    fs::copy_file(backup_dir() / "短信.xml", dir_ / "messages-backup.xml");
  }
  std::string at(const std::string& name) const { return "'" + (dir_ / name).string() + "'"; }
};

// Which command takes what, as the refusal names it.
struct Kind {
  const char* file;
  const char* is;
  const char* taker;
};
const Kind kKinds[] = {
    {"c.vcf", "is a vCard file (contacts)", "`vardel contacts import` takes it"},
    {"c.json", "is a JSON file of contacts", "`vardel contacts import` takes it"},
    {"c.csv", "is a CSV file (contacts)", "`vardel contacts import` takes it"},
    {"s.xml", "is an Android SMS backup (messages)", "`vardel messages import` takes it"},
    {"s.zip", "is a ZIP archive (SMS Import / Export messages)",
     "`vardel messages import` takes it"},
    {"m.json", "is a JSON file of messages", "`vardel messages import` takes it"},
    {"m.csv", "is a CSV file of messages", "no vardel command reads it back"},
    {"contacts-backup.xml", "is a contacts backup of this program", "`vardel restore` takes it"},
    {"messages-backup.xml", "is a messages backup of this program",
     "`vardel messages restore` takes it"},
};

TEST_F(Refusals, AFileGivenToTheWrongCommandIsNamedWithTheCommandThatTakesIt) {
  // The commands, and the files each takes.
  const std::map<std::string, std::vector<std::string>> takes = {
      {"contacts import", {"c.vcf", "c.json", "c.csv"}},
      {"messages import", {"s.xml", "s.zip", "m.json"}},
      {"messages restore --yes", {"messages-backup.xml"}},
      {"convert", {"contacts-backup.xml", "messages-backup.xml"}},
      {"render", {"contacts-backup.xml", "messages-backup.xml"}},
  };
  const auto before = snapshot(device_);
  for (const auto& [command, files] : takes)
    for (const Kind& k : kKinds) {
      if (std::find(files.begin(), files.end(), k.file) != files.end()) continue;
      std::string args = command + " " + at(k.file);
      if (command == "convert") args += " -o " + at("out.vcf");
      if (command == "render") args += " -o " + at("out.html");
      const CliResult r = vardel(args);
      EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
      EXPECT_TRUE(has(r.err, (dir_ / k.file).string() + " " + k.is)) << args << "\n" << r.err;
      EXPECT_TRUE(has(r.err, k.taker)) << args << "\n" << r.err;
      EXPECT_EQ(lines(r.err), 1u) << r.err;
      EXPECT_EQ(r.out, "") << args;  // not even the restore's question
    }
  EXPECT_EQ(snapshot(device_), before);
  EXPECT_FALSE(fs::exists(dir_ / "out.vcf"));
  EXPECT_FALSE(fs::exists(dir_ / "out.html"));

  // A file of no kind at all, to the commands that read only backups.
  write("notes.txt", "a shopping list\n");
  for (const std::string& args :
       {"convert " + at("notes.txt") + " -o " + at("out.vcf"), "render " + at("notes.txt"),
        "messages import " + at("notes.txt"), "contacts import " + at("notes.txt")}) {
    const CliResult r = vardel(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_TRUE(has(r.err, "notes.txt is not a file vardel reads")) << args << "\n" << r.err;
  }

  // The restore's own file, replaced by an Android backup of that name: said
  // before the question is asked.
  fs::copy_file(dir_ / "s.xml", backup_dir() / "通讯录.xml", fs::copy_options::overwrite_existing);
  const auto swapped = snapshot(device_);
  const CliResult r = vardel("restore");
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_TRUE(has(r.err, "通讯录.xml is an Android SMS backup (messages)")) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(snapshot(device_), swapped);
}

// Every command that takes a file, against every problem it can meet.
TEST_F(Refusals, EachProblemHasOneWordingAndOneStatusInEveryCommand) {
  const std::string in_folder = " (in the backup folder or as a path)";
  struct Command {
    std::string args;  // FILE for the file
    bool looks_in_backup_folder;
    bool changes_device;
  };
  const Command commands[] = {
      {"contacts import FILE", false, true},
      {"messages import FILE", false, true},
      {"messages restore --yes FILE", true, true},
      {"view FILE", true, false},
      {"render FILE -o " + at("page.html"), true, false},
      {"convert FILE -o " + at("out.vcf"), true, false},
  };
  fs::create_directory(dir_ / "folder.xml");
  ASSERT_EQ(::mkfifo((dir_ / "fifo.xml").c_str(), 0600), 0);
  const auto before = snapshot(device_);
  auto with = [](std::string args, const std::string& file) {
    return args.replace(args.find("FILE"), 4, file);
  };
  for (const Command& c : commands) {
    CliResult r = vardel(with(c.args, "nope.xml"));
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(r.err,
              "vardel: nope.xml: no such file" + (c.looks_in_backup_folder ? in_folder : "") + "\n")
        << c.args;

    r = vardel(with(c.args, at("folder.xml")));
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(r.err, "vardel: " + (dir_ / "folder.xml").string() + ": cannot be read (a folder)\n")
        << c.args;

    r = vardel(with(c.args, at("fifo.xml")));
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(r.err,
              "vardel: " + (dir_ / "fifo.xml").string() + ": cannot be read (not a regular file)\n")
        << c.args;

    // A device that is not there: the commands that need one say so; a path
    // needs none.
    r = vardel("--device " + at("nowhere") + " " + with(c.args, at("c.vcf")));
    if (c.args.starts_with("render") || c.args.starts_with("convert")) {
      EXPECT_FALSE(has(r.err, "does not exist")) << c.args << "\n" << r.err;
    } else {
      EXPECT_EQ(r.status, 2) << c.args;
      EXPECT_EQ(r.err, "vardel: device folder " + (dir_ / "nowhere").string() +
                           " does not exist (make one with `vardel device init`)\n")
          << c.args;
    }
  }
  EXPECT_EQ(snapshot(device_), before);
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));

  // Another vardel changing the device: this test holds its lock.
  const int fd = ::open((device_ / ".device" / "lock").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  for (const Command& c : commands) {
    if (!c.changes_device) continue;
    const std::string file = c.looks_in_backup_folder ? "短信.xml" : at("c.vcf");
    const CliResult r = vardel(with(c.args, file));
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(r.err, "vardel: the device " + device_.string() +
                         " is busy: another vardel is changing it\n")
        << c.args;
  }
  ::close(fd);
  EXPECT_EQ(snapshot(device_), before);
}

}  // namespace
