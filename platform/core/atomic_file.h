// Replacing a device file so that it is either the old file or the new one,
// never a mix: the data goes to a new file beside the target, is flushed to
// disk and renamed over the target, and the folder entry is flushed too.
// The folder is opened through the device root's descriptor (see
// device_files.h), and the temporary is made and renamed inside that open
// folder, so a folder swapped for a link meanwhile changes nothing.
#pragma once

#include <filesystem>
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
// A commit into a folder that a CommitWatcher watches tells it the new
// file's SHA-256 before the rename; a watcher that fails fails the commit.
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
  // A replaced file's mode is kept.
  HRESULT open(std::u16string_view ce_path, bool fail_if_exists = false);
  // The same for a file outside the device, named by a host path (exports,
  // pages, converted files): the folder's path may hold links, the file's
  // own name is never followed. E_INVALIDARG for a path without a name.
  HRESULT open_host(const std::filesystem::path& target, bool fail_if_exists = false);
  HRESULT write(std::string_view data);
  int fd() const { return fd_; }  // the new file (read and write), for copying metadata
  // The digest of what was written, when the writer has it already (it read
  // the file back); otherwise a watched commit reads the file once for it.
  void set_sha256(std::string hex) { sha256_ = std::move(hex); }
  // The new file is a copy of `name` in the open folder `dir_fd`.
  void set_source(int dir_fd, std::string name) {
    source_dir_ = dir_fd;
    source_name_ = std::move(name);
  }
  HRESULT commit();  // flushes, renames over the target, flushes the folder

 private:
  void abandon();
  HRESULT open_in(device::Fd dir, std::string name, bool fail_if_exists);

  device::Fd dir_;
  std::string name_;
  std::string temp_;
  bool fail_if_exists_ = false;
  int fd_ = -1;
  std::string sha256_;
  int source_dir_ = -1;
  std::string source_name_;
};

// What the platform tells of a watched replacement: the folder and name the
// new file takes, its digest, and where it was copied from (source_dir -1
// when it was written, not copied).
struct Commit {
  int dir_fd = -1;
  const std::string& name;
  const std::string& sha256;
  int source_dir = -1;
  const std::string& source_name;
};

// Something above the platform that keeps a record of what a folder holds
// (the host's checksum list of the backup folder). Called on the thread that
// commits; several threads may commit at once.
class CommitWatcher {
 public:
  virtual ~CommitWatcher() = default;
  // Whether the replacement of `name` in the open folder is to be told.
  virtual bool watches(int dir_fd, const std::string& name) = 0;
  // Before the rename. A failure leaves the target as it was.
  virtual HRESULT committing(const Commit& commit) = 0;
};

// The process's one watcher, or none (null). The watcher must outlive every
// commit made while it is set.
void set_commit_watcher(CommitWatcher* watcher);

// The name a temporary for `target` gets: ".<target>.tmp<pid>-<n>".
std::string temporary_name(const std::string& target);

// Removes from the open folder the temporaries (named as temporary_name
// makes them, for any target) that a process which has ended left: while
// this process holds the device's lock no other may be writing, so every
// temporary not of this process goes; otherwise only those of processes
// that no longer run and untouched for a minute.
void sweep_temporaries(int dir_fd);

HRESULT hresult_from_errno(int err);

// Makes the folder and any missing folder above it, each made one private
// (kPrivateFolderMode); folders already there are left as they are. False
// with errno when one can't be made or is not a folder.
bool make_private_folders(const std::filesystem::path& folder);

// Replaces a host file (outside the device) with `data` through an
// AtomicFile: the whole new file or the old one, never a mix.
HRESULT write_host_file(const std::filesystem::path& target, std::string_view data);

// Writes all of `data` to `fd`, going on after short writes and EINTR; false
// with errno set (ENOSPC for a write that wrote nothing) when it could not.
bool write_all(int fd, std::string_view data);

}  // namespace vardel::core
