// Atomic file replacement (see atomic_file.h).
#include "platform/msxml/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <string>

namespace vardel::msxml {

namespace {

HRESULT from_errno(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return E_ACCESSDENIED;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    default:
      return E_FAIL;
  }
}

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

// Removes what saves of this file left behind when their process ended
// mid-write (the window closed, the process killed): temporaries named after
// a process that no longer exists and untouched for a minute. A process
// that still runs, or a file still being written, keeps its temporary.
void sweep_leftovers(const std::filesystem::path& dir, const std::string& name) {
  const std::string prefix = "." + name + ".tmp";
  const auto now = std::filesystem::file_time_type::clock::now();
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (entry.compare(0, prefix.size(), prefix) != 0) continue;
    const size_t dash = entry.find('-', prefix.size());
    if (dash == std::string::npos || dash == prefix.size()) continue;
    const std::string digits = entry.substr(prefix.size(), dash - prefix.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(digits));
    if (pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
    std::error_code age_ec;
    const auto written = std::filesystem::last_write_time(it->path(), age_ec);
    if (age_ec || now - written < std::chrono::minutes(1)) continue;
    ::unlink(it->path().c_str());
  }
}

}  // namespace

AtomicFile::~AtomicFile() { abandon(); }

void AtomicFile::abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

HRESULT AtomicFile::open(const std::filesystem::path& target) {
  static std::atomic<unsigned> counter{0};
  abandon();
  target_ = target;
  std::filesystem::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  // A name of our own rather than mkstemp: open() with 0666 lets the umask
  // give the new file the permissions any other new file would get.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path temp =
        dir / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()) + "-" +
               std::to_string(counter.fetch_add(1)));
    fd_ = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temp_ = std::move(temp);
      return S_OK;
    }
    if (errno != EEXIST) return from_errno(errno);
  }
  return E_FAIL;
}

HRESULT AtomicFile::write(std::string_view data) {
  if (fd_ < 0) return E_UNEXPECTED;
  if (write_all(fd_, data)) return S_OK;
  const HRESULT hr = from_errno(errno);
  abandon();
  return hr;
}

HRESULT AtomicFile::commit() {
  if (fd_ < 0) return E_UNEXPECTED;
  HRESULT hr = ::fsync(fd_) == 0 ? S_OK : from_errno(errno);
  if (::close(fd_) != 0 && SUCCEEDED(hr)) hr = from_errno(errno);
  fd_ = -1;
  if (SUCCEEDED(hr) && ::rename(temp_.c_str(), target_.c_str()) != 0) hr = from_errno(errno);
  if (FAILED(hr)) {
    abandon();
    return hr;
  }
  temp_.clear();
  std::filesystem::path dir = target_.parent_path();
  if (dir.empty()) dir = ".";
  sweep_leftovers(dir, target_.filename().string());
  // Make the rename itself durable.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return S_OK;
}

}  // namespace vardel::msxml
