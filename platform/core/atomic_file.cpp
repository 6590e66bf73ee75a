// Atomic replacement of device files (see atomic_file.h).
#include "platform/core/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "platform/core/device_lock.h"
#include "platform/core/sha256.h"

namespace vardel::core {

bool write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

namespace {

// The process id in a temporary's name, or 0 when the name is not one of
// ours: "." <target> ".tmp" <digits> "-" <digits>.
pid_t temporary_owner(const std::string& entry) {
  if (entry.size() < 8 || entry[0] != '.') return 0;
  const size_t dash = entry.rfind('-');
  const size_t tmp = entry.rfind(".tmp", dash);
  if (dash == std::string::npos || tmp == std::string::npos || tmp == 0) return 0;
  const std::string pid = entry.substr(tmp + 4, dash - tmp - 4);
  const std::string count = entry.substr(dash + 1);
  if (pid.empty() || count.empty() || pid.size() > 9 ||
      pid.find_first_not_of("0123456789") != std::string::npos ||
      count.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  return static_cast<pid_t>(std::stol(pid));
}

std::atomic<CommitWatcher*> g_watcher{nullptr};

}  // namespace

void set_commit_watcher(CommitWatcher* watcher) { g_watcher.store(watcher); }

HRESULT hresult_from_errno(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EXDEV:
    case ELOOP:
    case ENXIO:
      return E_ACCESSDENIED;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    case EEXIST:
      return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
    case ENAMETOOLONG:
      return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    default:
      return E_FAIL;
  }
}

std::string temporary_name(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  return "." + target + ".tmp" + std::to_string(::getpid()) + "-" +
         std::to_string(counter.fetch_add(1));
}

void sweep_temporaries(int dir_fd) {
  std::vector<std::string> names;
  if (!device::list_folder(dir_fd, &names)) return;
  const bool locked = device::locked_by_this_process();
  const pid_t self = ::getpid();
  for (const std::string& entry : names) {
    const pid_t pid = temporary_owner(entry);
    if (pid == 0 || pid == self) continue;
    if (!locked) {
      if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
      struct stat st;
      if (::fstatat(dir_fd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
          std::time(nullptr) - st.st_mtime < 60)
        continue;
    }
    ::unlinkat(dir_fd, entry.c_str(), 0);
  }
}

AtomicFile::~AtomicFile() { abandon(); }

void AtomicFile::abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty() && dir_) ::unlinkat(dir_.get(), temp_.c_str(), 0);
  temp_.clear();
}

HRESULT AtomicFile::open(std::u16string_view ce_path, bool fail_if_exists) {
  abandon();
  auto entry = device::locate(ce_path);
  if (!entry) return hresult_from_errno(errno);
  return open_in(std::move(entry->dir), std::move(entry->name), fail_if_exists);
}

HRESULT AtomicFile::open_host(const std::filesystem::path& target, bool fail_if_exists) {
  abandon();
  const std::filesystem::path name = target.filename();
  if (name.empty() || name == "." || name == "..") return E_INVALIDARG;
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  // The folder is the user's to name, links and all; only the file itself
  // is never followed.
  device::Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir) return hresult_from_errno(errno);
  return open_in(std::move(dir), name.string(), fail_if_exists);
}

HRESULT AtomicFile::open_in(device::Fd dir, std::string name, bool fail_if_exists) {
  fail_if_exists_ = fail_if_exists;
  sha256_.clear();
  source_dir_ = -1;
  source_name_.clear();
  // The target, when there is one, must be a file: a folder, FIFO, device
  // node or link there is refused now rather than replaced.
  struct stat st;
  const bool exists = ::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && !device::is_plain_file(st.st_mode))
    return fail_if_exists ? HRESULT_FROM_WIN32(ERROR_FILE_EXISTS) : E_ACCESSDENIED;
  dir_ = std::move(dir);
  name_ = std::move(name);
  // A name of our own, so that a temporary a killed run left is known and
  // swept. A new file is its owner's alone; a replaced one keeps its mode.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = temporary_name(name_);
    fd_ = ::openat(dir_.get(), temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                   device::kPrivateFileMode);
    if (fd_ >= 0) {
      temp_ = std::move(temp);
      if (exists) ::fchmod(fd_, st.st_mode & 07777);
      return S_OK;
    }
    if (errno != EEXIST) return hresult_from_errno(errno);
  }
  return E_FAIL;
}

bool make_private_folders(const std::filesystem::path& folder) {
  std::filesystem::path at;
  for (const auto& part : folder) {
    at /= part;
    if (::mkdir(at.c_str(), device::kPrivateFolderMode) == 0 || errno == EEXIST) continue;
    return false;
  }
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

HRESULT write_host_file(const std::filesystem::path& target, std::string_view data) {
  AtomicFile file;
  HRESULT hr = file.open_host(target);
  if (SUCCEEDED(hr)) hr = file.write(data);
  if (SUCCEEDED(hr)) hr = file.commit();
  return hr;
}

HRESULT AtomicFile::write(std::string_view data) {
  if (fd_ < 0) return E_UNEXPECTED;
  if (write_all(fd_, data)) return S_OK;
  const HRESULT hr = hresult_from_errno(errno);
  abandon();
  return hr;
}

HRESULT AtomicFile::commit() {
  if (fd_ < 0) return E_UNEXPECTED;
  HRESULT hr = ::fsync(fd_) == 0 ? S_OK : hresult_from_errno(errno);
  CommitWatcher* watcher = g_watcher.load();
  if (SUCCEEDED(hr) && watcher != nullptr && watcher->watches(dir_.get(), name_)) {
    if (sha256_.empty() && !sha256_of_fd(fd_, &sha256_)) hr = hresult_from_errno(errno);
    if (SUCCEEDED(hr))
      hr = watcher->committing({dir_.get(), name_, sha256_, source_dir_, source_name_});
  }
  if (::close(fd_) != 0 && SUCCEEDED(hr)) hr = hresult_from_errno(errno);
  fd_ = -1;
  if (SUCCEEDED(hr)) {
    const unsigned flags = fail_if_exists_ ? RENAME_NOREPLACE : 0;
    if (::renameat2(dir_.get(), temp_.c_str(), dir_.get(), name_.c_str(), flags) != 0) {
      int err = errno;
      // File systems without RENAME_NOREPLACE: link() also refuses an
      // existing name.
      if (fail_if_exists_ && (err == EINVAL || err == ENOSYS)) {
        err = ::linkat(dir_.get(), temp_.c_str(), dir_.get(), name_.c_str(), 0) == 0 ? 0 : errno;
        if (err == 0) ::unlinkat(dir_.get(), temp_.c_str(), 0);
      }
      if (err != 0) hr = hresult_from_errno(err);
    }
  }
  if (FAILED(hr)) {
    abandon();
    return hr;
  }
  temp_.clear();
  sweep_temporaries(dir_.get());
  // Make the rename itself durable.
  ::fsync(dir_.get());
  return S_OK;
}

}  // namespace vardel::core
