// Text conversions at the edge between the DOM's UTF-16 strings and the
// UTF-8 strings the tree keeps, and the XML 1.0 character and name rules.
//
// Nothing here throws except std::bad_alloc.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/com.h"

namespace vardel::msxml {

// Appends s as UTF-8. A lone surrogate or a NUL becomes U+FFFD (the tree's
// strings are zero-terminated, and UTF-8 cannot carry a lone surrogate).
void append_utf8(std::string& out, std::u16string_view s);
std::string to_utf8(std::u16string_view s);

// The text of a BSTR (a null BSTR is empty), counting SysStringLen units.
std::u16string_view bstr_view(BSTR b);

// A new BSTR holding the UTF-8 text; invalid UTF-8 bytes become U+FFFD.
// Null when out of memory.
BSTR to_bstr(std::string_view utf8);

// Decodes one UTF-8 sequence at p (p < end), advancing p; malformed or
// overlong sequences and encoded surrogates give U+FFFD and advance one byte.
char32_t decode_utf8(const char*& p, const char* end);

// The Char production of XML 1.0: tab, LF, CR, U+0020..U+D7FF,
// U+E000..U+FFFD, U+10000..U+10FFFF.
constexpr bool is_xml_char(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The Name production of XML 1.0 (fifth edition), for element and attribute
// names handed to the DOM.
bool is_xml_name(std::u16string_view name);

constexpr bool is_xml_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace vardel::msxml
