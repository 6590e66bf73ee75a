#include "host/tools/vcard_lines.h"
#include "platform/core/wstr.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace vardel::tools::vcard {

namespace {

std::string upper(std::string_view s) { return ascii_upper(s); }
std::string lower(std::string_view s) { return ascii_lower(s); }

// Splits at a separator outside double quotes.
std::vector<std::string> split_unquoted(std::string_view s, char sep) {
  std::vector<std::string> parts;
  std::string cur;
  bool quoted = false;
  for (char c : s) {
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (c == sep && !quoted) {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  return parts;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string decode_quoted_printable(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '=') {
      int hi = i + 1 < s.size() ? hex_digit(s[i + 1]) : -1;
      int lo = i + 2 < s.size() ? hex_digit(s[i + 2]) : -1;
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
      if (i + 1 == s.size()) break;  // a soft break left at the end
    }
    out += s[i];
  }
  return out;
}

}  // namespace

bool ContentLine::has_type(std::string_view t) const {
  return std::find(types.begin(), types.end(), t) != types.end();
}

std::optional<ContentLine> parse(const RawLine& raw, std::string* error) {
  // The name and parameters end at the first colon outside quotes.
  size_t colon = std::string::npos;
  bool quoted = false;
  for (size_t i = 0; i < raw.text.size(); ++i) {
    if (raw.text[i] == '"') quoted = !quoted;
    if (raw.text[i] == ':' && !quoted) {
      colon = i;
      break;
    }
  }
  if (colon == std::string::npos || colon == 0) {
    if (error) *error = "not a vCard line (no \":\")";
    return std::nullopt;
  }
  ContentLine cl;
  cl.line = raw.line;
  auto head = split_unquoted(std::string_view(raw.text).substr(0, colon), ';');
  std::string name = head[0];
  if (auto dot = name.find('.'); dot != std::string::npos) name = name.substr(dot + 1);
  cl.name = upper(name);
  if (cl.name.empty()) {
    if (error) *error = "property without a name";
    return std::nullopt;
  }
  for (size_t i = 1; i < head.size(); ++i) {
    const std::string& p = head[i];
    auto eq = p.find('=');
    std::string key = upper(eq == std::string::npos ? p : p.substr(0, eq));
    std::string val = eq == std::string::npos ? "" : p.substr(eq + 1);
    if (eq == std::string::npos) {
      // vCard 2.1 writes bare parameters: "TEL;WORK;FAX", "NOTE;QUOTED-PRINTABLE".
      if (key == "QUOTED-PRINTABLE")
        cl.quoted_printable = true;
      else if (!key.empty())
        cl.types.push_back(lower(key));
    } else if (key == "TYPE") {
      for (auto& t : split_unquoted(val, ',')) cl.types.push_back(lower(t));
    } else if (key == "ENCODING") {
      std::string e = upper(val);
      if (e == "QUOTED-PRINTABLE" || e == "QP") cl.quoted_printable = true;
    } else if (key == "CHARSET") {
      cl.charset = val;
    } else if (key == "SORT-AS") {
      cl.sort_as = val;
    } else if (key == "X-SLOT") {
      cl.slot = val;
    } else if (key == "X-EOL") {
      for (auto& e : split_unquoted(val, ',')) cl.line_breaks.push_back(upper(e));
    }
  }
  std::string value = raw.text.substr(colon + 1);
  if (cl.quoted_printable) value = decode_quoted_printable(value);
  // The value stays in the file's bytes: which charset they are in is
  // decided for the whole file (vcard_charset.h).
  cl.value = std::move(value);
  return cl;
}

std::string unescape(std::string_view value, const std::vector<std::string>& line_breaks,
                     size_t* counted) {
  std::string out;
  size_t local = 0;
  size_t& breaks = counted != nullptr ? *counted : local;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      char n = value[++i];
      if (n == 'n' || n == 'N') {
        // X-EOL names each break of the value in turn (one name: all of them).
        std::string kind;
        if (line_breaks.size() == 1)
          kind = line_breaks[0];
        else if (breaks < line_breaks.size())
          kind = line_breaks[breaks];
        ++breaks;
        out += kind == "CRLF" ? "\r\n" : kind == "CR" ? "\r" : "\n";
      } else {
        out += n;
      }
    } else {
      out += value[i];
    }
  }
  return out;
}

std::vector<std::string> split_structured(std::string_view value, char separator,
                                          const std::vector<std::string>& line_breaks) {
  std::vector<std::string> parts;
  std::string cur;
  size_t breaks = 0;  // X-EOL counts the breaks of all parts together
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      cur += value[i];
      cur += value[++i];
    } else if (value[i] == separator) {
      parts.push_back(unescape(cur, line_breaks, &breaks));
      cur.clear();
    } else {
      cur += value[i];
    }
  }
  parts.push_back(unescape(cur, line_breaks, &breaks));
  return parts;
}

std::string line_break_kinds(std::string_view text) {
  std::vector<std::string> kinds;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      const bool crlf = i + 1 < text.size() && text[i + 1] == '\n';
      kinds.push_back(crlf ? "CRLF" : "CR");
      if (crlf) ++i;
    } else if (text[i] == '\n') {
      kinds.push_back("LF");
    }
  }
  bool all_lf = true, all_same = true;
  for (auto& k : kinds) {
    all_lf = all_lf && k == "LF";
    all_same = all_same && k == kinds.front();
  }
  if (kinds.empty() || all_lf) return "";
  if (all_same) return kinds.front();
  std::string list;
  for (auto& k : kinds) list += (list.empty() ? "" : ",") + k;
  return list;
}

std::string escape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case ',':
        out += "\\,";
        break;
      case ';':
        out += "\\;";
        break;
      case '\r':
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        out += "\\n";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string fold(std::string_view line) {
  std::string out;
  size_t width = 0;
  for (size_t i = 0; i < line.size();) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    len = std::min(len, line.size() - i);
    if (width + len > 75) {
      out += "\r\n ";
      width = 1;
    }
    out.append(line.substr(i, len));
    width += len;
    i += len;
  }
  out += "\r\n";
  return out;
}

std::optional<std::string> to_utf8(std::string_view bytes, const std::string& charset) {
  iconv_t cd = iconv_open("UTF-8", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in(bytes);
  std::string out(in.size() * 4 + 16, '\0');
  char* inp = in.data();
  size_t inleft = in.size();
  char* outp = out.data();
  size_t outleft = out.size();
  size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return std::nullopt;
  out.resize(out.size() - outleft);
  return out;
}

bool valid_utf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n;
    if (c < 0x80)
      n = 0;
    else if (c >= 0xC2 && c <= 0xDF)
      n = 1;
    else if (c >= 0xE0 && c <= 0xEF)
      n = 2;
    else if (c >= 0xF0 && c <= 0xF4)
      n = 3;
    else
      return false;
    if (i + n >= s.size() && n > 0) return false;
    for (size_t k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    i += n + 1;
  }
  return true;
}

}  // namespace vardel::tools::vcard
