// The wide-string runtime: C runtime string calls for UTF-16, UTF-8
// conversion at the edges, and Unicode simple case folding.
#include "platform/core/wstr.h"

#include <algorithm>
#include <iterator>

namespace {

struct FoldRun {
  char32_t first;
  char32_t last;
  int delta;
  int stride;
};

constexpr FoldRun kFoldRuns[] = {
#include "platform/core/case_fold_table.inc"
};

bool is_high(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Reads one code point at s[i] (a pair counts as one; a lone surrogate is
// itself) and advances i.
char32_t next_code_point(const WCHAR* s, size_t& i, size_t end) {
  char32_t u = s[i++];
  if (is_high(u) && i < end && is_low(s[i])) {
    u = 0x10000 + ((u - 0xD800) << 10) + (s[i++] - 0xDC00);
  }
  return u;
}

}  // namespace

size_t wcslen(const WCHAR* s) {
  const WCHAR* p = s;
  while (*p) ++p;
  return static_cast<size_t>(p - s);
}

size_t wcsnlen(const WCHAR* s, size_t max) {
  size_t n = 0;
  while (n < max && s[n]) ++n;
  return n;
}

WCHAR* wcscpy(WCHAR* dst, const WCHAR* src) {
  WCHAR* d = dst;
  while ((*d++ = *src++) != 0) {
  }
  return dst;
}

WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n) {
  size_t i = 0;
  for (; i < n && src[i]; ++i) dst[i] = src[i];
  for (; i < n; ++i) dst[i] = 0;
  return dst;
}

WCHAR* wcscat(WCHAR* dst, const WCHAR* src) {
  wcscpy(dst + wcslen(dst), src);
  return dst;
}

int wcscmp(const WCHAR* a, const WCHAR* b) {
  while (*a && *a == *b) ++a, ++b;
  return (*a > *b) - (*a < *b);
}

int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return (a[i] > b[i]) - (a[i] < b[i]);
    if (!a[i]) break;
  }
  return 0;
}

int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n) {
  size_t ia = 0, ib = 0;
  size_t ea = wcsnlen(a, n), eb = wcsnlen(b, n);
  while (ia < ea && ib < eb) {
    char32_t ca = vardel::fold_case(next_code_point(a, ia, ea));
    char32_t cb = vardel::fold_case(next_code_point(b, ib, eb));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  bool more_a = ia < ea, more_b = ib < eb;
  return more_a - more_b;
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) { return _wcsnicmp(a, b, static_cast<size_t>(-1)); }

const WCHAR* wcschr(const WCHAR* s, WCHAR c) {
  for (;; ++s) {
    if (*s == c) return s;
    if (!*s) return nullptr;
  }
}
WCHAR* wcschr(WCHAR* s, WCHAR c) {
  return const_cast<WCHAR*>(wcschr(static_cast<const WCHAR*>(s), c));
}

const WCHAR* wcsrchr(const WCHAR* s, WCHAR c) {
  const WCHAR* found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (!*s) return found;
  }
}
WCHAR* wcsrchr(WCHAR* s, WCHAR c) {
  return const_cast<WCHAR*>(wcsrchr(static_cast<const WCHAR*>(s), c));
}

const WCHAR* wcsstr(const WCHAR* s, const WCHAR* sub) {
  size_t n = wcslen(sub);
  if (n == 0) return s;
  for (; *s; ++s)
    if (*s == *sub && wcsncmp(s, sub, n) == 0) return s;
  return nullptr;
}

namespace vardel {

char32_t fold_case(char32_t c) {
  if (c < 0x80) return c >= U'A' && c <= U'Z' ? c + 32 : c;  // most texts are plain ASCII
  // Runs are sorted by first code point and do not overlap.
  auto it = std::upper_bound(std::begin(kFoldRuns), std::end(kFoldRuns), c,
                             [](char32_t v, const FoldRun& r) { return v < r.first; });
  if (it == std::begin(kFoldRuns)) return c;
  const FoldRun& r = *std::prev(it);
  if (c > r.last || (c - r.first) % r.stride != 0) return c;
  return static_cast<char32_t>(static_cast<int>(c) + r.delta);
}

std::u16string fold_case(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    char32_t c = fold_case(next_code_point(s.data(), i, s.size()));
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string utf8(std::u16string_view s) {
  // At most three bytes a unit (a pair's four bytes stand for two units): the
  // text is encoded straight into a buffer of that size, then cut to fit.
  std::string out(s.size() * 3, '\0');
  auto* o = reinterpret_cast<unsigned char*>(out.data());
  size_t i = 0;
  while (i < s.size()) {
    char32_t c = s[i];
    if (c < 0x80) {
      *o++ = static_cast<unsigned char>(c);
      ++i;
      continue;
    }
    c = next_code_point(s.data(), i, s.size());
    if (is_high(c) || is_low(c)) c = 0xFFFD;  // a lone surrogate
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
  out.resize(static_cast<size_t>(o - reinterpret_cast<unsigned char*>(out.data())));
  return out;
}

std::string ascii_lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string ascii_upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool ascii_iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool ascii_iends_with(std::string_view s, std::string_view ending) {
  return s.size() >= ending.size() && ascii_iequals(s.substr(s.size() - ending.size()), ending);
}

std::string utf8(const WCHAR* s) { return s ? utf8(std::u16string_view(s)) : std::string(); }

std::u16string utf16(std::string_view s) {
  // Never more units than bytes: the text is decoded straight into a buffer
  // of that size, which is then cut to what was written. Each well-formed
  // sequence is decoded by its length; anything else (a stray or missing
  // continuation byte, an overlong form, an encoded surrogate, a value past
  // U+10FFFF) gives U+FFFD for its first byte and decoding goes on at the next.
  std::u16string out(s.size(), u'\0');
  char16_t* o = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* end = p + s.size();
  auto follows = [](unsigned char b) { return (b & 0xC0) == 0x80; };
  while (p < end) {
    const unsigned char b0 = *p;
    if (b0 < 0x80) {
      *o++ = b0;
      p += 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF && end - p >= 3 && follows(p[1]) && follows(p[2])) {
      const char32_t v = (char32_t(b0 & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
      const bool ok = v >= 0x800 && !(v >= 0xD800 && v <= 0xDFFF);
      *o++ = ok ? static_cast<char16_t>(v) : u'\uFFFD';
      p += ok ? 3 : 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF && end - p >= 2 && follows(p[1])) {
      *o++ = static_cast<char16_t>((char32_t(b0 & 0x1F) << 6) | (p[1] & 0x3F));
      p += 2;
    } else if (b0 >= 0xF0 && b0 <= 0xF4 && end - p >= 4 && follows(p[1]) && follows(p[2]) &&
               follows(p[3])) {
      const char32_t v = (char32_t(b0 & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
                         (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
      if (v >= 0x10000 && v <= 0x10FFFF) {
        *o++ = static_cast<char16_t>(0xD800 + ((v - 0x10000) >> 10));
        *o++ = static_cast<char16_t>(0xDC00 + ((v - 0x10000) & 0x3FF));
        p += 4;
      } else {
        *o++ = u'\uFFFD';
        p += 1;
      }
    } else {
      *o++ = u'\uFFFD';
      p += 1;
    }
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

}  // namespace vardel
