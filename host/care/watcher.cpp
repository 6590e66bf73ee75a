// Keeping the backup folder's SHA256SUMS as files are written (see
// checksums.h): the platform tells of every replacement in the folder
// before its rename, and the list is written anew through its own atomic
// replacement, so a list that can't be written fails the save it records.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <vector>

#include "app/MainWindow.h"
#include "host/care/checksums.h"
#include "platform/core/atomic_file.h"
#include "platform/core/device.h"
#include "platform/core/device_files.h"
#include "platform/core/sha256.h"
#include "platform/core/wstr.h"

namespace vardel::host::care {

namespace {

class BackupFolderWatcher : public core::CommitWatcher {
 public:
  bool watches(int dir_fd, const std::string& name) override {
    if (!is_backup_file_name(name)) return false;
    std::u16string folder;
    return is_backup_folder(dir_fd, &folder);
  }

  HRESULT committing(const core::Commit& commit) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::u16string folder;
    if (!is_backup_folder(commit.dir_fd, &folder)) return S_OK;
    Sums sums;
    if (!read_sums(commit.dir_fd, &sums)) return E_FAIL;

    // A copy of a listed file is listed as its source was: if the source
    // changed since, the copy is not vouched for either.
    std::string digest = commit.sha256;
    if (commit.source_dir >= 0 && same_folder(commit.source_dir, commit.dir_fd)) {
      auto it = sums.find(commit.source_name);
      if (it != sums.end()) digest = it->second;
    }

    std::vector<std::string> names;
    if (!device::list_folder(commit.dir_fd, &names)) return E_FAIL;
    // Every listed file stays listed: one that is gone is for verify to
    // name (prune takes its own out), and one another job is saving now may
    // not have taken its name yet.
    Sums next = sums;
    for (const std::string& n : names) {
      if (n == commit.name || !is_backup_file_name(n) || next.count(n)) continue;
      struct stat st;
      if (::fstatat(commit.dir_fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
          !S_ISREG(st.st_mode))
        continue;
      // A file the list has never seen (made before there was a list, or
      // put there by hand) is listed as it is now.
      device::Fd fd(::openat(commit.dir_fd, n.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
      std::string hex;
      if (fd && core::sha256_of_fd(fd.get(), &hex)) next[n] = hex;
    }
    next[commit.name] = digest;

    core::AtomicFile out;
    if (HRESULT hr = out.open(folder + u"\\" + utf16(kSumsName)); FAILED(hr)) return hr;
    if (HRESULT hr = out.write(format_sums(next)); FAILED(hr)) return hr;
    return out.commit();
  }

 private:
  static bool same_folder(int a, int b) {
    struct stat sa, sb;
    return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
  }

  // Is the open folder the device's backup folder? Its CE path in *folder.
  static bool is_backup_folder(int dir_fd, std::u16string* folder) {
    WCHAR ce[MAX_PATH];
    GetBackupFolder(ce);
    auto host = device::to_host(ce);
    if (!host) return false;
    struct stat sa, sb;
    if (::fstat(dir_fd, &sa) != 0 || ::stat(host->c_str(), &sb) != 0) return false;
    if (sa.st_dev != sb.st_dev || sa.st_ino != sb.st_ino) return false;
    *folder = ce;
    return true;
  }

  std::mutex mutex_;
};

}  // namespace

void watch_backup_folder() {
  static BackupFolderWatcher watcher;
  core::set_commit_watcher(&watcher);
}

}  // namespace vardel::host::care
