// Atomic file replacement (see atomic_file.h).
#include "platform/msxml/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
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

}  // namespace

HRESULT replace_file(const std::filesystem::path& target, std::string_view data, HRESULT injected) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  // A name of our own rather than mkstemp: open() with 0666 lets the umask
  // give the new file the permissions any other new file would get.
  std::filesystem::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = dir / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()) + "-" +
                  std::to_string(counter.fetch_add(1)));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return from_errno(errno);
  }
  if (fd < 0) return E_FAIL;

  HRESULT hr = S_OK;
  if (FAILED(injected)) {
    write_all(fd, data.substr(0, data.size() / 2));
    hr = injected;
  } else if (!write_all(fd, data) || ::fsync(fd) != 0) {
    hr = from_errno(errno);
  }
  if (::close(fd) != 0 && SUCCEEDED(hr)) hr = from_errno(errno);
  if (SUCCEEDED(hr) && ::rename(temp.c_str(), target.c_str()) != 0) hr = from_errno(errno);
  if (FAILED(hr)) {
    ::unlink(temp.c_str());
    return hr;
  }
  // Make the rename itself durable.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return S_OK;
}

}  // namespace vardel::msxml
