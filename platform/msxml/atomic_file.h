// Replacing a file so that it is either the old file or the new one, never a
// mix: the data goes to a new file beside the target, is flushed to disk and
// renamed over the target, and the folder entry is flushed too.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/core/types.h"

namespace vardel::msxml {

// S_OK, or a negative HRESULT with the target untouched and no temporary file
// left behind: HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) for a missing folder,
// E_ACCESSDENIED, HRESULT_FROM_WIN32(ERROR_DISK_FULL) for a full disk, E_FAIL
// otherwise. When `injected` is a failure (the fault switchboard's answer) the
// write stops halfway and fails with it, as a disk filling up would.
HRESULT replace_file(const std::filesystem::path& target, std::string_view data, HRESULT injected);

}  // namespace vardel::msxml
