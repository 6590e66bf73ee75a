// Checking a backup folder (see verify.h).
#include "host/care/verify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "host/care/checksums.h"
#include "platform/core/device_files.h"
#include "platform/msxml/saved_file_check.h"
#include "platform/core/wstr.h"

namespace vardel::host::care {

const char* problem_name(Problem p) {
  switch (p) {
    case Problem::missing:
      return "missing";
    case Problem::changed:
      return "changed";
    case Problem::unreadable:
      return "unreadable";
    case Problem::unlisted:
      return "unlisted";
  }
  return "";
}

bool FolderCheck::whole() const {
  if (!sums_readable) return false;
  for (const FileCheck& f : files)
    if (!f.whole()) return false;
  return true;
}

FolderCheck verify_folder(const std::filesystem::path& folder) {
  // O_PATH would do, but the listing needs a readable descriptor.
  const device::Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir) {
    FolderCheck out;
    out.folder = folder;
    return out;
  }
  return verify_folder(folder, dir.get());
}

FolderCheck verify_folder(const std::filesystem::path& folder, int dir_fd) {
  FolderCheck out;
  out.folder = folder;
  if (dir_fd < 0) return out;
  out.folder_exists = true;

  Sums sums;
  out.sums_readable = read_sums(dir_fd, &sums);
  struct stat sst;
  out.sums_present = ::fstatat(dir_fd, kSumsName, &sst, AT_SYMLINK_NOFOLLOW) == 0;

  std::map<std::string, FileCheck> files;
  for (const auto& [name, digest] : sums) files[name].name = name;
  std::vector<std::string> names;
  device::list_folder(dir_fd, &names);
  for (const std::string& n : names)
    if (is_backup_file_name(n)) files[n].name = n;

  for (auto& [name, check] : files) {
    check.backup = ascii_iends_with(name, ".xml");
    const auto listed = sums.find(name);
    device::Fd fd(::openat(dir_fd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st;
    if (!fd) {
      if (errno == ENOENT) {
        check.problems.push_back(Problem::missing);
      } else {
        check.problems.push_back(Problem::unreadable);
        check.detail = std::strerror(errno);
      }
      continue;
    }
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
      check.problems.push_back(Problem::unreadable);
      check.detail = "not a regular file";
      continue;
    }
    msxml::SavedFile saved;
    if (!msxml::check_saved_file(fd.get(), &saved)) {
      check.problems.push_back(Problem::unreadable);
      check.detail = std::strerror(errno);
      continue;
    }
    if (listed == sums.end())
      check.problems.push_back(Problem::unlisted);
    else if (listed->second != saved.sha256)
      check.problems.push_back(Problem::changed);
    if (!saved.well_formed) {
      check.problems.push_back(Problem::unreadable);
      check.detail = saved.error;
    } else {
      check.records = saved.records;
    }
  }
  for (auto& [name, check] : files) out.files.push_back(std::move(check));
  return out;
}

}  // namespace vardel::host::care
