// The picker's list: which files, in which order, and how size and date read.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <fstream>

#include "host/frontends/file_list.h"

namespace {

namespace fs = std::filesystem;
using vardel::host::list_files;
using vardel::host::matches_pattern;

class FileList : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vardel-file-list-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void file(const std::string& name, std::time_t modified, std::size_t bytes = 10) {
    std::ofstream(dir_ / name) << std::string(bytes, 'x');
    utimbuf times{modified, modified};
    ASSERT_EQ(::utime((dir_ / name).c_str(), &times), 0);
  }
  std::vector<std::string> names(std::u16string_view pattern = u"*.*") {
    std::vector<std::string> out;
    for (const auto& e : list_files(dir_, pattern)) out.push_back(e.path.filename().string());
    return out;
  }

  fs::path dir_;
};

TEST_F(FileList, BackupFilesComeFirstNewestFirstAndOnlyRegularFilesMatchingTheFilter) {
  file("通讯录.xml", 2000, 3000);
  file("短信.xml", 3000);
  file("通讯录260101_000000.xml", 1000);
  file("MessageLogContact.xsl", 4000);
  file("notes", 500);
  fs::create_directory(dir_ / "old.xml");
  ASSERT_EQ(::mkfifo((dir_ / "pipe.xml").c_str(), 0600), 0);
  EXPECT_EQ(names(), (std::vector<std::string>{"短信.xml", "通讯录.xml", "通讯录260101_000000.xml",
                                               "MessageLogContact.xsl", "notes"}));
  EXPECT_EQ(names(u"*.xsl"), (std::vector<std::string>{"MessageLogContact.xsl"}));
  EXPECT_EQ(names(u"通讯录*.XML; *.none"),
            (std::vector<std::string>{"通讯录.xml", "通讯录260101_000000.xml"}));
  auto entries = list_files(dir_);
  EXPECT_EQ(entries[1].size, 3000u);
  EXPECT_EQ(entries[1].modified, 2000);
  EXPECT_TRUE(entries[1].backup);
  EXPECT_FALSE(entries[3].backup);
  EXPECT_TRUE(list_files(dir_ / "missing").empty());
}

TEST(FilePattern, MatchesAsThePhoneDoes) {
  EXPECT_TRUE(matches_pattern(u"README", u"*.*")) << "*.* takes names without a dot too";
  EXPECT_TRUE(matches_pattern(u"a.b.xml", u"*.xml"));
  EXPECT_TRUE(matches_pattern(u"短信.XML", u"*.xml"));
  EXPECT_TRUE(matches_pattern(u"x1.txt", u"*.xml;x?.txt"));
  EXPECT_FALSE(matches_pattern(u"x12.txt", u"x?.txt"));
  EXPECT_FALSE(matches_pattern(u"a.xml.bak", u"*.xml"));
  EXPECT_TRUE(matches_pattern(u"anything", u""));
}

TEST(FileDescription, SizeAndLocalTime) {
  using vardel::host::describe_size;
  EXPECT_EQ(describe_size(0), "0 字节");
  EXPECT_EQ(describe_size(1023), "1023 字节");
  EXPECT_EQ(describe_size(1024), "1 KB");
  EXPECT_EQ(describe_size(1025), "2 KB") << "a part of a KB counts as one";
  EXPECT_EQ(describe_size(5u << 20), "5.0 MB");
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "CST-8", 1);  // POSIX form: needs no zone files
  tzset();
  EXPECT_EQ(vardel::host::describe_time(0), "1970-01-01 08:00");
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace
