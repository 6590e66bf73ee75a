// The tar streams inside archives (archive.h): writing a folder's files as
// tar to a descriptor, and reading the members of an encrypted archive one
// by one as it is decrypted. Internal to the archive code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/care/gpg.h"

struct archive;

namespace vardel::host::care {

struct DigestedMember {
  std::string name;
  std::uint64_t size = 0;
  std::string digest;  // SHA-256, hex
};

struct WrittenTar {
  std::vector<DigestedMember> members;  // in name order
  std::string sums_text;                // SHA256SUMS as archived, when it was
  bool has_sums = false;
};

// Writes a tar (pax, UTF-8 names) of the regular, not hidden files directly
// in the open folder to out_fd, hashing each as it is read. Throws
// ArchiveError.
WrittenTar write_folder_tar(int dir_fd, int out_fd);

struct TarEntry {
  std::string name;
  std::uint64_t size = 0;
  bool regular = false;
  bool link = false;  // a symbolic or hard link
};

// A member's bytes, read once, in order.
class TarData {
 public:
  explicit TarData(::archive* a) : a_(a) {}
  // Up to n bytes; 0 at the member's end. Throws ArchiveError.
  size_t read(char* buf, size_t n);

 private:
  ::archive* a_;
};

// Decrypts the archive open at cipher_fd and calls each for every member in
// order. An exception from each stops the reading and is thrown on; else a
// failed decryption (wrong passphrase, no key, damage found at the end) is
// thrown as ArchiveError after the last member, so a caller that wrote
// something must undo it then.
void for_each_member(int cipher_fd, GpgKeys& keys,
                     const std::function<void(const TarEntry&, TarData&)>& each);

}  // namespace vardel::host::care
