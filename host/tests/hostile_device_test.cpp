// A device folder someone else has been at: folders that are links leading
// out, FIFOs where files belong, a second vardel on the same device, and
// input that is wrong in ways a reader must notice. Nothing is written or
// read outside the device, nothing hangs, and every refusal says why.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

size_t lines(const std::string& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

class HostileDevice : public Cli {
 protected:
  fs::path outside() {
    fs::create_directories(dir_ / "outside");
    return dir_ / "outside";
  }
  bool outside_empty() { return fs::is_empty(outside()); }
};

TEST_F(HostileDevice, DeviceInitWritesNothingThroughALinkLeadingOut) {
  fs::create_directories(device_);
  fs::create_symlink(outside(), device_ / "Program Files");
  const CliResult r = vardel("device init");
  EXPECT_NE(r.status, 0);
  EXPECT_TRUE(has(r.err, "Program Files")) << r.err;
  EXPECT_TRUE(outside_empty());

  fs::remove_all(device_);
  fs::create_directories(device_);
  fs::create_symlink(outside(), device_ / ".device");
  EXPECT_NE(vardel("device init").status, 0);
  EXPECT_TRUE(outside_empty());
}

TEST_F(HostileDevice, NoCommandWritesTheDatabasesThroughALinkedSystemFolder) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  // The system folder moved out and a link left in its place.
  fs::rename(device_ / ".device", outside() / "moved");
  fs::create_symlink(outside() / "moved", device_ / ".device");
  const auto before = snapshot(outside());
  for (const char* args : {"restore --yes", "backup --yes", "contacts list"}) {
    const CliResult r = vardel(args);
    EXPECT_NE(r.status, 0) << args << "\n" << r.out << r.err;
  }
  EXPECT_EQ(snapshot(outside()), before);
}

TEST_F(HostileDevice, ABackupFolderThatIsALinkOutGetsNoFile) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  fs::create_symlink(outside(), device_ / "Storage Card" / "vardelbackup");
  const CliResult r = vardel("backup --yes");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_FALSE(has(r.out, "备份已经完成"));
  EXPECT_TRUE(outside_empty());
}

// Every command with a FIFO where each device file belongs: none waits on
// it, each ends (refusing what it cannot read) well within the time limit.
TEST_F(HostileDevice, FifosWhereDeviceFilesBelongHangNoCommand) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const fs::path fifos[] = {backup_dir() / "通讯录.xml", backup_dir() / "短信.xml",
                            backup_dir() / "MessageLogContact.xsl",
                            device_ / "Program Files" / "Vardel" / "MessageLogMsg.xsl",
                            device_ / "My Documents" / "debugmsg.txt"};
  for (const fs::path& f : fifos) {
    fs::remove(f);
    ASSERT_EQ(::mkfifo(f.c_str(), 0644), 0) << f;
  }
  env_ = "VARDEL_OPENER=true";
  wrapper_ = "timeout 30";
  const std::string card =
      write("one.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:One\r\nEND:VCARD\r\n").string();
  const std::string sms =
      write("sms.xml", "<smses><sms address=\"1\" type=\"1\"/></smses>").string();
  for (const std::string& args :
       {std::string("backup --yes"), std::string("restore --yes"), std::string("view 通讯录.xml"),
        std::string("view MessageLogContact.xsl"), std::string("about"),
        std::string("contacts list"), std::string("messages list"), std::string("device init"),
        "contacts import '" + card + "'", "messages import '" + sms + "'",
        "contacts export '" + (dir_ / "out.json").string() + "'",
        "render '" + (backup_dir() / "通讯录.xml").string() + "' -o '" +
            (dir_ / "page.html").string() + "'"}) {
    const auto start = std::chrono::steady_clock::now();
    const CliResult r = vardel(args);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_NE(r.status, 124) << args << " hung";
    EXPECT_LT(took, std::chrono::seconds(25)) << args;
  }
  // The registry file too: the card folder falls back, nothing hangs.
  fs::remove(device_ / ".device" / "registry.reg");
  ASSERT_EQ(::mkfifo((device_ / ".device" / "registry.reg").c_str(), 0644), 0);
  const CliResult r = vardel("backup --yes");
  EXPECT_NE(r.status, 124);
  for (const fs::path& f : fifos) EXPECT_TRUE(fs::is_fifo(f)) << f;  // never replaced
}

// Names longer than the file system allows: a file named so, and a card
// folder of 256 to 259 characters in the registry. Each command ends with
// an error; none leaves the window's thread stuck.
TEST_F(HostileDevice, OverLongNamesAreErrorsNeverAStuckWindow) {
  ASSERT_EQ(vardel("device init").status, 0);
  wrapper_ = "timeout 30";
  CliResult r = vardel("view " + std::string(300, 'a'));
  EXPECT_EQ(r.status, 2) << r.err;  // no such file
  for (size_t length : {256, 259}) {
    std::string card;
    for (size_t i = 0; i < length; ++i) card += "卡";
    std::ofstream(device_ / ".device" / "registry.reg", std::ios::binary | std::ios::trunc)
        << "Windows Registry Editor Version 5.00\n"
           "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory]\n"
           "\"Folder\"=\""
        << card << "\"\n";
    for (const char* args : {"view x.xml", "view", "backup --yes", "restore --yes"}) {
      r = vardel(args);
      // A name that cannot be there is a missing file; the jobs fail.
      EXPECT_EQ(r.status, std::string(args) == "view x.xml" ? 2 : 1)
          << length << " " << args << "\n" << r.err;
    }
  }
}

TEST_F(HostileDevice, ASecondProcessOnTheDeviceIsTurnedAwayAsBusy) {
  ASSERT_EQ(vardel("device init").status, 0);
  // Another vardel holding the device: this test takes its lock.
  const int fd = ::open((device_ / ".device" / "lock").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  const auto card = write("one.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:One\r\nEND:VCARD\r\n");
  for (const std::string& args :
       {std::string("backup --yes"), std::string("restore --yes"),
        "contacts import '" + card.string() + "'", std::string("device init")}) {
    const CliResult r = vardel(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_TRUE(has(r.err, "busy")) << args << "\n" << r.err;
    EXPECT_EQ(lines(r.err), 1u) << r.err;
  }
  EXPECT_FALSE(fs::exists(backup_dir() / "通讯录.xml"));
  // Reading needs no lock.
  EXPECT_EQ(vardel("contacts list").status, 0);
  ::close(fd);
  EXPECT_EQ(vardel("contacts import '" + card.string() + "'").status, 0);
}

TEST_F(HostileDevice, MalformedJsonIsStatusTwoWithOneLineNamingTheValue) {
  ASSERT_EQ(vardel("device init").status, 0);
  const auto before = snapshot(device_);
  struct Case {
    const char* json;
    const char* named;
  } cases[] = {
      {R"([{"FileAs":"A","Body":1e999}])", "1e999"},
      {R"([{"FileAs":"A","Birthday":"1980-02-30"}])", "1980-02-30"},
      {R"([{"FileAs":"A","Birthday":"1981-02-29"}])", "1981-02-29"},
      {R"([{"FileAs":"A\u0000B"}])", "NUL"},
      {R"({"stores":[{"name":"SMS","inbox":[{"text":"a\u0000b"}]}]})", "NUL"},
      {R"({"stores":[{"name":"SMS","inbox":[{"time":"2009-02-30T00:00:00Z"}]}]})", "2009-02-30"},
      {R"({"stores":[{"name":"SMS","inbox":[{"time":"2009-04-23T10:00:00+99:99"}]}]})", "+99:99"},
      {R"({"stores":[{"name":"SMS","inbox":[{"time":"1601-01-01T00:00:00+08:00"}]}]})", "1601"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const auto file = write("bad" + std::to_string(++n) + ".json", c.json);
    const bool messages = has(c.json, "stores");
    const CliResult r =
        vardel(std::string(messages ? "messages" : "contacts") + " import '" + file.string() + "'");
    EXPECT_EQ(r.status, 2) << c.json << "\n" << r.err;
    EXPECT_EQ(lines(r.err), 1u) << r.err;
    EXPECT_TRUE(has(r.err, c.named)) << r.err;
  }
  EXPECT_EQ(snapshot(device_), before);
}

TEST_F(HostileDevice, ErrorMessagesSayTheRealReason) {
  ASSERT_EQ(vardel("device init").status, 0);
  fs::create_directories(dir_ / "adir");
  CliResult r = vardel("contacts export '" + (dir_ / "adir").string() + "'");
  EXPECT_NE(r.status, 0);
  EXPECT_TRUE(has(r.err, "folder")) << r.err;
  EXPECT_FALSE(has(r.err, "Success")) << r.err;

  const auto file = write("plain.txt", "x");
  r = vardel("--device '" + file.string() + "' contacts list");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "not a folder")) << r.err;
  EXPECT_FALSE(has(r.err, "does not exist")) << r.err;

  r = vardel("device bogus");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "bogus")) << r.err;
  r = vardel("contacts");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "import")) << r.err;
}

// A message whose body holds a NUL would be cut at it in every backup, and
// a date past the year 9999 would wrap round to 1969: both are reported.
TEST_F(HostileDevice, SmsBackupsWithNulBodiesAndImpossibleDatesAreReported) {
  ASSERT_EQ(vardel("device init").status, 0);
  const auto file =
      write("sms.xml",
            "<smses>"
            "<sms address=\"1\" date=\"1600000000000\" type=\"1\" body=\"whole\"/>"
            "<sms address=\"2\" date=\"1600000000000\" type=\"1\" body=\"cut&#0;here\"/>"
            "<sms address=\"3\" date=\"9223372036854775807\" type=\"1\" body=\"x\"/>"
            "<sms address=\"4\" date=\"99999999999999999999\" type=\"1\" body=\"y\"/>"
            "</smses>");
  const CliResult r = vardel("messages import '" + file.string() + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.err, "sms 2")) << r.err;
  EXPECT_TRUE(has(r.err, "NUL")) << r.err;
  EXPECT_TRUE(has(r.err, "9223372036854775807")) << r.err;
  EXPECT_TRUE(has(r.err, "99999999999999999999")) << r.err;
  const auto j = nlohmann::json::parse(vardel("messages list").out);
  const std::string listed = j.dump();
  EXPECT_FALSE(has(listed, "cut")) << listed;
  EXPECT_FALSE(has(listed, "1969")) << listed;
  EXPECT_TRUE(has(listed, "whole"));
}

// A device file that is a hard link to a file outside the device would take
// the device's writes there: the log and the stores are never written
// through a second name.
TEST_F(HostileDevice, HardLinksOutOfTheDeviceAreNeverWrittenThrough) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  const fs::path log = device_ / "My Documents" / "debugmsg.txt";
  fs::remove(log);
  const auto outside_log = write("outside-log.txt", "the user's own file\n");
  fs::create_hard_link(outside_log, log);
  CliResult r = vardel("backup --yes");
  EXPECT_EQ(read_file(outside_log), "the user's own file\n");
  EXPECT_TRUE(fs::exists(backup_dir() / "短信.xml")) << r.out << r.err;

  for (const char* suffix : {"-wal", "-shm"})
    fs::remove(device_ / ".device" / (std::string("contacts.db") + suffix));
  const fs::path store = device_ / ".device" / "contacts.db";
  const fs::path outside_store = dir_ / "outside.db";
  fs::rename(store, outside_store);
  fs::create_hard_link(outside_store, store);
  const std::string before = read_file(outside_store);
  const auto card = write("one.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Linked\r\nEND:VCARD\r\n");
  r = vardel("contacts import '" + card.string() + "'");
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(read_file(outside_store), before);
}

}  // namespace
