// The conversion's reading of a backup file: told contacts or messages by
// its records, then read record by record as `vardel convert` reads it. A
// file is either refused as a whole (an exception saying why) or read into
// records and warnings.
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
#include "host/tools/message_backup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path file = vardel::fuzz::run_folder() / "in.xml";
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  switch (vardel::tools::backup_kind(file)) {
    case vardel::tools::BackupKind::contacts:
      try {
        (void)vardel::host::read_contacts_backup(file);
      } catch (const vardel::host::UsageError&) {
      }
      break;
    case vardel::tools::BackupKind::messages:
      try {
        size_t texts = 0;
        vardel::tools::read_messages_backup(
            file, [&](const vardel::tools::BackupMessage& m) { texts += m.text.size(); },
            [](int, const std::string&) {});
      } catch (const vardel::tools::BackupFileError&) {
      }
      break;
    case vardel::tools::BackupKind::neither:
      break;
  }
  return 0;
}
