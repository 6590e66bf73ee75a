// Internal to vardel_core: the per-thread last error and errno mapping.
#pragma once

#include "platform/core/windows.h"

namespace vardel::core {

// The Win32 error for an errno value from a file call.
DWORD win32_from_errno(int err);

// Sets the last error from an armed fault's HRESULT and returns FALSE, so a
// stand-in can write `if (HRESULT hr = fault::check(...)) return fail_with(hr);`.
BOOL fail_with(HRESULT hr);

}  // namespace vardel::core
