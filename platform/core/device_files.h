// Files under the device, reached only through the root folder's descriptor.
//
// Every open, create, rename, removal, stat and folder listing below the
// device goes through openat2(2) with RESOLVE_BENEATH relative to the root
// folder opened once: the kernel itself refuses "..", absolute links and any
// link that leads outside, at the moment of the call, so there is no window
// between checking a path and opening it (a folder swapped for a link
// mid-job is refused too). Names are looked up as spelled, then ignoring
// case, as the phone's file system does; each lookup is itself confined.
//
// Refusals set errno EXDEV (a path that leaves the device, or is not a CE
// path) or ELOOP, which the Win32 calls report as ERROR_ACCESS_DENIED.
// Device files that are read or written must be regular files: a FIFO,
// socket or device node is refused (EACCES), never waited on.
//
// Thread-safe.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/device.h"

namespace vardel::device {

// Owns a file descriptor (-1: none).
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& o) noexcept : fd_(o.release()) {}
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// The CE path as a path relative to the root ("A/B", "" for the root
// itself), each existing name spelled as on disk. Names after the first
// missing one stay as given. Nothing, with errno EXDEV, for a malformed
// path (a "..", a character the phone never allows) or one whose existing
// part leaves the root; ENOSYS while the root folder does not exist.
std::optional<std::string> resolve(std::u16string_view ce_path);

// openat2 of a path relative to the root (as resolve gives), confined below
// it; with no_links, no link at all may be on the way (ELOOP). -1 with errno
// on failure.
int open_relative(const std::string& rel, int flags, unsigned mode = kPrivateFileMode,
                  bool no_links = false);

// A folder below the root opened for listing and *at calls, and the name of
// an entry in it: what creating, renaming and removing work on (these never
// follow a link in the last name).
struct Entry {
  Fd dir;
  std::string name;  // as on disk when it exists (ignoring case), else as given
  std::string rel;   // the whole relative path
};

// The entry a CE path names. Nothing with errno: EXDEV/ELOOP refused,
// ENOENT/ENOTDIR the folder is missing, EINVAL for the root itself.
std::optional<Entry> locate(std::u16string_view ce_path);

// Lists a folder's names ("." and ".." left out) from its descriptor; the
// descriptor stays open. False with errno when it cannot be read.
bool list_folder(int dir_fd, std::vector<std::string>* names);

// True when the kind of file may be read or written as a device file.
bool is_plain_file(mode_t mode);

// For the stores SQLite opens by name (the contacts and messages databases):
// true when a host path inside the device reaches its folder through real
// folders only (no link on the way, the folders made if missing), and the
// file, when it exists, is a regular file. A path outside the device (a
// test's own file) is not the device's to judge and passes. errno EXDEV
// when refused.
bool prepare_store_path(const std::filesystem::path& host_path);

}  // namespace vardel::device
