// OpenPGP streams through GPGME (see gpg.h).
#include "host/care/gpg.h"

#include <gpgme.h>

#include <cstring>
#include <memory>
#include <mutex>

namespace vardel::host::care {

namespace {

std::string why(gpgme_error_t err) { return gpgme_strerror(err); }

void init_gpgme() {
  static std::once_flag once;
  std::call_once(once, [] {
    gpgme_check_version(nullptr);
    const gpgme_error_t err = gpgme_engine_check_version(GPGME_PROTOCOL_OpenPGP);
    if (err) throw GpgError("gpg can't be used: " + why(err));
  });
}

struct CtxDeleter {
  void operator()(gpgme_ctx_t c) const { gpgme_release(c); }
};
struct DataDeleter {
  void operator()(gpgme_data_t d) const { gpgme_data_release(d); }
};
struct KeyDeleter {
  void operator()(gpgme_key_t k) const { gpgme_key_unref(k); }
};
using Ctx = std::unique_ptr<gpgme_context, CtxDeleter>;
using Data = std::unique_ptr<gpgme_data, DataDeleter>;
using Key = std::unique_ptr<_gpgme_key, KeyDeleter>;

gpgme_error_t give_passphrase(void* hook, const char* /*uid_hint*/, const char* /*info*/,
                              int prev_was_bad, int fd) {
  auto* keys = static_cast<GpgKeys*>(hook);
  // A passphrase gpg refused once is refused again: say so instead of
  // letting gpg ask for it three times over.
  if (prev_was_bad) return gpg_error(GPG_ERR_BAD_PASSPHRASE);
  if (!keys->passphrase && keys->ask) keys->passphrase = keys->ask();
  if (!keys->passphrase) return gpg_error(GPG_ERR_NO_PASSPHRASE);
  const std::string line = *keys->passphrase + "\n";
  if (gpgme_io_writen(fd, line.data(), line.size()) != 0) return gpg_error_from_syserror();
  return 0;
}

Ctx make_context(GpgKeys* keys) {
  init_gpgme();
  gpgme_ctx_t raw = nullptr;
  gpgme_error_t err = gpgme_new(&raw);
  if (err) throw GpgError("gpg can't be used: " + why(err));
  Ctx ctx(raw);
  gpgme_set_protocol(ctx.get(), GPGME_PROTOCOL_OpenPGP);
  gpgme_set_armor(ctx.get(), 0);
  if (keys) {
    // Loopback: the passphrase goes from this process to gpg-agent over
    // GPGME's pipe, so no pinentry window and no passphrase on a command
    // line. The agent's cache is left out so a wrong passphrase is found
    // wrong even right after the archive was made with the right one.
    gpgme_set_pinentry_mode(ctx.get(), GPGME_PINENTRY_MODE_LOOPBACK);
    gpgme_set_passphrase_cb(ctx.get(), give_passphrase, keys);
    gpgme_set_ctx_flag(ctx.get(), "no-symkey-cache", "1");
  }
  return ctx;
}

Data fd_data(int fd) {
  gpgme_data_t raw = nullptr;
  const gpgme_error_t err = gpgme_data_new_from_fd(&raw, fd);
  if (err) throw GpgError("gpg can't be used: " + why(err));
  return Data(raw);
}

// The key to encrypt to for what the user named: the first key of the
// keyring matching it that can encrypt.
Key find_public_key(gpgme_ctx_t ctx, const std::string& name) {
  gpgme_error_t err = gpgme_op_keylist_start(ctx, name.c_str(), 0);
  if (err) throw GpgError("cannot search the keyring for " + name + ": " + why(err));
  Key found;
  for (;;) {
    gpgme_key_t key = nullptr;
    err = gpgme_op_keylist_next(ctx, &key);
    if (err) break;
    Key k(key);
    if (!found && k->can_encrypt && !k->revoked && !k->expired && !k->disabled && !k->invalid)
      found = std::move(k);
  }
  gpgme_op_keylist_end(ctx);
  if (!found) throw GpgError("no usable public key for " + name + " in the keyring");
  return found;
}

}  // namespace

void gpg_encrypt(int plain_fd, int cipher_fd, GpgKeys& keys) {
  Ctx ctx = make_context(&keys);
  std::vector<Key> found;
  for (const std::string& name : keys.recipients) found.push_back(find_public_key(ctx.get(), name));
  std::vector<gpgme_key_t> list;
  for (const Key& k : found) list.push_back(k.get());
  list.push_back(nullptr);

  Data plain = fd_data(plain_fd), cipher = fd_data(cipher_fd);
  // The user named each key: encrypt to it whatever the keyring's trust
  // says, as `gpg --recipient` with --always-trust would.
  const gpgme_encrypt_flags_t flags =
      found.empty() ? GPGME_ENCRYPT_SYMMETRIC
                    : static_cast<gpgme_encrypt_flags_t>(GPGME_ENCRYPT_ALWAYS_TRUST);
  const gpgme_error_t err = gpgme_op_encrypt(ctx.get(), found.empty() ? nullptr : list.data(),
                                             flags, plain.get(), cipher.get());
  if (err) throw GpgError(why(err));
  if (gpgme_encrypt_result_t r = gpgme_op_encrypt_result(ctx.get()); r && r->invalid_recipients)
    throw GpgError("key " + std::string(r->invalid_recipients->fpr) +
                   " can't be encrypted to: " + why(r->invalid_recipients->reason));
}

void gpg_decrypt(int cipher_fd, int plain_fd, GpgKeys& keys) {
  Ctx ctx = make_context(&keys);
  Data cipher = fd_data(cipher_fd), plain = fd_data(plain_fd);
  const gpgme_error_t err = gpgme_op_decrypt(ctx.get(), cipher.get(), plain.get());
  if (err) throw GpgError(why(err));
}

bool gpg_has_secret_key(const std::vector<std::string>& recipients) {
  Ctx ctx = make_context(nullptr);
  for (const std::string& name : recipients) {
    if (gpgme_op_keylist_start(ctx.get(), name.c_str(), 1) != 0) continue;
    bool any = false;
    for (gpgme_key_t key = nullptr; gpgme_op_keylist_next(ctx.get(), &key) == 0; key = nullptr) {
      any = true;
      gpgme_key_unref(key);
    }
    gpgme_op_keylist_end(ctx.get());
    if (any) return true;
  }
  return false;
}

}  // namespace vardel::host::care
