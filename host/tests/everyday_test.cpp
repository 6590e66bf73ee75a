// Everyday use from the command line: vCard and Android SMS backups in,
// vCard out, backups rendered to pages and opened, help and man page.
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(Cli, ContactsExportedAsVcardComeBackTheSameIntoAnotherPhone) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  const fs::path json = dir_ / "before.json", v4 = dir_ / "all.vcf", v3 = dir_ / "all3.vcf";
  ASSERT_EQ(vardel("contacts export '" + json.string() + "'").status, 0);
  ASSERT_EQ(vardel("contacts export --format vcard '" + v4.string() + "'").status, 0);
  ASSERT_EQ(vardel("contacts export --format vcard --vcard-version 3 '" + v3.string() + "'").status,
            0);
  EXPECT_TRUE(has(read_file(v4), "VERSION:4.0"));
  EXPECT_TRUE(has(read_file(v3), "VERSION:3.0"));

  for (const fs::path& file : {v4, v3}) {
    device_ = dir_ / ("phone-" + file.stem().string());
    ASSERT_EQ(vardel("device init").status, 0);
    const CliResult r = vardel("contacts import '" + file.string() + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const fs::path after = dir_ / "after.json";
    ASSERT_EQ(vardel("contacts export '" + after.string() + "'").status, 0);
    EXPECT_EQ(read_file(after), read_file(json)) << file;
  }
}

TEST_F(Cli, AnOldPhonesVcardIsReadAndItsBrokenCardSkippedByLine) {
  ASSERT_EQ(vardel("device init").status, 0);
  // No .vcf name: the content says what it is. Line 6 starts a card without an end.
  const auto cards =
      write("export.txt",
            "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0;=E4="
            "B8=89\r\n"
            "TEL;CELL:13800138000\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Broken\r\n"
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Li Si\r\nTEL;TYPE=work:010-1\r\nEND:VCARD\r\n");
  const CliResult r = vardel("contacts import '" + cards.string() + "'");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(has(r.err, "line 6")) << r.err;
  EXPECT_TRUE(has(r.out, "imported 2 contacts")) << r.out;
  const auto list = nlohmann::json::parse(vardel("contacts list").out);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_TRUE(has(list.dump(), "张")) << list.dump();
  EXPECT_TRUE(has(list.dump(), "13800138000"));

  // A file with nothing readable changes nothing and says so.
  const auto before = snapshot(device_);
  const CliResult none =
      vardel("contacts import '" + write("none.vcf", "VERSION:3.0\r\nFN:x\r\n").string() + "'");
  EXPECT_EQ(none.status, 2);
  EXPECT_TRUE(has(none.err, "no readable vCard")) << none.err;
  // A missing file and a file of another kind say so in one line.
  const CliResult missing = vardel("contacts import '" + (dir_ / "gone.vcf").string() + "'");
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "vardel: " + (dir_ / "gone.vcf").string() + ": no such file\n");
  const CliResult csv = vardel("contacts import '" + write("c.csv", "Name,Phone\n").string() + "'");
  EXPECT_EQ(csv.status, 2);
  EXPECT_TRUE(has(csv.err, "is neither a vCard file (no BEGIN:VCARD) nor a JSON list")) << csv.err;
  EXPECT_EQ(snapshot(device_), before);
}

TEST_F(Cli, AndroidSmsBackupIsImportedOnceAndOtherXmlIsRefused) {
  ASSERT_EQ(vardel("device init").status, 0);
  const auto sms =
      write("sms.xml",
            "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n<smses count=\"3\">\n"
            "<sms address=\"+8613800138000\" date=\"1700000000000\" type=\"1\" body=\"你好\" "
            "read=\"1\"/>\n"
            "<sms address=\"+8613800138000\" date=\"1700000100000\" type=\"2\" body=\"好的\"/>\n"
            "<sms address=\"10086\" date=\"1700000200000\" type=\"9\" body=\"?\"/>\n</smses>\n");
  const CliResult first = vardel("messages import '" + sms.string() + "'");
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_TRUE(has(first.out, "imported 2 messages"));
  EXPECT_TRUE(has(first.err, "sms 3 (line 5, column 1): type 9 left out")) << first.err;
  const CliResult again = vardel("messages import --again '" + sms.string() + "'");
  EXPECT_TRUE(has(again.out, "imported 0 messages (0 SMS, 0 MMS); 2 already on the phone"))
      << again.out;

  // A file of MMS only: their text is taken, their attachments counted.
  const CliResult mms = vardel("messages import '" + std::string(VARDEL_SOURCE_DIR) +
                               "/host/tools/tests/corpus/sms/sms-backup-reader-2-sample_mms.xml'");
  EXPECT_EQ(mms.status, 0) << mms.err;
  EXPECT_TRUE(has(mms.out,
                  "imported 4 messages (0 SMS, 4 MMS); left out: 0 messages, 4 MMS "
                  "attachments"))
      << mms.out;

  const auto stores = nlohmann::json::parse(vardel("messages list").out)["stores"];
  ASSERT_EQ(stores.size(), 1u);
  EXPECT_EQ(stores[0]["name"], "SMS");
  EXPECT_EQ(stores[0]["inbox"][0]["from"], "+8613800138000");
  EXPECT_EQ(stores[0]["inbox"][0]["time"], "2023-11-14T22:13:20Z");
  EXPECT_EQ(stores[0]["sent"][0]["to"][0], "+8613800138000");

  const auto before = snapshot(device_);
  for (const std::string text : {"<contacts/>", "<smses><sms address=\"1\" type=\"1\""}) {
    const CliResult r = vardel("messages import '" + write("other.xml", text).string() + "'");
    EXPECT_EQ(r.status, 2) << text;
    EXPECT_TRUE(has(r.err, text == "<contacts/>" ? "not an SMS backup"
                                                 : "cut short or malformed at line 1, column"))
        << r.err;
  }
  EXPECT_EQ(snapshot(device_), before);
}

TEST_F(Cli, BackupFilesRenderToPagesEvenWhenTheirStylesheetCopiesAreGone) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  fs::remove(backup_dir() / "MessageLogContact.xsl");
  fs::remove(backup_dir() / "MessageLogMsg.xsl");

  const fs::path contacts = dir_ / "contacts.html";
  const CliResult r = vardel("render '" + (backup_dir() / "通讯录.xml").string() + "' -o '" +
                             contacts.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto list = nlohmann::json::parse(vardel("contacts list").out);
  const std::string page = read_file(contacts);
  EXPECT_TRUE(has(page, "<table"));
  for (const auto& c : list) {
    if (c.contains("MobileTelephoneNumber")) {
      EXPECT_TRUE(has(page, c["MobileTelephoneNumber"].get<std::string>())) << c.dump();
    }
  }

  // Without -o the page goes to the cache and its path is printed.
  const CliResult m = vardel("render '" + (backup_dir() / "短信.xml").string() + "'");
  ASSERT_EQ(m.status, 0) << m.err;
  const fs::path cached = m.out.substr(0, m.out.find('\n'));
  EXPECT_EQ(cached.parent_path(), dir_ / "cache" / "vardel" / "pages");
  EXPECT_TRUE(has(read_file(cached), "<html"));

  const CliResult bad =
      vardel("render '" + write("plain.xml", "<a>no stylesheet</a>").string() + "'");
  EXPECT_EQ(bad.status, 1);
  EXPECT_TRUE(has(bad.err, "cannot render")) << bad.err;
  // An output folder that does not exist is not made.
  const fs::path nowhere = dir_ / "missing" / "p.html";
  EXPECT_EQ(vardel("render '" + (backup_dir() / "通讯录.xml").string() + "' -o '" +
                   nowhere.string() + "'")
                .status,
            1);
  EXPECT_FALSE(fs::exists(nowhere.parent_path()));
}

TEST_F(Cli, ViewOpensABackupAsItsPageAndOtherFilesAsThemselves) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const fs::path opened = dir_ / "opened";
  const auto opener =
      write("opener.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + opened.string() + "'\n");
  fs::permissions(opener, fs::perms::owner_all);
  env_ = "VARDEL_OPENER='" + opener.string() + "'";

  const CliResult r = vardel("view 通讯录.xml");
  ASSERT_EQ(r.status, 0) << r.err;
  std::ofstream(backup_dir() / "notes.txt") << "hello";
  ASSERT_EQ(vardel("view notes.txt").status, 0);
  for (int i = 0; i < 100 && !has(read_file(opened), "notes.txt"); ++i) usleep(20000);

  std::istringstream lines(read_file(opened));
  std::string page, text;
  std::getline(lines, page);
  std::getline(lines, text);
  EXPECT_EQ(fs::path(page).parent_path(), dir_ / "cache" / "vardel" / "pages");
  EXPECT_EQ(fs::path(page).extension(), ".html");
  EXPECT_TRUE(has(read_file(page), "<table"));
  EXPECT_EQ(fs::path(text), backup_dir() / "notes.txt");

  // With no file named the terminal offers the folder, backups first, each
  // with its size and date, and opens the one whose number is typed.
  const CliResult asked = vardel("view", "1\n");
  ASSERT_EQ(asked.status, 0) << asked.err;
  EXPECT_TRUE(has(asked.out, "  1. ")) << asked.out;
  EXPECT_LT(asked.out.find(".xml  ("), asked.out.find("notes.txt  (")) << asked.out;
  EXPECT_TRUE(has(asked.out, " KB, ")) << asked.out;
  EXPECT_TRUE(has(asked.out, "opened ")) << asked.out;
}

TEST_F(Cli, EveryCommandHasHelpAndTheManPageNamesThem) {
  const std::string man = read_file(fs::path(VARDEL_SOURCE_DIR) / "host" / "desktop" / "vardel.1");
  const CliResult top = vardel("--help");
  EXPECT_EQ(top.status, 0);
  for (const std::string command :
       {"gui", "backup", "restore", "view", "render", "about", "device init", "contacts import",
        "contacts export", "contacts list", "messages import", "messages list", "messages export",
        "messages restore", "convert", "carddav push", "carddav pull", "version"}) {
    const CliResult r = vardel(command + " --help");
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_TRUE(has(r.out, "Usage: vardel " + command)) << command << "\n" << r.out;
    EXPECT_TRUE(has(top.out, command.substr(0, command.find(' ')))) << command;
    EXPECT_TRUE(has(man, command)) << command;
  }
  EXPECT_TRUE(has(vardel("contacts export --help").out, "--vcard-version"));
  EXPECT_TRUE(has(vardel("convert --help").out, "--to"));
  EXPECT_TRUE(has(man, "\\-\\-version"));
}

// With no browser to start (xdg-open: "no method available"), view says so,
// names the page it made and fails, instead of saying "opened".
TEST_F(Cli, ViewWithoutABrowserSaysSoAndNamesThePage) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  env_ = "VARDEL_OPENER=false";
  const CliResult r = vardel("view 通讯录.xml");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.find("opened"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("no browser could be started"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(".html"), std::string::npos) << r.err;
}

// The nightly cron line works in a home without ~/.local/state: the log's
// folder is made, and each night adds one line.
TEST_F(Cli, BackupLogMakesItsFolderAndAddsALinePerNight) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  const fs::path log = dir_ / "home" / ".local" / "state" / "vardel-backup.log";
  ASSERT_EQ(vardel("backup --yes --log '" + log.string() + "'").status, 0);
  ASSERT_EQ(vardel("backup --yes --log '" + log.string() + "'").status, 0);
  const std::string text = read_file(log);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
  EXPECT_NE(text.find("备份已经完成 (exit 0)"), std::string::npos) << text;
}

// A mistyped command is answered with the commands meant, or those there are.
TEST_F(Cli, AnUnknownCommandSuggestsTheNearestOnes) {
  CliResult r = vardel("verfy");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("did you mean verify?"), std::string::npos) << r.err;
  r = vardel("messages imprt x.json");
  EXPECT_NE(r.err.find("did you mean import?"), std::string::npos) << r.err;
  r = vardel("bogus");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("the commands here are: gui, backup"), std::string::npos) << r.err;
}

// One problem, one answer: a file that is not there is named the same way,
// with the same status, by every command that reads a backup file.
TEST_F(Cli, AMissingFileIsOneAnswerForViewRenderAndConvert) {
  ASSERT_EQ(vardel("device init").status, 0);
  for (const std::string& args : {std::string("view nope.xml"), std::string("render nope.xml"),
                                  "convert nope.xml -o '" + (dir_ / "o.vcf").string() + "'"}) {
    const CliResult r = vardel(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.err, "vardel: nope.xml: no such file (in the backup folder or as a path)\n")
        << args;
  }
}

}  // namespace
