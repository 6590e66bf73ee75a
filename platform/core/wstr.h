// The wide-string runtime the program uses: the C runtime's wide functions
// for WCHAR (UTF-16) texts, and conversion to and from UTF-8 at the edges.
//
// Lengths count UTF-16 units. The case-insensitive compare folds with
// Unicode simple case folding (Latin, Greek, Cyrillic, full-width Latin and
// the other cased scripts), not only ASCII. The formatters take %s (a WCHAR
// text), %d %i %u %x %X %c %% with the flags - + space 0 #, widths and
// precisions (also *), and the size prefixes l, h, ll; they write what printf
// would write for the same arguments. %s with a null pointer writes "(null)".
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/core/types.h"

size_t wcslen(const WCHAR* s);
size_t wcsnlen(const WCHAR* s, size_t max);
WCHAR* wcscpy(WCHAR* dst, const WCHAR* src);
// Copies at most n units; pads with zeros when src is shorter, and (like the
// C runtime) does not terminate when src is n or longer.
WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n);
WCHAR* wcscat(WCHAR* dst, const WCHAR* src);
int wcscmp(const WCHAR* a, const WCHAR* b);
int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n);
int _wcsicmp(const WCHAR* a, const WCHAR* b);
int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n);
const WCHAR* wcschr(const WCHAR* s, WCHAR c);
WCHAR* wcschr(WCHAR* s, WCHAR c);
const WCHAR* wcsrchr(const WCHAR* s, WCHAR c);
WCHAR* wcsrchr(WCHAR* s, WCHAR c);
const WCHAR* wcsstr(const WCHAR* s, const WCHAR* sub);

// Formats into buf, writing at most count units including the terminator;
// returns the units written (without the terminator), or -1 when cut.
int swprintf(WCHAR* buf, size_t count, const WCHAR* fmt, ...);
int vswprintf(WCHAR* buf, size_t count, const WCHAR* fmt, va_list args);
// The window system's formatter: the buffer is taken to hold 1024 units.
int wsprintfW(WCHAR* buf, const WCHAR* fmt, ...);

namespace vardel {

// Formats into a string (no length limit).
std::u16string format(const WCHAR* fmt, ...);
std::u16string vformat(const WCHAR* fmt, va_list args);

// ASCII letter case of byte texts (names, keywords, file endings): bytes
// outside A-Z / a-z are left as they are, whatever the locale.
std::string ascii_lower(std::string_view s);
std::string ascii_upper(std::string_view s);
bool ascii_iequals(std::string_view a, std::string_view b);
bool ascii_iends_with(std::string_view s, std::string_view ending);

// UTF-16 <-> UTF-8. A lone surrogate becomes U+FFFD; invalid UTF-8 bytes
// become U+FFFD.
std::string utf8(std::u16string_view s);
std::string utf8(const WCHAR* s);  // null gives ""
std::u16string utf16(std::string_view s);
// Appends one code point (a scalar value) as UTF-8.
void append_utf8(std::string& out, char32_t code_point);

// Simple case folding of one code point, and a folded copy of a text (for
// stored sort keys: equal folded keys compare equal under _wcsicmp).
char32_t fold_case(char32_t c);
std::u16string fold_case(std::u16string_view s);

}  // namespace vardel
