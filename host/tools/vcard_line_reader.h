// The logical lines of a vCard file, one at a time, from bytes that arrive
// in pieces: a file of any size is read in the memory of its longest line
// (and one piece).
//
// The file's text: a UTF-8 byte order mark is dropped; UTF-16 (with a byte
// order mark, or told by the NUL bytes of its first letters) is read as
// UTF-8, a lone surrogate becoming U+FFFD (counted) and an odd last byte
// dropped. Line ends may be LF, CR LF, a lone CR or the CR CR LF some phones
// write; each counts as one line. Folded lines (a line that starts with a
// space or tab continues the one before) are unfolded, and so are the soft
// line breaks of quoted-printable values ("=" at the end of the line: the
// next line, not indented, continues it). Empty lines are passed over.
//
// A raw line or an unfolded one longer than kMaxLine is refused with
// VcardFileError naming its line: a file of that shape is no address book,
// and reading on would take memory without bound.
//
// Not thread-safe; one reader per pass over a file.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "host/tools/vcard_lines.h"

namespace vardel::tools {

// A vCard file that cannot be read at all (a line or card beyond the
// reader's bounds, bytes that cannot be read): nothing of it is imported.
// The text names the line.
class VcardFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// read fills up to n bytes of buf and returns how many (0 at the end).
using VcardSource = std::function<size_t(char* buf, size_t n)>;

}  // namespace vardel::tools

namespace vardel::tools::vcard {

class LineReader {
 public:
  static constexpr size_t kMaxLine = 16u << 20;
  static constexpr size_t kPiece = 64u << 10;

  explicit LineReader(VcardSource read);

  // The next logical line; false at the end of the file.
  bool next(RawLine& out);

  // "UTF-16LE" or "UTF-16BE" when the file is UTF-16, else "" (known once
  // next() has been called).
  const std::string& utf16_kind() const { return utf16_kind_; }
  // How many lone UTF-16 surrogates were read as U+FFFD.
  size_t surrogates_replaced() const { return surrogates_replaced_; }

 private:
  void decide();
  bool fill();                       // more text into buf_; false at the end of the input
  bool ensure(size_t n);             // at least n bytes of text from pos_, or false at the end
  bool raw_line(std::string& line);  // the next raw line, its end consumed
  void decode_utf16(const char* bytes, size_t n);
  [[noreturn]] void too_long(int line) const;
  void hold(std::string&& line);
  bool held_quoted_printable();

  VcardSource read_;
  bool decided_ = false, utf16_ = false, little_ = false, eof_ = false, done_ = false;
  std::string utf16_kind_;
  std::string raw_;  // bytes read before the encoding was decided; an odd UTF-16 byte
  char16_t pending_high_ = 0;
  size_t surrogates_replaced_ = 0;
  std::string buf_;  // text (UTF-8 or the file's 8-bit bytes)
  size_t pos_ = 0;
  int number_ = 0;               // raw lines read
  std::optional<RawLine> held_;  // the logical line being unfolded
  std::optional<bool> held_qp_;  // known once its first colon is read
  size_t held_scanned_ = 0;      // how much of it was searched for that colon
  bool joining_qp_ = false;
};

// A logical line and its parse (vcard_lines.h); the text itself is let go
// once parsed.
struct ParsedLine {
  int line = 0;
  size_t bytes = 0;  // of the unfolded text
  std::optional<ContentLine> parsed;
  std::string error;  // why it is no content line
};

// The parsed lines of one pass over a file, with room to put one back (the
// BEGIN that ends a card cut short starts the next card).
class ParsedLines {
 public:
  explicit ParsedLines(VcardSource read) : reader_(std::move(read)) {}
  bool next(ParsedLine& out);
  void put_back(ParsedLine&& line) { back_ = std::move(line); }
  int last_line() const { return last_; }  // of the last line read
  const LineReader& reader() const { return reader_; }

 private:
  LineReader reader_;
  std::optional<ParsedLine> back_;
  int last_ = 0;
};

}  // namespace vardel::tools::vcard
