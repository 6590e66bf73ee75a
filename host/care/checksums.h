// The backup folder's SHA256SUMS: every backup file in the folder (the
// current files, their dated copies, the stylesheets) with its SHA-256, in
// the form `sha256sum -c` reads: the digest, two spaces, the file name; a
// name holding a backslash or a line break is escaped as sha256sum escapes
// it (the line then begins with a backslash).
//
// The list is kept as files are written, never by reading files again: a
// file already listed keeps its digest until a save replaces it, so a copy
// that rots on the card is found by verify instead of being listed anew.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace vardel::host::care {

inline constexpr char kSumsName[] = "SHA256SUMS";

// name -> digest (64 lowercase hex digits), in name order.
using Sums = std::map<std::string, std::string>;

// True for the names the list covers: .xml and .xsl files (any letter
// case) that are not hidden (a save's temporaries begin with a dot).
bool is_backup_file_name(std::string_view name);

// The lines of a SHA256SUMS text; lines that are not a digest and a name
// are passed over (counted in *bad when given).
Sums parse_sums(std::string_view text, int* bad = nullptr);
std::string format_sums(const Sums& sums);

// Reads the list from the open folder: empty when there is none. False when
// it exists but can't be read.
bool read_sums(int dir_fd, Sums* sums);

// Keeps the backup folder's SHA256SUMS as the platform replaces files in it
// (watcher.cpp): installed for the whole process, safe for the two backup
// jobs at once.
void watch_backup_folder();

}  // namespace vardel::host::care
