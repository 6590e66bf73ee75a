// GetLastError per thread, and the mapping of host errors to Win32 codes.
#include <cerrno>

#include "platform/core/last_error.h"

namespace {
thread_local DWORD t_last_error = ERROR_SUCCESS;
}

DWORD GetLastError() { return t_last_error; }
void SetLastError(DWORD dwErrCode) { t_last_error = dwErrCode; }

namespace vardel::core {

DWORD win32_from_hresult(HRESULT hr) {
  auto u = static_cast<DWORD>(hr);
  if ((u & 0xFFFF0000u) == 0x80070000u) return u & 0xFFFFu;
  if (hr == E_OUTOFMEMORY) return ERROR_OUTOFMEMORY;
  if (hr == E_ACCESSDENIED) return ERROR_ACCESS_DENIED;
  return ERROR_GEN_FAILURE;
}

DWORD win32_from_errno(int err) {
  switch (err) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EXDEV:  // a path that leaves the device, refused by the kernel
    case ELOOP:
    case ENXIO:  // a FIFO nobody reads
      return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EIO:
      return ERROR_WRITE_FAULT;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_GEN_FAILURE;
  }
}

BOOL fail_with(HRESULT hr) {
  SetLastError(win32_from_hresult(hr));
  return FALSE;
}

}  // namespace vardel::core
