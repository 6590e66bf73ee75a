// Replacing a device file so that it is either the old file or the new one,
// never a mix: the data goes to a new file beside the target, is flushed to
// disk and renamed over the target, and the folder entry is flushed too.
// The folder is opened through the device root's descriptor (see
// device_files.h), and the temporary is made and renamed inside that open
// folder, so a folder swapped for a link meanwhile changes nothing.
#pragma once

#include <string>
#include <string_view>

#include "platform/core/device_files.h"
#include "platform/core/types.h"

namespace vardel::core {

// Every call returns S_OK or a negative HRESULT:
// HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) for a missing folder,
// E_ACCESSDENIED (also for a path that leaves the device, or a target that
// is a folder, FIFO or other non-file), HRESULT_FROM_WIN32(ERROR_DISK_FULL)
// for a full disk, E_FAIL otherwise. The data is written in pieces, so a
// large document need not be held whole: open, write as often as needed,
// commit. Destroying the object before a successful commit (or any failed
// call) removes the new file and leaves the target untouched.
//
// A successful commit also removes the temporaries that saves and copies
// into the same folder left when their process ended mid-write (see
// sweep_temporaries).
class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();

  // fail_if_exists: commit refuses (ERROR_FILE_EXISTS) to replace a file.
  HRESULT open(std::u16string_view ce_path, bool fail_if_exists = false);
  HRESULT write(std::string_view data);
  int fd() const { return fd_; }  // the new file, for copying metadata
  HRESULT commit();               // flushes, renames over the target, flushes the folder

 private:
  void abandon();

  device::Fd dir_;
  std::string name_;
  std::string temp_;
  bool fail_if_exists_ = false;
  int fd_ = -1;
};

// The name a temporary for `target` gets: ".<target>.tmp<pid>-<n>".
std::string temporary_name(const std::string& target);

// Removes from the open folder the temporaries (named as temporary_name
// makes them, for any target) that a process which has ended left: while
// this process holds the device's lock no other may be writing, so every
// temporary not of this process goes; otherwise only those of processes
// that no longer run and untouched for a minute.
void sweep_temporaries(int dir_fd);

HRESULT hresult_from_errno(int err);

// Writes all of `data` to `fd`, going on after short writes and EINTR; false
// with errno set (ENOSPC for a write that wrote nothing) when it could not.
bool write_all(int fd, std::string_view data);

}  // namespace vardel::core
