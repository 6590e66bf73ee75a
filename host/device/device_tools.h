// Device tools: choosing the device folder and making a new device.
//
// A device is laid out as the phone's file system below one host folder (see
// platform/core/device.h): the storage card, the user's documents, the
// program folder with its two stylesheets, and in .device/ the registry and
// the contacts and messages databases.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace vardel::host {

// A problem with what the user asked for (bad option, unreadable file,
// missing device folder). The command line prints it on one line and exits 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The device folder: the option, else $VARDEL_DEVICE, else
// $XDG_DATA_HOME/vardel/device, else ~/.local/share/vardel/device.
std::filesystem::path choose_device_folder(const std::optional<std::string>& option);

// Makes the chosen folder the device root; throws UsageError when it is not an
// existing folder.
void open_device(const std::filesystem::path& folder);

// Makes the folder (and those above it) if missing, and makes it the device
// root; throws UsageError when it cannot be made.
void prepare_device_folder(const std::filesystem::path& folder);

// Creates what a new device holds, keeping whatever is already there: the
// registry value naming the storage card "Storage Card", the folders
// \Storage Card, \My Documents and \Program Files\Vardel with the two
// stylesheets, an empty contacts database, and a messages database with an
// empty "SMS" store (added to an existing device that lacks one). Makes the
// folder the device root.
void init_device(const std::filesystem::path& folder);

// Adds the demo data: a few dozen contacts (Chinese and Latin names, some of
// them twice) and a few hundred messages in an "SMS" store and an
// "ActiveSync" store. Returns the counts added.
struct DemoCounts {
  int contacts = 0;
  int messages = 0;
};
DemoCounts add_demo_data();

// The two stylesheets that ship beside the program (built in).
std::string_view contact_stylesheet();
std::string_view message_stylesheet();

}  // namespace vardel::host
