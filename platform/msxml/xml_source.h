// Getting an XML file's bytes into the form the parser is given: read whole,
// turned into UTF-8 from a byte order mark or the declared encoding, and
// checked for what this DOM refuses to load.
//
// Refused: a DOCTYPE (so no DTD is read and no entity is ever defined, let
// alone expanded or fetched), text outside the root element, references to
// entities other than the five predefined ones, and character references to
// characters XML cannot carry. The parser (pugixml) would otherwise keep an
// undefined entity reference as literal text and silently change the data.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vardel::msxml {

// The whole content of a regular file; nothing when the file is missing, is
// not a regular file (a FIFO or device is never opened for reading) or cannot
// be read.
std::optional<std::string> read_file(const std::filesystem::path& path);
// The same for an open descriptor, which it closes.
std::optional<std::string> read_fd(int fd);

// The text of an XML file as UTF-8: a UTF-8 or UTF-16 byte order mark wins,
// then UTF-16 recognised from "<?" without a mark, then the encoding the XML
// declaration names (through iconv; GB2312 and GBK are read as their
// superset GB18030, Big5 as Big5-HKSCS). Nothing for an unknown encoding or
// bytes that are invalid in the declared one. A UTF-8 byte order mark is
// dropped.
std::optional<std::string> to_utf8_text(std::string bytes);

// The white space standing between the top-level nodes of a document, which
// the parser drops: before[i] precedes the i-th top-level node (declaration,
// instruction, comment or the root element), trailing ends the text.
struct TopLevelSpace {
  std::vector<std::string> before;
  std::string trailing;
};

// Checks the UTF-8 text as described above and measures its top-level white
// space; nothing when the text is refused.
std::optional<TopLevelSpace> check_and_scan(std::string_view text);

}  // namespace vardel::msxml
