// Messages saved by the widely used Android SMS backup app: an XML file
//   <smses count="N">
//     <sms address="..." date="ms since 1970" type="1" body="..."/>
//     <mms date="ms" msg_box="1" address="a~b"><parts><part ct="text/plain"
//          text="..."/>...</parts><addrs><addr address="..." type="137"/></addrs></mms>
//   </smses>
// (SMS type and MMS msg_box: 1 received, 2 sent, 3 draft, 4 outbox). The
// app writes characters outside the Basic Multilingual Plane (emoji) as two
// character references, one per UTF-16 half: they are joined into the
// character they encode. An MMS becomes one message with its text parts
// joined by line breaks (sender: the "from" address; recipients: the "to"
// addresses); its other parts (pictures, sound, SMIL layout aside) are
// counted as attachments left out.
//
// The import puts the messages into the device's "SMS" store (made when the
// device has none) and skips every message already there (same folder,
// address, time and text), so importing one file twice adds nothing.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mapi/message_db.h"

namespace vardel::tools {

// A file that is not such a backup, or is cut short or malformed (the text
// names the line and column). Nothing was imported.
class SmsFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct AndroidMessage {
  mapi::FolderKind folder = mapi::FolderKind::inbox;
  mapi::Message message;
  bool mms = false;
};

struct AndroidSmsFile {
  std::vector<AndroidMessage> messages;
  int attachments_left_out = 0;       // MMS parts that are not text
  int messages_left_out = 0;          // unknown types, MMS without text
  std::vector<std::string> warnings;  // one line each, naming the message
};

// True when the bytes are an XML document whose root is <smses>.
bool is_android_sms_backup(std::string_view bytes);

// A file in UTF-16 (a byte order mark, or "<" as its first unit, either
// byte order) as UTF-8 without the mark; a lone surrogate becomes U+FFFD, an
// odd last byte is dropped. Nothing for a file that is not UTF-16.
std::optional<std::string> utf8_of_utf16(std::string_view bytes);

// Reads the file (any bytes: this is the reader's one entry point, safe for
// hostile input). Throws SmsFileError when it is not well-formed or not
// such a backup.
AndroidSmsFile read_android_sms(std::string_view file_bytes);

struct SmsImport {
  int added = 0;  // SMS and MMS
  int sms_added = 0;
  int mms_added = 0;
  int skipped_duplicates = 0;
  int attachments_left_out = 0;
  int messages_left_out = 0;
  std::vector<std::string> warnings;  // messages left out, one line each
};

// Reads the file and adds its messages to the database. Throws SmsFileError
// as read_android_sms does; the database is then unchanged (the import is
// one transaction). imported, when given, is noted in that transaction as
// the file the messages came from.
SmsImport import_android_sms(std::string_view file_bytes, const std::filesystem::path& messages_db,
                             const sql::FileIdentity* imported = nullptr);
// The same, reading the file in pieces: memory holds one message at a time
// (besides what the database keeps), whatever the file's size. Elements
// nested more than a few hundred deep are refused, naming the line.
SmsImport import_android_sms_file(const std::filesystem::path& file,
                                  const std::filesystem::path& messages_db,
                                  const sql::FileIdentity* imported = nullptr);

}  // namespace vardel::tools
