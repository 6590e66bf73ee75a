// The children of an XML document's root, one at a time, from bytes that
// arrive in pieces: a file of any size is read in the memory of its largest
// child (and one piece). Each child comes as its own text, from its "<" to
// the end of its end tag, for a DOM parser to read; what lies between
// children (text, comments, processing instructions) is passed over.
//
// Checked here: the shape of the markup around the children (the prolog,
// the root's start and end tags, tags, quotes, comments and CDATA closed)
// and how deep a child nests (kMaxDepth, refused naming the line). What a
// child's text holds is for the DOM parser to judge. A file in UTF-16 (a
// byte order mark, or "<" as its first unit) is read as UTF-8; a lone
// surrogate becomes U+FFFD.
//
// Not thread-safe; one reader per file.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>

namespace vardel::tools {

// Where a byte of the file is: line and column (counting characters) from 1.
struct XmlPlace {
  int line = 1;
  int column = 1;
  std::string text() const {
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
  }
};

// The file's markup is broken (or cut short) at `place`.
class XmlShapeError : public std::runtime_error {
 public:
  XmlShapeError(XmlPlace place, const std::string& why) : std::runtime_error(why), place_(place) {}
  XmlPlace place() const { return place_; }

 private:
  XmlPlace place_;
};

class XmlChildren {
 public:
  static constexpr int kMaxDepth = 256;

  // read fills up to n bytes of buf and returns how many (0 at the end).
  using Source = std::function<size_t(char* buf, size_t n)>;
  explicit XmlChildren(Source read);

  // Reads up to the root's start tag and returns its name. Throws
  // XmlShapeError when there is none.
  const std::string& root();
  // The next child of the root: its text, where it starts, its name.
  // False once the root's end tag has been read (and nothing but comments,
  // processing instructions and white space follows it).
  bool next(std::string& text, XmlPlace& at, std::string& name);

  // Where a byte offset into a child's text (starting at `at`) is.
  static XmlPlace place_in(const std::string& text, size_t offset, XmlPlace at);

 private:
  bool fill();
  bool ensure(size_t n);                       // at least n bytes from pos_, or false at the end
  size_t find(const char* what, size_t from);  // absolute index or npos
  void advance_to(size_t end);                 // consumes bytes, counting places
  [[noreturn]] void fail(const std::string& why, size_t at);
  std::string read_name(size_t& i);
  size_t end_of_tag(size_t i);  // index after the '>' closing the tag at i
  size_t end_of_doctype(size_t i);
  size_t end_of_element(size_t i);
  size_t skip_misc(size_t i, bool* found_markup);
  void check_tail();

  Source read_;
  bool decided_ = false, utf16_ = false, little_ = false, eof_ = false;
  std::string raw_;       // undecoded UTF-16 bytes left over
  char16_t pending_ = 0;  // a high surrogate waiting for its partner
  std::string buf_;
  size_t pos_ = 0;
  XmlPlace place_;
  std::string root_;
  bool root_read_ = false, done_ = false;
};

}  // namespace vardel::tools
