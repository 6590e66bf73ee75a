#include "host/tools/android_sms.h"
#include "host/tools/message_key.h"
#include "host/tools/xml_children.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <map>
#include <tuple>

#include "platform/core/calendar.h"
#include "platform/core/wstr.h"

namespace vardel::tools {

namespace {

// Milliseconds after 1970 that still fit a FILETIME the phone shows (9999).
constexpr long long kLastMs = 253402300799999LL;

// The parser turns a character reference to U+0000 ("&#0;", "&#x00;") into
// a NUL, which ends the text there: the rest of the body would be lost
// unnoticed. Each such reference becomes one to U+FFFF, which no
// well-formed file holds, so the message is found by the mark and left out
// with a warning. `marks` gets each mark's position in the new text and how
// much longer the text grew there, to map offsets back to the file's.
constexpr char16_t kNulMark = u'\uFFFF';

struct Mark {
  size_t at;
  std::ptrdiff_t growth;
};

std::string mark_nul_references(std::string_view bytes, std::vector<Mark>* marks) {
  std::string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    if (bytes[i] == '&' && i + 2 < bytes.size() && bytes[i + 1] == '#') {
      size_t j = i + 2;
      if (j < bytes.size() && (bytes[j] == 'x' || bytes[j] == 'X')) ++j;
      const size_t digits = j;
      while (j < bytes.size() && bytes[j] == '0') ++j;
      if (j > digits && j < bytes.size() && bytes[j] == ';') {
        static constexpr std::string_view kMark = "&#xFFFF;";
        marks->push_back({out.size(), static_cast<std::ptrdiff_t>(kMark.size()) -
                                          static_cast<std::ptrdiff_t>(j + 1 - i)});
        out += kMark;
        i = j + 1;
        continue;
      }
    }
    out.push_back(bytes[i++]);
  }
  return out;
}

// An offset into the marked text as an offset into the file.
std::ptrdiff_t file_offset(std::ptrdiff_t offset, const std::vector<Mark>& marks) {
  std::ptrdiff_t back = 0;
  for (const Mark& m : marks)
    if (static_cast<std::ptrdiff_t>(m.at) < offset) back += m.growth;
  return offset - back;
}

bool holds_nul(const mapi::Message& m) {
  if (m.text && m.text->find(kNulMark) != std::u16string::npos) return true;
  if (m.sender && m.sender->find(kNulMark) != std::u16string::npos) return true;
  for (const auto& r : m.recipients)
    if (r && r->find(kNulMark) != std::u16string::npos) return true;
  return false;
}

// pugixml writes a character reference to a UTF-16 half (&#55357;) as the
// three bytes UTF-8 would give that code point; two halves in a row are the
// two units of one character. Everything else is UTF-8; what is not becomes
// U+FFFD, as does a half without its partner.
std::u16string text_of(const char* s) {
  std::u16string out;
  const size_t n = std::strlen(s);
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  for (size_t i = 0; i < n;) {
    const unsigned char c = byte(i);
    char32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if (c >= 0xC2 && c <= 0xDF && i + 1 < n && (byte(i + 1) >> 6) == 2) {
      cp = ((c & 0x1F) << 6) | (byte(i + 1) & 0x3F);
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF && i + 2 < n && (byte(i + 1) >> 6) == 2 &&
               (byte(i + 2) >> 6) == 2) {
      cp = ((c & 0x0F) << 12) | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F);
      len = 3;
      if (cp < 0x800) cp = 0xFFFD;
    } else if (c >= 0xF0 && c <= 0xF4 && i + 3 < n && (byte(i + 1) >> 6) == 2 &&
               (byte(i + 2) >> 6) == 2 && (byte(i + 3) >> 6) == 2) {
      cp = ((c & 0x07) << 18) | ((byte(i + 1) & 0x3F) << 12) | ((byte(i + 2) & 0x3F) << 6) |
           (byte(i + 3) & 0x3F);
      len = 4;
      if (cp < 0x10000 || cp > 0x10FFFF) cp = 0xFFFD;
    }
    i += len;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      // A high half: keep it only with the low half that follows.
      if (i + 2 < n && byte(i) == 0xED && byte(i + 1) >= 0xB0 && byte(i + 1) <= 0xBF &&
          (byte(i + 2) >> 6) == 2) {
        const char16_t low =
            static_cast<char16_t>(0xD000 | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F));
        out += static_cast<char16_t>(cp);
        out += low;
        i += 3;
      } else {
        out += u'\uFFFD';
      }
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      out += u'\uFFFD';
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

bool folder_of(int type, mapi::FolderKind* kind) {
  switch (type) {
    case 1:
      *kind = mapi::FolderKind::inbox;
      return true;
    case 2:
      *kind = mapi::FolderKind::sent;
      return true;
    case 3:
      *kind = mapi::FolderKind::drafts;
      return true;
    case 4:
      *kind = mapi::FolderKind::outbox;
      return true;
    default:
      return false;
  }
}

// The time of a message; a warning and no time for one that is not a
// number of milliseconds the phone can show.
void set_time(const pugi::xml_node& node, mapi::Message& m, const std::string& what,
              std::vector<std::string>& warnings) {
  const char* date = node.attribute("date").as_string();
  if (!*date) return;
  char* end = nullptr;
  errno = 0;
  const long long ms = std::strtoll(date, &end, 10);
  if (errno == 0 && end && *end == '\0' && ms >= 0 && ms <= kLastMs) {
    m.delivery = mapi::filetime_from_ticks(calendar::kUnixEpochTicks +
                                           static_cast<std::uint64_t>(ms) * 10000ULL);
  } else {
    warnings.push_back(what + ": date \"" + date + "\" not understood; kept without a time");
  }
}

void read_sms(const pugi::xml_node& sms, const std::string& what, AndroidSmsFile& file) {
  mapi::FolderKind kind;
  if (!folder_of(sms.attribute("type").as_int(-1), &kind)) {
    file.warnings.push_back(what + ": type " + sms.attribute("type").as_string() + " left out");
    ++file.messages_left_out;
    return;
  }
  AndroidMessage am;
  am.folder = kind;
  const std::u16string address = text_of(sms.attribute("address").as_string());
  if (!address.empty()) {
    if (kind == mapi::FolderKind::inbox) {
      am.message.sender = address;
    } else {
      // Several numbers "~" apart, as a group message names them, are
      // each a recipient.
      for (size_t pos = 0; pos <= address.size();) {
        size_t end = address.find(u'~', pos);
        if (end == std::u16string::npos) end = address.size();
        if (end > pos) am.message.recipients.push_back(address.substr(pos, end - pos));
        pos = end + 1;
      }
    }
  }
  if (auto body = sms.attribute("body")) am.message.text = text_of(body.as_string());
  set_time(sms, am.message, what, file.warnings);
  file.messages.push_back(std::move(am));
}

bool is_null(const char* s) { return *s == '\0' || std::strcmp(s, "null") == 0; }

void read_mms(const pugi::xml_node& mms, const std::string& what, AndroidSmsFile& file) {
  mapi::FolderKind kind;
  if (!folder_of(mms.attribute("msg_box").as_int(-1), &kind)) {
    file.warnings.push_back(what + ": msg_box " + mms.attribute("msg_box").as_string() +
                            " left out");
    ++file.messages_left_out;
    return;
  }
  AndroidMessage am;
  am.folder = kind;
  am.mms = true;
  std::u16string text;
  bool has_text = false;
  int attachments = 0;
  for (auto part : mms.child("parts").children("part")) {
    const std::string type = part.attribute("ct").as_string();
    if (type == "text/plain") {
      if (has_text) text += u"\n";
      text += text_of(part.attribute("text").as_string());
      has_text = true;
    } else if (type != "application/smil") {
      ++attachments;
    }
  }
  // The "from" address (137) sends, "to" (151), "cc" (130) and "bcc" (129)
  // receive; a file without addrs has the addresses in "address", "~" apart.
  std::u16string from;
  std::vector<std::u16string> to;
  for (auto addr : mms.child("addrs").children("addr")) {
    const char* a = addr.attribute("address").as_string();
    if (is_null(a) || std::strcmp(a, "insert-address-token") == 0) continue;
    const int type = addr.attribute("type").as_int();
    if (type == 137 && from.empty())
      from = text_of(a);
    else if (type == 151 || type == 130 || type == 129)
      to.push_back(text_of(a));
  }
  if (from.empty() && to.empty()) {
    std::string all = mms.attribute("address").as_string();
    for (size_t pos = 0; pos <= all.size();) {
      size_t end = all.find('~', pos);
      if (end == std::string::npos) end = all.size();
      if (end > pos) to.push_back(text_of(all.substr(pos, end - pos).c_str()));
      pos = end + 1;
    }
    if (kind == mapi::FolderKind::inbox && !to.empty()) {
      from = to.front();
      to.erase(to.begin());
    }
  }
  if (kind == mapi::FolderKind::inbox) {
    if (!from.empty()) am.message.sender = from;
  } else {
    for (auto& r : to)
      if (r != from) am.message.recipients.push_back(r);
  }
  file.attachments_left_out += attachments;
  if (!has_text) {
    file.warnings.push_back(what + ": no text" +
                            (attachments ? ", only " + std::to_string(attachments) +
                                               (attachments == 1 ? " attachment" : " attachments")
                                         : std::string()) +
                            "; left out");
    ++file.messages_left_out;
    return;
  }
  am.message.text = std::move(text);
  set_time(mms, am.message, what, file.warnings);
  file.messages.push_back(std::move(am));
}

}  // namespace

std::optional<std::string> utf8_of_utf16(std::string_view bytes) {
  if (bytes.size() < 2) return std::nullopt;
  const auto b = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  bool little;
  size_t start = 2;
  if (b(0) == 0xFF && b(1) == 0xFE) {
    little = true;
  } else if (b(0) == 0xFE && b(1) == 0xFF) {
    little = false;
  } else if (b(0) == '<' && b(1) == 0) {
    little = true;
    start = 0;
  } else if (b(0) == 0 && b(1) == '<') {
    little = false;
    start = 0;
  } else {
    return std::nullopt;
  }
  std::u16string units;
  units.reserve((bytes.size() - start) / 2);
  for (size_t i = start; i + 1 < bytes.size(); i += 2)
    units += static_cast<char16_t>(little ? b(i) | (b(i + 1) << 8) : (b(i) << 8) | b(i + 1));
  return utf8(std::u16string_view(units));
}

bool is_android_sms_backup(std::string_view bytes) {
  pugi::xml_document doc;
  if (!doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default & ~pugi::parse_doctype))
    return false;
  return std::string(doc.document_element().name()) == "smses";
}

namespace {

using Each = std::function<void(AndroidMessage&&)>;

// Every message of the file, one child of <smses> at a time: each is
// parsed on its own, so memory holds one message, and its line is known
// from where the reader is.
void check_root(XmlChildren& children) {
  std::string root;
  try {
    root = children.root();
  } catch (const XmlShapeError& e) {
    throw SmsFileError("not well-formed XML at " + e.place().text() + " (" + e.what() +
                       "); nothing imported");
  }
  if (root == "CONTACTS")
    throw SmsFileError(
        "a backup of this program, not an Android SMS backup: put its messages on the phone "
        "with `vardel messages restore`");
  if (root != "smses")
    throw SmsFileError("not an SMS backup (its root is <" + root + ">, not <smses>)");
}

void read_stream(XmlChildren& children, AndroidSmsFile& file, const Each& each) {
  check_root(children);
  const auto malformed = [](const XmlPlace& at, const std::string& why) {
    return SmsFileError("an SMS backup cut short or malformed at " + at.text() + " (" + why +
                        "); nothing imported");
  };
  std::string text, name;
  XmlPlace at;
  int index = 0;
  for (;;) {
    try {
      if (!children.next(text, at, name)) break;
    } catch (const XmlShapeError& e) {
      throw malformed(e.place(), e.what());
    }
    if (name != "sms" && name != "mms") continue;
    ++index;
    std::vector<Mark> marks;
    const std::string marked = mark_nul_references(text, &marks);
    pugi::xml_document doc;
    const auto parsed =
        doc.load_buffer(marked.data(), marked.size(), pugi::parse_default & ~pugi::parse_doctype);
    if (!parsed)
      throw malformed(XmlChildren::place_in(text,
                                            static_cast<size_t>(std::max<std::ptrdiff_t>(
                                                0, file_offset(parsed.offset, marks))),
                                            at),
                      parsed.description());
    const std::string what = name + " " + std::to_string(index) + " (line " +
                             std::to_string(at.line) + ", column " + std::to_string(at.column) +
                             ")";
    AndroidSmsFile one;
    if (name == "sms")
      read_sms(doc.first_child(), what, one);
    else
      read_mms(doc.first_child(), what, one);
    file.attachments_left_out += one.attachments_left_out;
    file.messages_left_out += one.messages_left_out;
    for (auto& w : one.warnings) file.warnings.push_back(std::move(w));
    for (auto& m : one.messages) {
      if (holds_nul(m.message)) {
        file.warnings.push_back(what + ": holds a NUL character (&#0;), left out");
        ++file.messages_left_out;
        continue;
      }
      each(std::move(m));
    }
  }
}

// Adds each message the store does not hold yet, in one transaction that
// commits only once the whole file has been read (and notes the file as
// imported in it, when given).
SmsImport import_stream(XmlChildren& children, const std::filesystem::path& messages_db,
                        const sql::FileIdentity* imported) {
  check_root(children);  // another kind of file never opens the database
  mapi::MessageDb db(messages_db);
  // One transaction: a failure part-way leaves the database as it was,
  // since closing the connection discards an open transaction.
  db.begin();
  std::int64_t store = db.sms_store();
  // What the store holds, counted: two alike messages in the file are both
  // added, and a second import of the file adds none.
  std::map<MessageKey, int> present;
  for (auto kind : {mapi::FolderKind::inbox, mapi::FolderKind::sent, mapi::FolderKind::drafts,
                    mapi::FolderKind::outbox})
    for (auto& info : db.messages(db.folder(store, kind)))
      ++present[message_key(kind, info.message)];
  std::int64_t folders[5] = {};
  SmsImport result;
  AndroidSmsFile file;
  read_stream(children, file, [&](AndroidMessage&& m) {
    auto found = present.find(message_key(m.folder, m.message));
    if (found != present.end() && found->second > 0) {
      --found->second;
      ++result.skipped_duplicates;
      return;
    }
    std::int64_t& folder = folders[static_cast<int>(m.folder)];
    if (!folder) folder = db.folder(store, m.folder);
    db.add_message(folder, m.message);
    ++result.added;
    ++(m.mms ? result.mms_added : result.sms_added);
  });
  if (imported) db.note_imported(*imported);
  db.commit();
  result.warnings = std::move(file.warnings);
  result.attachments_left_out = file.attachments_left_out;
  result.messages_left_out = file.messages_left_out;
  return result;
}

XmlChildren::Source memory_source(std::string_view bytes) {
  return [bytes](char* buf, size_t n) mutable {
    n = std::min(n, bytes.size());
    std::memcpy(buf, bytes.data(), n);
    bytes.remove_prefix(n);
    return n;
  };
}

}  // namespace

AndroidSmsFile read_android_sms(std::string_view file_bytes) {
  XmlChildren children(memory_source(file_bytes));
  AndroidSmsFile file;
  read_stream(children, file, [&](AndroidMessage&& m) { file.messages.push_back(std::move(m)); });
  return file;
}

SmsImport import_android_sms(std::string_view file_bytes, const std::filesystem::path& messages_db,
                             const sql::FileIdentity* imported) {
  XmlChildren children(memory_source(file_bytes));
  return import_stream(children, messages_db, imported);
}

SmsImport import_android_sms_file(const std::filesystem::path& file,
                                  const std::filesystem::path& messages_db,
                                  const sql::FileIdentity* imported) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), std::fclose);
  if (!in) throw SmsFileError("unreadable: " + std::string(std::strerror(errno)));
  XmlChildren children([&](char* buf, size_t n) {
    const size_t got = std::fread(buf, 1, n, in.get());
    if (got == 0 && std::ferror(in.get()))
      throw SmsFileError("unreadable: " + std::string(std::strerror(errno)));
    return got;
  });
  return import_stream(children, messages_db, imported);
}

}  // namespace vardel::tools
