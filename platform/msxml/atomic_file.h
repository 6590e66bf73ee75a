// Replacing a file so that it is either the old file or the new one, never a
// mix: the data goes to a new file beside the target, is flushed to disk and
// renamed over the target, and the folder entry is flushed too.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/core/types.h"

namespace vardel::msxml {

// Every call returns S_OK or a negative HRESULT:
// HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) for a missing folder,
// E_ACCESSDENIED, HRESULT_FROM_WIN32(ERROR_DISK_FULL) for a full disk, E_FAIL
// otherwise. The data is written in pieces, so a large document need not be
// held whole: open, write as often as needed, commit. Destroying the object
// before a successful commit (or any failed call) removes the new file and
// leaves the target untouched. A successful commit also removes the
// temporaries that saves of the same file left when their process ended
// mid-write (a minute old, their process gone).
class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();

  HRESULT open(const std::filesystem::path& target);
  HRESULT write(std::string_view data);
  HRESULT commit();  // flushes, renames over the target, flushes the folder

 private:
  void abandon();

  std::filesystem::path target_;
  std::filesystem::path temp_;
  int fd_ = -1;
};

}  // namespace vardel::msxml
