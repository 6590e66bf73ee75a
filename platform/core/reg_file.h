// Internal to vardel_core: the device registry file in .reg text format.
//
//   Windows Registry Editor Version 5.00      (or REGEDIT4)
//   [HKEY_LOCAL_MACHINE\System\StorageManager\Profiles\SDMemory]
//   "Folder"="Storage Card"
//
// Values: "text" (\\ and \" escaped), dword:hhhhhhhh, hex:.. and hex(n):..
// (continued over lines with a trailing backslash), @ for the unnamed value.
// The file may be UTF-8 (with or without BOM) or UTF-16LE with BOM. A file
// with any line that does not parse is malformed as a whole.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/types.h"

namespace vardel::core::reg {

struct Value {
  std::u16string name;  // empty: the unnamed (@) value
  DWORD type = 0;
  std::vector<BYTE> data;  // REG_SZ: UTF-16LE with its terminator
};

struct Key {
  std::u16string path;  // "HKEY_LOCAL_MACHINE\\System\\..."
  std::vector<Value> values;
};

struct File {
  std::vector<Key> keys;
};

// Files larger than this are not a registry.
inline constexpr std::size_t kMaxFileBytes = 4u << 20;

// Parses the text of a file; nothing when it is malformed (or too large).
std::optional<File> parse(std::string_view bytes);
// The .reg text (UTF-8, no BOM) for a file.
std::string serialize(const File& file);

// True when two key paths name the same key (case ignored).
bool same_key(std::u16string_view a, std::u16string_view b);
// True when key exists in the file: named by a section, or above one.
bool key_exists(const File& file, std::u16string_view path);

std::vector<BYTE> sz_data(std::u16string_view text);

}  // namespace vardel::core::reg
