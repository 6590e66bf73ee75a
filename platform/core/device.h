// The device: a folder on the host that stands for the phone.
//
// A CE path "\A\B" names <root>/A/B; the leading backslash is optional (the
// phone has no current directory). No CE path may leave the root: "..",
// absolute symbolic links and links that lead outside are refused, never
// followed. The stores the phone keeps outside its file system live in
// <root>/.device/: the registry file (registry.reg, .reg text format), the
// contacts database (contacts.db) and the messages database (messages.db).
//
// The root is chosen once by the host (or a test) before any job starts;
// reading it afterwards is thread-safe.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vardel::device {

// A user's contacts and messages are nobody else's: every file and folder
// the program makes for them is its owner's alone, whatever the umask.
inline constexpr unsigned kPrivateFileMode = 0600;
inline constexpr unsigned kPrivateFolderMode = 0700;

// Chooses the device folder. The folder need not hold anything yet.
void set_root(const std::filesystem::path& root);
// The chosen folder (empty before set_root).
std::filesystem::path root();

std::filesystem::path system_dir();     // <root>/.device
std::filesystem::path registry_file();  // <root>/.device/registry.reg
std::filesystem::path contacts_db();    // <root>/.device/contacts.db
std::filesystem::path messages_db();    // <root>/.device/messages.db

// Maps a CE path to the host path below the root, or nothing when the path is
// empty, malformed or would leave the root (through "..", or a symbolic link
// on the way that leads outside the root). Only for naming a file to
// someone outside the program (a browser); files are opened through
// open_file and device_files.h, never by this path.
std::optional<std::filesystem::path> to_host(std::u16string_view ce_path);

// Opens the file a CE path names with open(2) flags (O_CLOEXEC is added),
// confined below the root by the kernel (see device_files.h). Unless the
// flags ask for a folder (O_DIRECTORY or O_PATH), the file must be a regular
// file: it is opened without waiting (a FIFO never blocks) and anything else
// is refused with EACCES. -1 with errno set on failure; EXDEV or ELOOP for a
// path that would leave the root.
int open_file(std::u16string_view ce_path, int flags, unsigned mode = kPrivateFileMode);

// A duplicate of the root folder's descriptor (O_PATH, close it when done),
// or -1 with errno ENOSYS while the folder does not exist.
int dup_root_fd();

// The names of a CE path, split on "\" (and "/"), as UTF-8; nothing when a
// name is ".." or holds a character the phone never allows.
std::optional<std::vector<std::string>> split_ce_path(std::u16string_view ce_path);

// The program's own CE path, which GetModuleFileNameW reports.
// Default: \Program Files\Vardel\Vardel.exe
void set_module_path(std::u16string ce_path);
std::u16string module_path();

// The screen GetSystemMetrics reports. Default 240 x 320.
void set_screen(int width, int height);
int screen_width();
int screen_height();

}  // namespace vardel::device
