// Serialiser (see xml_writer.h).
#include "platform/msxml/xml_writer.h"

#include <cstring>

#include "platform/msxml/text.h"

namespace vardel::msxml {

namespace {

enum class Escape { none, text, attribute };

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Bytes that are copied as they are in every mode: printable ASCII other
// than the markup characters and the quote.
struct PlainBytes {
  bool plain[256] = {};
  constexpr PlainBytes() {
    for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '&' && c != '<' && c != '>' && c != '"';
  }
};
constexpr PlainBytes kPlain;

// Set when write_escaped replaces a character: the markup no longer reads
// back as the text it was written from.
thread_local bool t_replaced = false;

// The length of the well-formed two- or three-byte sequence at p that
// stands for a character XML carries, else 0 (the slow path decides).
inline int plain_sequence(const unsigned char* p) {
  if ((p[0] & 0xE0) == 0xC0) {
    return p[0] >= 0xC2 && (p[1] & 0xC0) == 0x80 ? 2 : 0;
  }
  if ((p[0] & 0xF0) == 0xE0 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
    const char32_t c = (char32_t(p[0] & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    return c >= 0x800 && (c < 0xD800 || c > 0xDFFF) && c < 0xFFFE && c != 0xFFFD ? 3 : 0;
  }
  return 0;
}

void write_escaped(std::string& out, const char* s, Escape mode) {
  const char* p = s;
  const char* run = p;        // start of bytes copied as they are
  const char* end = nullptr;  // found when a sequence needs a closer look
  auto flush = [&](const char* upto) { out.append(run, static_cast<size_t>(upto - run)); };
  for (;;) {
    // Most bytes need nothing: skip them (and well-formed characters of two
    // or three bytes; the terminating NUL stops both) before looking closer.
    for (;;) {
      const auto* u = reinterpret_cast<const unsigned char*>(p);
      if (kPlain.plain[*u]) {
        ++p;
      } else if (int n = *u >= 0x80 ? plain_sequence(u) : 0) {
        p += n;
      } else {
        break;
      }
    }
    if (*p == 0) break;
    auto c = static_cast<unsigned char>(*p);
    const char* rep = nullptr;
    if (c >= 0x80) {
      const char* at = p;
      if (end == nullptr) end = p + std::strlen(p);
      char32_t cp = decode_utf8(p, end);
      // decode_utf8 gives U+FFFD for malformed bytes; a real U+FFFD is fine
      // to copy either way.
      if (cp == 0xFFFD || !is_xml_char(cp)) {
        if (std::string_view(at, static_cast<size_t>(p - at)) != kReplacement) t_replaced = true;
        flush(at);
        out += kReplacement;
        run = p;
      }
      continue;
    }
    switch (c) {
      case '&':
        rep = mode == Escape::none ? nullptr : "&amp;";
        break;
      case '<':
        rep = mode == Escape::none ? nullptr : "&lt;";
        break;
      case '>':
        rep = mode == Escape::none ? nullptr : "&gt;";
        break;
      case '"':
        rep = mode == Escape::attribute ? "&quot;" : nullptr;
        break;
      case '\r':
        rep = mode == Escape::none ? nullptr : "&#13;";
        break;
      case '\n':
        rep = mode == Escape::attribute ? "&#10;" : "\r\n";
        break;
      case '\t':
        rep = mode == Escape::attribute ? "&#9;" : nullptr;
        break;
      default:
        if (c < 0x20) {
          rep = kReplacement;
          t_replaced = true;
        }
    }
    if (rep) {
      flush(p);
      out += rep;
      run = p + 1;
    }
    ++p;
  }
  flush(p);
}

void write_name(std::string& out, const char* name) { write_escaped(out, name, Escape::none); }

void write_attributes(std::string& out, pugi::xml_node n, bool declaration) {
  for (pugi::xml_attribute a : n.attributes()) {
    out += ' ';
    write_name(out, a.name());
    out += "=\"";
    // The file is written in UTF-8 whatever the loaded file declared.
    if (declaration && std::strcmp(a.name(), "encoding") == 0)
      out += "UTF-8";
    else
      write_escaped(out, a.value(), Escape::attribute);
    out += '"';
  }
}

// Writes the start of n; true when its children follow (and an end tag is due).
bool write_start(std::string& out, pugi::xml_node n) {
  switch (n.type()) {
    case pugi::node_element:
      out += '<';
      write_name(out, n.name());
      write_attributes(out, n, false);
      if (n.first_child()) {
        out += '>';
        return true;
      }
      out += "/>";
      return false;
    case pugi::node_pcdata:
      write_escaped(out, n.value(), Escape::text);
      return false;
    case pugi::node_cdata: {
      const char* v = n.value();
      if (std::strstr(v, "]]>") || std::strchr(v, '\r')) {
        write_escaped(out, v, Escape::text);  // CDATA cannot carry these; text can
      } else {
        out += "<![CDATA[";
        write_escaped(out, v, Escape::none);
        out += "]]>";
      }
      return false;
    }
    case pugi::node_comment:
      out += "<!--";
      write_escaped(out, n.value(), Escape::none);
      out += "-->";
      return false;
    case pugi::node_pi:
      out += "<?";
      write_name(out, n.name());
      if (*n.value()) {
        out += ' ';
        write_escaped(out, n.value(), Escape::none);
      }
      out += "?>";
      return false;
    case pugi::node_declaration:
      out += "<?xml";
      write_attributes(out, n, true);
      out += "?>";
      return false;
    default:
      return false;
  }
}

void write_end(std::string& out, pugi::xml_node n) {
  out += "</";
  write_name(out, n.name());
  out += '>';
}

// Hands what out holds to the sink once it reaches the chunk size.
struct Spill {
  size_t chunk = 0;
  const MarkupFlush* flush = nullptr;

  bool operator()(std::string& out) {
    if (flush == nullptr || out.size() < chunk) return true;
    const bool ok = (*flush)(out);
    out.clear();
    return ok;
  }
};

// A packed run's bytes, handed on piece by piece: what waits is handed on
// first, then each piece as it is, without a copy.
bool write_run(std::string& out, const PackedRun& run, Spill& spill) {
  if (spill.flush == nullptr)
    return run.each_piece([&](std::string_view piece) {
      out += piece;
      return true;
    });
  if (!out.empty() && !(*spill.flush)(out)) return false;
  out.clear();
  return run.each_piece([&](std::string_view piece) { return (*spill.flush)(piece); });
}

// tree: where packed runs are looked up; null when n holds none.
bool write_subtree(const Tree* tree, std::string& out, pugi::xml_node n, Spill& spill) {
  if (!write_start(out, n)) return spill(out);
  pugi::xml_node cur = n.first_child();
  for (;;) {
    if (!spill(out)) return false;
    if (const PackedRun* run = tree ? packed_run(*tree, cur) : nullptr) {
      if (!write_run(out, *run, spill)) return false;
    } else if (write_start(out, cur)) {
      cur = cur.first_child();
      continue;
    }
    while (!cur.next_sibling()) {
      cur = cur.parent();
      write_end(out, cur);
      if (cur == n) return spill(out);
    }
    cur = cur.next_sibling();
  }
}

bool write_document(const Tree& tree, pugi::xml_node n, std::string& out, Spill& spill) {
  if (n.type() != pugi::node_document) return write_subtree(&tree, out, n, spill);
  for (pugi::xml_node c : n.children()) {
    if (c == tree.detached) continue;
    if (c.type() == pugi::node_pcdata)
      out += c.value();  // white space between top-level nodes, as loaded
    else if (!write_subtree(&tree, out, c, spill))
      return false;
  }
  return true;
}

}  // namespace

bool write_exact(pugi::xml_node n, std::string& out) {
  if (n.type() != pugi::node_element) return false;
  t_replaced = false;
  if (!write_start(out, n)) return !t_replaced;
  // As write_subtree, refusing what a parser would not give back as it is:
  // anything but elements and texts, an empty text, two texts side by side.
  pugi::xml_node cur = n.first_child();
  bool after_text = false;
  for (;;) {
    const pugi::xml_node_type type = cur.type();
    if (type == pugi::node_pcdata) {
      if (after_text || *cur.value() == 0) return false;
      after_text = true;
    } else if (type == pugi::node_element) {
      after_text = false;
    } else {
      return false;
    }
    if (write_start(out, cur)) {
      cur = cur.first_child();
      after_text = false;
      continue;
    }
    while (!cur.next_sibling()) {
      cur = cur.parent();
      write_end(out, cur);
      after_text = false;
      if (cur == n) return !t_replaced;
    }
    cur = cur.next_sibling();
  }
}

bool write_markup(const Tree& tree, pugi::xml_node n, size_t chunk, const MarkupFlush& flush) {
  std::string out;
  out.reserve(chunk + 4096);
  Spill spill{chunk, &flush};
  if (!write_document(tree, n, out, spill)) return false;
  return out.empty() || flush(out);
}

}  // namespace vardel::msxml
