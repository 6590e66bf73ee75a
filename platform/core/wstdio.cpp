// The C runtime's wide stream calls: CE paths through the device mapping,
// text out as UTF-8.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/core/device.h"
#include "platform/core/windows.h"

FILE* _wfopen(const WCHAR* filename, const WCHAR* mode) {
  if (!filename || !mode) return nullptr;
  // "t" (text) and "b" are the same on the host; a ",ccs=" suffix is ignored.
  std::string m;
  for (const WCHAR* p = mode; *p && *p != u','; ++p) {
    if (*p == u'r' || *p == u'w' || *p == u'a' || *p == u'+') m.push_back(static_cast<char>(*p));
  }
  if (m.empty()) return nullptr;
  const bool plus = m.find('+') != std::string::npos;
  int flags;
  switch (m[0]) {
    case 'r':
      flags = plus ? O_RDWR : O_RDONLY;
      break;
    case 'w':
      flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
      break;
    case 'a':
      flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
      break;
    default:
      return nullptr;
  }
  const int fd = vardel::device::open_file(filename, flags);
  if (fd < 0) return nullptr;
  FILE* f = ::fdopen(fd, m.c_str());
  if (!f) ::close(fd);
  return f;
}

int vfwprintf(FILE* stream, const WCHAR* format, va_list args) {
  if (!stream || !format) return -1;
  std::u16string text = vardel::vformat(format, args);
  std::string out = vardel::utf8(text);
  if (std::fwrite(out.data(), 1, out.size(), stream) != out.size()) return -1;
  return static_cast<int>(text.size());
}

int fwprintf(FILE* stream, const WCHAR* format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = vfwprintf(stream, format, ap);
  va_end(ap);
  return n;
}

int fputws(const WCHAR* ws, FILE* stream) {
  if (!ws || !stream) return EOF;
  // Encoded through a buffer on the stack (a lone surrogate as U+FFFD, as
  // vardel::utf8 does): logs write short lines often.
  char buf[512];
  size_t n = 0;
  for (const WCHAR* p = ws; *p; ++p) {
    if (n + 4 > sizeof buf) {
      if (std::fwrite(buf, 1, n, stream) != n) return EOF;
      n = 0;
    }
    char32_t c = *p;
    if (c < 0x80) {
      buf[n++] = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x800) {
      buf[n++] = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      buf[n++] = static_cast<char>(0xE0 | (c >> 12));
      buf[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      buf[n++] = static_cast<char>(0xF0 | (c >> 18));
      buf[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      buf[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    buf[n++] = static_cast<char>(0x80 | (c & 0x3F));
  }
  return std::fwrite(buf, 1, n, stream) == n ? 0 : EOF;
}
