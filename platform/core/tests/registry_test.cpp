// The registry calls over the device's .reg file.
#include <gtest/gtest.h>

#include "platform/core/windows.h"
#include "test_support/temp_device.h"

using vardel::testing::read_file;
using vardel::testing::TempDevice;

namespace {

const WCHAR* kKey = u"System\\StorageManager\\Profiles\\SDMemory";

// What the program does: open the key, read "Folder" into a 260-unit buffer.
// Gives the result code and the text read.
std::pair<LONG, std::u16string> read_folder(const WCHAR* key = kKey,
                                            const WCHAR* value = u"Folder") {
  HKEY hKey = nullptr;
  LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &hKey);
  if (rc != ERROR_SUCCESS) return {rc, u""};
  WCHAR buf[MAX_PATH] = {};
  DWORD type = 0, size = sizeof buf;
  rc = RegQueryValueExW(hKey, value, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  EXPECT_EQ(RegCloseKey(hKey), ERROR_SUCCESS);
  if (rc == ERROR_SUCCESS) {
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, (wcslen(buf) + 1) * sizeof(WCHAR));
  }
  return {rc, buf};
}

void write_registry(const std::string& bytes) {
  std::filesystem::create_directories(vardel::device::system_dir());
  vardel::testing::write_file(vardel::device::registry_file(), bytes);
}

std::string utf16le_with_bom(const std::u16string& s) {
  std::string out = "\xFF\xFE";
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

}  // namespace

TEST(Registry, ReadsStringValuesInEveryEncoding) {
  TempDevice dev;
  write_registry(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "; the card\r\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory]\r\n"
      "\"Folder\"=\"Storage Card\"\r\n"
      "\"Quoted\"=\"a \\\"b\\\" c:\\\\d\"\r\n"
      "\"Count\"=dword:0000002a\r\n"
      "\"Blob\"=hex:01,02,\\\r\n  03\r\n");
  EXPECT_EQ(read_folder(), std::make_pair(LONG{ERROR_SUCCESS}, std::u16string(u"Storage Card")));
  EXPECT_EQ(read_folder(kKey, u"quoted").second, u"a \"b\" c:\\d");
  // Key names ignore case, as on the phone.
  EXPECT_EQ(read_folder(u"system\\storagemanager\\PROFILES\\sdmemory").second, u"Storage Card");

  HKEY hKey;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &hKey), ERROR_SUCCESS);
  DWORD type = 0, n = 0, size = sizeof n;
  EXPECT_EQ(RegQueryValueExW(hKey, u"Count", nullptr, &type, reinterpret_cast<BYTE*>(&n), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(n, 42u);
  BYTE blob[3];
  size = sizeof blob;
  EXPECT_EQ(RegQueryValueExW(hKey, u"Blob", nullptr, &type, blob, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(blob[2], 3);
  // Size only, then a buffer too small for the text.
  size = 0;
  EXPECT_EQ(RegQueryValueExW(hKey, u"Folder", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 26u);
  WCHAR tiny[4];
  size = sizeof tiny;
  EXPECT_EQ(
      RegQueryValueExW(hKey, u"Folder", nullptr, nullptr, reinterpret_cast<BYTE*>(tiny), &size),
      ERROR_MORE_DATA);
  EXPECT_EQ(size, 26u);
  RegCloseKey(hKey);

  write_registry(
      utf16le_with_bom(u"Windows Registry Editor Version 5.00\r\n\r\n"
                       u"[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory]\r\n"
                       u"\"Folder\"=\"存储卡\"\r\n"));
  EXPECT_EQ(read_folder().second, u"存储卡");
  write_registry(
      "\xEF\xBB\xBFREGEDIT4\n[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory]"
      "\n\"Folder\"=\"SD卡\"\n");
  EXPECT_EQ(read_folder().second, u"SD卡");
}

TEST(Registry, MissingFileKeyOrValue) {
  TempDevice dev;
  EXPECT_EQ(read_folder().first, ERROR_FILE_NOT_FOUND);  // no file at all
  write_registry(
      "Windows Registry Editor Version 5.00\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory]\n"
      "\"Other\"=\"x\"\n");
  EXPECT_EQ(read_folder().first, ERROR_FILE_NOT_FOUND);  // no value
  EXPECT_EQ(read_folder(u"System\\StorageManager\\Profiles\\CF").first,
            ERROR_FILE_NOT_FOUND);  // no key
  EXPECT_EQ(read_folder(u"System\\StorageManager\\Profiles\\SDMemoryX").first,
            ERROR_FILE_NOT_FOUND);
  // A key above a section exists, even with no values of its own.
  HKEY hKey;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"System\\StorageManager", 0, KEY_READ, &hKey),
            ERROR_SUCCESS);
  HKEY hSub;
  ASSERT_EQ(RegOpenKeyExW(hKey, u"Profiles\\SDMemory", 0, KEY_READ, &hSub), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(hSub, u"Other", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(hSub), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(hKey), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(hKey), ERROR_INVALID_HANDLE);
}

TEST(Registry, MalformedFilesHaveNoKeys) {
  TempDevice dev;
  const std::string section = "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory]\n";
  const std::string good = "\"Folder\"=\"Storage Card\"\n";
  for (const std::string& bytes : {
           section + good,                                             // no header
           "Windows Registry Editor Version 5.00\n" + good + section,  // value before key
           "Windows Registry Editor Version 5.00\n" + section + "\"Folder\"=\"unterminated\n",
           "Windows Registry Editor Version 5.00\n" + section + "\"Folder\"=\"bad \\q escape\"\n",
           "Windows Registry Editor Version 5.00\n" + section + "\"Folder\"=dword:xyz\n",
           "Windows Registry Editor Version 5.00\n" + section + "\"Folder\"=hex:0g\n",
           "Windows Registry Editor Version 5.00\n" + section + "Folder=\"no quotes\"\n",
           "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\System\n" + good,
           std::string("Windows Registry Editor Version 5.00\n") + '\0' + "\xFF\xFE\xFD",
           std::string("\xFF\xFE", 2),
           std::string(),
       }) {
    write_registry(bytes);
    EXPECT_EQ(read_folder().first, ERROR_FILE_NOT_FOUND) << bytes;
  }
}

TEST(Registry, WriterKeepsOtherValuesAndReadsBack) {
  TempDevice dev;
  const std::u16string key = u"HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory";
  ASSERT_TRUE(vardel::core::write_registry_string(key, u"Folder", u"Card \"1\" \\x"));
  ASSERT_TRUE(vardel::core::write_registry_string(u"HKEY_LOCAL_MACHINE\\Other", u"A", u"b"));
  ASSERT_TRUE(vardel::core::write_registry_string(key, u"Name2", u"存储卡"));
  EXPECT_EQ(read_folder().second, u"Card \"1\" \\x");
  EXPECT_EQ(read_folder(kKey, u"Name2").second, u"存储卡");
  ASSERT_TRUE(vardel::core::write_registry_string(key, u"folder", u"存储卡"));
  EXPECT_EQ(read_folder().second, u"存储卡");
  EXPECT_EQ(read_folder(u"Other", u"A").second, u"b");

  // A file it cannot read is left alone.
  write_registry("garbage");
  EXPECT_FALSE(vardel::core::write_registry_string(key, u"Folder", u"x"));
  EXPECT_EQ(read_file(vardel::device::registry_file()), "garbage");
}
