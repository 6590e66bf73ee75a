// The registry calls over the device's .reg file. Opening a key reads the
// file and keeps a copy of the key's values, so a key stays readable while
// the file changes underneath. A missing or malformed file has no keys.
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <unordered_set>

#include <cerrno>
#include <optional>

#include "platform/core/atomic_file.h"
#include "platform/core/device.h"
#include "platform/core/device_files.h"
#include "platform/core/reg_file.h"
#include "platform/core/windows.h"

namespace {

namespace reg = vardel::core::reg;

struct OpenKey {
  std::u16string path;
  std::vector<reg::Value> values;
};

struct Keys {
  std::mutex mu;
  std::unordered_set<OpenKey*> open;
};

Keys& keys() {
  static Keys* k = new Keys;
  return *k;
}

const char16_t* root_name(HKEY h) {
  if (h == HKEY_LOCAL_MACHINE) return u"HKEY_LOCAL_MACHINE";
  if (h == HKEY_CURRENT_USER) return u"HKEY_CURRENT_USER";
  if (h == HKEY_CLASSES_ROOT) return u"HKEY_CLASSES_ROOT";
  if (h == HKEY_USERS) return u"HKEY_USERS";
  return nullptr;
}

// The full path of an open or predefined key; false for an unknown handle.
bool key_path(HKEY h, std::u16string& path) {
  if (const char16_t* root = root_name(h)) {
    path = root;
    return true;
  }
  Keys& k = keys();
  std::lock_guard lock(k.mu);
  auto* key = reinterpret_cast<OpenKey*>(h);
  if (!k.open.count(key)) return false;
  path = key->path;
  return true;
}

constexpr char16_t kRegistryFile[] = u"\\.device\\registry.reg";

// The device's registry file, read through the root's descriptor (a FIFO or
// a link out of the device is no registry); nothing when missing, unreadable
// or malformed.
std::optional<reg::File> load_registry() {
  vardel::device::Fd fd(vardel::device::open_file(kRegistryFile, O_RDONLY));
  if (!fd) return std::nullopt;
  std::string bytes;
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    bytes.append(buf, static_cast<size_t>(n));
    if (bytes.size() > reg::kMaxFileBytes) return std::nullopt;
  }
  return reg::parse(bytes);
}

}  // namespace

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::u16string path;
  if (!key_path(hKey, path)) return ERROR_INVALID_HANDLE;
  std::u16string_view sub = lpSubKey ? lpSubKey : u"";
  while (!sub.empty() && sub.front() == u'\\') sub.remove_prefix(1);
  while (!sub.empty() && sub.back() == u'\\') sub.remove_suffix(1);
  if (!sub.empty()) {
    path += u'\\';
    path += sub;
  }
  auto file = load_registry();
  if (!file || !reg::key_exists(*file, path)) return ERROR_FILE_NOT_FOUND;

  auto key = std::make_unique<OpenKey>();
  key->path = path;
  for (const reg::Key& k : file->keys)
    if (reg::same_key(k.path, path)) key->values = k.values;
  Keys& all = keys();
  std::lock_guard lock(all.mu);
  all.open.insert(key.get());
  *phkResult = reinterpret_cast<HKEY>(key.release());
  return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  std::u16string_view name = lpValueName ? lpValueName : u"";
  const reg::Value* found = nullptr;

  Keys& all = keys();
  std::lock_guard lock(all.mu);
  auto* key = reinterpret_cast<OpenKey*>(hKey);
  if (!root_name(hKey)) {
    if (!all.open.count(key)) return ERROR_INVALID_HANDLE;
    for (const reg::Value& v : key->values)
      if (v.name.size() == name.size() && reg::same_key(v.name, name)) found = &v;
  }
  if (!found) return ERROR_FILE_NOT_FOUND;

  if (lpType) *lpType = found->type;
  auto size = static_cast<DWORD>(found->data.size());
  if (!lpcbData) return ERROR_SUCCESS;
  if (!lpData) {
    *lpcbData = size;
    return ERROR_SUCCESS;
  }
  if (*lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  std::copy(found->data.begin(), found->data.end(), lpData);
  *lpcbData = size;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
  if (root_name(hKey)) return ERROR_SUCCESS;
  Keys& all = keys();
  std::unique_ptr<OpenKey> key;
  std::lock_guard lock(all.mu);
  auto it = all.open.find(reinterpret_cast<OpenKey*>(hKey));
  if (it == all.open.end()) return ERROR_INVALID_HANDLE;
  key.reset(*it);
  all.open.erase(it);
  return ERROR_SUCCESS;
}

namespace vardel::core {

bool write_registry_string(std::u16string_view key, std::u16string_view name,
                           std::u16string_view value) {
  static std::mutex writers;  // one writer at a time within the process
  std::lock_guard guard(writers);
  // The system folder is made through the root's descriptor, as a folder.
  if (!CreateDirectoryW(u"\\.device", nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    return false;

  reg::File file;
  {
    vardel::device::Fd fd(vardel::device::open_file(kRegistryFile, O_RDONLY));
    if (fd || errno != ENOENT) {
      auto loaded = load_registry();
      if (!loaded) return false;  // never overwrite a file we cannot read
      file = std::move(*loaded);
    }
  }
  while (!key.empty() && key.back() == u'\\') key.remove_suffix(1);
  reg::Key* target = nullptr;
  for (reg::Key& k : file.keys)
    if (reg::same_key(k.path, key)) target = &k;
  if (!target) {
    file.keys.push_back(reg::Key{std::u16string(key), {}});
    target = &file.keys.back();
  }
  reg::Value v{std::u16string(name), REG_SZ, reg::sz_data(value)};
  bool replaced = false;
  for (reg::Value& old : target->values) {
    if (old.name.size() == name.size() && reg::same_key(old.name, name)) {
      old = v;
      replaced = true;
    }
  }
  if (!replaced) target->values.push_back(std::move(v));

  // Written beside the file, flushed, then renamed over it.
  core::AtomicFile out;
  return SUCCEEDED(out.open(kRegistryFile)) && SUCCEEDED(out.write(reg::serialize(file))) &&
         SUCCEEDED(out.commit());
}

}  // namespace vardel::core
