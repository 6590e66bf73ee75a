// File names are bytes: a Chinese name is found, rendered, converted and
// opened the same whether the locale is UTF-8, C, or not set at all (a new
// machine's terminal, cron).
#include <unistd.h>

#include <sstream>
#include <string>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

struct Locale {
  const char* name;
  const char* env;      // VAR=value words
  const char* wrapper;  // a command that takes variables away
};

class Locales : public Cli, public ::testing::WithParamInterface<Locale> {};

TEST_P(Locales, ChineseFileNamesAreFoundRenderedConvertedAndOpened) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const fs::path opened = dir_ / "opened";
  const auto opener =
      write("opener.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + opened.string() + "'\n");
  fs::permissions(opener, fs::perms::owner_all);
  env_ = std::string(GetParam().env) + " VARDEL_OPENER='" + opener.string() + "'";
  wrapper_ = GetParam().wrapper;

  // By name in the backup folder: the page opened is the page of that file.
  CliResult r = vardel("view 通讯录.xml");
  ASSERT_EQ(r.status, 0) << r.err;
  // The opener may still be starting when vardel has ended.
  for (int i = 0; i < 100 && read_file(opened).empty(); ++i) usleep(20000);
  std::string page;
  std::getline(std::istringstream(read_file(opened)), page);
  EXPECT_TRUE(has(page, "通讯录")) << page;
  EXPECT_TRUE(has(read_file(page), "<table")) << page;

  // Picked from the list.
  r = vardel("view", "1\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "短信.xml  (")) << r.out;
  EXPECT_TRUE(has(r.out, "opened ")) << r.out;

  // Rendered into a Chinese-named folder, by name and by path.
  fs::create_directory(dir_ / "页面");
  const fs::path named = dir_ / "页面" / "短信.html";
  r = vardel("render 短信.xml -o '" + named.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(read_file(named), "<html"));
  fs::create_directory(dir_ / "备份");
  fs::copy_file(backup_dir() / "通讯录.xml", dir_ / "备份" / "旧通讯录.xml");
  r = vardel("render '" + (dir_ / "备份" / "旧通讯录.xml").string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "旧通讯录")) << r.out;

  // Converted, both ends Chinese.
  r = vardel("convert '" + (dir_ / "备份" / "旧通讯录.xml").string() + "' -o '" +
             (dir_ / "备份" / "联系人.vcf").string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(read_file(dir_ / "备份" / "联系人.vcf"), "BEGIN:VCARD"));
  r = vardel("convert 短信.xml -o '" + (dir_ / "备份" / "短信.csv").string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir_ / "备份" / "短信.csv"));

  // A missing Chinese name is named as given.
  r = vardel("view 没有.xml");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "vardel: 没有.xml: no such file (in the backup folder or as a path)\n");
}

INSTANTIATE_TEST_SUITE_P(
    , Locales,
    ::testing::Values(Locale{"Utf8", "LANG=C.UTF-8", ""}, Locale{"C", "LANG=C LC_ALL=C", ""},
                      Locale{"Unset", "", "env -u LANG -u LC_ALL -u LC_CTYPE -u LANGUAGE"}),
    [](const ::testing::TestParamInfo<Locale>& info) { return std::string(info.param.name); });

}  // namespace
