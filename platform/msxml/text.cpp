// UTF-16/UTF-8 conversion and the XML character rules (see text.h).
#include "platform/msxml/text.h"

#include <array>

#include "platform/core/wstr.h"

namespace vardel::msxml {

void append_utf8(std::string& out, std::u16string_view s) {
  // At most three bytes a unit (a pair's four bytes stand for two units):
  // encoded straight into room made for that, then cut to what was written.
  const size_t start = out.size();
  out.resize(start + s.size() * 3);
  auto* o = reinterpret_cast<unsigned char*>(out.data() + start);
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c < 0x80 && c != 0) {
      *o++ = static_cast<unsigned char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c == 0) {
      c = 0xFFFD;
    }
    if (c < 0x800) {
      *o++ = static_cast<unsigned char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      *o++ = static_cast<unsigned char>(0xE0 | (c >> 12));
      *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      *o++ = static_cast<unsigned char>(0xF0 | (c >> 18));
      *o++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    }
    *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
  }
  out.resize(static_cast<size_t>(reinterpret_cast<char*>(o) - out.data()));
}

std::string to_utf8(std::u16string_view s) {
  std::string out;
  append_utf8(out, s);
  return out;
}

std::u16string_view bstr_view(BSTR b) {
  if (!b) return {};
  return std::u16string_view(b, SysStringLen(b));
}

char32_t decode_utf8(const char*& p, const char* end) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  unsigned char b0 = u[0];
  if (b0 < 0x80) {
    ++p;
    return b0;
  }
  int len;
  char32_t c;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, c = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, c = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, c = b0 & 0x07, min = 0x10000;
  } else {
    ++p;
    return 0xFFFD;
  }
  if (end - p < len) {
    ++p;
    return 0xFFFD;
  }
  for (int i = 1; i < len; ++i) {
    if ((u[i] & 0xC0) != 0x80) {
      ++p;
      return 0xFFFD;
    }
    c = (c << 6) | (u[i] & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++p;
    return 0xFFFD;
  }
  p += len;
  return c;
}

BSTR to_bstr(std::string_view utf8) {
  thread_local std::u16string buf;
  buf.clear();
  buf.reserve(utf8.size());
  const char* p = utf8.data();
  const char* end = p + utf8.size();
  while (p < end) {
    if (static_cast<unsigned char>(*p) < 0x80) {
      buf.push_back(static_cast<char16_t>(*p++));
      continue;
    }
    char32_t c = decode_utf8(p, end);
    if (c >= 0x10000) {
      c -= 0x10000;
      buf.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      buf.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      buf.push_back(static_cast<char16_t>(c));
    }
  }
  BSTR result = SysAllocStringLen(buf.data(), static_cast<UINT>(buf.size()));
  if (buf.capacity() > (1u << 20))
    std::u16string().swap(buf);  // don't keep a whole document's worth
  return result;
}

namespace {

constexpr bool is_name_start(char32_t c) {
  return c == ':' || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
         (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0xEFFFF);
}

constexpr bool is_name_char(char32_t c) {
  return is_name_start(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// The same two questions for ASCII, answered from a table: a backup checks
// the name of every element and attribute it makes.
constexpr unsigned char kStart = 1, kChar = 2;
constexpr std::array<unsigned char, 128> kAsciiName = [] {
  std::array<unsigned char, 128> t{};
  for (char32_t c = 0; c < 128; ++c)
    t[c] =
        static_cast<unsigned char>((is_name_start(c) ? kStart : 0) | (is_name_char(c) ? kChar : 0));
  return t;
}();

}  // namespace

bool is_xml_name(std::u16string_view name) {
  if (name.empty()) return false;
  bool first = true;
  for (size_t i = 0; i < name.size(); ++i) {
    char32_t c = name[i];
    if (c < 0x80) {
      if (!(kAsciiName[c] & (first ? kStart : kChar))) return false;
      first = false;
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (name[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
    if (first ? !is_name_start(c) : !is_name_char(c)) return false;
    first = false;
  }
  return true;
}

}  // namespace vardel::msxml
