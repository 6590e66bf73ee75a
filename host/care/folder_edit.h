// Removing files from the device's backup folder with its SHA256SUMS kept
// in step: the list is written without them first, then the files go, so a
// stop half-way leaves files that are merely unlisted, never a list that
// names files it has lost. Everything is opened through the device root.
#pragma once

#include <string>
#include <vector>

namespace vardel::host::care {

struct Removal {
  std::vector<std::string> removed;
  std::vector<std::string> failed;  // "name: why"
};

// Removes the named files (names in the backup folder). Throws
// std::runtime_error when the list can't be written (nothing removed then).
Removal remove_backup_files(const std::vector<std::string>& names);

}  // namespace vardel::host::care
