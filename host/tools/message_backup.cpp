#include "host/tools/message_backup.h"

#include <fcntl.h>
#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlreader.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

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

// The records, read with libxml2's SAX2 push parser: a tree reader builds
// and frees a node for every element, text and attribute it passes, which
// took more than half of the time of adding a large backup to the history.
//
// The callbacks run inside libxml2, so nothing may be thrown through them:
// a record the sink refuses, or a root that is not CONTACTS, stops the
// parser and is thrown once it has returned. The text of an entity a
// document type declares is parsed in a context of its own: its calls are
// passed over, as the tree reader passed over the entity reference.
class MessagesWalk {
 public:
  MessagesWalk(const MessageSink& each, const SkipSink& skipped) : each_(each), skipped_(skipped) {
    // Every handler of SAX2 (the document type's declarations are kept, so
    // its entities resolve), with the tree building ones replaced.
    xmlSAXVersion(&sax_, 2);
    sax_.startElementNs = on_start;
    sax_.endElementNs = on_end;
    sax_.characters = on_text;
    sax_.cdataBlock = on_text;
    sax_.ignorableWhitespace = on_text;
    sax_.reference = nullptr;
    sax_.comment = nullptr;
    sax_.processingInstruction = nullptr;
    sax_.serror = on_error;
    ctxt_ = xmlCreatePushParserCtxt(&sax_, nullptr, nullptr, 0, nullptr);
    if (ctxt_ == nullptr) throw BackupFileError("cannot be read");
    ctxt_->_private = this;
    xmlCtxtUseOptions(ctxt_, kReaderOptions);
  }
  ~MessagesWalk() {
    if (ctxt_->myDoc) xmlFreeDoc(ctxt_->myDoc);
    xmlFreeParserCtxt(ctxt_);
  }
  MessagesWalk(const MessagesWalk&) = delete;
  MessagesWalk& operator=(const MessagesWalk&) = delete;

  // Hands on the next bytes of the file; false once the parse has stopped
  // (the rest need not be read).
  bool feed(const char* data, size_t size) {
    if (stopped_) return false;
    if (xmlParseChunk(ctxt_, data, static_cast<int>(size), 0) != 0) stopped_ = true;
    rethrow();
    return !stopped_;
  }

  // After the last bytes.
  void finish() {
    if (!stopped_) {
      if (xmlParseChunk(ctxt_, nullptr, 0, 1) != 0) stopped_ = true;
      rethrow();
    }
    if (stopped_ || !errors_.message.empty() || !ctxt_->wellFormed) fail();
    if (!root_seen_) throw BackupFileError("not a messages backup (it holds no XML element)");
  }

 private:
  // The handlers of SAX2 take the parser's context as theirs, so the walk
  // is found through it. A context made for an entity's text carries the
  // walk too, but is not the walk's own.
  static MessagesWalk* of(void* ctx) {
    auto* c = static_cast<xmlParserCtxtPtr>(ctx);
    auto* w = c ? static_cast<MessagesWalk*>(c->_private) : nullptr;
    return w && w->ctxt_ == c ? w : nullptr;
  }

  static void on_start(void* ctx, const xmlChar* localname, const xmlChar*, const xmlChar*, int,
                       const xmlChar**, int nb_attributes, int, const xmlChar** attributes) {
    if (MessagesWalk* w = of(ctx))
      w->guarded([&] {
        w->start(reinterpret_cast<const char*>(localname), Attributes{attributes, nb_attributes});
      });
  }
  static void on_end(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    if (MessagesWalk* w = of(ctx)) w->guarded([&] { w->end(); });
  }
  static void on_text(void* ctx, const xmlChar* text, int size) {
    MessagesWalk* w = of(ctx);
    if (w && w->in_text_)
      w->guarded([&] { w->text_.append(reinterpret_cast<const char*>(text), size); });
  }
  static void on_error(void* ctx, xmlErrorPtr error) {
    if (MessagesWalk* w = of(ctx)) ErrorCatcher::on_error(&w->errors_, error);
  }

  // An element's attributes as SAX2 gives them: five pointers each (name,
  // prefix, namespace, value, end of value).
  struct Attributes {
    const xmlChar** at;
    int count;
  };

  // The value of an attribute without a prefix. The parser has already
  // turned character references and the predefined entities into text;
  // what is left is a declared entity, which the document type resolves.
  std::string attribute(const Attributes& a, const char* name, bool* present = nullptr) {
    for (int i = 0; i < a.count; ++i) {
      const xmlChar** at = a.at + 5 * i;
      if (at[1] != nullptr || std::strcmp(reinterpret_cast<const char*>(at[0]), name) != 0)
        continue;
      if (present) *present = true;
      const auto* value = reinterpret_cast<const char*>(at[3]);
      const std::string_view raw(value, static_cast<size_t>(at[4] - at[3]));
      if (raw.find('&') == std::string_view::npos) return std::string(raw);
      xmlChar* decoded = xmlStringLenDecodeEntities(ctxt_, at[3], static_cast<int>(raw.size()),
                                                    XML_SUBSTITUTE_REF, 0, 0, 0);
      std::string s(decoded ? reinterpret_cast<const char*>(decoded) : "");
      xmlFree(decoded);
      return s;
    }
    if (present) *present = false;
    return "";
  }

  template <typename F>
  void guarded(F&& f) {
    if (stopped_) return;
    try {
      f();
    } catch (...) {
      pending_ = std::current_exception();
      stopped_ = true;
      xmlStopParser(ctxt_);
    }
  }

  void rethrow() {
    if (pending_) std::rethrow_exception(std::exchange(pending_, nullptr));
  }

  // The element's depth is the number of elements open around it, as the
  // tree reader counted it.
  void start(const char* name, const Attributes& a) {
    const int depth = depth_++;
    if (depth == 0) {
      root_seen_ = true;
      if (std::strcmp(name, "CONTACTS") != 0)
        throw BackupFileError(std::string("not a messages backup (its root is <") + name +
                              ">, not <CONTACTS>)");
    } else if (depth == 1 && std::strcmp(name, "VCARD") == 0) {
      start_record(a);
    } else if (in_record_ && depth == 2 && std::strcmp(name, "MESSAGE") == 0) {
      date_ = attribute(a, "Date");
      time_ = attribute(a, "Time");
    } else if (in_record_ && depth == 3 && std::strcmp(name, "TEXT") == 0) {
      in_text_ = true;
    }
  }

  void end() {
    const int depth = --depth_;
    if (in_text_ && depth == 3) in_text_ = false;
    if (in_record_ && depth == 1) finish_record();
  }

  void start_record(const Attributes& a) {
    in_record_ = true;
    line_ = xmlSAX2GetLineNumber(ctxt_);
    bool present = false;
    label_ = attribute(a, "ContactNumber", &present);
    if (!present) label_ = attribute(a, "CONTACTS", &present);
    if (!present) {
      bool title = false;
      attribute(a, "TITLE", &title);
      if (title)
        throw BackupFileError(
            "a contacts backup, not a messages backup (convert it, or restore it with "
            "`vardel restore`)");
    }
    date_.clear();
    time_.clear();
    text_.clear();
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

  const MessageSink& each_;
  const SkipSink& skipped_;
  xmlSAXHandler sax_{};
  xmlParserCtxtPtr ctxt_ = nullptr;
  ErrorCatcher errors_;
  std::exception_ptr pending_;
  bool stopped_ = false;
  bool root_seen_ = false, in_record_ = false, in_text_ = false;
  int depth_ = 0;
  int line_ = 0;
  std::string label_, date_, time_, text_;
};

// Pieces the walk is handed at a time: the parser keeps only what it has
// not yet consumed of them.
constexpr size_t kFeedSize = 256 * 1024;

void walk_fd(int fd, const MessageSink& each, const SkipSink& skipped) {
  MessagesWalk walk(each, skipped);
  std::vector<char> buf(kFeedSize);
  for (;;) {
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw BackupFileError(std::string("cannot be read (") + std::strerror(errno) + ")");
    if (n == 0 || !walk.feed(buf.data(), static_cast<size_t>(n))) break;
  }
  walk.finish();
}

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
  walk_fd(fd, each, skipped);
}

void read_messages_backup(const std::filesystem::path& file, const MessageSink& each,
                          const SkipSink& skipped) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw BackupFileError("cannot be read");
  try {
    walk_fd(fd, each, skipped);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
}

void read_messages_backup_bytes(std::string_view bytes, const MessageSink& each,
                                const SkipSink& skipped) {
  MessagesWalk walk(each, skipped);
  for (size_t at = 0; at < bytes.size(); at += kFeedSize)
    if (!walk.feed(bytes.data() + at, std::min(kFeedSize, bytes.size() - at))) break;
  walk.finish();
}

}  // namespace vardel::tools
