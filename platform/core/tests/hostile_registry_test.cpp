// A registry file written by someone else: a text value given in hex need
// not end in a terminator, yet whoever reads it into a buffer gets a text
// that ends.
#include <gtest/gtest.h>

#include "platform/core/windows.h"
#include "test_support/temp_device.h"

using vardel::testing::TempDevice;
using vardel::testing::write_file;

namespace {

// Reads the value into a buffer full of 'X', as a reader that trusts the
// terminator would, and gives the text up to the first zero.
std::u16string read_unterminated(const std::string& data, DWORD* size_out) {
  std::filesystem::create_directories(vardel::device::system_dir());
  write_file(vardel::device::registry_file(),
             "Windows Registry Editor Version 5.00\n"
             "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory]\n"
             "\"Folder\"=" +
                 data + "\n");
  HKEY hKey = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"System\\StorageManager\\Profiles\\SDMemory", 0,
                          KEY_READ, &hKey),
            ERROR_SUCCESS);
  WCHAR buf[MAX_PATH];
  for (WCHAR& c : buf) c = u'X';
  DWORD size = sizeof buf;
  EXPECT_EQ(
      RegQueryValueExW(hKey, u"Folder", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
      ERROR_SUCCESS);
  RegCloseKey(hKey);
  *size_out = size;
  return std::u16string(buf, wcsnlen(buf, MAX_PATH));
}

TEST(HostileRegistry, TextValuesWithoutTerminatorAreTerminatedWhenRead) {
  TempDevice dev;
  DWORD size = 0;
  EXPECT_EQ(read_unterminated("hex(1):41,00,42,00", &size), u"AB");
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(read_unterminated("hex(2):41,00,42", &size), u"AB");  // half a character
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(read_unterminated("hex(1):", &size), u"");
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(read_unterminated("hex(1):43,00,00,00", &size), u"C");  // already terminated
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(read_unterminated("hex(7):41,00,00,00,42,00", &size), u"A");
  EXPECT_EQ(size, 10u);  // "A\0B\0\0"
}

}  // namespace
