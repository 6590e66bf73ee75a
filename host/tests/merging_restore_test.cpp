// A restore onto a phone that lost some of a contact's fields: the phone's
// contact takes them back from the backup and keeps its own, and the dry run
// tells all of it beforehand without changing a byte of the device.
#include <string>

#include <nlohmann/json.hpp>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class MergingRestore : public Cli {
 protected:
  // The phone: 张三 lost his e-mail and company, has since become 总经理 and
  // holds what a backup never carries; 王五 twice, with different numbers.
  // The backup: the older 张三 with both fields, 李四 whom the phone lost,
  // and one of the 王五.
  void SetUp() override {
    ASSERT_EQ(vardel("device init").status, 0);
    const auto phone = write("phone.json", R"([
      {"FileAs":"张三","MobileTelephoneNumber":"13800000000","JobTitle":"总经理",
       "Birthday":"1980-05-17","Body":"老同学"},
      {"FileAs":"王五","MobileTelephoneNumber":"1"},
      {"FileAs":"王五","MobileTelephoneNumber":"2"}])");
    ASSERT_EQ(vardel("contacts import '" + phone.string() + "'").status, 0);
    vardel::testing::write_file(backup_dir() / "通讯录.xml", R"(<?xml version="1.0"?>
<CONTACTS>
<VCARD TITLE="张三" TYPE="WinMobile"><ADDRESS Direction="0"><FIRST/><FILEAS>张三</FILEAS><MOBILE>13800000000</MOBILE><EMAIL1>zs@example.com</EMAIL1><COMPANY>华为</COMPANY><TITLE>经理</TITLE></ADDRESS></VCARD>
<VCARD TITLE="李四" TYPE="WinMobile"><ADDRESS Direction="1"><FIRST/><FILEAS>李四</FILEAS><MOBILE>13900000000</MOBILE></ADDRESS></VCARD>
<VCARD TITLE="王五" TYPE="WinMobile"><ADDRESS Direction="0"><FIRST/><FILEAS>王五</FILEAS><MOBILE>2</MOBILE></ADDRESS></VCARD>
</CONTACTS>
)");
  }

  nlohmann::json Contacts() {
    const CliResult list = vardel("contacts list");
    EXPECT_EQ(list.status, 0) << list.err;
    return nlohmann::json::parse(list.out);
  }
};

TEST_F(MergingRestore, ThePhonesContactGetsBackWhatItLostAndKeepsItsOwnValues) {
  const CliResult r = vardel("restore --yes");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "恢复已经完成")) << r.out;
  EXPECT_TRUE(has(r.out,
                  "filled in 1 contact from the backup; 1 contact differs from the backup "
                  "(the phone's values kept)"))
      << r.out;
  // After the box text.
  EXPECT_GT(r.out.find("filled in"), r.out.find("恢复已经完成"));

  const auto contacts = Contacts();
  ASSERT_EQ(contacts.size(), 4u) << contacts.dump();
  const auto& zhang = contacts[0];
  EXPECT_EQ(zhang["FileAs"], "张三");
  EXPECT_EQ(zhang["Email1Address"], "zs@example.com");
  EXPECT_EQ(zhang["CompanyName"], "华为");
  EXPECT_FALSE(zhang.contains("CompanyTelephoneNumber")) << zhang.dump();
  EXPECT_EQ(zhang["JobTitle"], "总经理");
  EXPECT_EQ(zhang["Birthday"], "1980-05-17");
  EXPECT_EQ(zhang["Body"], "老同学");
  EXPECT_EQ(contacts[1]["FileAs"], "李四");

  // A second restore finds nothing more to take; the job title still differs.
  const CliResult again = vardel("restore --yes");
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_TRUE(has(again.out, "filled in 0 contacts from the backup; 1 contact differs"))
      << again.out;
  EXPECT_EQ(Contacts(), contacts);
}

TEST_F(MergingRestore, TheDryRunChangesNoByteAndForetellsTheRestore) {
  const auto before = snapshot(device_);
  const CliResult plan = vardel("restore --dry-run");
  ASSERT_EQ(plan.status, 0) << plan.err;
  EXPECT_EQ(snapshot(device_), before);
  EXPECT_TRUE(has(plan.out, "add 1 contact new to the phone\n  李四\n")) << plan.out;
  EXPECT_TRUE(has(plan.out, "fill in 1 contact from the backup\n  张三: e-mail, company\n"))
      << plan.out;
  EXPECT_TRUE(has(plan.out, "find 2 contacts already on the phone")) << plan.out;
  EXPECT_TRUE(has(plan.out, "1 contact differs from the backup")) << plan.out;
  EXPECT_TRUE(has(plan.out,
                  "leave 2 contacts sharing a name but not its numbers side by side\n"
                  "  王五 (2)\n"))
      << plan.out;

  // What it foretold is what the restore does.
  ASSERT_EQ(vardel("restore --yes").status, 0);
  EXPECT_EQ(Contacts().size(), 4u);
  const CliResult after = vardel("restore --dry-run");
  EXPECT_TRUE(has(after.out, "add 0 contacts")) << after.out;
  EXPECT_TRUE(has(after.out, "fill in 0 contacts")) << after.out;
  EXPECT_TRUE(has(after.out, "find 3 contacts already on the phone")) << after.out;

  // Without a backup there is nothing to plan, and still nothing changes.
  std::filesystem::remove(backup_dir() / "通讯录.xml");
  const auto bare = snapshot(device_);
  const CliResult none = vardel("restore --dry-run");
  EXPECT_EQ(none.status, 0) << none.err;
  EXPECT_TRUE(has(none.out, "请先备份通讯录")) << none.out;
  EXPECT_EQ(snapshot(device_), bare);
}

}  // namespace
