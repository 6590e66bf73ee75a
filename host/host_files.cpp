// Whole host files in and out.
#include "host/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "host/device_tools.h"
#include "platform/core/atomic_file.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

std::string reason(int err) { return std::strerror(err); }

}  // namespace

std::string read_host_file(const fs::path& file) {
  std::error_code ec;
  if (fs::is_directory(file, ec)) throw UsageError(file.string() + " is a folder, not a file");
  if (!fs::exists(file, ec)) throw UsageError(file.string() + ": no such file");
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  if (!in)
    throw UsageError("cannot read " + file.string() + ": " +
                     (errno ? std::strerror(errno) : "cannot open it"));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw UsageError("cannot read " + file.string() + ": " + std::strerror(errno));
  return bytes.str();
}

void replace_host_file(const fs::path& file, std::string_view text) {
  struct stat st;
  if (::stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw UsageError("cannot write " + file.string() + ": it is a folder");
  static std::atomic<unsigned> counter{0};
  fs::path tmp = file;
  tmp += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) throw UsageError("cannot write " + file.string() + ": " + reason(errno));
  const bool written = core::write_all(fd, text) && ::fsync(fd) == 0;
  const int err = errno;
  if (::close(fd) != 0 || !written) {
    ::unlink(tmp.c_str());
    throw std::runtime_error("cannot write " + file.string() + ": " +
                             reason(written ? errno : err));
  }
  if (::rename(tmp.c_str(), file.c_str()) != 0) {
    const int rename_err = errno;
    ::unlink(tmp.c_str());
    throw std::runtime_error("cannot write " + file.string() + ": " + reason(rename_err));
  }
}

}  // namespace vardel::host
