// The program's backup files seen from the command line.
#include "host/device/backup_files.h"
#include "host/tools/message_key.h"

#include <pugixml.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <system_error>
#include <tuple>

#include "app/MainWindow.h"
#include "contacts/ContactFieldMap.h"
#include "contacts/DateText.h"
#include "host/device/device_tools.h"
#include "host/tools/message_backup.h"
#include "platform/core/device.h"
#include "platform/core/windows.h"
#include "platform/core/wstr.h"
#include "platform/mapi/message_db.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

// The text of an element and all below it, as the DOM's text gives it.
void append_text(const pugi::xml_node& node, std::string& out) {
  for (auto child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
      out += child.value();
    else if (child.type() == pugi::node_element)
      append_text(child, out);
  }
}

std::string iso_date(const FILETIME& ft) {
  SYSTEMTIME st{};
  FileTimeToSystemTime(&ft, &st);
  char buf[64];
  if (st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0)
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
  else
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
                  st.wHour, st.wMinute, st.wSecond);
  return buf;
}

}  // namespace

fs::path backup_folder() {
  WCHAR folder[MAX_PATH];
  GetBackupFolder(folder);
  auto host = device::to_host(folder);
  if (!host) throw UsageError("the backup folder " + utf8(folder) + " is outside the device");
  return *host;
}

fs::path backup_file(const fs::path& given) {
  std::error_code ec;
  if (fs::exists(given, ec) || given.is_absolute() || device::root().empty()) return given;
  try {
    const fs::path in_folder = backup_folder() / given;
    if (fs::exists(in_folder, ec)) return in_folder;
  } catch (const std::exception&) {
  }
  return given;
}

namespace {

// The CE path of a host path inside the device, told by the path's words,
// not by where its links lead: a link inside the device is the device's to
// judge. Nothing for a path outside it (or the device folder itself).
std::optional<std::u16string> ce_path_inside_device(const fs::path& file) {
  if (device::root().empty()) return std::nullopt;
  const fs::path root = fs::absolute(device::root()).lexically_normal();
  const fs::path rel = fs::absolute(file).lexically_normal().lexically_relative(root);
  if (rel.empty() || rel == "." || *rel.begin() == "..") return std::nullopt;
  std::u16string ce;
  for (const auto& name : rel) ce += u"\\" + utf16(name.string());
  return ce;
}

[[noreturn]] void refuse(const fs::path& file, int e) {
  if (e == EXDEV || e == ELOOP)
    throw UsageError(file.string() + ": refused, a link on the way leads out of the device");
  if (e == EACCES)
    throw UsageError(file.string() + ": refused, not a regular file (or not readable)");
  throw UsageError(file.string() + ": cannot be read (" + std::strerror(e) + ")");
}

}  // namespace

device::Fd open_input_file(const fs::path& file) {
  device::Fd fd;
  if (const auto ce = ce_path_inside_device(file)) {
    fd.reset(device::open_file(*ce, O_RDONLY));
  } else {
    fd.reset(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd && (::fstat(fd.get(), &st) != 0 || !device::is_plain_file(st.st_mode))) {
      fd.reset();
      errno = EACCES;
    }
  }
  if (!fd) refuse(file, errno);
  // Opened without waiting; read as any file is.
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

device::Fd open_input_folder(const fs::path& folder) {
  const auto ce = ce_path_inside_device(folder);
  device::Fd fd(ce ? device::open_file(*ce, O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                   : ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) refuse(folder, errno);
  return fd;
}

std::string read_input_file(const fs::path& file) {
  const device::Fd fd = open_input_file(file);
  std::string bytes;
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n == 0) return bytes;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw UsageError(file.string() + ": cannot be read (" + std::strerror(errno) + ")");
    }
    bytes.append(buf, static_cast<size_t>(n));
  }
}

namespace {

std::vector<poom::ContactRecord> contacts_of(const pugi::xml_document& doc);

}  // namespace

std::vector<poom::ContactRecord> read_contacts_backup_bytes(const fs::path& file,
                                                            std::string_view bytes) {
  pugi::xml_document doc;
  const auto parsed =
      doc.load_buffer(bytes.data(), bytes.size(),
                      (pugi::parse_default | pugi::parse_ws_pcdata) & ~pugi::parse_doctype);
  if (!parsed)
    throw UsageError(file.string() + " is not well-formed XML (" + parsed.description() + ")");
  return contacts_of(doc);
}

std::vector<poom::ContactRecord> read_contacts_backup(const fs::path& file) {
  return read_contacts_backup_bytes(file, read_input_file(file));
}

namespace {

// The element after `n` in document order beneath `top`; none at the end.
pugi::xml_node next_element(const pugi::xml_node& top, pugi::xml_node n) {
  do {
    if (n.first_child()) {
      n = n.first_child();
    } else {
      while (n != top && !n.next_sibling()) n = n.parent();
      if (n == top) return {};
      n = n.next_sibling();
    }
  } while (n.type() != pugi::node_element);
  return n;
}

// Where each field's element is, found with one walk over a card instead
// of one XPath query per field (53 a card; they took half of the time of
// reading a large contacts backup). The map's paths take three shapes:
// "X", a child of the card; "ADDRESS/X", a child of one of its ADDRESS
// children; "ADDRESS//X", anywhere beneath one. The walk goes in document
// order and keeps the first element each field finds, as the query's first
// node would be. A path of any other shape keeps its query.
class FieldFinder {
 public:
  FieldFinder() {
    for (int row = 0; row < CONTACT_FIELD_COUNT; ++row) {
      const std::string path = utf8(ContactFieldMap[row].szPath);
      const std::string_view p = path;
      constexpr std::string_view kChild = "ADDRESS/", kBeneath = "ADDRESS//";
      if (p.starts_with(kBeneath) && simple(p.substr(kBeneath.size())))
        beneath_.emplace(p.substr(kBeneath.size()), row);
      else if (p.starts_with(kChild) && simple(p.substr(kChild.size())))
        address_.emplace(p.substr(kChild.size()), row);
      else if (simple(p))
        card_.emplace(p, row);
      else
        queries_.emplace_back(row, pugi::xpath_query(path.c_str()));
    }
  }

  // The element of each field in the card (an empty node where none is).
  void find(const pugi::xml_node& card, pugi::xml_node (&out)[CONTACT_FIELD_COUNT]) const {
    for (pugi::xml_node& n : out) n = pugi::xml_node();
    for (pugi::xml_node child = card.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      take(card_, child, out);
      if (std::strcmp(child.name(), "ADDRESS") != 0) continue;
      for (pugi::xml_node g = child.first_child(); g; g = g.next_sibling())
        if (g.type() == pugi::node_element) take(address_, g, out);
      if (!beneath_.empty()) take_beneath(child, out);
    }
    for (const auto& [row, query] : queries_) out[row] = query.evaluate_node(card).node();
  }

 private:
  using Rows = std::multimap<std::string, int, std::less<>>;

  static bool simple(std::string_view name) {
    return !name.empty() && name.find_first_of("/[]()@*:|.= ") == std::string_view::npos;
  }

  static void take(const Rows& rows, const pugi::xml_node& e,
                   pugi::xml_node (&out)[CONTACT_FIELD_COUNT]) {
    const auto [from, to] = rows.equal_range(std::string_view(e.name()));
    for (auto it = from; it != to; ++it)
      if (!out[it->second]) out[it->second] = e;
  }

  // Every element beneath `top`, in document order.
  void take_beneath(const pugi::xml_node& top, pugi::xml_node (&out)[CONTACT_FIELD_COUNT]) const {
    for (pugi::xml_node n = next_element(top, top); n; n = next_element(top, n))
      take(beneath_, n, out);
  }

  Rows card_, address_, beneath_;
  std::vector<std::pair<int, pugi::xpath_query>> queries_;
};

std::vector<poom::ContactRecord> contacts_of(const pugi::xml_document& doc) {
  static const FieldFinder finder;
  std::vector<poom::ContactRecord> contacts;
  pugi::xml_node nodes[CONTACT_FIELD_COUNT];
  // Every VCARD whose parent is a CONTACTS element, wherever that is, in
  // document order: what "//CONTACTS/VCARD" selects, without the query's
  // node set of the whole file.
  for (pugi::xml_node card = next_element(doc, doc); card; card = next_element(doc, card)) {
    if (std::strcmp(card.name(), "VCARD") != 0 ||
        std::strcmp(card.parent().name(), "CONTACTS") != 0)
      continue;
    finder.find(card, nodes);
    poom::ContactRecord record;
    for (int row = 0; row < CONTACT_FIELD_COUNT; ++row) {
      const ContactFieldMapEntry& field = ContactFieldMap[row];
      const pugi::xml_node node = nodes[row];
      if (!node) continue;
      std::string text;
      append_text(node, text);
      if (text.empty()) continue;
      const std::u16string wide = utf16(text);
      // An element two fields share gives its text to one of them.
      if (!ContactFieldTakesText(field.dwTag, wide.c_str())) continue;
      if ((field.dwTag & 0xFFFF) == CONTACT_TYPE_DATE) {
        FILETIME ft{};
        if (DateTextToFileTime(wide.c_str(), &ft))
          record.push_back({field.dwTag, utf16(iso_date(ft))});
      } else {
        record.push_back({field.dwTag, wide});
      }
    }
    contacts.push_back(std::move(record));
  }
  return contacts;
}

}  // namespace

MessagesRestore restore_messages(const fs::path& file,
                                 const std::function<void(int percent)>& progress, bool dry_run) {
  struct Pending {
    mapi::FolderKind kind;
    mapi::Message message;
  };
  std::vector<Pending> pending;
  MessagesRestore result;
  const device::Fd fd = open_input_file(file);
  const tools::BackupKind kind = tools::backup_kind_fd(fd.get());
  ::lseek(fd.get(), 0, SEEK_SET);
  if (kind == tools::BackupKind::contacts)
    throw UsageError(file.string() +
                     " is a contacts backup, not a messages backup (restore it with `vardel "
                     "restore`); nothing restored");
  try {
    tools::read_messages_backup_fd(
        fd.get(),
        [&](const tools::BackupMessage& b) {
          Pending p{b.received ? mapi::FolderKind::inbox : mapi::FolderKind::sent, {}};
          if (!b.address.empty()) {
            if (b.received)
              p.message.sender = utf16(b.address);
            else
              p.message.recipients.push_back(utf16(b.address));
          }
          p.message.text = utf16(b.text);
          if (b.has_time) {
            FILETIME local{}, utc{};
            SystemTimeToFileTime(&b.local, &local);
            LocalFileTimeToFileTime(&local, &utc);
            p.message.delivery = utc;
          }
          pending.push_back(std::move(p));
        },
        [&](int line, const std::string& why) {
          result.warnings.push_back("the message at line " + std::to_string(line) + ": " + why);
        });
  } catch (const tools::BackupFileError& e) {
    throw UsageError(file.string() + " is " + e.what() + "; nothing restored");
  }

  // A dry run opens the file only to read: not a byte of the device changes,
  // and stores named alike are not merged, so every one of them is looked at.
  mapi::MessageDb db(device::messages_db(), dry_run);
  if (!dry_run) db.begin();  // all or nothing: closing without commit discards the additions
  // What the store holds, counted: the same message twice in the file (two
  // alike in one second) is restored twice, and a second restore adds none.
  std::map<tools::MessageKey, int> present;
  for (const auto& s : db.stores()) {
    if (_wcsicmp(s.name.c_str(), u"SMS") != 0) continue;
    for (auto kind : {mapi::FolderKind::inbox, mapi::FolderKind::sent})
      for (const auto& info : db.messages(db.folder(s.id, kind)))
        ++present[tools::message_key(kind, info.message)];
  }
  std::int64_t folders[2] = {0, 0};
  if (!dry_run) {
    const std::int64_t store = db.sms_store();
    folders[0] = db.folder(store, mapi::FolderKind::inbox);
    folders[1] = db.folder(store, mapi::FolderKind::sent);
  }
  int last = -1;
  for (size_t i = 0; i < pending.size(); ++i) {
    const Pending& p = pending[i];
    auto found = present.find(tools::message_key(p.kind, p.message));
    if (found != present.end() && found->second > 0) {
      --found->second;
      ++result.skipped_duplicates;
    } else {
      if (!dry_run) db.add_message(folders[p.kind == mapi::FolderKind::inbox ? 0 : 1], p.message);
      ++result.added;
    }
    const int percent = static_cast<int>(100 * (i + 1) / pending.size());
    if (percent != last && progress) progress(last = percent);
  }
  if (!dry_run) db.commit();
  return result;
}

}  // namespace vardel::host
