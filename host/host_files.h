// Whole host files in and out, for the command line and the device tools.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vardel::host {

// The file's bytes. Throws UsageError for a folder or a file that cannot
// be read.
std::string read_host_file(const std::filesystem::path& file);

// Replaces the file with text through a temporary beside it, so an
// interrupted write leaves the earlier file whole. Throws UsageError when
// the file cannot be made (no such folder), std::runtime_error when the
// writing fails.
void replace_host_file(const std::filesystem::path& file, std::string_view text);

}  // namespace vardel::host
