// Telling a file by its first bytes.
#include "host/tools/file_kind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include "host/tools/message_backup.h"
#include "platform/core/wstr.h"

namespace vardel::tools {

namespace {

// The name of the document's root element: the first tag after the
// declaration, comments, processing instructions and a doctype. Scanned by
// hand, so that a head cut mid-file, or a body the XML parser would stop at
// (a NUL reference), still tells what the file means to be.
std::string root_name(std::string_view text) {
  size_t at = 0;
  for (;;) {
    at = text.find('<', at);
    if (at == std::string_view::npos || at + 1 >= text.size()) return "";
    const std::string_view rest = text.substr(at);
    std::string_view close;
    if (rest.starts_with("<?"))
      close = "?>";
    else if (rest.starts_with("<!--"))
      close = "-->";
    else if (rest.starts_with("<!"))
      close = ">";
    if (close.empty()) break;
    const size_t end = text.find(close, at);
    if (end == std::string_view::npos) return "";
    at = end + close.size();
  }
  const size_t name_start = at + 1;
  size_t name_end = name_start;
  while (name_end < text.size() && !std::isspace(static_cast<unsigned char>(text[name_end])) &&
         text[name_end] != '>' && text[name_end] != '/')
    ++name_end;
  return std::string(text.substr(name_start, name_end - name_start));
}

// The text with the NULs of UTF-16 taken out, so that the ASCII a UTF-16
// vCard or XML file starts with can be looked at as any other.
std::string ascii_view(std::string_view head) {
  std::string out;
  out.reserve(head.size());
  for (char c : head)
    if (c != '\0') out += c;
  return out;
}

}  // namespace

FileKind what_file(std::string_view head) {
  if (head.starts_with("PK\x03\x04")) return FileKind::zip;
  std::string text = ascii_view(head.substr(0, 8192));
  std::string_view start = text;
  for (std::string_view bom : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"})
    if (start.starts_with(bom)) start.remove_prefix(bom.size());
  while (!start.empty() && std::isspace(static_cast<unsigned char>(start.front())))
    start.remove_prefix(1);
  if (start.empty()) return FileKind::unknown;

  if (start.front() == '<') {
    const std::string root = root_name(start);
    if (root == "smses") return FileKind::android_sms;
    if (root == "CONTACTS") {
      switch (backup_kind_of(head)) {
        case BackupKind::contacts:
          return FileKind::contacts_backup;
        case BackupKind::messages:
          return FileKind::messages_backup;
        case BackupKind::neither:
          break;
      }
    }
    return FileKind::xml;
  }
  if (start.front() == '[') return FileKind::contacts_json;
  if (start.front() == '{') return FileKind::messages_json;
  // A vCard may open with a blank line or a stray header before its card.
  if (ascii_lower(start.substr(0, 4096)).find("begin:vcard") != std::string::npos)
    return FileKind::vcard;
  const std::string_view header = start.substr(0, start.find_first_of("\r\n"));
  if (header.find(',') != std::string_view::npos) {
    for (char c : header)
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return FileKind::unknown;
    return header == "type,address,time,text" ? FileKind::messages_csv : FileKind::contacts_csv;
  }
  return FileKind::unknown;
}

std::string file_head(const std::filesystem::path& file) {
  // Not blocking: a FIFO in a file's place must not hang the command.
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return "";
  struct stat st {};
  std::string head;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    head.resize(kHeadSize);
    size_t got = 0;
    while (got < head.size()) {
      const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    head.resize(got);
  }
  ::close(fd);
  return head;
}

std::string kind_text(FileKind kind) {
  switch (kind) {
    case FileKind::vcard:
      return "a vCard file (contacts)";
    case FileKind::contacts_json:
      return "a JSON file of contacts";
    case FileKind::messages_json:
      return "a JSON file of messages";
    case FileKind::android_sms:
      return "an Android SMS backup (messages)";
    case FileKind::contacts_backup:
      return "a contacts backup of this program";
    case FileKind::messages_backup:
      return "a messages backup of this program";
    case FileKind::zip:
      return "a ZIP archive (SMS Import / Export messages)";
    case FileKind::contacts_csv:
      return "a CSV file (contacts)";
    case FileKind::messages_csv:
      return "a CSV file of messages, for spreadsheets";
    case FileKind::xml:
      return "an XML file of no kind vardel reads";
    case FileKind::unknown:
      break;
  }
  return "not a file vardel reads (a backup, vCard, JSON, Android SMS XML, ZIP or CSV file)";
}

std::string kind_taker(FileKind kind) {
  switch (kind) {
    case FileKind::vcard:
    case FileKind::contacts_json:
    case FileKind::contacts_csv:
      return "`vardel contacts import` takes it";
    case FileKind::messages_json:
    case FileKind::android_sms:
    case FileKind::zip:
      return "`vardel messages import` takes it";
    case FileKind::contacts_backup:
      return "`vardel restore` takes it as 通讯录.xml in the backup folder; `vardel convert`, "
             "`vardel render` and `vardel view` take it by name";
    case FileKind::messages_backup:
      return "`vardel messages restore` takes it; so do `vardel convert`, `vardel render` and "
             "`vardel view`";
    case FileKind::messages_csv:
      return "no vardel command reads it back";
    case FileKind::xml:
    case FileKind::unknown:
      break;
  }
  return "";
}

std::string wrong_file(const std::string& given, FileKind kind) {
  const std::string taker = kind_taker(kind);
  return given + " is " + kind_text(kind) + (taker.empty() ? "" : "; " + taker);
}

}  // namespace vardel::tools
