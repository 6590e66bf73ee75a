// The README's user guide, followed in order on a fresh device as a new
// user types it, under the C locale and under UTF-8: each command ends as
// the guide says and prints what the guide leads the user to expect. Left
// out: what needs a real phone, a browser, a display, GnuPG keys or a
// network (the phone, gui, archive and carddav sections).
#include <unistd.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

const char* kOldPhone =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Wang Wei\r\nN:Wang;Wei;;;\r\nTEL;TYPE=CELL:13800000001\r\n"
    "END:VCARD\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nN:Li;Na\r\nTEL;CELL:13800000002\r\nEND:VCARD\r\n";
const char* kSmsBackup =
    "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n<smses count=\"3\">\n"
    "<sms address=\"13800000001\" date=\"1262304000000\" type=\"1\" body=\"门卫说快递到了\"/>\n"
    "<sms address=\"13800000001\" date=\"1262304060000\" type=\"2\" body=\"好的，谢谢\"/>\n"
    "<sms address=\"13800000002\" date=\"1262390400000\" type=\"1\" body=\"明天见\"/>\n"
    "</smses>\n";

class UserGuide : public Cli, public ::testing::WithParamInterface<const char*> {
 protected:
  // Runs a command of the guide (as the guide writes it, run from dir_):
  // the guide must still say it, and it must end with the status given
  // and print the part given.
  void step(const std::string& command, int status, const std::string& says) {
    EXPECT_TRUE(has(guide_, "vardel " + command)) << "the guide no longer says: " << command;
    const CliResult r = vardel(command);
    EXPECT_EQ(r.status, status) << command << "\n" << r.out << r.err;
    EXPECT_TRUE(has(r.out + r.err, says)) << command << "\n" << r.out << r.err;
  }
  const std::string guide_ = read_file(fs::path(VARDEL_SOURCE_DIR) / "README.md");
};

TEST_P(UserGuide, EveryStepEndsAsTheGuideSays) {
  const fs::path opened = dir_ / "opened";
  const auto opener =
      write("opener.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + opened.string() + "'\n");
  fs::permissions(opener, fs::perms::owner_all);
  env_ = std::string(GetParam()) + " TZ=UTC HOME='" + (dir_ / "home").string() +
         "' VARDEL_OPENER='" + opener.string() + "'";
  // The guide's commands name files in the current folder.
  wrapper_ = "sh -c 'cd \"$0\" && exec \"$@\"' '" + dir_.string() + "'";
  write("old-phone.vcf", kOldPhone);
  write("sms-backup.xml", kSmsBackup);

  // First backup.
  step("device init", 0, "device ready");
  step("contacts import old-phone.vcf", 0, "imported 2 contacts");
  step("messages import sms-backup.xml", 0, "imported 3 messages (3 SMS, 0 MMS)");
  EXPECT_TRUE(has(guide_, "vardel backup "));
  step("backup --yes", 0, "[完成] 备份已经完成");
  step("verify ", 0, "all 4 files are whole");
  EXPECT_TRUE(nlohmann::json::accept(vardel("verify --json").out));

  // Restore.
  step("restore --yes", 0, "the backup holds 2 contacts");
  step("restore --dry-run", 0, "find 2 contacts already on the phone");

  // Reading a backup.
  step("view 通讯录.xml", 0, "opened ");
  step("render 短信.xml -o messages.html", 0, "messages.html");
  EXPECT_TRUE(has(read_file(dir_ / "messages.html"), "门卫说快递到了"));

  // History.
  step("history add ", 0, "added 0 messages (3 already held) from 短信.xml");
  fs::create_directory(dir_ / "old-phone");
  fs::copy_file(backup_dir() / "短信.xml", dir_ / "old-phone" / "短信.xml");
  fs::copy_file(dir_ / "sms-backup.xml", dir_ / "sms.xml");
  fs::copy_file(dir_ / "old-phone.vcf", dir_ / "contacts.vcf");
  step("history add old-phone/ sms.xml contacts.vcf", 0, "already held) from sms.xml");
  step("history search 门卫 --since 2009-01-01", 0, "from Wang Wei <13800000001>: 门卫说快递到了");
  step("history search 快递 --limit 20", 0, "门卫说快递到了");
  step("history conversations", 0, "13800000001  Wang Wei  2 messages");
  step("history contacts", 0, "Li, Na  1 version");
  step("history export -o all.xml", 0, "wrote 3 messages to all.xml");

  // Moving to a new phone.
  step("convert 通讯录.xml -o contacts.vcf", 0, "converted 2 contacts to contacts.vcf");
  step("convert 短信.xml -o sms.xml", 0, "converted 3 messages to sms.xml");
  EXPECT_TRUE(has(read_file(dir_ / "sms.xml"), "<smses count=\"3\""));
  step("convert 通讯录.xml -o contacts.csv", 0, "converted 2 contacts");
  step("convert 通讯录.xml --to google-csv -o google.csv", 0, "converted 2 contacts");
  step("convert 通讯录.xml --to outlook-csv -o outlook.csv", 0, "converted 2 contacts");
  step("convert 短信.xml -o sms.csv", 0, "converted 3 messages");
  step("contacts export contacts.vcf", 0, "exported 2 contacts to contacts.vcf");
  step("messages export sms.xml", 0, "exported 3 messages to sms.xml");
  step("messages restore all.xml", 1, "将短信恢复到手机中");  // asked; no answer given
  EXPECT_EQ(vardel("messages restore --yes all.xml").status, 0);

  // Importing from another phone: an archive, the same messages again.
  ASSERT_EQ(vardel("messages export messages-2026-12-09.zip").status, 0);
  step("messages import messages-2026-12-09.zip", 0, "3 already on the phone");
  // The same file again: taken in already, nothing doubled.
  step("contacts import old-phone.vcf", 0, "old-phone.vcf was imported already");

  // Nightly backups: the cron line's log, in a home that has no such folder.
  // (~ as the shell cron runs would expand it with this HOME.)
  EXPECT_TRUE(has(guide_, "vardel backup --yes --log ~/.local/state/vardel-backup.log"));
  const fs::path log = dir_ / "home" / ".local" / "state" / "vardel-backup.log";
  EXPECT_EQ(vardel("backup --yes --log '" + log.string() + "'").status, 0);
  EXPECT_TRUE(has(read_file(log), "备份已经完成 (exit 0)"));
  step("prune --keep-last 7 --keep-daily 14 --keep-weekly 8 --keep-monthly 24 --dry-run", 0,
       "nothing removed: --dry-run");
}

INSTANTIATE_TEST_SUITE_P(, UserGuide, ::testing::Values("LANG=C LC_ALL=C", "LANG=C.UTF-8"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.index == 0 ? "C" : "Utf8");
                         });

}  // namespace
