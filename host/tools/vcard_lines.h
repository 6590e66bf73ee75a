// The content-line layer of vCard: unfolding, splitting a line into group,
// name, parameters and value, decoding quoted-printable and charsets, and
// escaping and folding on the way out. The property meaning is vcard.cpp's.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vardel::tools::vcard {

// One logical line after unfolding, with the number of its first raw line.
struct RawLine {
  std::string text;
  int line = 0;
};

std::vector<RawLine> unfold(std::string_view bytes);

struct ContentLine {
  std::string name;                // upper case, group removed
  std::vector<std::string> types;  // lower case, from TYPE= lists and bare 2.1 parameters
  std::string charset;             // as given, or ""
  std::string sort_as;             // SORT-AS parameter, or ""
  std::string slot;                // X-SLOT parameter, or ""
  bool quoted_printable = false;
  std::string value;  // decoded to UTF-8, still escaped
  int line = 0;

  bool has_type(std::string_view t) const;
};

// Parses one logical line; nothing when it is not a content line, or its
// value cannot be decoded (the reason goes to *error).
std::optional<ContentLine> parse(const RawLine& raw, std::string* error);

// Undoes the text escapes \\ \, \; \n \N.
std::string unescape(std::string_view value);
// Splits a structured value at unescaped ';' (or ','), unescaping each part.
std::vector<std::string> split_structured(std::string_view value, char separator = ';');

// Escapes \ , ; and line breaks for a text value.
std::string escape(std::string_view text);
// Folds one content line to 75 octets per line (never inside a UTF-8
// sequence) and ends it with CR LF.
std::string fold(std::string_view line);

// Converts bytes in a named charset to UTF-8 (nothing when iconv cannot).
std::optional<std::string> to_utf8(std::string_view bytes, const std::string& charset);
bool valid_utf8(std::string_view bytes);

}  // namespace vardel::tools::vcard
