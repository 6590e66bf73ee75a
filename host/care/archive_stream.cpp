// Tar streams of archives (see archive_stream.h).
#include "host/care/archive_stream.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>

#include "host/care/archive.h"
#include "host/care/checksums.h"
#include "platform/core/device_files.h"
#include "platform/core/sha256.h"

namespace vardel::host::care {

namespace {

using device::Fd;

constexpr size_t kChunk = 64 * 1024;

struct WriteDeleter {
  void operator()(::archive* a) const { archive_write_free(a); }
};
struct ReadDeleter {
  void operator()(::archive* a) const { archive_read_free(a); }
};
struct EntryDeleter {
  void operator()(archive_entry* e) const { archive_entry_free(e); }
};

std::string tar_error(::archive* a) {
  const char* s = archive_error_string(a);
  return s ? s : "unknown tar error";
}

// The names of the regular files to archive, in name order.
std::vector<std::string> folder_files(int dir_fd) {
  Fd dup_fd(::fcntl(dir_fd, F_DUPFD_CLOEXEC, 0));
  DIR* d = dup_fd ? ::fdopendir(dup_fd.get()) : nullptr;
  if (!d) throw ArchiveError(std::string("cannot list the backup folder: ") + std::strerror(errno));
  dup_fd.release();  // closedir closes it
  std::unique_ptr<DIR, int (*)(DIR*)> dir(d, ::closedir);
  std::vector<std::string> names;
  errno = 0;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    // The history is a live database no checksum can list; it is not yet
    // part of an archive (copy it with `vardel history export`).
    if (name.rfind("history.db", 0) == 0) continue;
    struct stat st;
    if (::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
      throw ArchiveError("cannot read " + name + " in the backup folder: " + std::strerror(errno));
    if (S_ISREG(st.st_mode)) names.push_back(name);
    errno = 0;
  }
  if (errno)
    throw ArchiveError(std::string("cannot list the backup folder: ") + std::strerror(errno));
  std::sort(names.begin(), names.end());
  return names;
}

DigestedMember add_file(::archive* a, int dir_fd, const std::string& name, std::string* keep) {
  Fd fd(::openat(dir_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (!fd || ::fstat(fd.get(), &st) != 0)
    throw ArchiveError("cannot read " + name + " in the backup folder: " + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) throw ArchiveError(name + " in the backup folder is not a file");

  std::unique_ptr<archive_entry, EntryDeleter> entry(archive_entry_new());
  archive_entry_set_pathname_utf8(entry.get(), name.c_str());
  archive_entry_set_filetype(entry.get(), AE_IFREG);
  archive_entry_set_perm(entry.get(), 0600);
  archive_entry_set_size(entry.get(), st.st_size);
  archive_entry_set_mtime(entry.get(), st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  if (archive_write_header(a, entry.get()) != ARCHIVE_OK)
    throw ArchiveError("cannot archive " + name + ": " + tar_error(a));

  core::Sha256 sha;
  std::vector<char> buf(kChunk);
  std::uint64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ArchiveError("cannot read " + name + ": " + std::strerror(errno));
    if (n == 0) break;
    total += static_cast<std::uint64_t>(n);
    // The header promised st_size bytes: a file growing under us would
    // spill into the next member.
    if (total > static_cast<std::uint64_t>(st.st_size)) break;
    const std::string_view bytes(buf.data(), static_cast<size_t>(n));
    sha.update(bytes);
    if (keep) keep->append(bytes);
    if (archive_write_data(a, buf.data(), static_cast<size_t>(n)) != n)
      throw ArchiveError("cannot archive " + name + ": " + tar_error(a));
  }
  if (total != static_cast<std::uint64_t>(st.st_size))
    throw ArchiveError(name + " changed while it was archived");
  return {name, total, sha.hex()};
}

}  // namespace

WrittenTar write_folder_tar(int dir_fd, int out_fd) {
  std::unique_ptr<::archive, WriteDeleter> a(archive_write_new());
  // pax only where ustar can't say it (long or non-ASCII names), so any
  // tar reads the archive.
  if (!a || archive_write_set_format_pax_restricted(a.get()) != ARCHIVE_OK ||
      archive_write_open_fd(a.get(), out_fd) != ARCHIVE_OK)
    throw ArchiveError("cannot start the archive: " + tar_error(a.get()));
  WrittenTar tar;
  for (const std::string& name : folder_files(dir_fd)) {
    const bool sums = name == kSumsName;
    tar.members.push_back(add_file(a.get(), dir_fd, name, sums ? &tar.sums_text : nullptr));
    tar.has_sums = tar.has_sums || sums;
  }
  if (archive_write_close(a.get()) != ARCHIVE_OK)
    throw ArchiveError("cannot finish the archive: " + tar_error(a.get()));
  return tar;
}

size_t TarData::read(char* buf, size_t n) {
  const la_ssize_t got = archive_read_data(a_, buf, n);
  if (got < 0) throw ArchiveError("the archive is damaged: " + tar_error(a_));
  return static_cast<size_t>(got);
}

void for_each_member(int cipher_fd, GpgKeys& keys,
                     const std::function<void(const TarEntry&, TarData&)>& each) {
  int p[2];
  if (::pipe2(p, O_CLOEXEC) != 0)
    throw ArchiveError(std::string("cannot start decrypting: ") + std::strerror(errno));
  Fd plain_in(p[0]);
  std::string decrypt_error;
  // gpg writes the plain tar into the pipe on its own thread while this one
  // reads it: the whole archive is never held, nor written out.
  std::thread decrypting([&, out = p[1]] {
    try {
      gpg_decrypt(cipher_fd, out, keys);
    } catch (const std::exception& e) {
      decrypt_error = e.what();
    }
    ::close(out);
  });

  std::exception_ptr stopped;  // from each: thrown on as it is
  std::string tar_problem;
  try {
    std::unique_ptr<::archive, ReadDeleter> a(archive_read_new());
    archive_read_support_format_tar(a.get());
    if (archive_read_open_fd(a.get(), plain_in.get(), kChunk) != ARCHIVE_OK)
      throw ArchiveError(tar_error(a.get()));
    for (;;) {
      archive_entry* e = nullptr;
      const int r = archive_read_next_header(a.get(), &e);
      if (r == ARCHIVE_EOF) break;
      if (r < ARCHIVE_WARN) throw ArchiveError(tar_error(a.get()));
      TarEntry entry;
      const char* utf8 = archive_entry_pathname_utf8(e);
      const char* raw = archive_entry_pathname(e);
      entry.name = utf8 ? utf8 : raw ? raw : "";
      entry.size = static_cast<std::uint64_t>(archive_entry_size(e));
      entry.regular = archive_entry_filetype(e) == AE_IFREG && !archive_entry_hardlink(e);
      entry.link = archive_entry_filetype(e) == AE_IFLNK || archive_entry_hardlink(e) != nullptr;
      TarData data(a.get());
      try {
        each(entry, data);
      } catch (...) {
        stopped = std::current_exception();
        break;
      }
    }
    // Read what follows the tar's end too, so gpg finishes and says
    // whether the whole archive was sound.
    std::vector<char> rest(kChunk);
    while (!stopped && ::read(plain_in.get(), rest.data(), rest.size()) > 0) {
    }
  } catch (const std::exception& e) {
    tar_problem = e.what();
  }
  plain_in.reset();  // an early stop ends gpg's writing too
  decrypting.join();
  if (stopped) std::rethrow_exception(stopped);
  if (!decrypt_error.empty()) throw ArchiveError("cannot decrypt: " + decrypt_error);
  if (!tar_problem.empty()) throw ArchiveError("not a readable tar archive: " + tar_problem);
}

}  // namespace vardel::host::care
