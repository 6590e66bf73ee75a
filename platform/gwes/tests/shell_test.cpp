// The file picker and opening files: CE paths in and out, nothing outside
// the device.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <thread>

#include "platform/core/device.h"
#include "platform/core/wstr.h"
#include "test_support/recording_frontend.h"
#include "test_support/temp_device.h"

namespace {

namespace fs = std::filesystem;
using namespace vardel::testing;

class Shell : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(root_ / "Storage Card" / "vardelbackup" / "通讯录.xml", "<x/>");
    write_file(dir_ / "outside.txt", "secret");
    // The opener writes its one argument to a file.
    opener_ = dir_ / "opener.sh";
    write_file(opener_, "#!/bin/sh\nprintf '%s' \"$1\" > '" + (dir_ / "opened").string() +
                            ".tmp' && mv '" + (dir_ / "opened").string() + ".tmp' '" +
                            (dir_ / "opened").string() + "'\n");
    fs::permissions(opener_, fs::perms::owner_all);
    setenv("VARDEL_OPENER", opener_.c_str(), 1);
  }
  void TearDown() override { unsetenv("VARDEL_OPENER"); }

  std::string wait_opened() {
    for (int i = 0; i < 200 && !fs::exists(dir_ / "opened"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return read_file(dir_ / "opened");
  }

  OPENFILENAMEEX picker(WCHAR* buffer, DWORD size) {
    OPENFILENAMEEX ofn{};
    ofn.lStructSize = 84;  // the phone's size is accepted
    ofn.lpstrFilter = u"All Files (*.*)\0*.*\0";
    ofn.lpstrFile = buffer;
    ofn.nMaxFile = size;
    ofn.lpstrInitialDir = u"Storage Card\\vardelbackup";
    ofn.ExFlags = OFN_EXFLAG_DETAILSVIEW;
    return ofn;
  }

  TempDevice device_;
  const fs::path& dir_ = device_.outer();
  const fs::path& root_ = device_.root();
  fs::path opener_;
};

TEST_F(Shell, PickerStartsInTheBackupFolderAndReturnsTheCePath) {
  RecordingFrontend fe;
  fe.set_picker_answer(root_ / "Storage Card" / "vardelbackup" / "通讯录.xml");
  WCHAR file[MAX_PATH] = {0};
  auto ofn = picker(file, MAX_PATH);
  ASSERT_TRUE(GetOpenFileNameEx(&ofn));
  EXPECT_EQ(std::u16string(file), u"\\Storage Card\\vardelbackup\\通讯录.xml");
  EXPECT_EQ(ofn.nFileOffset, 27);
  EXPECT_EQ(std::u16string(file + ofn.nFileExtension), u"xml");
  EXPECT_EQ(fs::weakly_canonical(fe.picker_start()),
            fs::weakly_canonical(root_ / "Storage Card" / "vardelbackup"));
  ASSERT_EQ(fe.picker_filter().size(), 1u);
  EXPECT_EQ(fe.picker_filter()[0].first, u"All Files (*.*)");
  EXPECT_EQ(fe.picker_filter()[0].second, u"*.*");
}

TEST_F(Shell, PickerRefusesCancelFilesOutsideTheDeviceAndShortBuffers) {
  RecordingFrontend fe;
  WCHAR file[MAX_PATH] = {0};
  auto ofn = picker(file, MAX_PATH);
  EXPECT_FALSE(GetOpenFileNameEx(&ofn)) << "cancelled";
  fe.set_picker_answer(dir_ / "outside.txt");
  EXPECT_FALSE(GetOpenFileNameEx(&ofn));
  fe.set_picker_answer(root_ / "Storage Card" / ".." / ".." / "outside.txt");
  EXPECT_FALSE(GetOpenFileNameEx(&ofn));
  EXPECT_EQ(file[0], 0);
  fe.set_picker_answer(root_ / "Storage Card" / "vardelbackup" / "通讯录.xml");
  WCHAR small[10];
  auto short_ofn = picker(small, 10);
  EXPECT_FALSE(GetOpenFileNameEx(&short_ofn));
  auto bad = picker(file, MAX_PATH);
  bad.lStructSize = 12;
  EXPECT_FALSE(GetOpenFileNameEx(&bad));
}

TEST_F(Shell, ShellExecuteHandsTheHostPathToTheOpener) {
  SHELLEXECUTEINFO sei{};
  sei.cbSize = 60;
  sei.lpFile = u"\\Storage Card\\vardelbackup\\通讯录.xml";
  ASSERT_TRUE(ShellExecuteEx(&sei));
  EXPECT_EQ(fs::weakly_canonical(wait_opened()),
            fs::weakly_canonical(root_ / "Storage Card" / "vardelbackup" / "通讯录.xml"));
}

TEST_F(Shell, ShellExecuteRefusesPathsOutsideTheDeviceAndMissingFiles) {
  SHELLEXECUTEINFO sei{};
  sei.cbSize = sizeof sei;
  sei.lpFile = u"\\..\\outside.txt";
  EXPECT_FALSE(ShellExecuteEx(&sei));
  sei.lpFile = u"\\Storage Card\\vardelbackup\\短信.xml";
  EXPECT_FALSE(ShellExecuteEx(&sei));
  sei.lpFile = nullptr;
  EXPECT_FALSE(ShellExecuteEx(&sei));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fs::exists(dir_ / "opened")) << "the opener never ran";
  setenv("VARDEL_OPENER", (dir_ / "no-such-opener").c_str(), 1);
  sei.lpFile = u"\\Storage Card\\vardelbackup\\通讯录.xml";
  EXPECT_FALSE(ShellExecuteEx(&sei));
}

}  // namespace
