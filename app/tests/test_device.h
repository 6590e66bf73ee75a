// A fresh device folder for one test: the storage card named in the registry,
// the user's documents, the program folder with both stylesheets, and empty
// contacts and messages databases. Removed when the test ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/core/device.h"
#include "platform/core/windows.h"
#include "platform/mapi/message_db.h"
#include "platform/platform.h"
#include "platform/poom/contact_db.h"

namespace vardel::testing {

inline std::filesystem::path source_dir() {
  const char* dir = std::getenv("VARDEL_SOURCE_DIR");
  return dir ? std::filesystem::path(dir) : std::filesystem::path(VARDEL_TEST_SOURCE_DIR);
}

inline std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void write_file(const std::filesystem::path& p, const std::string& text) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
}

class TestDevice {
 public:
  explicit TestDevice(bool with_registry = true) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vardel-app-XXXXXX").string();
    root_ = mkdtemp(tmpl.data());
    device::set_root(root_);
    device::set_module_path(u"\\Program Files\\Vardel\\Vardel.exe");
    device::set_screen(240, 320);
    platform::register_classes();
    std::filesystem::create_directories(device::system_dir());
    std::filesystem::create_directories(root_ / "Storage Card");
    std::filesystem::create_directories(root_ / "My Documents");
    for (const char* xsl : {"MessageLogContact.xsl", "MessageLogMsg.xsl"})
      std::filesystem::copy_file(source_dir() / "res" / xsl, program_dir() / xsl,
                                 std::filesystem::copy_options::overwrite_existing);
    if (with_registry) set_card_folder(u"Storage Card");
    poom::create_contacts_db(device::contacts_db());
    mapi::MessageDb(device::messages_db()).sms_store();  // a new phone's, empty
  }
  ~TestDevice() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  TestDevice(const TestDevice&) = delete;
  TestDevice& operator=(const TestDevice&) = delete;

  void set_card_folder(std::u16string_view name) {
    core::write_registry_string(u"HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory",
                                u"Folder", name);
  }

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path program_dir() const {
    auto p = root_ / "Program Files" / "Vardel";
    std::filesystem::create_directories(p);
    return p;
  }
  std::filesystem::path backup_dir() const { return root_ / "Storage Card" / "vardelbackup"; }
  std::filesystem::path contacts_file() const { return backup_dir() / "通讯录.xml"; }
  std::filesystem::path messages_file() const { return backup_dir() / "短信.xml"; }

 private:
  std::filesystem::path root_;
};

}  // namespace vardel::testing
