// SHA-256 of what is written and of files already on disk, as lowercase hex
// (the form `sha256sum` prints). Built on libgcrypt, which uses the
// processor's SHA instructions where it has them.
//
// One Sha256 belongs to one thread; the free functions are thread-safe.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vardel::core {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(std::string_view bytes);
  // The digest of everything updated so far, as 64 hex digits. Ends the
  // hashing: update may not be called again.
  std::string hex();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Hands f the file open at fd from offset 0 to its end, 256 KiB at a time
// (the file offset is left alone), until f returns false. False, with errno
// set, when it can't be read.
bool read_file_pieces(int fd, const std::function<bool(std::string_view)>& f);

// The digest of the whole file open at fd, read from offset 0 (the file
// offset is left alone). False, with errno set, when it can't be read.
bool sha256_of_fd(int fd, std::string* hex);

// The 32 bytes of the digest of bytes, in one call (for many small texts).
void sha256_bytes(std::string_view bytes, unsigned char out[32]);

// True for 64 hex digits.
bool is_sha256_hex(std::string_view text);

}  // namespace vardel::core
