// Reading the program's own backup files from the host side, record by
// record, without loading the whole document: a messages backup of a
// million messages is a quarter of a gigabyte.
//
// A messages backup ("短信.xml") holds, under its CONTACTS root, one VCARD
// per message whose ContactNumber (and CONTACTS) attribute is the label
// "来自于：N" (received from N) or "到：N" (sent to N), with a MESSAGE child
// carrying Date "2009-4-23" and Time "  9:5:7" in the phone's local time
// (both empty for a message without a time) and a TEXT child with the text.
// A contacts backup ("通讯录.xml") has the same root, and VCARDs with a
// TITLE attribute and an ADDRESS child. Which one a file is, is told by
// its records (the stylesheet it names when it has none), not by its name.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/core/types.h"

namespace vardel::tools {

enum class BackupKind { contacts, messages, neither };

// What a file is; neither for a file that cannot be read as XML.
BackupKind backup_kind(const std::filesystem::path& file);
// The same for bytes in memory (a file's head will do, as long as it holds
// the first record), or from an open file, read from where its offset is
// (and left wherever the look stopped; the descriptor stays open).
BackupKind backup_kind_of(std::string_view bytes);
BackupKind backup_kind_fd(int fd);

// A file that is not a messages backup, or is cut short or malformed (the
// text names the line and column).
class BackupFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct BackupMessage {
  bool received = true;  // "来自于：" (else "到：")
  std::string address;  // UTF-8, as the file holds it
  bool has_time = false;
  SYSTEMTIME local{};  // year .. second, the phone's local time
  std::string text;    // UTF-8
  int line = 0;  // where the record starts, for warnings
};

// Calls each for every message record in file order. Records whose label or
// time cannot be read go to skipped with a reason (a time that cannot be
// read leaves the message without one). Throws BackupFileError when the
// file is not a messages backup or not well-formed; records before the
// fault have been passed on by then.
using MessageSink = std::function<void(const BackupMessage&)>;
using SkipSink = std::function<void(int line, const std::string& why)>;
void read_messages_backup(const std::filesystem::path& file, const MessageSink& each,
                          const SkipSink& skipped);
// The same from an open file, from its offset on (the descriptor stays
// open): for a file opened through the device root.
void read_messages_backup_fd(int fd, const MessageSink& each, const SkipSink& skipped);
// The same over bytes in memory (the entry point the fuzz target uses).
void read_messages_backup_bytes(std::string_view bytes, const MessageSink& each,
                                const SkipSink& skipped);

}  // namespace vardel::tools
