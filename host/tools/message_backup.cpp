#include "host/tools/message_backup.h"

#include <libxml/xmlreader.h>

#include <cstring>
#include <memory>

#include "platform/core/calendar.h"
#include "platform/core/wstr.h"

namespace vardel::tools {

namespace {

// Loading never reaches the network nor reads a DTD; entities are left as
// they are.
constexpr int kReaderOptions = XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_COMPACT;

struct ReaderCloser {
  void operator()(xmlTextReader* r) const { xmlFreeTextReader(r); }
};
using Reader = std::unique_ptr<xmlTextReader, ReaderCloser>;

// The first error libxml2 reports, with its place.
struct ErrorCatcher {
  std::string message;
  int line = 0, column = 0;
  static void on_error(void* self, const xmlError* error) {
    auto* c = static_cast<ErrorCatcher*>(self);
    if (!c->message.empty() || error == nullptr) return;
    c->message = error->message ? error->message : "malformed";
    while (!c->message.empty() && c->message.back() == '\n') c->message.pop_back();
    c->line = error->line;
    c->column = error->int2;
  }
};

const char* name_of(xmlTextReader* r) {
  const xmlChar* n = xmlTextReaderConstLocalName(r);
  return n ? reinterpret_cast<const char*>(n) : "";
}

std::string attribute(xmlTextReader* r, const char* name, bool* present = nullptr) {
  xmlChar* v = xmlTextReaderGetAttribute(r, reinterpret_cast<const xmlChar*>(name));
  if (present) *present = v != nullptr;
  if (v == nullptr) return "";
  std::string s(reinterpret_cast<const char*>(v));
  xmlFree(v);
  return s;
}

// "2009-4-23" and "  9:5:7" (spaces around are ignored).
bool parse_numbers(const std::string& text, char sep, int out[3]) {
  size_t i = 0;
  const auto skip_spaces = [&] {
    while (i < text.size() && text[i] == ' ') ++i;
  };
  skip_spaces();
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      if (i >= text.size() || text[i] != sep) return false;
      ++i;
    }
    long v = 0;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 6) {
      v = v * 10 + (text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0) return false;
    out[k] = static_cast<int>(v);
  }
  skip_spaces();
  return i == text.size();
}

bool valid_time(const int d[3], const int t[3]) {
  return d[0] >= 1601 && d[0] <= 30827 && calendar::is_valid_date(d[0], d[1], d[2]) &&
         calendar::is_valid_time_of_day(t[0], t[1], t[2]);
}

const std::string kFrom = "来自于：";
const std::string kTo = "到：";

class MessagesWalk {
 public:
  MessagesWalk(xmlTextReader* r, const MessageSink& each, const SkipSink& skipped)
      : r_(r), each_(each), skipped_(skipped) {}

  void run() {
    xmlTextReaderSetStructuredErrorHandler(
        r_, [](void* self, xmlErrorPtr e) { ErrorCatcher::on_error(self, e); }, &errors_);
    int ret;
    while ((ret = xmlTextReaderRead(r_)) == 1) step();
    if (ret < 0 || !errors_.message.empty()) fail();
    if (!root_seen_) throw BackupFileError("not a messages backup (it holds no XML element)");
  }

 private:
  void step() {
    const int type = xmlTextReaderNodeType(r_);
    const int depth = xmlTextReaderDepth(r_);
    if (type == XML_READER_TYPE_ELEMENT) {
      const char* name = name_of(r_);
      const bool empty = xmlTextReaderIsEmptyElement(r_);
      if (depth == 0) {
        root_seen_ = true;
        if (std::strcmp(name, "CONTACTS") != 0)
          throw BackupFileError(std::string("not a messages backup (its root is <") + name +
                                ">, not <CONTACTS>)");
      } else if (depth == 1 && std::strcmp(name, "VCARD") == 0) {
        start_record(empty);
      } else if (in_record_ && depth == 2 && std::strcmp(name, "MESSAGE") == 0) {
        date_ = attribute(r_, "Date");
        time_ = attribute(r_, "Time");
      } else if (in_record_ && depth == 3 && std::strcmp(name, "TEXT") == 0 && !empty) {
        in_text_ = true;
      }
    } else if (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
               type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE ||
               type == XML_READER_TYPE_WHITESPACE) {
      if (in_text_) {
        const xmlChar* v = xmlTextReaderConstValue(r_);
        if (v) text_ += reinterpret_cast<const char*>(v);
      }
    } else if (type == XML_READER_TYPE_END_ELEMENT) {
      if (in_text_ && depth == 3) in_text_ = false;
      if (in_record_ && depth == 1) finish_record();
    }
  }

  void start_record(bool empty) {
    in_record_ = true;
    line_ = xmlTextReaderGetParserLineNumber(r_);
    bool present = false;
    label_ = attribute(r_, "ContactNumber", &present);
    if (!present) label_ = attribute(r_, "CONTACTS", &present);
    if (!present) {
      bool title = false;
      attribute(r_, "TITLE", &title);
      if (title)
        throw BackupFileError(
            "a contacts backup, not a messages backup (convert it, or restore it with "
            "`vardel restore`)");
    }
    date_.clear();
    time_.clear();
    text_.clear();
    if (empty) finish_record();
  }

  void finish_record() {
    in_record_ = false;
    in_text_ = false;
    BackupMessage m;
    m.line = line_;
    if (label_.compare(0, kFrom.size(), kFrom) == 0) {
      m.received = true;
      m.address = label_.substr(kFrom.size());
    } else if (label_.compare(0, kTo.size(), kTo) == 0) {
      m.received = false;
      m.address = label_.substr(kTo.size());
    } else {
      skipped_(line_, "its label \"" + label_ + "\" says neither 来自于： nor 到：");
      return;
    }
    if (!date_.empty() || !time_.empty()) {
      int d[3], t[3];
      if (parse_numbers(date_, '-', d) && parse_numbers(time_, ':', t) && valid_time(d, t)) {
        m.has_time = true;
        m.local.wYear = static_cast<WORD>(d[0]);
        m.local.wMonth = static_cast<WORD>(d[1]);
        m.local.wDay = static_cast<WORD>(d[2]);
        m.local.wHour = static_cast<WORD>(t[0]);
        m.local.wMinute = static_cast<WORD>(t[1]);
        m.local.wSecond = static_cast<WORD>(t[2]);
      } else {
        skipped_(line_, "its time \"" + date_ + time_ + "\" is no time; kept without one");
      }
    }
    m.text = std::move(text_);
    text_.clear();
    each_(m);
  }

  [[noreturn]] void fail() {
    std::string what = errors_.message.empty() ? "malformed" : errors_.message;
    throw BackupFileError((root_seen_ ? "cut short or malformed at line " : "not XML: line ") +
                          std::to_string(errors_.line) + ", column " +
                          std::to_string(errors_.column) + " (" + what + ")");
  }

  xmlTextReader* r_;
  const MessageSink& each_;
  const SkipSink& skipped_;
  ErrorCatcher errors_;
  bool root_seen_ = false, in_record_ = false, in_text_ = false;
  int line_ = 0;
  std::string label_, date_, time_, text_;
};

// What the first record (or the stylesheet, for a file without records)
// says the file is.
BackupKind kind_of(xmlTextReader* r) {
  ErrorCatcher errors;
  xmlTextReaderSetStructuredErrorHandler(
      r, [](void* self, xmlErrorPtr e) { ErrorCatcher::on_error(self, e); }, &errors);
  BackupKind by_stylesheet = BackupKind::neither;
  bool in_vcard = false;
  while (xmlTextReaderRead(r) == 1) {
    const int type = xmlTextReaderNodeType(r);
    const int depth = xmlTextReaderDepth(r);
    const char* name = name_of(r);
    if (type == XML_READER_TYPE_PROCESSING_INSTRUCTION &&
        std::strcmp(name, "xml-stylesheet") == 0) {
      const xmlChar* v = xmlTextReaderConstValue(r);
      const std::string pi = v ? reinterpret_cast<const char*>(v) : "";
      if (pi.find("MessageLogMsg.xsl") != std::string::npos) by_stylesheet = BackupKind::messages;
      if (pi.find("MessageLogContact.xsl") != std::string::npos)
        by_stylesheet = BackupKind::contacts;
    }
    if (type == XML_READER_TYPE_ELEMENT) {
      if (depth == 0 && std::strcmp(name, "CONTACTS") != 0) return BackupKind::neither;
      if (depth == 1 && std::strcmp(name, "VCARD") == 0) {
        bool present = false;
        attribute(r, "ContactNumber", &present);
        if (!present) attribute(r, "CONTACTS", &present);
        if (present) return BackupKind::messages;
        attribute(r, "TITLE", &present);
        if (present) return BackupKind::contacts;
        in_vcard = true;
      } else if (in_vcard && depth == 2) {
        if (std::strcmp(name, "ADDRESS") == 0) return BackupKind::contacts;
        if (std::strcmp(name, "MESSAGE") == 0) return BackupKind::messages;
        return BackupKind::neither;
      }
    }
    if (type == XML_READER_TYPE_END_ELEMENT && depth == 0) return by_stylesheet;
  }
  return errors.message.empty() ? by_stylesheet : BackupKind::neither;
}

}  // namespace

BackupKind backup_kind(const std::filesystem::path& file) {
  Reader r(xmlReaderForFile(file.c_str(), nullptr, kReaderOptions));
  if (!r) return BackupKind::neither;
  return kind_of(r.get());
}

BackupKind backup_kind_fd(int fd) {
  Reader r(xmlReaderForFd(fd, nullptr, nullptr, kReaderOptions));
  if (!r) return BackupKind::neither;
  return kind_of(r.get());
}

BackupKind backup_kind_of(std::string_view bytes) {
  Reader r(xmlReaderForMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                              kReaderOptions));
  if (!r) return BackupKind::neither;
  return kind_of(r.get());
}

void read_messages_backup_fd(int fd, const MessageSink& each, const SkipSink& skipped) {
  Reader r(xmlReaderForFd(fd, nullptr, nullptr, kReaderOptions));
  if (!r) throw BackupFileError("cannot be read");
  MessagesWalk(r.get(), each, skipped).run();
}

void read_messages_backup(const std::filesystem::path& file, const MessageSink& each,
                          const SkipSink& skipped) {
  Reader r(xmlReaderForFile(file.c_str(), nullptr, kReaderOptions));
  if (!r) throw BackupFileError("cannot be read");
  MessagesWalk(r.get(), each, skipped).run();
}

void read_messages_backup_bytes(std::string_view bytes, const MessageSink& each,
                                const SkipSink& skipped) {
  Reader r(xmlReaderForMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                              kReaderOptions));
  if (!r) throw BackupFileError("cannot be read");
  MessagesWalk(r.get(), each, skipped).run();
}

}  // namespace vardel::tools
