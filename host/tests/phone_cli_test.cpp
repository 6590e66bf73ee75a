// The `vardel phone` commands on gammu's dummy phone, as a user runs them.
#include <gtest/gtest.h>

#include "host/phone/tests/dummy_phone.h"
#include "host/tests/cli_fixture.h"

namespace vardel_test {
namespace {

using vardel::phone::testing::dummy_gammurc;
using vardel::phone::testing::RawPhone;
using vardel::phone::testing::when;

class PhoneCli : public Cli {
 protected:
  void SetUp() override {
    Cli::SetUp();
    env_ = "TZ=UTC";
    rc_ = dummy_gammurc(dir_, dir_ / "phone");
    std::ofstream(dir_ / "phone/pbk/ME/1", std::ios::binary)
        << "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Lee;Ann\r\nTEL;CELL:139\r\nX-CALLER-GROUP:1\r\n"
           "END:VCARD\r\n";
    RawPhone raw(rc_);
    raw.add_sms(3, u"你好", u"10086", SMS_Deliver, SMS_Read, when(2024, 1, 2, 3, 4, 5), true);
    raw.add_sms(4, u"on my way", u"139", SMS_Submit, SMS_Sent, when(2024, 1, 3, 0, 0, 0));
  }
  std::string phone(const std::string& command) {
    return "phone " + command + " --config '" + rc_.string() + "'";
  }
  fs::path rc_;
};

TEST_F(PhoneCli, BackupPullsThePhoneAndSavesBothFilesInOneStep) {
  ASSERT_EQ(vardel("device init").status, 0);
  const CliResult info = vardel(phone("info"));
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("IMEI:         999999999999999"), std::string::npos) << info.out;

  const CliResult r = vardel(phone("backup") + " --yes");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("read 1 phonebook entries (ME 1) and 2 SMS"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("1 fields have no place in the contacts store and were left out: caller "
                       "group (1)"),
            std::string::npos)
      << r.err;
  const std::string contacts = read_file(backup_dir() / "通讯录.xml");
  EXPECT_NE(contacts.find("Lee, Ann"), std::string::npos);
  const std::string messages = read_file(backup_dir() / "短信.xml");
  EXPECT_NE(messages.find("你好"), std::string::npos);
  EXPECT_NE(messages.find("on my way"), std::string::npos);

  // The device now holds data: a pull asks first, and no answer changes nothing.
  const auto before = snapshot(device_);
  const CliResult asked = vardel(phone("pull"));
  EXPECT_EQ(asked.status, 1);
  EXPECT_NE(asked.out.find("The device holds 1 contacts and 2 messages"), std::string::npos);
  EXPECT_EQ(snapshot(device_), before);
  EXPECT_EQ(vardel(phone("pull"), "y\n").status, 0);
}

TEST_F(PhoneCli, APhoneThatIsNotThereIsOneLineAndStatusOneWithTheDeviceUnchanged) {
  ASSERT_EQ(vardel("device init").status, 0);
  ASSERT_EQ(vardel(phone("pull") + " --yes").status, 0);
  const auto before = snapshot(device_);
  fs::remove_all(dir_ / "phone");
  for (const char* command : {"pull", "push", "backup"}) {
    const CliResult r = vardel(phone(command) + " --yes");
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_EQ(r.err.rfind("vardel: no phone answers at ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  const CliResult noconfig = vardel("phone pull --config '" + (dir_ / "nothing").string() + "'");
  EXPECT_EQ(noconfig.status, 1);
  EXPECT_NE(noconfig.err.find("cannot read the gammu configuration"), std::string::npos);
  EXPECT_EQ(snapshot(device_), before);
}

}  // namespace
}  // namespace vardel_test
