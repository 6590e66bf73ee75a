// Checking a history file without changing it: SQLite's full integrity
// check, and the count of what it holds.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace vardel::history {

struct HistoryCheck {
  bool whole = false;
  std::string detail;  // why it is not whole
  size_t messages = 0, contact_versions = 0;
};

// Reads the file only: nothing is written to it or beside it.
HistoryCheck check_history(const std::filesystem::path& file);

}  // namespace vardel::history
