// What the "查看" picker lists: the files of one folder that match the
// program's filter, backup files (.xml) first and the newest first in each
// group, with their size and date as a Chinese phone writes them. Shared by
// the window's picker and the terminal's.
//
// Thread-safe (reads the file system only).
#pragma once

#include <ctime>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace vardel::host {

// (description, pattern) pairs as GetOpenFileNameEx hands them over.
using FileFilter = std::vector<std::pair<std::u16string, std::u16string>>;

struct FileEntry {
  std::filesystem::path path;
  std::u16string name;
  std::uintmax_t size = 0;
  std::time_t modified = 0;
  bool backup = false;  // an XML file: a backup or a dated copy of one
  // The file is not what SHA256SUMS lists, or does not read as XML: the
  // picker marks it "已损坏" (damaged).
  bool damaged = false;
};

inline constexpr char kDamagedMark[] = "已损坏";

// True when name matches one of the ';'-separated patterns, as the phone
// matches them: '*' any run, '?' one character, letter case ignored, and
// "*.*" every name, with or without a dot. An empty pattern matches all.
bool matches_pattern(std::u16string_view name, std::u16string_view patterns);

// The regular files of folder matching pattern, in the picker's order, each
// checked as `vardel verify` checks it. A folder that does not exist or
// cannot be read lists nothing.
std::vector<FileEntry> list_files(const std::filesystem::path& folder,
                                  std::u16string_view pattern = u"*.*");

// "812 字节", "12 KB", "3.4 MB".
std::string describe_size(std::uintmax_t bytes);
// Local time, "2026-01-05 14:30".
std::string describe_time(std::time_t when);

}  // namespace vardel::host
