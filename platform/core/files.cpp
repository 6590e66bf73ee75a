// File calls over the device folder: folders, copies, deletes, attributes
// and the program's own path.
//
// Every call reaches the device through the root's descriptor (see
// device_files.h): a path that leaves the device, also through a link, is
// ERROR_ACCESS_DENIED. A copy is written to a temporary file beside the
// target, flushed to disk and renamed over the target, so a failure at any
// point leaves the old target whole and never a half-written one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/core/atomic_file.h"
#include "platform/core/device.h"
#include "platform/core/device_files.h"
#include "platform/core/fault.h"
#include "platform/core/last_error.h"

using vardel::core::fail_with;
using vardel::core::win32_from_errno;
using vardel::device::Entry;
using vardel::device::Fd;

namespace {

BOOL fail_errno(int err) {
  SetLastError(win32_from_errno(err));
  return FALSE;
}

// The entry a CE path names; on failure sets the last error (a missing
// folder on the way is ERROR_PATH_NOT_FOUND) and gives nothing.
std::optional<Entry> locate(LPCWSTR ce) {
  if (!ce || !*ce) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  auto entry = vardel::device::locate(ce);
  if (!entry) {
    const int err = errno;
    SetLastError(err == ENOENT || err == ENOTDIR ? ERROR_PATH_NOT_FOUND
                 : err == EINVAL                 ? ERROR_ACCESS_DENIED
                                                 : win32_from_errno(err));
  }
  return entry;
}

bool copy_bytes(int in, int out) {
  char buf[64 * 1024];
  for (;;) {
    ssize_t r = ::read(in, buf, sizeof buf);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return true;
    for (const char* p = buf; r > 0;) {
      ssize_t w = ::write(out, p, static_cast<size_t>(r));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        if (w == 0) errno = ENOSPC;
        return false;
      }
      p += w;
      r -= w;
    }
  }
}

}  // namespace

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  auto entry = locate(lpPathName);
  if (!entry) return FALSE;
  if (HRESULT hr = vardel::fault::check("core.CreateDirectoryW")) return fail_with(hr);
  if (::mkdirat(entry->dir.get(), entry->name.c_str(), vardel::device::kPrivateFolderMode) == 0)
    return TRUE;
  return fail_errno(errno);
}

BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
  auto entry = locate(lpPathName);
  if (!entry) return FALSE;
  if (::unlinkat(entry->dir.get(), entry->name.c_str(), AT_REMOVEDIR) == 0) return TRUE;
  return fail_errno(errno);
}

BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  if (!lpExistingFileName || !*lpExistingFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  Fd in(vardel::device::open_file(lpExistingFileName, O_RDONLY));
  if (!in) {
    const int err = errno;
    if (err == ENOENT && !vardel::device::locate(lpExistingFileName))
      SetLastError(ERROR_PATH_NOT_FOUND);
    else
      SetLastError(win32_from_errno(err));
    return FALSE;
  }
  struct stat sst;
  if (::fstat(in.get(), &sst) != 0) return fail_errno(errno);

  vardel::core::AtomicFile out;
  if (HRESULT hr = out.open(lpNewFileName, bFailIfExists); FAILED(hr)) {
    SetLastError(vardel::core::win32_from_hresult(hr));
    return FALSE;
  }
  // A watcher keeping checksums lists a copy under its source's listed
  // digest, so a source that changed since it was listed is not vouched for.
  auto source = vardel::device::locate(lpExistingFileName);
  if (source) out.set_source(source->dir.get(), source->name);
  if (!copy_bytes(in.get(), out.fd())) return fail_errno(errno);
  ::fchmod(out.fd(), sst.st_mode & 07777);
  struct timespec times[2] = {sst.st_atim, sst.st_mtim};  // the copy keeps its write time
  ::futimens(out.fd(), times);
  if (HRESULT hr = vardel::fault::check("core.CopyFileW"))
    return fail_with(hr);  // the temporary goes with `out`
  if (HRESULT hr = out.commit(); FAILED(hr)) {
    SetLastError(vardel::core::win32_from_hresult(hr));
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  auto entry = locate(lpFileName);
  if (!entry) return FALSE;
  struct stat st;
  if (::fstatat(entry->dir.get(), entry->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::unlinkat(entry->dir.get(), entry->name.c_str(), 0) == 0) return TRUE;
  return fail_errno(errno);
}

BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  auto src = locate(lpExistingFileName);
  if (!src) return FALSE;
  auto dst = locate(lpNewFileName);
  if (!dst) return FALSE;
  if (::renameat2(src->dir.get(), src->name.c_str(), dst->dir.get(), dst->name.c_str(),
                  RENAME_NOREPLACE) == 0)
    return TRUE;
  int err = errno;
  if (err == EINVAL || err == ENOSYS) {  // no RENAME_NOREPLACE: link() refuses an existing name
    struct stat st;
    if (::fstatat(src->dir.get(), src->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISDIR(st.st_mode) &&
        ::linkat(src->dir.get(), src->name.c_str(), dst->dir.get(), dst->name.c_str(), 0) == 0) {
      ::unlinkat(src->dir.get(), src->name.c_str(), 0);
      return TRUE;
    }
    err = errno;
  }
  SetLastError(err == EEXIST ? ERROR_ALREADY_EXISTS : win32_from_errno(err));
  return FALSE;
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  if (!lpFileName || !*lpFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  Fd fd(vardel::device::open_file(lpFileName, O_PATH));
  struct stat st;
  if (!fd || ::fstat(fd.get(), &st) != 0) {
    const int err = errno;
    if (err == ENOENT && !vardel::device::locate(lpFileName))
      SetLastError(ERROR_PATH_NOT_FOUND);
    else
      SetLastError(win32_from_errno(err));
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attrs = 0;
  if (S_ISDIR(st.st_mode)) attrs |= FILE_ATTRIBUTE_DIRECTORY;
  if (!(st.st_mode & S_IWUSR)) attrs |= FILE_ATTRIBUTE_READONLY;
  auto rel = vardel::device::resolve(lpFileName);
  const std::string name = rel ? rel->substr(rel->rfind('/') + 1) : "";
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
