// Files for tests: a temporary folder removed when the test ends, whole
// files read and written, a folder's content at one moment, a database's
// integrity, and the source tree (for the stylesheets that ship with the program).
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace vardel::testing {

// A new, empty folder below the system's temporary folder; removed with
// everything in it when this object goes.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "vardel-test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& rel) const { return path_ / rel; }

 private:
  std::filesystem::path path_;
};

// The bytes of a file ("" when it cannot be read).
std::string read_file(const std::filesystem::path& file);
// Replaces a file with the bytes, making its folders first.
void write_file(const std::filesystem::path& file, const std::string& bytes);
// Every regular file below a folder: its path relative to the folder -> its bytes.
std::map<std::string, std::string> snapshot(const std::filesystem::path& folder);
// True when the SQLite database file opens read-only and passes SQLite's
// integrity check.
bool database_intact(const std::filesystem::path& file);

// The source tree: $VARDEL_SOURCE_DIR (ctest sets it), else the tree this
// library was built from.
std::filesystem::path source_dir();

}  // namespace vardel::testing
