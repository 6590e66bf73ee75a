// Encrypted archives of the backup folder (see archive.h).
#include "host/care/archive.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "host/care/archive_stream.h"
#include "host/care/checksums.h"
#include "platform/core/atomic_file.h"
#include "platform/core/device_files.h"
#include "platform/core/sha256.h"

namespace fs = std::filesystem;

namespace vardel::host::care {

namespace {

using device::Fd;

std::string os_error() { return std::strerror(errno); }

// Every member but SHA256SUMS must be listed in it with its digest: an
// archive that doesn't match its own list is not a copy to keep.
void check_against_sums(const std::vector<DigestedMember>& members, bool has_sums,
                        const std::string& sums_text) {
  if (!has_sums) throw ArchiveError("the backup folder has no SHA256SUMS: make a backup first");
  int bad = 0;
  const Sums sums = parse_sums(sums_text, &bad);
  for (const DigestedMember& m : members) {
    if (m.name == kSumsName) continue;
    const auto it = sums.find(m.name);
    if (it == sums.end()) throw ArchiveError(m.name + " is not listed in SHA256SUMS");
    if (it->second != m.digest)
      throw ArchiveError(m.name + " does not match its SHA-256 in SHA256SUMS");
  }
}

// The temporary in the destination: removed unless kept.
class Temporary {
 public:
  Temporary(int dir_fd, const std::string& final_name) : dir_fd_(dir_fd) {
    static std::atomic<unsigned> counter{0};
    name_ =
        "." + final_name + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd_.reset(::openat(dir_fd, name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  }
  ~Temporary() {
    if (!kept_ && fd_) ::unlinkat(dir_fd_, name_.c_str(), 0);
  }
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;

  int fd() const { return fd_.get(); }
  const std::string& name() const { return name_; }
  void keep() { kept_ = true; }

 private:
  int dir_fd_;
  std::string name_;
  Fd fd_;
  bool kept_ = false;
};

// Decrypts the archive and hashes every member as it goes by.
WrittenTar read_members(int cipher_fd, GpgKeys& keys) {
  WrittenTar tar;
  std::vector<char> buf(64 * 1024);
  for_each_member(cipher_fd, keys, [&](const TarEntry& e, TarData& data) {
    core::Sha256 sha;
    std::uint64_t total = 0;
    const bool sums = e.name == kSumsName;
    for (size_t n; (n = data.read(buf.data(), buf.size())) > 0;) {
      sha.update({buf.data(), n});
      if (sums) tar.sums_text.append(buf.data(), n);
      total += n;
    }
    tar.has_sums = tar.has_sums || sums;
    tar.members.push_back({e.name, total, sha.hex()});
  });
  return tar;
}

std::vector<ArchiveMember> plain_members(const std::vector<DigestedMember>& members) {
  std::vector<ArchiveMember> out;
  for (const DigestedMember& m : members) out.push_back({m.name, m.size});
  return out;
}

Fd open_archive(const fs::path& file) {
  Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (!fd || ::fstat(fd.get(), &st) != 0)
    throw ArchiveError("cannot read " + file.string() + ": " + os_error());
  if (!S_ISREG(st.st_mode)) throw ArchiveError(file.string() + " is not a file");
  return fd;
}

// Why a member may not be written into the folder, or empty when it may.
std::string refusal(const TarEntry& e) {
  if (e.link) return "is a link";
  if (!e.regular) return "is not a regular file";
  if (e.name.empty()) return "has no name";
  if (e.name[0] == '/') return "has an absolute name";
  if (e.name == ".." || e.name.starts_with("../") || e.name.ends_with("/..") ||
      e.name.find("/../") != std::string::npos)
    return "would leave the folder (..)";
  if (e.name.find('/') != std::string::npos) return "is in a subfolder; a backup archive is flat";
  if (e.name == ".") return "has no name";
  return {};
}

}  // namespace

std::string archive_name(const std::string& stamp) { return "vardelbackup-" + stamp + ".tar.gpg"; }

ArchiveMade make_archive(const fs::path& folder, const fs::path& to_dir, const std::string& stamp,
                         GpgKeys& keys) {
  Fd folder_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder_fd)
    throw ArchiveError("cannot read the backup folder " + folder.string() + ": " + os_error());
  Fd dir_fd(::open(to_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir_fd) throw ArchiveError("cannot write to " + to_dir.string() + ": " + os_error());

  ArchiveMade made;
  const std::string name = archive_name(stamp);
  made.file = to_dir / name;
  Temporary tmp(dir_fd.get(), name);
  if (tmp.fd() < 0) throw ArchiveError("cannot write to " + to_dir.string() + ": " + os_error());
  const auto failed = [&](const std::string& why) {
    return ArchiveError("cannot write " + made.file.string() + ": " + why);
  };

  int p[2];
  if (::pipe2(p, O_CLOEXEC) != 0) throw failed(os_error());
  Fd tar_in(p[0]);
  WrittenTar written;
  std::string tar_problem;
  // The tar is written into a pipe on its own thread while gpg encrypts
  // from the other end: nothing plain reaches the disk.
  std::thread writing([&, out = p[1]] {
    try {
      written = write_folder_tar(folder_fd.get(), out);
    } catch (const std::exception& e) {
      tar_problem = e.what();
    }
    ::close(out);
  });
  std::string gpg_problem;
  try {
    gpg_encrypt(tar_in.get(), tmp.fd(), keys);
  } catch (const std::exception& e) {
    gpg_problem = e.what();
  }
  tar_in.reset();  // a gpg that stopped early stops the writing too
  writing.join();
  // gpg's own failure first: when it stops, the tar's writing fails too.
  if (!gpg_problem.empty()) throw failed(gpg_problem);
  if (!tar_problem.empty()) throw ArchiveError(tar_problem);
  check_against_sums(written.members, written.has_sums, written.sums_text);
  if (::fsync(tmp.fd()) != 0) throw failed(os_error());

  if (keys.recipients.empty() || gpg_has_secret_key(keys.recipients)) {
    Fd again(::openat(dir_fd.get(), tmp.name().c_str(), O_RDONLY | O_CLOEXEC));
    if (!again) throw failed("cannot read it back: " + os_error());
    WrittenTar back;
    try {
      back = read_members(again.get(), keys);
    } catch (const std::exception& e) {
      throw failed(std::string("it does not read back: ") + e.what());
    }
    check_against_sums(back.members, back.has_sums, back.sums_text);
    if (back.members.size() != written.members.size())
      throw failed("it reads back with other members than were written");
    for (size_t i = 0; i < back.members.size(); ++i)
      if (back.members[i].name != written.members[i].name ||
          back.members[i].digest != written.members[i].digest)
        throw failed(back.members[i].name + " reads back other than it was written");
    made.read_back = true;
  }

  // An archive of the same second is not replaced: it holds what it holds.
  if (::renameat2(dir_fd.get(), tmp.name().c_str(), dir_fd.get(), name.c_str(), RENAME_NOREPLACE) !=
      0)
    throw failed(os_error());
  tmp.keep();
  if (::fsync(dir_fd.get()) != 0)
    throw failed("cannot flush " + to_dir.string() + ": " + os_error());
  made.members = plain_members(written.members);
  return made;
}

std::vector<ArchiveMember> list_archive(const fs::path& file, GpgKeys& keys) {
  Fd fd = open_archive(file);
  std::vector<ArchiveMember> members;
  try {
    for_each_member(fd.get(), keys, [&](const TarEntry& e, TarData&) {
      members.push_back({e.name, e.size});
    });
  } catch (const std::exception& e) {
    throw ArchiveError(file.string() + ": " + e.what());
  }
  return members;
}

std::vector<ArchiveMember> extract_archive(const fs::path& file, const fs::path& to_dir,
                                           GpgKeys& keys) {
  Fd fd = open_archive(file);
  Fd dir_fd(::open(to_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir_fd) throw ArchiveError("cannot write to " + to_dir.string() + ": " + os_error());
  std::vector<ArchiveMember> written;
  std::vector<char> buf(64 * 1024);
  try {
    for_each_member(fd.get(), keys, [&](const TarEntry& e, TarData& data) {
      if (const std::string why = refusal(e); !why.empty())
        throw ArchiveError("member " + e.name + " " + why + ": nothing extracted");
      // O_EXCL: an existing file, or a link planted under the member's
      // name, is never written through.
      Fd out(::openat(dir_fd.get(), e.name.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
      if (!out && errno == EEXIST)
        throw ArchiveError(e.name + " already exists in " + to_dir.string() + ": not replaced");
      if (!out) throw ArchiveError("cannot write " + e.name + ": " + os_error());
      written.push_back({e.name, 0});
      for (size_t n; (n = data.read(buf.data(), buf.size())) > 0;) {
        if (!core::write_all(out.get(), {buf.data(), n}))
          throw ArchiveError("cannot write " + e.name + ": " + os_error());
        written.back().size += n;
      }
      if (::fsync(out.get()) != 0) throw ArchiveError("cannot write " + e.name + ": " + os_error());
    });
  } catch (const std::exception& e) {
    // All or nothing: a refusal or a decryption that fails at the end
    // takes back what this run wrote.
    for (const ArchiveMember& m : written) ::unlinkat(dir_fd.get(), m.name.c_str(), 0);
    throw ArchiveError(file.string() + ": " + e.what());
  }
  ::fsync(dir_fd.get());
  return written;
}

}  // namespace vardel::host::care
