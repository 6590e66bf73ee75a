// File calls over the device folder: folders, copies, deletes, attributes
// and the program's own path.
//
// A copy is written to a temporary file beside the target, flushed to disk
// and renamed over the target, so a failure at any point leaves the old
// target whole and never a half-written one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/core/last_error.h"

using vardel::core::fail_with;
using vardel::core::win32_from_errno;

namespace {

// Maps a CE path; on failure sets the last error and gives nothing.
std::optional<std::filesystem::path> map(LPCWSTR ce) {
  if (!ce || !*ce) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  auto host = vardel::device::to_host(ce);
  if (!host) SetLastError(ERROR_ACCESS_DENIED);
  return host;
}

BOOL fail_errno(int err) {
  SetLastError(win32_from_errno(err));
  return FALSE;
}

// The error a missing file reports: a missing folder on the way is
// ERROR_PATH_NOT_FOUND, a missing last part ERROR_FILE_NOT_FOUND.
DWORD missing_error(const std::filesystem::path& p) {
  struct stat st;
  if (::stat(p.parent_path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return ERROR_PATH_NOT_FOUND;
  return ERROR_FILE_NOT_FOUND;
}

bool write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Copies src's bytes into fd. errno tells why on failure.
bool copy_bytes(int in, int out) {
  char buf[64 * 1024];
  for (;;) {
    ssize_t r = ::read(in, buf, sizeof buf);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return true;
    if (!write_all(out, buf, static_cast<size_t>(r))) return false;
  }
}

void sync_dir(const std::filesystem::path& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// Moves from over to; with no_replace, fails with EEXIST when to exists.
int move_into_place(const std::filesystem::path& from, const std::filesystem::path& to,
                    bool no_replace) {
  if (!no_replace) return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without RENAME_NOREPLACE: link() also refuses an existing name.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  auto host = map(lpPathName);
  if (!host) return FALSE;
  if (HRESULT hr = vardel::fault::check("core.CreateDirectoryW")) return fail_with(hr);
  if (::mkdir(host->c_str(), 0777) == 0) return TRUE;
  int err = errno;
  if (err == ENOENT || err == ENOTDIR) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  return fail_errno(err);
}

BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
  auto host = map(lpPathName);
  if (!host) return FALSE;
  if (*host == vardel::device::root()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::rmdir(host->c_str()) == 0) return TRUE;
  if (errno == ENOENT) {
    SetLastError(missing_error(*host));
    return FALSE;
  }
  return fail_errno(errno);
}

BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  auto src = map(lpExistingFileName);
  if (!src) return FALSE;
  auto dst = map(lpNewFileName);
  if (!dst) return FALSE;

  int in = ::open(src->c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    SetLastError(errno == ENOENT ? missing_error(*src) : win32_from_errno(errno));
    return FALSE;
  }
  struct stat sst;
  if (::fstat(in, &sst) != 0 || !S_ISREG(sst.st_mode)) {
    ::close(in);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  struct stat dst_st;
  if (::stat(dst->c_str(), &dst_st) == 0) {
    if (bFailIfExists || S_ISDIR(dst_st.st_mode)) {
      ::close(in);
      SetLastError(bFailIfExists ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }

  std::string tmpl = (dst->parent_path() / ("." + dst->filename().string() + ".XXXXXX")).string();
  int out = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (out < 0) {
    int err = errno;
    ::close(in);
    SetLastError(err == ENOENT || err == ENOTDIR ? ERROR_PATH_NOT_FOUND : win32_from_errno(err));
    return FALSE;
  }
  std::filesystem::path tmp = tmpl;

  auto abandon = [&](DWORD error) {
    ::close(out);
    ::unlink(tmp.c_str());
    SetLastError(error);
    return FALSE;
  };
  bool ok = copy_bytes(in, out);
  int err = errno;
  ::close(in);
  if (!ok) return abandon(win32_from_errno(err));
  ::fchmod(out, sst.st_mode & 07777);
  struct timespec times[2] = {sst.st_atim, sst.st_mtim};  // the copy keeps its write time
  ::futimens(out, times);
  if (::fsync(out) != 0) return abandon(win32_from_errno(errno));
  if (HRESULT hr = vardel::fault::check("core.CopyFileW"))
    return abandon(vardel::core::win32_from_hresult(hr));
  if (::close(out) != 0) {
    err = errno;
    ::unlink(tmp.c_str());
    return fail_errno(err);
  }
  if (int e = move_into_place(tmp, *dst, bFailIfExists)) {
    ::unlink(tmp.c_str());
    SetLastError(e == EEXIST ? ERROR_FILE_EXISTS : win32_from_errno(e));
    return FALSE;
  }
  sync_dir(dst->parent_path());
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  auto host = map(lpFileName);
  if (!host) return FALSE;
  struct stat st;
  if (::lstat(host->c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::unlink(host->c_str()) == 0) return TRUE;
  if (errno == ENOENT) {
    SetLastError(missing_error(*host));
    return FALSE;
  }
  return fail_errno(errno);
}

BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  auto src = map(lpExistingFileName);
  if (!src) return FALSE;
  auto dst = map(lpNewFileName);
  if (!dst) return FALSE;
  struct stat st;
  if (::lstat(src->c_str(), &st) != 0) {
    SetLastError(errno == ENOENT ? missing_error(*src) : win32_from_errno(errno));
    return FALSE;
  }
  if (int e = move_into_place(*src, *dst, true)) {
    SetLastError(e == EEXIST   ? ERROR_ALREADY_EXISTS
                 : e == ENOENT ? ERROR_PATH_NOT_FOUND
                               : win32_from_errno(e));
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  auto host = map(lpFileName);
  if (!host) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (::stat(host->c_str(), &st) != 0) {
    SetLastError(errno == ENOENT ? missing_error(*host) : win32_from_errno(errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attrs = 0;
  if (S_ISDIR(st.st_mode)) attrs |= FILE_ATTRIBUTE_DIRECTORY;
  if (!(st.st_mode & S_IWUSR)) attrs |= FILE_ATTRIBUTE_READONLY;
  std::string name = host->filename().string();
  if (!name.empty() && name[0] == '.') attrs |= FILE_ATTRIBUTE_HIDDEN;
  if (!S_ISDIR(st.st_mode)) attrs |= FILE_ATTRIBUTE_ARCHIVE;
  return attrs;
}

DWORD GetModuleFileNameW(HMODULE, LPWSTR lpFilename, DWORD nSize) {
  std::u16string path = vardel::device::module_path();
  if (!lpFilename || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() >= nSize) {
    path.copy(lpFilename, nSize - 1);
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  path.copy(lpFilename, path.size());
  lpFilename[path.size()] = 0;
  return static_cast<DWORD>(path.size());
}
