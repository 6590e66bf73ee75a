// The vardel program as a user runs it: device tools, JSON in and out, the
// window commands, and bad input refused with status 2 and nothing changed.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "host/run/progress_bars.h"
#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

TEST_F(Cli, BadInputIsRefusedWithStatusTwoAndOneLine) {
  ASSERT_EQ(vardel("device init").status, 0);
  const auto before = snapshot(device_);
  const auto not_json = write("bad.json", "[{\"FileAs\": \"A\"");
  const auto unknown_key = write("key.json", R"([{"FileAs":"A"},{"NoSuchProperty":"x"}])");
  const auto bad_time =
      write("time.json", R"({"stores":[{"name":"SMS","inbox":[{"time":"yesterday"}]}]})");
  const auto bad_day =
      write("day.json", R"({"stores":[{"name":"SMS","inbox":[{"time":"2009-02-29T08:00Z"}]}]})");
  const auto bad_folder = write("folder.json", R"({"stores":[{"name":"SMS","spam":[]}]})");

  for (const std::string& args :
       {std::string("frobnicate"), std::string("contacts import '") + not_json.string() + "'",
        std::string("contacts import '") + unknown_key.string() + "'",
        std::string("contacts import '") + (dir_ / "missing.json").string() + "'",
        std::string("messages import '") + bad_time.string() + "'",
        std::string("messages import '") + bad_day.string() + "'",
        std::string("messages import '") + bad_folder.string() + "'",
        std::string("messages import '") + not_json.string() + "'",
        std::string("--screen 12 about"), std::string("backup --bogus")}) {
    const CliResult r = vardel(args);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << "\n" << r.err;
  }
  EXPECT_EQ(snapshot(device_), before);

  const CliResult missing = vardel("--device '" + (dir_ / "nowhere").string() + "' contacts list");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("nowhere"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
}

TEST_F(Cli, ContactsGoInAndComeBackOutAsJson) {
  ASSERT_EQ(vardel("device init").status, 0);
  const auto file = write("c.json", R"([
    {"FileAs":"张三","MobileTelephoneNumber":"13800000000","Birthday":"1980-05-17"},
    {"0x0080001F":"Smith, John","0x0090001F":"john@example.com"}])");
  ASSERT_EQ(vardel("contacts import '" + file.string() + "'").status, 0);
  const CliResult list = vardel("contacts list");
  ASSERT_EQ(list.status, 0) << list.err;
  const auto j = nlohmann::json::parse(list.out);
  ASSERT_EQ(j.size(), 2u);
  bool found = false;
  for (const auto& c : j)
    if (c.value("FileAs", "") == "张三") {
      found = true;
      EXPECT_EQ(c["MobileTelephoneNumber"], "13800000000");
      EXPECT_EQ(c["Birthday"], "1980-05-17");
    }
  EXPECT_TRUE(found);

  ASSERT_EQ(vardel("contacts export --tags '" + (dir_ / "out.json").string() + "'").status, 0);
  const auto exported = nlohmann::json::parse(read_file(dir_ / "out.json"));
  ASSERT_EQ(exported.size(), 2u);
  EXPECT_TRUE(exported[0].contains("0x0080001F"));
}

TEST_F(Cli, MessagesAreAppendedToTheirStoreAndListedWithTheirMissingFieldsLeftOut) {
  ASSERT_EQ(vardel("device init").status, 0);
  const auto file = write("m.json", R"({"stores":[
    {"name":"SMS","inbox":[{"from":"10086","time":"2009-04-23T10:00:00+08:00","text":"余额"},{}],
                  "sent":[{"to":["10086",null],"text":"CXYE"}]},
    {"name":"ActiveSync"}]})");
  ASSERT_EQ(vardel("messages import '" + file.string() + "'").status, 0);
  // Asked for again, the same file appends.
  ASSERT_EQ(vardel("messages import --again '" + file.string() + "'").status, 0);
  const CliResult list = vardel("messages list");
  ASSERT_EQ(list.status, 0) << list.err;
  const auto stores = nlohmann::json::parse(list.out)["stores"];
  ASSERT_EQ(stores.size(), 2u);
  EXPECT_EQ(stores[0]["name"], "SMS");
  ASSERT_EQ(stores[0]["inbox"].size(), 4u);
  bool timed = false;
  for (const auto& m : stores[0]["inbox"])
    if (m.contains("time")) {
      timed = true;
      EXPECT_EQ(m["time"], "2009-04-23T02:00:00Z");
      EXPECT_EQ(m["from"], "10086");
    } else {
      EXPECT_TRUE(m.empty() || !m.contains("from"));
    }
  EXPECT_TRUE(timed);
  EXPECT_EQ(stores[0]["sent"][0]["to"], nlohmann::json::parse(R"(["10086",null])"));
  EXPECT_FALSE(stores[1].contains("inbox"));
}

TEST_F(Cli, BackupOfADemoDeviceWritesBothFilesAndSucceeds) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  const CliResult r = vardel("--trace backup --yes");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(backup_dir() / "通讯录.xml"));
  EXPECT_TRUE(fs::exists(backup_dir() / "短信.xml"));
  EXPECT_TRUE(fs::exists(backup_dir() / "MessageLogMsg.xsl"));
  EXPECT_NE(r.out.find("备份已经完成"), std::string::npos);
  EXPECT_NE(r.err.find("label 1007 text \"1、通讯录   100%\""), std::string::npos);
  EXPECT_NE(r.err.find("box \"完成\" \"备份已经完成\" -> OK"), std::string::npos);

  // Restore of that backup onto the same phone: duplicates go, the job succeeds.
  const CliResult restore = vardel("restore --yes");
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_NE(restore.out.find("恢复已经完成"), std::string::npos);
}

TEST_F(Cli, JobsThatDoNotStartOrFailGiveStatusOne) {
  ASSERT_EQ(vardel("device init").status, 0);
  // Asked on the terminal; end of input cancels.
  EXPECT_EQ(vardel("backup").status, 1);
  EXPECT_EQ(vardel("backup", "cancel\n").status, 1);
  EXPECT_FALSE(fs::exists(backup_dir() / "通讯录.xml"));
  // Restore without a backup file.
  const CliResult restore = vardel("restore", "ok\n");
  EXPECT_EQ(restore.status, 1);
  EXPECT_NE(restore.out.find("请先备份通讯录"), std::string::npos);
  // No card.
  fs::remove_all(device_ / "Storage Card");
  const CliResult nocard = vardel("backup --yes");
  EXPECT_EQ(nocard.status, 1);
  EXPECT_NE(nocard.out.find("请确认已经插入存储卡"), std::string::npos);
}

TEST_F(Cli, AboutPrintsTheAboutText) {
  ASSERT_EQ(vardel("device init").status, 0);
  const CliResult r = vardel("about");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("V1.0.20090423"), std::string::npos);
}

TEST(ProgressBars, ABarShowsThePercentageAndKeepsOutOfRangeValuesVisible) {
  using vardel::host::ProgressBars;
  EXPECT_EQ(ProgressBars::render(u"1、通讯录    50%", 10), "1、通讯录 [#####.....]  50%");
  EXPECT_EQ(ProgressBars::render(u"2、短信　   100%", 4), "2、短信 [####] 100%");
  EXPECT_EQ(ProgressBars::render(u"2、短信　   250%", 4), "2、短信 [####] 250%");
  EXPECT_EQ(ProgressBars::render(u"2、短信　    -7%", 4), "2、短信 [....]  -7%");
  EXPECT_EQ(ProgressBars::render(u"1、通讯录", 4), "1、通讯录");
}

TEST(ProgressBars, TheBarLineIsClearedWhenTheJobEndsAndNoTitleLineStays) {
  using vardel::host::ProgressBars;
  std::ostringstream out;
  ProgressBars bars(out, true);
  bars.update(1007, u"1、通讯录", true);  // the window's start: titles only, nothing drawn
  bars.update(1008, u"2、短信", true);
  EXPECT_EQ(out.str(), "");
  bars.update(1007, u"1、通讯录   100%", true);
  bars.clear();                           // the final box
  bars.update(1007, u"1、通讯录", true);  // the reset that ends the job
  bars.finish();
  EXPECT_EQ(out.str(),
            "\r\033[K1、通讯录 [####################] 100%   2、短信"
            "\r\033[K"
            "\r\033[K");
}

}  // namespace
