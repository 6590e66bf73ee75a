// Encrypted archives of the backup folder, for copies off the phone: one
// OpenPGP file (gpg.h) holding a tar of the folder's regular files (the
// backups, their dated copies, the stylesheets, SHA256SUMS), so that
// `gpg --decrypt FILE | tar -x` opens it anywhere.
//
// The tar is streamed through the encryption: memory stays bounded and no
// plain copy of the messages ever lands on disk. Thread-safe (each call has
// its own descriptors and gpg operations).
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/care/gpg.h"

namespace vardel::host::care {

// Why an archive could not be made or read; the message names the file.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ArchiveMember {
  std::string name;
  std::uint64_t size = 0;
};

struct ArchiveMade {
  std::filesystem::path file;
  std::vector<ArchiveMember> members;
  // Decrypted again and every member checked: always with a passphrase,
  // with recipients only when a secret key for one is here.
  bool read_back = false;
};

// The archive's name for a local time stamp "YYYYMMDD-HHMMSS".
std::string archive_name(const std::string& stamp);

// Archives the backup folder into to_dir as archive_name(stamp). The folder
// must hold SHA256SUMS listing every other file with its digest. The file
// takes its name only once whole, flushed and (where a key allows) read
// back; any failure removes what was written. Hidden files (a save's
// temporaries) and anything not a regular file are left out.
ArchiveMade make_archive(const std::filesystem::path& folder, const std::filesystem::path& to_dir,
                         const std::string& stamp, GpgKeys& keys);

// The members of an archive, decrypted with the keyring or the passphrase.
std::vector<ArchiveMember> list_archive(const std::filesystem::path& file, GpgKeys& keys);

// Writes the members into to_dir (which must exist), each 0600. Refuses,
// writing nothing, an archive with a member that is absolute, has `..` or a
// subfolder in its name, is a link or not a regular file, or whose name
// already exists in to_dir.
std::vector<ArchiveMember> extract_archive(const std::filesystem::path& file,
                                           const std::filesystem::path& to_dir, GpgKeys& keys);

}  // namespace vardel::host::care
