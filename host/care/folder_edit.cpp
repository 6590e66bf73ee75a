// Removing backup files with SHA256SUMS in step (see folder_edit.h).
#include "host/care/folder_edit.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "app/MainWindow.h"
#include "host/care/checksums.h"
#include "platform/core/atomic_file.h"
#include "platform/core/device_files.h"
#include "platform/core/windows.h"
#include "platform/core/wstr.h"

namespace vardel::host::care {

Removal remove_backup_files(const std::vector<std::string>& names) {
  WCHAR ce[MAX_PATH];
  GetBackupFolder(ce);
  const std::u16string folder = ce;
  const std::u16string sums_path = folder + u"\\" + utf16(kSumsName);
  auto entry = device::locate(sums_path);
  if (!entry)
    throw std::runtime_error("the backup folder can't be opened: " +
                             std::string(std::strerror(errno)));
  Sums sums;
  if (!read_sums(entry->dir.get(), &sums)) throw std::runtime_error("SHA256SUMS can't be read");

  bool listed = false;
  for (const std::string& n : names) listed |= sums.erase(n) > 0;
  if (listed) {
    core::AtomicFile out;
    HRESULT hr = out.open(sums_path);
    if (SUCCEEDED(hr)) hr = out.write(format_sums(sums));
    if (SUCCEEDED(hr)) hr = out.commit();
    if (FAILED(hr)) throw std::runtime_error("SHA256SUMS can't be written (nothing was removed)");
  }

  Removal r;
  for (const std::string& n : names) {
    if (DeleteFileW((folder + u"\\" + utf16(n)).c_str()))
      r.removed.push_back(n);
    else
      r.failed.push_back(n + ": error " + std::to_string(GetLastError()));
  }
  return r;
}

}  // namespace vardel::host::care
