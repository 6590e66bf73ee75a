// A temporary device for one test: a fresh device folder made the device
// root, with the stand-in COM classes registered and the fault switchboard
// cleared while it lives, starting with whichever parts of a new phone the
// test asks for. Removed with everything in it when it goes.
//
// The device folder lies one level below a temporary folder (outer()), so a
// test can put things just outside the device.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "test_support/files.h"

namespace vardel::testing {

// Parts of a new phone; a temporary device starts with those it is given.
enum DevicePart : unsigned {
  kContactsDb = 1u << 0,    // an empty contacts database
  kMessagesDb = 1u << 1,    // a messages database with the empty "SMS" store of a new phone
  kStorageCard = 1u << 2,   // \Storage Card, named in the registry as the card's folder
  kDocuments = 1u << 3,     // \My Documents, where the diagnostic log goes
  kProgramFolder = 1u << 4  // \Program Files\Vardel with both stylesheets; the module path
};
// Everything `vardel device init` makes.
inline constexpr unsigned kNewPhone =
    kContactsDb | kMessagesDb | kStorageCard | kDocuments | kProgramFolder;

class TempDevice {
 public:
  explicit TempDevice(unsigned parts = 0);
  TempDevice(const TempDevice&) = delete;
  TempDevice& operator=(const TempDevice&) = delete;

  const std::filesystem::path& root() const { return root_; }
  const std::filesystem::path& outer() const { return outer_.path(); }

  // The registry value naming the storage card's folder.
  static void set_card_folder(std::u16string_view name);

  std::filesystem::path program_dir() const { return root_ / "Program Files" / "Vardel"; }
  std::filesystem::path backup_dir() const { return root_ / "Storage Card" / "vardelbackup"; }
  std::filesystem::path contacts_file() const { return backup_dir() / "通讯录.xml"; }
  std::filesystem::path messages_file() const { return backup_dir() / "短信.xml"; }

 private:
  fault::Scope faults_;
  TempFolder outer_;
  std::filesystem::path root_;
};

}  // namespace vardel::testing
