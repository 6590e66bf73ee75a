// Plain relative paths walked directly (see child_path.h).
#include "platform/msxml/child_path.h"

#include <array>

namespace vardel::msxml {

namespace {

constexpr bool is_name_start_ascii(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
}

// What each ASCII character may be in a step's name, from a table: every
// selection a backup makes is parsed here.
constexpr unsigned char kStart = 1, kChar = 2;
constexpr std::array<unsigned char, 128> kNameTable = [] {
  std::array<unsigned char, 128> t{};
  for (char16_t c = 0; c < 128; ++c) {
    const bool start = is_name_start_ascii(c);
    const bool other = (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
    t[c] = static_cast<unsigned char>((start ? kStart | kChar : 0) | (other ? kChar : 0));
  }
  return t;
}();

bool is_name_start(char16_t c) { return c < 128 && (kNameTable[c] & kStart); }
bool is_name_char(char16_t c) { return c < 128 && (kNameTable[c] & kChar); }

// Whether a name XPath might read as an operator. Whether one is a name or
// an operator depends on what precedes it, and XPath is the judge of that.
bool is_operator_name(std::string_view s) {
  return s == "and" || s == "or" || s == "div" || s == "mod";
}

}  // namespace

bool ChildPath::parse(std::u16string_view text) {
  count_ = 0;
  descendant_last_ = false;
  if (text.empty() || text.size() > kMaxText) return false;
  std::size_t out = 0;  // next free place in names_
  std::size_t i = 0;
  while (true) {
    // One name: text[i] up to the next '/' or the end.
    if (i == text.size() || !is_name_start(text[i]) || count_ == kMaxSteps) return false;
    const std::size_t start = out;
    for (; i < text.size() && text[i] != u'/'; ++i) {
      if (!is_name_char(text[i])) return false;
      names_[out++] = static_cast<char>(text[i]);
    }
    names_[out++] = 0;
    if (is_operator_name(std::string_view(names_ + start, out - 1 - start))) return false;
    starts_[count_++] = static_cast<unsigned char>(start);
    if (i == text.size()) break;
    if (descendant_last_) return false;  // "//" only before the last name
    ++i;                                 // the '/'
    if (i < text.size() && text[i] == u'/') {
      descendant_last_ = true;
      ++i;
    }
  }
  return true;
}

}  // namespace vardel::msxml
