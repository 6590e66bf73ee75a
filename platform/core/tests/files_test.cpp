// The device mapping and the file calls over it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/core/fault.h"
#include "platform/core/windows.h"
#include "test_support/temp_device.h"

namespace fs = std::filesystem;
using vardel::testing::read_file;
using vardel::testing::TempDevice;
using vardel::testing::write_file;

TEST(DeviceMapping, LeadingBackslashAndSeparatorsNameTheSameFile) {
  TempDevice dev;
  auto a = vardel::device::to_host(u"\\My Documents\\a.txt");
  ASSERT_TRUE(a);
  EXPECT_EQ(*a, dev.root() / "My Documents" / "a.txt");
  EXPECT_EQ(vardel::device::to_host(u"My Documents\\a.txt"), a);
  EXPECT_EQ(vardel::device::to_host(u"\\\\My Documents\\\\.\\a.txt"), a);
  EXPECT_EQ(vardel::device::to_host(u"\\"), dev.root());
  EXPECT_FALSE(vardel::device::to_host(u""));
  // Chinese names go to the host as UTF-8.
  auto zh = vardel::device::to_host(u"\\存储卡\\通讯录.xml");
  ASSERT_TRUE(zh);
  EXPECT_EQ(*zh, dev.root() / "存储卡" / "通讯录.xml");
}

TEST(DeviceMapping, FindsExistingNamesIgnoringCase) {
  TempDevice dev;
  fs::create_directories(dev.root() / "My Documents");
  write_file(dev.root() / "My Documents" / "DebugMsg.txt", "x");
  auto p = vardel::device::to_host(u"\\MY DOCUMENTS\\debugmsg.TXT");
  ASSERT_TRUE(p);
  EXPECT_EQ(*p, dev.root() / "My Documents" / "DebugMsg.txt");
  // Opening appends to that file rather than making a second one.
  FILE* f = _wfopen(u"\\MY DOCUMENTS\\debugmsg.TXT", u"a");
  ASSERT_NE(f, nullptr);
  fputws(u"y", f);
  fclose(f);
  EXPECT_EQ(read_file(dev.root() / "My Documents" / "DebugMsg.txt"), "xy");
  EXPECT_EQ(
      std::distance(fs::directory_iterator(dev.root() / "My Documents"), fs::directory_iterator()),
      1);
}

TEST(DeviceMapping, EveryEscapeIsRefused) {
  TempDevice dev;
  fs::create_directories(dev.root() / "inside" / "deep");
  fs::create_directories(dev.outer() / "outside");
  write_file(dev.outer() / "outside" / "secret", "s");
  // Dot-dot in any position, even one that would stay inside.
  for (const char16_t* p : {u"..", u"\\..\\outside\\secret", u"inside\\..\\..\\outside",
                            u"inside\\..", u"inside/../..", u"a\\b\\..\\..\\..\\x"})
    EXPECT_FALSE(vardel::device::to_host(p)) << vardel::utf8(p);
  // Names the phone cannot hold (a drive letter, wildcards, control characters).
  for (const char16_t* p : {u"C:\\x", u"a*b", u"what?",
                            u"a\x01"
                            "b"})
    EXPECT_FALSE(vardel::device::to_host(p)) << vardel::utf8(p);

  // An absolute link, even to a place inside the device.
  fs::create_symlink(dev.root() / "inside", dev.root() / "abs_in");
  fs::create_symlink(dev.outer() / "outside", dev.root() / "abs_out");
  // Relative links that climb out, directly, through a chain, and to a file
  // that does not exist yet (which a write would create outside).
  fs::create_symlink("../outside", dev.root() / "rel_out");
  fs::create_symlink("../../outside", dev.root() / "inside" / "deep_out");
  fs::create_symlink("hop2", dev.root() / "hop1");
  fs::create_symlink("inside/deep_out", dev.root() / "hop2");
  fs::create_symlink("../not-yet-there", dev.root() / "dangling_out");
  fs::create_symlink("loop", dev.root() / "loop");
  for (const char16_t* p :
       {u"\\abs_in\\x", u"\\abs_out\\secret", u"\\rel_out\\secret", u"\\rel_out",
        u"\\inside\\deep_out\\secret", u"\\hop1\\secret", u"\\dangling_out", u"\\loop\\x"})
    EXPECT_FALSE(vardel::device::to_host(p)) << vardel::utf8(p);
  for (const char16_t* p :
       {u"\\abs_in\\x", u"\\abs_out\\secret", u"\\rel_out\\secret", u"\\inside\\deep_out\\secret",
        u"\\hop1\\secret", u"\\dangling_out", u"\\loop\\x", u"\\..\\outside\\secret"})
    for (const char16_t* mode : {u"r", u"a", u"w+"})
      EXPECT_EQ(_wfopen(p, mode), nullptr) << vardel::utf8(p);

  // The file calls refuse them too, and nothing appears outside.
  EXPECT_FALSE(CopyFileW(u"\\rel_out\\secret", u"\\stolen", FALSE));
  EXPECT_FALSE(CopyFileW(u"\\inside\\nothing", u"\\dangling_out", FALSE));
  EXPECT_FALSE(CreateDirectoryW(u"\\rel_out\\made", nullptr));
  EXPECT_EQ(nullptr, _wfopen(u"\\dangling_out", u"w"));
  EXPECT_FALSE(fs::exists(dev.outer() / "not-yet-there"));
  EXPECT_FALSE(fs::exists(dev.outer() / "outside" / "made"));
  EXPECT_FALSE(fs::exists(dev.root() / "stolen"));
}

TEST(DeviceMapping, RelativeLinksThatStayInsideAreFollowed) {
  TempDevice dev;
  fs::create_directories(dev.root() / "real" / "sub");
  fs::create_symlink("real/sub", dev.root() / "card");
  fs::create_symlink("../sub", dev.root() / "real" / "sub" / "back");  // real/sub/back -> real/sub
  auto p = vardel::device::to_host(u"\\Card\\back\\f.txt");
  ASSERT_TRUE(p);
  EXPECT_EQ(*p, dev.root() / "real" / "sub" / "f.txt");
  // Opened the same way, as spelled and in another letter case.
  for (const char16_t* path : {u"\\card\\back\\f.txt", u"\\Card\\back\\f.txt"}) {
    FILE* f = _wfopen(path, u"a");
    ASSERT_NE(f, nullptr) << vardel::utf8(path);
    fputws(u"1", f);
    fclose(f);
  }
  EXPECT_EQ(read_file(dev.root() / "real" / "sub" / "f.txt"), "11");
}

TEST(Files, CreateDirectoryMakesOnlyTheLastFolder) {
  TempDevice dev;
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryW(u"\\Storage Card\\vardelbackup", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(fs::exists(dev.root() / "Storage Card"));

  EXPECT_TRUE(CreateDirectoryW(u"Storage Card", nullptr));
  EXPECT_TRUE(CreateDirectoryW(u"\\Storage Card\\vardelbackup", nullptr));
  EXPECT_TRUE(fs::is_directory(dev.root() / "Storage Card" / "vardelbackup"));

  EXPECT_FALSE(CreateDirectoryW(u"\\storage card\\VARDELBACKUP", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  // A file in the way also counts as already there.
  write_file(dev.root() / "plain", "x");
  EXPECT_FALSE(CreateDirectoryW(u"\\plain", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  vardel::fault::Scope faults;
  vardel::fault::arm("core.CreateDirectoryW", HRESULT_FROM_WIN32(ERROR_DISK_FULL));
  EXPECT_FALSE(CreateDirectoryW(u"\\fresh", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_FALSE(fs::exists(dev.root() / "fresh"));
  EXPECT_TRUE(CreateDirectoryW(u"\\fresh", nullptr));
}

TEST(Files, CopyFileHonoursFailIfExistsAndReplacesWhole) {
  TempDevice dev;
  write_file(dev.root() / "new.xml", "new contents");
  write_file(dev.root() / "old.xml", "old contents");

  EXPECT_FALSE(CopyFileW(u"\\new.xml", u"\\old.xml", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(read_file(dev.root() / "old.xml"), "old contents");

  EXPECT_TRUE(CopyFileW(u"\\new.xml", u"\\old.xml", FALSE));
  EXPECT_EQ(read_file(dev.root() / "old.xml"), "new contents");
  EXPECT_TRUE(CopyFileW(u"\\new.xml", u"\\third.xml", TRUE));
  EXPECT_EQ(read_file(dev.root() / "third.xml"), "new contents");

  EXPECT_FALSE(CopyFileW(u"\\missing.xml", u"\\x.xml", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(CopyFileW(u"\\new.xml", u"\\no folder\\x.xml", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  // A failure after the copy is written leaves the target as it was and no
  // temporary file behind.
  write_file(dev.root() / "new.xml", "newer contents");
  vardel::fault::Scope faults;
  vardel::fault::arm("core.CopyFileW", HRESULT_FROM_WIN32(ERROR_DISK_FULL));
  EXPECT_FALSE(CopyFileW(u"\\new.xml", u"\\old.xml", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(read_file(dev.root() / "old.xml"), "new contents");
  int entries = 0;
  for (auto& e : fs::directory_iterator(dev.root())) entries += e.is_regular_file();
  EXPECT_EQ(entries, 3);
}

TEST(Files, CopyOfALargeFileIsExact) {
  TempDevice dev;
  std::string big;
  for (int i = 0; i < 300000; ++i) big += static_cast<char>(i * 7 + i / 251);
  write_file(dev.root() / "big", big);
  ASSERT_TRUE(CopyFileW(u"big", u"big2", TRUE));
  EXPECT_EQ(read_file(dev.root() / "big2"), big);
}

TEST(Files, DeleteAttributesAndModulePath) {
  TempDevice dev;
  write_file(dev.root() / "f", "x");
  fs::create_directory(dev.root() / "d");
  EXPECT_EQ(GetFileAttributesW(u"\\d") & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesW(u"\\f") & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(GetFileAttributesW(u"\\none"), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(DeleteFileW(u"\\d"));
  EXPECT_TRUE(DeleteFileW(u"\\F"));
  EXPECT_FALSE(DeleteFileW(u"\\f"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  WCHAR buf[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
  EXPECT_EQ(std::u16string(buf), u"\\Program Files\\Vardel\\Vardel.exe");
  EXPECT_EQ(n, wcslen(buf));
  WCHAR small[8];
  EXPECT_EQ(GetModuleFileNameW(nullptr, small, 8), 8u);
  EXPECT_EQ(std::u16string(small), u"\\Progra");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(Files, AFolderMadeAfterItWasChosenAsTheRootIsUsedAndKeptTo) {
  TempDevice dev;
  const auto later = dev.outer() / "later";
  vardel::device::set_root(later);
  EXPECT_EQ(nullptr, _wfopen(u"\\a.txt", u"w"));  // no folder yet
  fs::create_directories(later);
  fs::create_symlink("../device", later / "out");
  for (int i = 0; i < 2; ++i) {  // the first open finds the folder, the second starts from it
    FILE* f = _wfopen(u"\\a.txt", u"a");
    ASSERT_NE(f, nullptr);
    fputws(u"x", f);
    fclose(f);
    EXPECT_EQ(nullptr, _wfopen(u"\\out\\b.txt", u"w"));
  }
  EXPECT_EQ(read_file(later / "a.txt"), "xx");
  EXPECT_FALSE(fs::exists(dev.root() / "b.txt"));
  vardel::device::set_root(dev.root());
}

TEST(Files, WideStreamsWriteUtf8ThroughTheDevice) {
  TempDevice dev;
  EXPECT_EQ(nullptr, _wfopen(u"\\My Documents\\log.txt", u"a"));  // folder missing
  fs::create_directory(dev.root() / "My Documents");
  FILE* f = _wfopen(u"\\My Documents\\log.txt", u"a");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(fwprintf(f, u"来自于：%s|%5d\n", u"张三", 42), 13);  // UTF-16 units, as on the phone
  EXPECT_EQ(fputws(u"\xD800!", f), 0);                           // a lone surrogate
  fclose(f);
  EXPECT_EQ(read_file(dev.root() / "My Documents" / "log.txt"),
            "来自于：张三|   42\n\xEF\xBF\xBD!");
}

TEST(LastError, IsKeptPerThread) {
  SetLastError(1234);
  DWORD other = 0;
  std::thread([&] {
    SetLastError(99);
    other = GetLastError();
  }).join();
  EXPECT_EQ(other, 99u);
  EXPECT_EQ(GetLastError(), 1234u);
}
