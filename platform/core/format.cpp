// The printf-family formatter for WCHAR formats.
//
// Integer arguments follow the phone's sizes: plain and "l" conversions take
// a 32-bit int (LONG and DWORD are 32-bit there), "ll" and "I64" a 64-bit
// one, "h" a short. Floating conversions are handed to snprintf.
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "platform/core/wstr.h"

namespace {

enum class Size { normal, h, hh, l, ll, z };

struct Spec {
  bool left = false, plus = false, space = false, zero = false, alt = false;
  int width = 0;
  int precision = -1;
  Size size = Size::normal;
};

void pad(std::u16string& out, int n, char16_t c) {
  if (n > 0) out.append(static_cast<size_t>(n), c);
}

// Places body (the text after sign and prefix) with width and flags.
void emit(std::u16string& out, const Spec& sp, std::u16string_view lead, std::u16string_view body,
          bool zero_pad_allowed) {
  int len = static_cast<int>(lead.size() + body.size());
  int fill = sp.width - len;
  if (sp.left) {
    out.append(lead);
    out.append(body);
    pad(out, fill, u' ');
  } else if (sp.zero && zero_pad_allowed) {
    out.append(lead);
    pad(out, fill, u'0');
    out.append(body);
  } else {
    pad(out, fill, u' ');
    out.append(lead);
    out.append(body);
  }
}

void emit_integer(std::u16string& out, const Spec& sp, char conv, unsigned long long mag,
                  bool negative) {
  unsigned base = conv == 'o' ? 8 : (conv == 'x' || conv == 'X' || conv == 'p') ? 16 : 10;
  const char* digits = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  char16_t buf[32];
  int n = 0;
  if (!(mag == 0 && sp.precision == 0)) {
    do {
      buf[n++] = static_cast<char16_t>(digits[mag % base]);
      mag /= base;
    } while (mag);
  }
  // The digits after the precision's zeros (and an octal form's leading
  // zero), on the stack unless the precision is wider than it: numbers are
  // formatted often.
  char16_t stack[96];
  std::u16string heap;
  const size_t zeros = sp.precision > n ? static_cast<size_t>(sp.precision - n) : 0;
  char16_t* body_buf = stack;
  if (zeros + static_cast<size_t>(n) + 1 > std::size(stack)) {
    heap.resize(zeros + static_cast<size_t>(n) + 1);
    body_buf = heap.data();
  }
  size_t body_len = 0;
  for (size_t i = 0; i < zeros; ++i) body_buf[body_len++] = u'0';
  for (int i = n - 1; i >= 0; --i) body_buf[body_len++] = buf[i];
  if (sp.alt && conv == 'o' && (body_len == 0 || body_buf[0] != u'0')) {
    std::char_traits<char16_t>::move(body_buf + 1, body_buf, body_len);
    body_buf[0] = u'0';
    ++body_len;
  }
  std::u16string_view body(body_buf, body_len);

  char16_t lead_buf[4];
  size_t lead_len = 0;
  bool is_signed = conv == 'd' || conv == 'i';
  if (is_signed) {
    if (negative)
      lead_buf[lead_len++] = u'-';
    else if (sp.plus)
      lead_buf[lead_len++] = u'+';
    else if (sp.space)
      lead_buf[lead_len++] = u' ';
  }
  if ((sp.alt && (conv == 'x' || conv == 'X') && n > 0 && !(n == 1 && buf[0] == u'0')) ||
      conv == 'p') {
    lead_buf[lead_len++] = u'0';
    lead_buf[lead_len++] = conv == 'X' ? u'X' : u'x';
  }
  std::u16string_view lead(lead_buf, lead_len);
  emit(out, sp, lead, body, sp.precision < 0);
}

}  // namespace

namespace vardel {

namespace {

// Appends the formatted text to out.
void vformat_into(std::u16string& out, const WCHAR* fmt, va_list args) {
  if (!fmt) return;
  va_list ap;
  va_copy(ap, args);
  for (const WCHAR* p = fmt; *p;) {
    if (*p != u'%') {
      const WCHAR* run = p;  // text between conversions, appended at once
      while (*p && *p != u'%') ++p;
      out.append(run, p);
      continue;
    }
    const WCHAR* start = p++;
    Spec sp;
    for (;; ++p) {
      if (*p == u'-')
        sp.left = true;
      else if (*p == u'+')
        sp.plus = true;
      else if (*p == u' ')
        sp.space = true;
      else if (*p == u'0')
        sp.zero = true;
      else if (*p == u'#')
        sp.alt = true;
      else
        break;
    }
    if (*p == u'*') {
      int w = va_arg(ap, int);
      if (w < 0) {
        sp.left = true;
        w = w == INT32_MIN ? INT32_MAX : -w;
      }
      sp.width = w;
      ++p;
    } else {
      while (*p >= u'0' && *p <= u'9') sp.width = sp.width * 10 + (*p++ - u'0');
    }
    if (*p == u'.') {
      ++p;
      sp.precision = 0;
      if (*p == u'*') {
        int pr = va_arg(ap, int);
        sp.precision = pr < 0 ? -1 : pr;
        ++p;
      } else {
        while (*p >= u'0' && *p <= u'9') sp.precision = sp.precision * 10 + (*p++ - u'0');
      }
    }
    if (*p == u'h') {
      ++p;
      sp.size = Size::h;
      if (*p == u'h') ++p, sp.size = Size::hh;
    } else if (*p == u'l') {
      ++p;
      sp.size = Size::l;
      if (*p == u'l') ++p, sp.size = Size::ll;
    } else if (*p == u'I' && p[1] == u'6' && p[2] == u'4') {
      p += 3;
      sp.size = Size::ll;
    } else if (*p == u'z') {
      ++p;
      sp.size = Size::z;
    }
    WCHAR conv = *p;
    if (!conv) {  // a format cut short: write it as it stands
      out.append(start, p);
      break;
    }
    ++p;
    switch (conv) {
      case u'%':
        out.push_back(u'%');
        break;
      case u'd':
      case u'i': {
        long long v;
        if (sp.size == Size::ll)
          v = va_arg(ap, long long);
        else if (sp.size == Size::z)
          v = static_cast<long long>(va_arg(ap, ptrdiff_t));
        else
          v = va_arg(ap, int);
        if (sp.size == Size::h) v = static_cast<short>(v);
        if (sp.size == Size::hh) v = static_cast<signed char>(v);
        unsigned long long mag =
            v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
        emit_integer(out, sp, static_cast<char>(conv), mag, v < 0);
        break;
      }
      case u'u':
      case u'x':
      case u'X':
      case u'o': {
        unsigned long long v;
        if (sp.size == Size::ll)
          v = va_arg(ap, unsigned long long);
        else if (sp.size == Size::z)
          v = va_arg(ap, size_t);
        else
          v = va_arg(ap, unsigned int);
        if (sp.size == Size::h) v = static_cast<unsigned short>(v);
        if (sp.size == Size::hh) v = static_cast<unsigned char>(v);
        emit_integer(out, sp, static_cast<char>(conv), v, false);
        break;
      }
      case u'p': {
        void* v = va_arg(ap, void*);
        if (!v) {
          Spec plain = sp;
          plain.zero = false;
          emit(out, plain, u"", u"(nil)", false);
        } else {
          emit_integer(out, sp, 'p', reinterpret_cast<std::uintptr_t>(v), false);
        }
        break;
      }
      case u'c':
      case u'C': {
        int v = va_arg(ap, int);
        char16_t ch = sp.size == Size::h ? static_cast<char16_t>(static_cast<unsigned char>(v))
                                         : static_cast<char16_t>(v);
        emit(out, sp, u"", std::u16string_view(&ch, 1), false);
        break;
      }
      case u's':
      case u'S': {
        // %s is a WCHAR text; %hs and %S a narrow (UTF-8) one, as in the
        // phone's wide formatters.
        std::u16string narrow;
        std::u16string_view text;
        if (conv == u'S' || sp.size == Size::h) {
          const char* s = va_arg(ap, const char*);
          narrow = utf16(s ? s : "(null)");
          text = narrow;
        } else {
          const WCHAR* s = va_arg(ap, const WCHAR*);
          text =
              s ? std::u16string_view(s, sp.precision >= 0 ? wcsnlen(s, sp.precision) : wcslen(s))
                : std::u16string_view(u"(null)");
        }
        if (sp.precision >= 0 && text.size() > static_cast<size_t>(sp.precision))
          text = text.substr(0, sp.precision);
        emit(out, sp, u"", text, false);
        break;
      }
      case u'e':
      case u'E':
      case u'f':
      case u'F':
      case u'g':
      case u'G':
      case u'a':
      case u'A': {
        double v = va_arg(ap, double);
        std::string spec = "%";
        if (sp.left) spec += '-';
        if (sp.plus) spec += '+';
        if (sp.space) spec += ' ';
        if (sp.zero) spec += '0';
        if (sp.alt) spec += '#';
        spec += std::to_string(sp.width);
        if (sp.precision >= 0) spec += "." + std::to_string(sp.precision);
        spec += static_cast<char>(conv);
        int n = std::snprintf(nullptr, 0, spec.c_str(), v);
        std::string s(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
        std::snprintf(s.data(), s.size(), spec.c_str(), v);
        s.resize(static_cast<size_t>(n > 0 ? n : 0));
        out += utf16(s);
        break;
      }
      default:  // unknown conversion: written as it stands
        out.append(start, p);
        break;
    }
  }
  va_end(ap);
}

}  // namespace

std::u16string vformat(const WCHAR* fmt, va_list args) {
  std::u16string out;
  vformat_into(out, fmt, args);
  return out;
}

std::u16string format(const WCHAR* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::u16string s = vformat(fmt, ap);
  va_end(ap);
  return s;
}

}  // namespace vardel

int vswprintf(WCHAR* buf, size_t count, const WCHAR* fmt, va_list args) {
  // Formatted into a buffer the thread keeps: no allocation per call.
  thread_local std::u16string s;
  s.clear();
  vardel::vformat_into(s, fmt, args);
  int result = -1;
  if (buf && count != 0) {
    if (s.size() >= count) {
      s.copy(buf, count - 1);
      buf[count - 1] = 0;
    } else {
      s.copy(buf, s.size());
      buf[s.size()] = 0;
      result = static_cast<int>(s.size());
    }
  }
  if (s.capacity() > 4096) std::u16string().swap(s);  // after an unusually long text
  return result;
}

int swprintf(WCHAR* buf, size_t count, const WCHAR* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = vswprintf(buf, count, fmt, ap);
  va_end(ap);
  return n;
}

int wsprintfW(WCHAR* buf, const WCHAR* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = vswprintf(buf, 1024, fmt, ap);
  va_end(ap);
  return n < 0 ? 1023 : n;
}
