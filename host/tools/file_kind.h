// What a file handed to vardel is, told by its first bytes rather than its
// name: people rename files, and a phone app's export may carry any name.
// Each command that takes a file asks this before reading it, so a file
// given to the wrong command is named for what it is, with the command
// that takes it, instead of failing deep inside the wrong reader.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vardel::tools {

enum class FileKind {
  vcard,            // BEGIN:VCARD, or UTF-16 text (the vCard reader tells its charset)
  contacts_json,    // a JSON list, as `contacts export` writes
  messages_json,    // a JSON object, as `messages export` writes
  android_sms,      // <smses>, the Android SMS backup app's XML
  contacts_backup,  // this program's 通讯录.xml (or a dated copy)
  messages_backup,  // this program's 短信.xml (or a dated copy)
  zip,              // an SMS Import / Export archive, or some other ZIP
  contacts_csv,     // a CSV file other than our own messages CSV
  messages_csv,     // the messages CSV `messages export` writes
  xml,              // some other XML
  unknown,
};

// How much of a file what_file looks at: a backup's first record, an
// archive's signature and a CSV header row all fall well inside.
inline constexpr size_t kHeadSize = 64 * 1024;

// What the bytes (a file's head, or all of it) are.
FileKind what_file(std::string_view head);

// The first kHeadSize bytes of the file; empty when it cannot be read (the
// reader then says why).
std::string file_head(const std::filesystem::path& file);

// "a vCard file (contacts)", for "X is ...".
std::string kind_text(FileKind kind);

// "`vardel contacts import` takes it": where a file of that kind goes.
std::string kind_taker(FileKind kind);

// "contacts.vcf is a vCard file (contacts); `vardel contacts import` takes
// it": the one refusal for a file given to a command that does not read it.
std::string wrong_file(const std::string& given, FileKind kind);

}  // namespace vardel::tools
