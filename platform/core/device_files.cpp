// Files under the device through the root's descriptor (see device_files.h).
#include "platform/core/device_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <cerrno>
#include <vector>

#include "platform/core/device.h"
#include "platform/core/wstr.h"

namespace fs = std::filesystem;

namespace vardel::device {
namespace {

int openat2_beneath(int dir, const std::string& rel, int flags, unsigned mode,
                    unsigned long long resolve_flags = 0) {
  struct open_how how {};
  how.flags = static_cast<unsigned long long>(flags | O_CLOEXEC);
  how.mode = ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) ? mode : 0;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS | resolve_flags;
  const char* path = rel.empty() ? "." : rel.c_str();
  long fd;
  do {
    fd = ::syscall(SYS_openat2, dir, path, &how, sizeof how);
  } while (fd < 0 && (errno == EINTR || errno == EAGAIN));
  return static_cast<int>(fd);
}

bool refused(int err) { return err == EXDEV || err == ELOOP; }

std::string join(const std::string& rel, const std::string& name) {
  return rel.empty() ? name : rel + "/" + name;
}

// The entry of the folder rel whose name matches name ignoring case.
std::optional<std::string> find_ignoring_case(int root, const std::string& rel,
                                              const std::string& name) {
  Fd dir(openat2_beneath(root, rel, O_RDONLY | O_DIRECTORY, 0));
  std::vector<std::string> names;
  if (!dir || !list_folder(dir.get(), &names)) return std::nullopt;
  const std::u16string want = fold_case(utf16(name));
  for (std::string& entry : names)
    if (fold_case(utf16(entry)) == want) return std::move(entry);
  return std::nullopt;
}

}  // namespace

bool is_plain_file(mode_t mode) { return S_ISREG(mode); }

std::optional<std::string> resolve(std::u16string_view ce_path) {
  auto names = split_ce_path(ce_path);
  if (!names) {
    errno = EXDEV;
    return std::nullopt;
  }
  Fd root(dup_root_fd());
  if (!root) return std::nullopt;
  std::string rel;
  bool missing = false;  // a name on the way does not exist: the rest is new
  for (const std::string& name : *names) {
    std::string next = join(rel, name);
    if (!missing) {
      Fd probe(openat2_beneath(root.get(), next, O_PATH, 0));
      int err = probe ? 0 : errno;
      if (err == ENOENT) {
        if (auto found = find_ignoring_case(root.get(), rel, name)) {
          next = join(rel, *found);
          probe.reset(openat2_beneath(root.get(), next, O_PATH, 0));
          err = probe ? 0 : errno;
        }
      }
      if (refused(err)) {
        errno = err;
        return std::nullopt;
      }
      if (err == ENOENT || err == ENOTDIR) {
        missing = true;
      } else if (err != 0) {
        errno = err;
        return std::nullopt;
      }
    }
    rel = std::move(next);
  }
  return rel;
}

int open_relative(const std::string& rel, int flags, unsigned mode, bool no_links) {
  Fd root(dup_root_fd());
  if (!root) return -1;
  return openat2_beneath(root.get(), rel, flags, mode, no_links ? RESOLVE_NO_SYMLINKS : 0);
}

int open_file(std::u16string_view ce_path, int flags, unsigned mode) {
  auto rel = resolve(ce_path);
  if (!rel) return -1;
  const bool plain = !(flags & (O_DIRECTORY | O_PATH));
  Fd fd(open_relative(*rel, plain ? flags | O_NONBLOCK : flags, mode));
  if (!fd) return -1;
  if (plain) {
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return -1;
    if (!is_plain_file(st.st_mode)) {
      errno = EACCES;
      return -1;
    }
    // A file written in place must have no other name: a hard link to a
    // file outside the device would take the writes there, where the
    // device's checked resolution cannot see.
    if ((flags & (O_WRONLY | O_RDWR)) && st.st_nlink > 1) {
      errno = EXDEV;
      return -1;
    }
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  }
  return fd.release();
}

std::optional<Entry> locate(std::u16string_view ce_path) {
  auto rel = resolve(ce_path);
  if (!rel) return std::nullopt;
  if (rel->empty()) {
    errno = EINVAL;
    return std::nullopt;
  }
  const size_t slash = rel->rfind('/');
  const std::string folder = slash == std::string::npos ? "" : rel->substr(0, slash);
  Entry e;
  e.dir.reset(open_relative(folder, O_RDONLY | O_DIRECTORY));
  if (!e.dir) return std::nullopt;
  e.name = slash == std::string::npos ? *rel : rel->substr(slash + 1);
  e.rel = std::move(*rel);
  return e;
}

bool list_folder(int dir_fd, std::vector<std::string>* names) {
  const int fd = ::fcntl(dir_fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return false;
  DIR* d = ::fdopendir(fd);
  if (!d) {
    ::close(fd);
    return false;
  }
  ::rewinddir(d);
  names->clear();
  while (struct dirent* ent = ::readdir(d)) {
    const std::string_view name = ent->d_name;
    if (name != "." && name != "..") names->emplace_back(name);
  }
  ::closedir(d);
  return true;
}

bool prepare_store_path(const fs::path& host_path) {
  const fs::path path = fs::absolute(host_path).lexically_normal();
  fs::path rel;
  for (const fs::path& base : {root(), fs::path()}) {
    fs::path b = base;
    if (b.empty()) {  // the root's resolved form
      std::error_code ec;
      b = fs::weakly_canonical(root(), ec);
      if (ec) continue;
    }
    if (b.empty()) continue;
    fs::path r = path.lexically_relative(b.lexically_normal());
    if (!r.empty() && *r.begin() != ".." && r != ".") {
      rel = std::move(r);
      break;
    }
  }
  if (rel.empty()) return true;  // not a file of the device

  Fd dir(dup_root_fd());
  if (!dir) return false;
  // Every folder on the way must be a real folder: no link, not even one
  // that stays inside, since SQLite opens the file by its name afterwards.
  const fs::path folder = rel.parent_path();
  for (const fs::path& part : folder) {
    const std::string name = part.string();
    Fd next(openat2_beneath(dir.get(), name, O_PATH | O_DIRECTORY, 0, RESOLVE_NO_SYMLINKS));
    if (!next && errno == ENOENT) {
      if (::mkdirat(dir.get(), name.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST)
        return false;
      next.reset(openat2_beneath(dir.get(), name, O_PATH | O_DIRECTORY, 0, RESOLVE_NO_SYMLINKS));
    }
    if (!next) {
      if (errno == ELOOP || errno == ENOTDIR) errno = EXDEV;
      return false;
    }
    dir = std::move(next);
  }
  // The file and the companions SQLite makes beside it: each a regular file
  // when it exists.
  const std::string leaf = rel.filename().string();
  for (const std::string& name : {leaf, leaf + "-wal", leaf + "-shm", leaf + "-journal"}) {
    struct stat st;
    if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;
      return false;
    }
    // A second name elsewhere (a hard link) would carry the store's
    // writes out of the device.
    if (!is_plain_file(st.st_mode) || st.st_nlink > 1) {
      errno = EXDEV;
      return false;
    }
  }
  return true;
}

}  // namespace vardel::device
