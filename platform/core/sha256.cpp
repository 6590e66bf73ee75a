// SHA-256 through libgcrypt (see sha256.h).
#include "platform/core/sha256.h"

#include <gcrypt.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <new>
#include <vector>

namespace vardel::core {

namespace {

// libgcrypt wants its version checked once before first use; the library
// is otherwise thread-safe.
void start_gcrypt() {
  static std::once_flag once;
  std::call_once(once, [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

std::string to_hex(const unsigned char* digest, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out(n * 2, '0');
  for (size_t i = 0; i < n; ++i) {
    out[2 * i] = kDigits[digest[i] >> 4];
    out[2 * i + 1] = kDigits[digest[i] & 15];
  }
  return out;
}

}  // namespace

struct Sha256::Impl {
  gcry_md_hd_t hd = nullptr;
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
  start_gcrypt();
  if (gcry_md_open(&impl_->hd, GCRY_MD_SHA256, 0) != 0) throw std::bad_alloc();
}

Sha256::~Sha256() {
  if (impl_->hd) gcry_md_close(impl_->hd);
}

void Sha256::update(std::string_view bytes) {
  gcry_md_write(impl_->hd, bytes.data(), bytes.size());
}

std::string Sha256::hex() {
  const unsigned char* digest = gcry_md_read(impl_->hd, GCRY_MD_SHA256);
  return to_hex(digest, gcry_md_get_algo_dlen(GCRY_MD_SHA256));
}

bool read_file_pieces(int fd, const std::function<bool(std::string_view)>& f) {
  std::vector<char> buf(256 * 1024);
  off_t offset = 0;
  for (;;) {
    const ssize_t n = ::pread(fd, buf.data(), buf.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0 || !f(std::string_view(buf.data(), static_cast<size_t>(n)))) return true;
    offset += n;
  }
}

bool sha256_of_fd(int fd, std::string* hex) {
  Sha256 sha;
  if (!read_file_pieces(fd, [&](std::string_view piece) {
        sha.update(piece);
        return true;
      }))
    return false;
  *hex = sha.hex();
  return true;
}

void sha256_bytes(std::string_view bytes, unsigned char out[32]) {
  start_gcrypt();
  gcry_md_hash_buffer(GCRY_MD_SHA256, out, bytes.data(), bytes.size());
}

bool is_sha256_hex(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace vardel::core
