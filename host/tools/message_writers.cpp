#include "host/tools/message_writers.h"

#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <utility>

#include "host/tools/sms_ie.h"
#include "platform/core/calendar.h"
#include "platform/core/windows.h"
#include "platform/core/wstr.h"

namespace vardel::tools {

namespace {

void put(std::FILE* out, std::string_view s) {
  if (std::fwrite(s.data(), 1, s.size(), out) != s.size())
    throw std::runtime_error(std::string("cannot write: ") + std::strerror(errno));
}

// What stands for each byte of a text in one output format: null where the
// byte stands for itself.
struct Escapes {
  const char* as[256] = {};
  constexpr Escapes(std::initializer_list<std::pair<char, const char*>> escapes) {
    for (const auto& [c, text] : escapes) as[static_cast<unsigned char>(c)] = text;
  }
  const char* of(char c) const { return as[static_cast<unsigned char>(c)]; }
};

}  // namespace

// The code point of the UTF-8 sequence at text[i], advancing i past it; a
// malformed sequence (or an encoded surrogate) is one byte of -1.
static long next_code_point(std::string_view text, size_t& i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = b(i);
  int n = c < 0x80             ? 0
          : (c & 0xE0) == 0xC0 ? 1
          : (c & 0xF0) == 0xE0 ? 2
          : (c & 0xF8) == 0xF0 ? 3
                               : -1;
  if (n < 0 || i + n >= text.size() + (n ? 0 : 1)) {
    ++i;
    return n == 0 ? c : -1;
  }
  long cp = n == 0 ? c : c & (0x3F >> n);
  for (int k = 1; k <= n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) {
      ++i;
      return -1;
    }
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  static constexpr long kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return -1;
  }
  i += n + 1;
  return cp;
}

size_t append_xml_escaped(std::string& out, std::string_view text, XmlEscape mode) {
  size_t replaced = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t at = i;
    const long cp = next_code_point(text, i);
    const bool carried = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
                         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
    if (!carried) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      ++replaced;
      continue;
    }
    switch (cp) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      // A parser folds a raw CR into LF and, in an attribute, every line
      // break and tab into a space: references keep them.
      case '\r':
        out += "&#13;";
        break;
      case '\n':
        out += mode == XmlEscape::attribute ? "&#10;" : "\n";
        break;
      case '\t':
        out += mode == XmlEscape::attribute ? "&#9;" : "\t";
        break;
      default:
        out.append(text.substr(at, i - at));
    }
  }
  return replaced;
}

namespace {

SYSTEMTIME local_of(const FILETIME& utc) {
  FILETIME local{};
  SYSTEMTIME st{};
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &st);
  return st;
}

long long unix_ms(const FILETIME& utc) {
  const std::uint64_t ticks = mapi::filetime_ticks(utc);
  return (static_cast<long long>(ticks) - static_cast<long long>(calendar::kUnixEpochTicks)) /
         calendar::kTicksPerMillisecond;
}


class AndroidWriter : public MessageWriter {
 public:
  AndroidWriter(std::FILE* out, NameOf name_of) : out_(out), name_of_(std::move(name_of)) {
    put(out_, "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n");
    count_at_ = std::ftell(out_);
    // The count is not known yet: room for it, filled in by finish().
    put(out_, "<smses count=\"0\"" + std::string(kRoom, ' ') + ">\n");
  }

  void add(const OutMessage& m) override {
    line_.clear();
    const long long ms = m.utc ? unix_ms(*m.utc) : 0;
    const std::string date = std::to_string(ms < 0 ? 0 : ms);
    const std::string type = std::to_string(android_type(m.folder));
    if (m.folder != mapi::FolderKind::inbox && m.addresses.size() > 1) {
      add_group(m, date, type);
    } else {
      line_ += "  <sms protocol=\"0\" address=\"";
      if (!m.addresses.empty())
        replaced_ += append_xml_escaped(line_, m.addresses.front(), XmlEscape::attribute);
      line_ += "\" date=\"" + date + "\" type=\"" + type + "\" subject=\"null\" body=\"";
      replaced_ += append_xml_escaped(line_, m.text, XmlEscape::attribute);
      line_ +=
          "\" toa=\"null\" sc_toa=\"null\" service_center=\"null\" read=\"1\" status=\"-1\" "
          "locked=\"0\" date_sent=\"";
      line_ += m.folder == mapi::FolderKind::inbox ? date : "0";
      line_ += "\"";
      readable_and_name(m);
      line_ += " />\n";
    }
    put(out_, line_);
    ++written_;
  }

  void finish() override {
    put(out_, "</smses>\n");
    const std::string count = std::to_string(written_) + "\"";
    if (count_at_ < 0 || std::fseek(out_, count_at_ + 14, SEEK_SET) != 0)
      throw std::runtime_error("cannot write the message count");
    put(out_, count);
    std::fseek(out_, 0, SEEK_END);
  }

 private:
  static constexpr size_t kRoom = 12;

  // A message to several recipients, as the app writes a group message.
  void add_group(const OutMessage& m, const std::string& date, const std::string& type) {
    line_ += "  <mms date=\"" + date +
             "\" ct_t=\"application/vnd.wap.multipart.related\" msg_box=\"" + type +
             "\" address=\"";
    for (size_t k = 0; k < m.addresses.size(); ++k) {
      if (k) line_ += '~';
      replaced_ += append_xml_escaped(line_, m.addresses[k], XmlEscape::attribute);
    }
    line_ +=
        "\" read=\"1\" m_type=\"128\" sub=\"null\" text_only=\"1\" locked=\"0\" "
        "date_sent=\"0\"";
    readable_and_name(m);
    line_ +=
        ">\n    <parts>\n      <part seq=\"0\" ct=\"text/plain\" name=\"null\" chset=\"106\" "
        "cd=\"null\" fn=\"null\" cid=\"&lt;text0&gt;\" cl=\"text0.txt\" ctt_s=\"null\" "
        "ctt_t=\"null\" text=\"";
    replaced_ += append_xml_escaped(line_, m.text, XmlEscape::attribute);
    line_ +=
        "\" />\n    </parts>\n    <addrs>\n      <addr address=\"insert-address-token\" "
        "type=\"137\" charset=\"106\" />\n";
    for (const std::string& a : m.addresses) {
      line_ += "      <addr address=\"";
      replaced_ += append_xml_escaped(line_, a, XmlEscape::attribute);
      line_ += "\" type=\"151\" charset=\"106\" />\n";
    }
    line_ += "    </addrs>\n  </mms>\n";
  }

  // readable_date and contact_name, the last attributes of either element.
  void readable_and_name(const OutMessage& m) {
    line_ += " readable_date=\"";
    if (m.local)
      line_ += readable(*m.local);
    else if (m.utc)
      line_ += readable(local_of(*m.utc));
    line_ += "\" contact_name=\"";
    replaced_ += append_xml_escaped(line_, contact_name(m.addresses), XmlEscape::attribute);
    line_ += "\"";
  }

  // The contact's name; for a group, each recipient's name (its number when
  // it has none) ", " apart. "(Unknown)" when no number has a contact.
  std::string contact_name(const std::vector<std::string>& addresses) const {
    std::string names;
    bool known = false;
    for (const std::string& a : addresses) {
      std::string name = name_of_ ? name_of_(a) : std::string();
      known = known || !name.empty();
      if (!names.empty()) names += ", ";
      names += name.empty() ? a : name;
    }
    return known ? names : "(Unknown)";
  }

  // "Apr 23, 2009 10:00:00 AM", as the app writes it.
  static std::string readable(const SYSTEMTIME& st) {
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int hour12 = st.wHour % 12 == 0 ? 12 : st.wHour % 12;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s %u, %u %d:%02u:%02u %s",
                  kMonths[(st.wMonth >= 1 && st.wMonth <= 12) ? st.wMonth - 1 : 0], st.wDay,
                  st.wYear, hour12, st.wMinute, st.wSecond, st.wHour < 12 ? "AM" : "PM");
    return buf;
  }

  std::FILE* out_;
  NameOf name_of_;
  long count_at_ = -1;
  std::string line_;
};

std::string joined(const std::vector<std::string>& addresses) {
  std::string out;
  for (const std::string& a : addresses) out += (out.empty() ? "" : "~") + a;
  return out;
}

class CsvWriter : public MessageWriter {
 public:
  explicit CsvWriter(std::FILE* out) : out_(out) {
    put(out_,
        "\xEF\xBB\xBF"
        "type,address,time,text\r\n");
  }
  void add(const OutMessage& m) override {
    static const char* kTypes[] = {"received", "sent", "draft", "outbox", "deleted"};
    std::string row = kTypes[static_cast<int>(m.folder)];
    row += "," + csv_field(joined(m.addresses)) + ",";
    if (m.local)
      row += local_time_text(*m.local);
    else if (m.utc)
      row += local_time_text(*m.utc);
    row += "," + csv_field(m.text) + "\r\n";
    put(out_, row);
    ++written_;
  }
  void finish() override {}

 private:
  std::FILE* out_;
};

// JSON text: the escapes JSON requires, everything else as UTF-8.
constexpr Escapes kJsonEscapes = {
    {'"', "\\\""}, {'\\', "\\\\"}, {'\n', "\\n"}, {'\r', "\\r"}, {'\t', "\\t"}};

void json_string(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    if (const char* as = kJsonEscapes.of(c)) {
      out += as;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += c;
    }
  }
  out += '"';
}

// The inbox is written as it comes; the other folders wait in memory until
// the inbox list is closed.
class JsonWriter : public MessageWriter {
 public:
  explicit JsonWriter(std::FILE* out) : out_(out) {
    put(out_, "{\"stores\": [{\"name\": \"SMS\", \"inbox\": [");
  }
  void add(const OutMessage& m) override {
    std::string obj = "\n  {";
    if (m.folder == mapi::FolderKind::inbox) {
      obj += "\"from\": ";
      json_string(obj, m.addresses.empty() ? std::string() : m.addresses.front());
    } else {
      obj += "\"to\": [";
      for (size_t k = 0; k < m.addresses.size(); ++k) {
        if (k) obj += ", ";
        json_string(obj, m.addresses[k]);
      }
      obj += "]";
    }
    if (m.utc) {
      SYSTEMTIME st{};
      FileTimeToSystemTime(&*m.utc, &st);
      char buf[96];
      std::snprintf(buf, sizeof buf, ", \"time\": \"%04u-%02u-%02uT%02u:%02u:%02uZ\"", st.wYear,
                    st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
      obj += buf;
    }
    obj += ", \"text\": ";
    json_string(obj, m.text);
    obj += "}";
    const int k = static_cast<int>(m.folder);
    if (m.folder == mapi::FolderKind::inbox) {
      put(out_, (inbox_ ? "," : "") + obj);
      ++inbox_;
    } else {
      others_[k] += (others_[k].empty() ? "" : ",") + obj;
    }
    ++written_;
  }
  void finish() override {
    static const char* kKeys[] = {"inbox", "sent", "drafts", "outbox", "deleted"};
    put(out_, "]");
    for (int k = 1; k < 5; ++k)
      if (!others_[k].empty())
        put(out_, std::string(", \"") + kKeys[k] + "\": [" + others_[k] + "]");
    put(out_, "}]}\n");
  }

 private:
  std::FILE* out_;
  int inbox_ = 0;
  std::string others_[5];
};

}  // namespace

std::string replaced_warning(size_t n) {
  return std::to_string(n) + (n == 1 ? " character" : " characters") +
         " that XML cannot carry written as U+FFFD";
}

bool csv_formula_like(std::string_view text) {
  const size_t first = text.find_first_not_of('\'');
  return first != std::string_view::npos && std::strchr("=+-@\t\r", text[first]) != nullptr &&
         text[first] != 0;
}

std::string csv_field(std::string_view text) {
  std::string guarded;
  if (csv_formula_like(text)) {
    guarded = "'";
    guarded += text;
    text = guarded;
  }
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string csv_unguarded(std::string cell) {
  if (!cell.empty() && cell.front() == '\'' && csv_formula_like(cell)) cell.erase(0, 1);
  return cell;
}

std::string local_time_text(const FILETIME& utc) { return local_time_text(local_of(utc)); }

std::string local_time_text(const SYSTEMTIME& st) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
                st.wHour, st.wMinute, st.wSecond);
  return buf;
}

std::unique_ptr<MessageWriter> make_message_writer(MessageFormat format, std::FILE* out,
                                                   NameOf name_of) {
  switch (format) {
    case MessageFormat::android:
      return std::make_unique<AndroidWriter>(out, std::move(name_of));
    case MessageFormat::csv:
      return std::make_unique<CsvWriter>(out);
    case MessageFormat::json:
      return std::make_unique<JsonWriter>(out);
    case MessageFormat::sms_ie:
      return make_sms_ie_writer(out, std::move(name_of));
  }
  return nullptr;
}

int android_type(mapi::FolderKind f) {
  switch (f) {
    case mapi::FolderKind::inbox:
      return 1;
    case mapi::FolderKind::sent:
      return 2;
    case mapi::FolderKind::drafts:
      return 3;
    case mapi::FolderKind::outbox:
      return 4;
    default:
      return 2;
  }
}

}  // namespace vardel::tools
