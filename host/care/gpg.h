// OpenPGP encryption of a byte stream through GPGME, so an archive opens
// with stock `gpg --decrypt` and needs nothing of this program. The keys
// are the user's keyring ($GNUPGHOME honoured) or a passphrase given to gpg
// through GPGME's loopback pinentry, never on gpg's command line.
//
// One call runs one gpg operation to its end; separate calls may run on
// separate threads.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vardel::host::care {

class GpgError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct GpgKeys {
  // Key ids, fingerprints or user ids from the keyring: encrypt to each.
  std::vector<std::string> recipients;
  // The passphrase, when known (from a file or asked once already).
  std::optional<std::string> passphrase;
  // Asks for a passphrase when gpg needs one that is not known (the
  // terminal); nothing makes gpg's operation fail.
  std::function<std::optional<std::string>()> ask;
};

// Encrypts everything readable from plain_fd (until end of file) to
// cipher_fd: to the recipients, or with the passphrase when there are none.
// Throws GpgError saying why (a key not in the keyring, a write that
// failed).
void gpg_encrypt(int plain_fd, int cipher_fd, GpgKeys& keys);

// Decrypts cipher_fd to plain_fd with the keyring's secret keys or the
// passphrase. Throws GpgError when it can't (wrong passphrase, no secret
// key, damaged data: gpg says so only at the end, after writing).
void gpg_decrypt(int cipher_fd, int plain_fd, GpgKeys& keys);

// True when the keyring holds a secret key for one of the recipients, so
// what was encrypted to them can be read back here.
bool gpg_has_secret_key(const std::vector<std::string>& recipients);

}  // namespace vardel::host::care
