// Messages saved by the widely used Android SMS backup app: an XML file
// <smses><sms address="..." date="ms since 1970" type="1" body="..."/></smses>
// (type 1 received, 2 sent, 3 draft, 4 outbox). The import puts them into
// the device's "SMS" store (made when the device has none) and skips every
// message already there (same folder, address, time and text), so importing
// one file twice adds nothing.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vardel::tools {

struct SmsImport {
  int added = 0;
  int skipped_duplicates = 0;
  std::vector<std::string> warnings;  // messages left out, one line each
};

// True when the bytes are an XML document whose root is <smses>.
bool is_android_sms_backup(std::string_view bytes);

// Reads the file and adds its messages to the database. Throws
// std::runtime_error when the file is not well-formed or not such a backup;
// the database is then unchanged (the import is one transaction).
SmsImport import_android_sms(std::string_view file_bytes, const std::filesystem::path& messages_db);

}  // namespace vardel::tools
