// Choosing the device folder and making a new device.
#include "host/device_tools.h"

#include <cstdlib>
#include <system_error>

#include "host/host_files.h"
#include "platform/core/device.h"
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
  if (!fs::is_directory(folder, ec))
    throw UsageError("device folder " + folder.string() +
                     " does not exist (make one with `vardel device init`)");
  device::set_root(fs::absolute(folder, ec));
}

namespace {

void write_if_missing(const fs::path& file, std::string_view content) {
  std::error_code ec;
  if (!fs::exists(file, ec)) replace_host_file(file, content);
}

}  // namespace

void init_device(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder))
    throw UsageError("cannot create device folder " + folder.string() + ": " + ec.message());
  device::set_root(fs::absolute(folder));

  const fs::path root = device::root();
  fs::create_directories(device::system_dir());
  fs::create_directories(root / "Storage Card");
  fs::create_directories(root / "My Documents");
  const fs::path program = root / "Program Files" / "Vardel";
  fs::create_directories(program);
  write_if_missing(program / "MessageLogContact.xsl", contact_stylesheet());
  write_if_missing(program / "MessageLogMsg.xsl", message_stylesheet());

  if (!fs::exists(device::registry_file()) &&
      !core::write_registry_string(
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
