// A temporary device for one test.
#include "test_support/temp_device.h"

#include "platform/core/device.h"
#include "platform/core/windows.h"
#include "platform/mapi/message_db.h"
#include "platform/platform.h"
#include "platform/poom/contact_db.h"

namespace fs = std::filesystem;

namespace vardel::testing {

TempDevice::TempDevice(unsigned parts) : outer_("vardel-device"), root_(outer_ / "device") {
  fs::create_directory(root_);
  device::set_root(root_);
  device::set_screen(240, 320);
  platform::register_classes();
  if (parts != 0) fs::create_directories(device::system_dir());
  if (parts & kStorageCard) {
    fs::create_directories(root_ / "Storage Card");
    set_card_folder(u"Storage Card");
  }
  if (parts & kDocuments) fs::create_directories(root_ / "My Documents");
  if (parts & kProgramFolder) {
    device::set_module_path(u"\\Program Files\\Vardel\\Vardel.exe");
    fs::create_directories(program_dir());
    for (const char* xsl : {"MessageLogContact.xsl", "MessageLogMsg.xsl"})
      fs::copy_file(source_dir() / "res" / xsl, program_dir() / xsl,
                    fs::copy_options::overwrite_existing);
  }
  if (parts & kContactsDb) poom::create_contacts_db(device::contacts_db());
  if (parts & kMessagesDb) mapi::MessageDb(device::messages_db()).sms_store();
}

void TempDevice::set_card_folder(std::u16string_view name) {
  core::write_registry_string(u"HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory",
                              u"Folder", name);
}

}  // namespace vardel::testing
