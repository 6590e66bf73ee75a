// `vardel messages restore` of a messages backup into a device of its own:
// the file is refused as a whole (nothing added) or its records go into the
// SMS store, a second restore of the same file adding none.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzz_folder.h"
#include "host/device/backup_files.h"
#include "host/device/device_tools.h"
#include "platform/core/device.h"

namespace {

// The run's folder as the device.
const std::filesystem::path& device_root() {
  static const bool ready = (vardel::device::set_root(vardel::fuzz::run_folder()), true);
  (void)ready;
  return vardel::fuzz::run_folder();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path root = device_root();
  std::error_code ec;
  std::filesystem::remove_all(root / ".device", ec);
  std::filesystem::create_directories(root / ".device", ec);
  const std::filesystem::path file = root / "in.xml";
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  try {
    const auto first = vardel::host::restore_messages(file, {});
    const auto again = vardel::host::restore_messages(file, {});
    if (again.added != 0 || again.skipped_duplicates != first.added + first.skipped_duplicates)
      std::abort();  // a second restore must find every message there
  } catch (const vardel::host::UsageError&) {
  }
  return 0;
}
