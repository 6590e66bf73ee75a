// Checking a backup folder: every file against SHA256SUMS, and every backup
// file read through (well-formed, its records counted), as the save checks
// a new file before it replaces the old one.
//
// Thread-safe (reads the file system only).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace vardel::host::care {

enum class Problem {
  missing,     // listed, but not in the folder
  changed,     // its digest is not the one listed
  unreadable,  // can't be read, or is not well-formed XML
  unlisted,    // in the folder, but not in the list
};
const char* problem_name(Problem p);  // "missing", "changed", ...

struct FileCheck {
  std::string name;
  std::vector<Problem> problems;  // none: the file is whole
  bool backup = false;            // a backup (.xml), not a stylesheet
  size_t records = 0;             // of a backup that reads
  std::string detail;             // why it is unreadable
  bool whole() const { return problems.empty(); }
};

struct FolderCheck {
  std::filesystem::path folder;
  bool folder_exists = false;
  bool sums_present = false;
  bool sums_readable = true;
  std::vector<FileCheck> files;  // in name order
  bool whole() const;            // every file whole and the list readable
};

FolderCheck verify_folder(const std::filesystem::path& folder);
// The same for the folder opened already (as the device's backup folder is,
// through the device root); dir_fd stays the caller's, folder names it.
FolderCheck verify_folder(const std::filesystem::path& folder, int dir_fd);

}  // namespace vardel::host::care
