// A folder of the fuzz run's own, made at its first input and removed when
// the process ends: where a target writes the input it reads, or the device
// it runs on.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vardel::fuzz {

inline std::filesystem::path& run_folder_slot() {
  static std::filesystem::path folder;
  return folder;
}

inline void remove_run_folder() {
  std::error_code ec;
  std::filesystem::remove_all(run_folder_slot(), ec);
}

inline const std::filesystem::path& run_folder() {
  std::filesystem::path& folder = run_folder_slot();
  if (folder.empty()) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vardel-fuzz-XXXXXX").string();
    folder = ::mkdtemp(tmpl.data());
    std::atexit(remove_run_folder);
  }
  return folder;
}

}  // namespace vardel::fuzz
