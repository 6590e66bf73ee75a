// Whole host files in and out.
#include "host/device/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "host/device/device_tools.h"
#include "platform/core/atomic_file.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

std::string reason(int err) { return std::strerror(err); }

// The missing and unreadable answers of check_input_file.
void check_readable(const fs::path& file, const std::string& given, LookedUp looked_up) {
  std::error_code ec;
  if (!fs::exists(file, ec))
    throw UsageError(
        given + ": no such file" +
        (looked_up == LookedUp::in_backup_folder ? " (in the backup folder or as a path)" : ""));
  if (fs::is_directory(file, ec)) throw UsageError(given + ": cannot be read (a folder)");
  if (!fs::is_regular_file(file, ec))
    throw UsageError(given + ": cannot be read (not a regular file)");
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw UsageError(given + ": cannot be read (" + reason(errno) + ")");
  ::close(fd);
}

}  // namespace

tools::FileKind check_input_file(const fs::path& file, const std::string& given,
                                 std::initializer_list<tools::FileKind> kinds, LookedUp looked_up) {
  check_readable(file, given, looked_up);
  const tools::FileKind kind = tools::what_file(tools::file_head(file));
  for (tools::FileKind k : kinds)
    if (k == kind) return kind;
  throw UsageError(tools::wrong_file(given, kind));
}

std::string read_host_file(const fs::path& file) {
  check_readable(file, file.string(), LookedUp::as_path);
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  if (!in)
    throw UsageError(file.string() + ": cannot be read (" +
                     (errno ? std::strerror(errno) : "cannot open it") + ")");
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw UsageError(file.string() + ": cannot be read (" + std::strerror(errno) + ")");
  return bytes.str();
}

std::string read_host_file_head(const fs::path& file, size_t n) {
  std::error_code ec;
  if (fs::is_directory(file, ec)) throw UsageError(file.string() + " is a folder, not a file");
  if (!fs::exists(file, ec)) throw UsageError(file.string() + ": no such file");
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  if (!in)
    throw UsageError("cannot read " + file.string() + ": " +
                     (errno ? std::strerror(errno) : "cannot open it"));
  std::string bytes(n, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(n));
  if (in.bad()) throw UsageError("cannot read " + file.string() + ": " + std::strerror(errno));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

std::string write_failure(HRESULT hr) {
  if (hr == E_ACCESSDENIED) return "permission denied, or not a regular file in its place";
  if (hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) return "no such folder";
  if (hr == HRESULT_FROM_WIN32(ERROR_DISK_FULL)) return "no space left on the device";
  if (hr == HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)) return "the name is too long";
  if (hr == E_INVALIDARG) return "not a file name";
  return "the write failed";
}

namespace {

// Opens the atomic replacement of file, saying what stands in its place when
// that is not a file.
void open_output(core::AtomicFile& out, const fs::path& file) {
  const HRESULT hr = out.open_host(file);
  if (SUCCEEDED(hr)) return;
  struct stat st;
  std::string why = write_failure(hr);
  if (::lstat(file.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode))
      why = "it is a folder";
    else if (S_ISLNK(st.st_mode))
      why = "it is a link, which is not followed";
    else if (!S_ISREG(st.st_mode))
      why = "it is not a regular file";
  }
  throw UsageError("cannot write " + file.string() + ": " + why);
}

}  // namespace

void replace_host_file(const fs::path& file, std::string_view text) {
  core::AtomicFile out;
  open_output(out, file);
  HRESULT hr = out.write(text);
  if (SUCCEEDED(hr)) hr = out.commit();
  if (FAILED(hr))
    throw std::runtime_error("cannot write " + file.string() + ": " + write_failure(hr));
}

HostOutput::HostOutput(const fs::path& target) : target_(target) {
  open_output(file_, target);
  const int fd = ::dup(file_.fd());
  stream_ = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
  if (stream_ == nullptr) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("cannot write " + target.string() + ": " + reason(errno));
  }
}

HostOutput::~HostOutput() {
  if (stream_ != nullptr) std::fclose(stream_);
}

void HostOutput::commit() {
  const bool flushed = std::fflush(stream_) == 0 && !std::ferror(stream_);
  const int err = errno;
  std::fclose(stream_);
  stream_ = nullptr;
  if (!flushed) throw std::runtime_error("cannot write " + target_.string() + ": " + reason(err));
  if (HRESULT hr = file_.commit(); FAILED(hr))
    throw std::runtime_error("cannot write " + target_.string() + ": " + write_failure(hr));
}

}  // namespace vardel::host
