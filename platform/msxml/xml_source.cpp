// Reading, decoding and checking XML input (see xml_source.h).
#include "platform/msxml/xml_source.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/msxml/text.h"
#include "platform/core/wstr.h"

namespace vardel::msxml {

std::optional<std::string> read_file(const std::filesystem::path& path) {
  // O_NONBLOCK keeps open() from waiting on a FIFO; it is refused below.
  return read_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
}

std::optional<std::string> read_fd(int fd) {
  if (fd < 0) return std::nullopt;
  std::optional<std::string> result;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    std::string data;
    data.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    bool ok = true;
    for (;;) {
      if (got == data.size()) data.resize(data.size() + 65536);  // the file grew
      ssize_t n = ::read(fd, data.data() + got, data.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        ok = false;
        break;
      }
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
    if (ok) {
      data.resize(got);
      result = std::move(data);
    }
  }
  ::close(fd);
  return result;
}

namespace {

std::string lower(std::string_view s) { return ascii_lower(s); }

std::optional<std::string> convert(const char* from, std::string_view in) {
  iconv_t cd = ::iconv_open("UTF-8", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  out.resize(in.size() * 2 + 16);
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  size_t done = 0;
  bool ok = true;
  while (src_left > 0) {
    char* dst = out.data() + done;
    size_t dst_left = out.size() - done;
    size_t r = ::iconv(cd, &src, &src_left, &dst, &dst_left);
    done = out.size() - dst_left;
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    ok = false;  // EILSEQ or EINVAL: bytes not valid in the declared encoding
    break;
  }
  ::iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(done);
  return out;
}

// The value of encoding="..." in an XML declaration written in an
// ASCII-compatible encoding, or empty.
std::string declared_encoding(std::string_view bytes) {
  if (bytes.substr(0, 5) != "<?xml") return {};
  size_t end = bytes.find("?>");
  if (end == std::string_view::npos) return {};
  std::string_view decl = bytes.substr(0, end);
  size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return {};
  at += 8;
  while (at < decl.size() && is_xml_space(decl[at])) ++at;
  if (at >= decl.size() || decl[at] != '=') return {};
  ++at;
  while (at < decl.size() && is_xml_space(decl[at])) ++at;
  if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\'')) return {};
  char quote = decl[at++];
  size_t close = decl.find(quote, at);
  if (close == std::string_view::npos) return {};
  return std::string(decl.substr(at, close - at));
}

}  // namespace

std::optional<std::string> to_utf8_text(std::string bytes) {
  std::string_view b(bytes);
  if (b.substr(0, 3) == "\xEF\xBB\xBF") return bytes.substr(3);
  if (b.substr(0, 2) == "\xFF\xFE") return convert("UTF-16LE", b.substr(2));
  if (b.substr(0, 2) == "\xFE\xFF") return convert("UTF-16BE", b.substr(2));
  if (b.substr(0, 4) == std::string_view("<\0?\0", 4)) return convert("UTF-16LE", b);
  if (b.substr(0, 4) == std::string_view("\0<\0?", 4)) return convert("UTF-16BE", b);
  std::string enc = lower(declared_encoding(b));
  if (enc.empty() || enc == "utf-8" || enc == "utf8" || enc == "utf-16" || enc == "unicode") {
    // A text that starts in ASCII cannot be UTF-16 whatever it declares.
    return bytes;
  }
  if (enc == "gb2312" || enc == "gbk" || enc == "cp936" || enc == "x-gbk" || enc == "gb_2312-80" ||
      enc == "euc-cn" || enc == "gb18030")
    return convert("GB18030", b);
  if (enc == "big5" || enc == "big-5" || enc == "cn-big5" || enc == "x-x-big5")
    return convert("BIG5-HKSCS", b);
  return convert(enc.c_str(), b);
}

namespace {

bool starts(std::string_view s, size_t at, std::string_view what) {
  return s.substr(at, what.size()) == what;
}

// A reference at text[at] == '&': one of the five predefined entities or a
// character reference to a character XML can carry.
bool reference_ok(std::string_view text, size_t at) {
  size_t semi = text.find(';', at);
  if (semi == std::string_view::npos || semi - at > 12) return false;
  std::string_view name = text.substr(at + 1, semi - at - 1);
  if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos")
    return true;
  if (name.size() < 2 || name[0] != '#') return false;
  char32_t c = 0;
  if (name[1] == 'x') {
    if (name.size() < 3) return false;
    for (char d : name.substr(2)) {
      int v = (d >= '0' && d <= '9')   ? d - '0'
              : (d >= 'a' && d <= 'f') ? d - 'a' + 10
              : (d >= 'A' && d <= 'F') ? d - 'A' + 10
                                       : -1;
      if (v < 0) return false;
      c = c * 16 + static_cast<char32_t>(v);
    }
  } else {
    for (char d : name.substr(1)) {
      if (d < '0' || d > '9') return false;
      c = c * 10 + static_cast<char32_t>(d - '0');
    }
  }
  return is_xml_char(c);
}

// Every '&' outside comments, CDATA sections and instructions starts an
// allowed reference.
bool references_ok(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    size_t next = text.find_first_of("<&", i);
    if (next == std::string_view::npos) return true;
    i = next;
    if (text[i] == '&') {
      if (!reference_ok(text, i)) return false;
      ++i;
    } else if (starts(text, i, "<!--")) {
      size_t e = text.find("-->", i + 4);
      if (e == std::string_view::npos) return false;
      i = e + 3;
    } else if (starts(text, i, "<![CDATA[")) {
      size_t e = text.find("]]>", i + 9);
      if (e == std::string_view::npos) return false;
      i = e + 3;
    } else if (starts(text, i, "<?")) {
      size_t e = text.find("?>", i + 2);
      if (e == std::string_view::npos) return false;
      i = e + 2;
    } else {
      ++i;
    }
  }
  return true;
}

size_t skip_space(std::string_view s, size_t i) {
  while (i < s.size() && is_xml_space(s[i])) ++i;
  return i;
}

}  // namespace

std::optional<TopLevelSpace> check_and_scan(std::string_view text) {
  if (!references_ok(text)) return std::nullopt;
  TopLevelSpace out;
  // Forward through the prolog up to the root element.
  size_t i = 0;
  for (;;) {
    size_t s = skip_space(text, i);
    std::string space(text.substr(i, s - i));
    i = s;
    if (i >= text.size()) return std::nullopt;  // no root element
    size_t e;
    if (starts(text, i, "<?")) {
      e = text.find("?>", i + 2);
      if (e == std::string_view::npos) return std::nullopt;
      e += 2;
    } else if (starts(text, i, "<!--")) {
      e = text.find("-->", i + 4);
      if (e == std::string_view::npos) return std::nullopt;
      e += 3;
    } else if (starts(text, i, "<!")) {
      return std::nullopt;  // DOCTYPE (or junk): refused
    } else if (text[i] == '<') {
      out.before.push_back(std::move(space));
      break;
    } else {
      return std::nullopt;  // text before the root element
    }
    out.before.push_back(std::move(space));
    i = e;
  }
  size_t root_start = i;
  // Backward over what follows the root element.
  std::vector<std::string> after;  // in reverse
  size_t j = text.size();
  bool trailing_done = false;
  for (;;) {
    size_t k = j;
    while (k > root_start && is_xml_space(text[k - 1])) --k;
    std::string space(text.substr(k, j - k));
    if (!trailing_done) {
      out.trailing = std::move(space);
      trailing_done = true;
    } else {
      after.push_back(std::move(space));
    }
    j = k;
    if (j <= root_start) return std::nullopt;
    std::string_view head = text.substr(root_start, j - root_start);
    size_t b;
    if (head.ends_with("-->")) {
      b = head.rfind("<!--", head.size() - 3);
    } else if (head.ends_with("?>")) {
      b = head.rfind("<?", head.size() - 2);
    } else if (head.ends_with(">")) {
      break;  // the end of the root element
    } else {
      return std::nullopt;  // text after the root element
    }
    if (b == std::string_view::npos || b == 0) return std::nullopt;
    j = root_start + b;
  }
  // after[] holds, from last to first, the space before each node that
  // follows the root element; that space stands after the previous node.
  // Rotate: the space in front of the first trailing node follows the root.
  std::reverse(after.begin(), after.end());
  for (auto& s : after) out.before.push_back(std::move(s));
  return out;
}

}  // namespace vardel::msxml
