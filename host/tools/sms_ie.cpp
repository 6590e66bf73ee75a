#include "host/tools/sms_ie.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/tools/message_key.h"
#include "host/tools/message_writers.h"
#include "platform/core/calendar.h"
#include "platform/core/wstr.h"

namespace vardel::tools {

namespace {

using nlohmann::json;

// Milliseconds after 1970 that still fit a FILETIME the phone shows (9999).
constexpr long long kLastMs = 253402300799999LL;

std::string why(archive* a) {
  const char* text = archive_error_string(a);
  return text ? text : "unknown error";
}

struct ReadArchive {
  archive* a = archive_read_new();
  ~ReadArchive() { archive_read_free(a); }
};

// A value as text: the app writes texts, other writers numbers.
std::string text_of(const json& obj, const char* key) {
  const auto it = obj.find(key);
  if (it == obj.end()) return "";
  if (it->is_string()) return it->get<std::string>();
  if (it->is_number_integer()) return std::to_string(it->get<long long>());
  return "";
}

// UTF-8 from the file as the store's text; what is not UTF-8 becomes U+FFFD.
std::u16string text16(const std::string& s) { return utf16(s); }

bool folder_of(const std::string& type, mapi::FolderKind* kind) {
  if (type == "1")
    *kind = mapi::FolderKind::inbox;
  else if (type == "2")
    *kind = mapi::FolderKind::sent;
  else if (type == "3")
    *kind = mapi::FolderKind::drafts;
  else if (type == "4")
    *kind = mapi::FolderKind::outbox;
  else
    return false;
  return true;
}

void set_time(const std::string& date, long long scale, mapi::Message& m, const std::string& what,
              std::vector<std::string>& warnings) {
  if (date.empty()) return;
  char* end = nullptr;
  errno = 0;
  const long long n = std::strtoll(date.c_str(), &end, 10);
  if (errno == 0 && *end == '\0' && n >= 0 && n <= kLastMs / scale) {
    m.delivery = mapi::filetime_from_ticks(calendar::kUnixEpochTicks +
                                           static_cast<std::uint64_t>(n * scale) * 10000ULL);
  } else {
    warnings.push_back(what + ": date \"" + date + "\" not understood; kept without a time");
  }
}

bool no_address(const std::string& a) { return a.empty() || a == "insert-address-token"; }

struct Read {
  bool ok = false;
  AndroidMessage message;
};

Read read_sms(const json& obj, const std::string& what, SmsImport& r) {
  Read out;
  AndroidMessage& am = out.message;
  if (!folder_of(text_of(obj, "type"), &am.folder)) {
    r.warnings.push_back(what + ": type " + text_of(obj, "type") + " left out");
    ++r.messages_left_out;
    return out;
  }
  const std::string address = text_of(obj, "address");
  if (!address.empty()) {
    if (am.folder == mapi::FolderKind::inbox)
      am.message.sender = text16(address);
    else
      am.message.recipients.push_back(text16(address));
  }
  if (obj.contains("body")) am.message.text = text16(text_of(obj, "body"));
  set_time(text_of(obj, "date"), 1, am.message, what, r.warnings);
  out.ok = true;
  return out;
}

Read read_mms(const json& obj, const std::string& what, SmsImport& r) {
  Read out;
  AndroidMessage& am = out.message;
  am.mms = true;
  if (!folder_of(text_of(obj, "msg_box"), &am.folder)) {
    r.warnings.push_back(what + ": msg_box " + text_of(obj, "msg_box") + " left out");
    ++r.messages_left_out;
    return out;
  }
  std::u16string text;
  bool has_text = false;
  int attachments = 0;
  if (const auto parts = obj.find("__parts"); parts != obj.end() && parts->is_array())
    for (const json& part : *parts) {
      if (!part.is_object()) continue;
      const std::string type = text_of(part, "ct");
      if (type == "text/plain") {
        if (has_text) text += u"\n";
        text += text16(text_of(part, "text"));
        has_text = true;
      } else if (type != "application/smil") {
        ++attachments;
      }
    }
  // 137 sends; 151 (to), 130 (cc) and 129 (bcc) receive. Older archives
  // list all of them in one "__addresses".
  std::string from;
  std::vector<std::string> to;
  const auto take = [&](const json& addr) {
    if (!addr.is_object()) return;
    const std::string a = text_of(addr, "address"), type = text_of(addr, "type");
    if (no_address(a)) return;
    if (type == "137") {
      if (from.empty()) from = a;
    } else if (type == "151" || type == "130" || type == "129") {
      to.push_back(a);
    }
  };
  if (const auto s = obj.find("__sender_address"); s != obj.end()) take(*s);
  for (const char* key : {"__recipient_addresses", "__addresses"})
    if (const auto list = obj.find(key); list != obj.end() && list->is_array())
      for (const json& addr : *list) take(addr);
  if (am.folder == mapi::FolderKind::inbox) {
    if (!from.empty()) am.message.sender = text16(from);
  } else {
    for (const std::string& a : to)
      if (a != from) am.message.recipients.push_back(text16(a));
  }
  r.attachments_left_out += attachments;
  if (!has_text) {
    r.warnings.push_back(what + ": no text" +
                         (attachments ? ", only " + std::to_string(attachments) +
                                            (attachments == 1 ? " attachment" : " attachments")
                                      : std::string()) +
                         "; left out");
    ++r.messages_left_out;
    return out;
  }
  am.message.text = std::move(text);
  set_time(text_of(obj, "date"), 1000, am.message, what, r.warnings);
  out.ok = true;
  return out;
}

// Splits messages.ndjson into lines as libarchive unpacks it, within the
// bounds, and hands each line on.
template <typename Each>
void each_line(archive* a, Each each) {
  std::string line;
  std::size_t total = 0;
  int number = 0;
  char buf[64 * 1024];
  for (;;) {
    const la_ssize_t n = archive_read_data(a, buf, sizeof buf);
    if (n < 0) throw SmsIeError("a damaged archive: " + why(a));
    if (n == 0) break;
    total += static_cast<std::size_t>(n);
    if (total > kMaxNdjson) throw SmsIeError("messages.ndjson unpacks to more than 4 GiB");
    for (la_ssize_t i = 0; i < n; ++i) {
      if (buf[i] == '\n') {
        each(++number, line);
        line.clear();
      } else if (line.size() >= kMaxLine) {
        throw SmsIeError("line " + std::to_string(number + 1) +
                         " of messages.ndjson is longer than 16 MiB");
      } else {
        line += buf[i];
      }
    }
  }
  if (!line.empty()) each(++number, line);
}

}  // namespace

bool is_zip(std::string_view bytes) { return bytes.starts_with("PK\x03\x04"); }

void read_sms_ie(std::string_view zip_bytes, const SmsIeSink& each, SmsImport& tally) {
  ReadArchive in;
  archive_read_support_format_zip(in.a);
  if (archive_read_open_memory(in.a, zip_bytes.data(), zip_bytes.size()) != ARCHIVE_OK)
    throw SmsIeError("not a ZIP archive: " + why(in.a));
  bool found = false;
  archive_entry* entry = nullptr;
  int status;
  while ((status = archive_read_next_header(in.a, &entry)) == ARCHIVE_OK) {
    const char* name = archive_entry_pathname(entry);
    if (found || !name || std::strcmp(name, "messages.ndjson") != 0) {
      archive_read_data_skip(in.a);
      continue;
    }
    found = true;
    each_line(in.a, [&](int number, const std::string& line) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) return;
      const std::string what = "line " + std::to_string(number);
      const json obj = json::parse(line, nullptr, false);
      if (!obj.is_object()) {
        tally.warnings.push_back(what + ": not a JSON object; left out");
        ++tally.messages_left_out;
        return;
      }
      Read r = obj.contains("m_type") ? read_mms(obj, what + " (MMS)", tally)
                                      : read_sms(obj, what + " (SMS)", tally);
      if (r.ok) each(r.message);
    });
  }
  if (status != ARCHIVE_EOF) throw SmsIeError("a damaged archive: " + why(in.a));
  if (!found) throw SmsIeError("a ZIP archive without messages.ndjson");
}

SmsImport import_sms_ie(std::string_view zip_bytes, const std::filesystem::path& messages_db,
                        const sql::FileIdentity* imported) {
  SmsImport result;
  mapi::MessageDb db(messages_db);
  // One transaction: a failure part-way leaves the database as it was, since
  // closing the connection discards an open transaction.
  db.begin();
  const std::int64_t store = db.sms_store();
  // What the store holds, counted: two alike messages in the archive are
  // both added, and a second import of it adds none.
  std::map<MessageKey, int> present;
  for (auto kind : {mapi::FolderKind::inbox, mapi::FolderKind::sent, mapi::FolderKind::drafts,
                    mapi::FolderKind::outbox})
    for (auto& info : db.messages(db.folder(store, kind)))
      ++present[message_key(kind, info.message)];
  read_sms_ie(
      zip_bytes,
      [&](const AndroidMessage& m) {
        auto same = present.find(message_key(m.folder, m.message));
        if (same != present.end() && same->second > 0) {
          --same->second;
          ++result.skipped_duplicates;
          return;
        }
        db.add_message(db.folder(store, m.folder), m.message);
        ++result.added;
        ++(m.mms ? result.mms_added : result.sms_added);
      },
      result);
  if (imported) db.note_imported(*imported);
  db.commit();
  return result;
}

namespace {

la_ssize_t write_to(archive*, void* file, const void* data, size_t size) {
  if (std::fwrite(data, 1, size, static_cast<std::FILE*>(file)) != size) {
    errno = errno ? errno : EIO;
    return -1;
  }
  return static_cast<la_ssize_t>(size);
}

std::string unix_ms_text(const OutMessage& m, long long scale) {
  if (!m.utc) return "0";
  const long long ticks = static_cast<long long>(mapi::filetime_ticks(*m.utc)) -
                          static_cast<long long>(calendar::kUnixEpochTicks);
  const long long ms = ticks / calendar::kTicksPerMillisecond;
  return std::to_string(ms < 0 ? 0 : ms / scale);
}

class SmsIeWriter : public MessageWriter {
 public:
  SmsIeWriter(std::FILE* out, NameOf name_of) : name_of_(std::move(name_of)) {
    if (archive_write_set_format_zip(a_) != ARCHIVE_OK ||
        archive_write_open2(a_, out, nullptr, write_to, nullptr, nullptr) != ARCHIVE_OK)
      fail();
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, "messages.ndjson");
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0600);
    // No size: the entry is written as it comes, its length after it.
    const int status = archive_write_header(a_, entry);
    archive_entry_free(entry);
    if (status != ARCHIVE_OK) fail();
  }
  ~SmsIeWriter() override { archive_write_free(a_); }

  void add(const OutMessage& m) override {
    json obj;
    const std::string id = std::to_string(written_ + 1);
    std::string joined;
    for (const std::string& a : m.addresses) joined += (joined.empty() ? "" : "~") + a;
    auto [thread, added] = threads_.emplace(joined, static_cast<int>(threads_.size()) + 1);
    (void)added;
    const std::string type = std::to_string(android_type(m.folder));
    if (m.folder != mapi::FolderKind::inbox && m.addresses.size() > 1) {
      obj = {{"_id", id},
             {"thread_id", std::to_string(thread->second)},
             {"date_sent", "0"},
             {"msg_box", type},
             {"m_type", "128"},
             {"read", "1"},
             {"seen", "1"},
             {"text_only", "1"},
             {"ct_t", "application/vnd.wap.multipart.related"},
             {"__sender_address",
              {{"address", "insert-address-token"}, {"type", "137"}, {"charset", "106"}}}};
      json to = json::array();
      for (const std::string& a : m.addresses) {
        json addr = {{"address", a}, {"type", "151"}, {"charset", "106"}};
        if (const std::string name = name_of(a); !name.empty()) addr["__display_name"] = name;
        to.push_back(std::move(addr));
      }
      obj["__recipient_addresses"] = std::move(to);
      if (m.utc) obj["date"] = unix_ms_text(m, 1000);
      obj["__parts"] =
          json::array({{{"seq", "0"}, {"ct", "text/plain"}, {"chset", "106"}, {"text", m.text}}});
    } else {
      const std::string address = m.addresses.empty() ? "" : m.addresses.front();
      const std::string date = unix_ms_text(m, 1);
      obj = {{"_id", id},
             {"thread_id", std::to_string(thread->second)},
             {"address", address},
             {"date_sent", m.folder == mapi::FolderKind::inbox && m.utc ? date : "0"},
             {"protocol", "0"},
             {"read", "1"},
             {"status", "-1"},
             {"type", type},
             {"body", m.text},
             {"locked", "0"},
             {"seen", "1"}};
      // A message without a time has no date, rather than one in 1970.
      if (m.utc) obj["date"] = date;
      if (const std::string name = name_of(address); !name.empty()) obj["__display_name"] = name;
    }
    line_ = obj.dump(-1, ' ', false, json::error_handler_t::replace);
    line_ += '\n';
    if (archive_write_data(a_, line_.data(), line_.size()) != static_cast<la_ssize_t>(line_.size()))
      fail();
    ++written_;
  }

  void finish() override {
    if (archive_write_close(a_) != ARCHIVE_OK) fail();
  }

 private:
  std::string name_of(const std::string& number) const {
    return name_of_ && !number.empty() ? name_of_(number) : std::string();
  }
  [[noreturn]] void fail() { throw std::runtime_error("cannot write the archive: " + why(a_)); }

  archive* a_ = archive_write_new();
  NameOf name_of_;
  std::map<std::string, int> threads_;
  std::string line_;
};

}  // namespace

std::unique_ptr<MessageWriter> make_sms_ie_writer(std::FILE* out, NameOf name_of) {
  return std::make_unique<SmsIeWriter>(out, std::move(name_of));
}

}  // namespace vardel::tools
