// Choosing the device folder and making a new device.
#include "host/device/device_tools.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "host/device/host_files.h"
#include "platform/core/atomic_file.h"
#include "platform/core/device.h"
#include "platform/core/device_files.h"
#include "platform/core/wstr.h"
#include "platform/core/windows.h"
#include "platform/mapi/message_db.h"
#include "platform/poom/contact_db.h"

namespace fs = std::filesystem;

namespace vardel::host {

fs::path choose_device_folder(const std::optional<std::string>& option) {
  if (option && !option->empty()) return fs::path(*option);
  if (const char* env = std::getenv("VARDEL_DEVICE"); env != nullptr && *env != '\0')
    return fs::path(env);
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0')
    return fs::path(xdg) / "vardel" / "device";
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
    return fs::path(home) / ".local" / "share" / "vardel" / "device";
  throw UsageError("no device folder: give --device DIR or set VARDEL_DEVICE");
}

void open_device(const fs::path& folder) {
  std::error_code ec;
  if (fs::exists(folder, ec) && !fs::is_directory(folder, ec))
    throw UsageError("device folder " + folder.string() + " is not a folder");
  if (!fs::is_directory(folder, ec))
    throw UsageError("device folder " + folder.string() +
                     " does not exist (make one with `vardel device init`)");
  device::set_root(fs::absolute(folder, ec));
}

namespace {

std::string shown(std::u16string_view ce_path) {
  return (device::root() / utf8(ce_path.substr(1))).string();
}

// Why a device path cannot be used, from errno.
std::string why(int err) {
  if (err == EXDEV || err == ELOOP) return "a link on the way leads outside the device";
  return std::strerror(err);
}

// Makes a folder of the device through the root's descriptor; one that is
// there already is kept, but must be a folder inside the device.
void make_folder(std::u16string_view ce_path) {
  const std::u16string path(ce_path);
  if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    throw std::runtime_error("cannot make " + shown(ce_path) + ": " +
                             (GetLastError() == ERROR_ACCESS_DENIED
                                  ? "access denied (a link leading outside the device?)"
                                  : "error " + std::to_string(GetLastError())));
  device::Fd dir(device::open_file(ce_path, O_PATH | O_DIRECTORY));
  if (!dir) throw std::runtime_error("cannot use " + shown(ce_path) + ": " + why(errno));
}

void write_if_missing(std::u16string_view ce_path, std::string_view content) {
  device::Fd existing(device::open_file(ce_path, O_RDONLY));
  if (existing) return;
  if (errno != ENOENT) throw std::runtime_error("cannot use " + shown(ce_path) + ": " + why(errno));
  core::AtomicFile out;
  HRESULT hr = out.open(ce_path, true);
  if (SUCCEEDED(hr)) hr = out.write(content);
  if (SUCCEEDED(hr)) hr = out.commit();
  if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_FILE_EXISTS))
    throw std::runtime_error(
        "cannot write " + shown(ce_path) + ": " +
        (hr == E_ACCESSDENIED ? std::string("access denied") : "error " + std::to_string(hr)));
}

}  // namespace

void prepare_device_folder(const fs::path& folder) {
  if (!core::make_private_folders(folder))
    throw UsageError("cannot create device folder " + folder.string() + ": " +
                     std::strerror(errno));
  device::set_root(fs::absolute(folder));
}

void init_device(const fs::path& folder) {
  if (device::root() != fs::absolute(folder)) prepare_device_folder(folder);

  // Everything below the folder is made through its descriptor: a folder of
  // the device that is a link leading outside stops the set-up, and nothing
  // is written through it.
  for (std::u16string_view dir : {u"\\.device", u"\\Storage Card", u"\\My Documents",
                                  u"\\Program Files", u"\\Program Files\\Vardel"})
    make_folder(dir);
  write_if_missing(u"\\Program Files\\Vardel\\MessageLogContact.xsl", contact_stylesheet());
  write_if_missing(u"\\Program Files\\Vardel\\MessageLogMsg.xsl", message_stylesheet());

  device::Fd registry(device::open_file(u"\\.device\\registry.reg", O_RDONLY));
  if (!registry && errno != ENOENT)
    throw std::runtime_error("cannot use " + device::registry_file().string() + ": " + why(errno));
  if (!registry && !core::write_registry_string(
                       u"HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory", u"Folder",
                       u"Storage Card"))
    throw std::runtime_error("cannot write " + device::registry_file().string());

  poom::create_contacts_db(device::contacts_db());
  // A phone always has its SMS store, empty when new; one that lacks it gets
  // it here, and nothing else of its messages changes.
  mapi::MessageDb messages(device::messages_db());
  messages.sms_store();
}

}  // namespace vardel::host
