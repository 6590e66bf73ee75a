// The content-line layer of vCard: unfolding, splitting a line into group,
// name, parameters and value, decoding quoted-printable and charsets, and
// escaping and folding on the way out. The property meaning is vcard.cpp's.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vardel::tools::vcard {

// One logical line after unfolding (vcard_line_reader.h), with the number of
// its first raw line.
struct RawLine {
  std::string text;
  int line = 0;
};

struct ContentLine {
  std::string name;                // upper case, group removed
  std::vector<std::string> types;  // lower case, from TYPE= lists and bare 2.1 parameters
  std::string charset;             // as given, or ""
  std::string sort_as;             // SORT-AS parameter, or ""
  std::string slot;                // X-SLOT parameter, or ""
  // X-EOL: what each "\n" of the value stands for ("CRLF", "CR", "LF"), so
  // that the phone's CR LF and lone CR come back as they were.
  std::vector<std::string> line_breaks;
  bool quoted_printable = false;
  std::string charset_used;  // what the value was read as, once decoded
  std::string value;         // in the file's bytes until decoded, still escaped
  int line = 0;

  bool has_type(std::string_view t) const;
};

// Parses one logical line; nothing when it is not a content line (the
// reason goes to *error). The value is quoted-printable decoded but still in
// the file's charset.
std::optional<ContentLine> parse(const RawLine& raw, std::string* error);

// Undoes the text escapes \\ \, \; \n \N; each \n becomes the line break
// X-EOL names for it (LF when none).
// *counted carries the count of breaks across the parts of one value.
std::string unescape(std::string_view value, const std::vector<std::string>& line_breaks = {},
                     size_t* counted = nullptr);
// Splits a structured value at unescaped ';' (or ','), unescaping each part.
std::vector<std::string> split_structured(std::string_view value, char separator = ';',
                                          const std::vector<std::string>& line_breaks = {});

// Escapes \ , ; and line breaks (CR LF, CR and LF each as \n) for a text value.
std::string escape(std::string_view text);
// The X-EOL parameter value for a text: "" when its breaks are all LF (or it
// has none), "CRLF" or "CR" when all are that, else one name per break.
std::string line_break_kinds(std::string_view text);
// Folds one content line to 75 octets per line (never inside a UTF-8
// sequence) and ends it with CR LF.
std::string fold(std::string_view line);

// Converts bytes in a named charset to UTF-8 (nothing when iconv cannot).
std::optional<std::string> to_utf8(std::string_view bytes, const std::string& charset);
bool valid_utf8(std::string_view bytes);

}  // namespace vardel::tools::vcard
