// Reading a document's root children in pieces (see xml_children.h).
#include "host/tools/xml_children.h"

#include <cstring>

#include "platform/core/wstr.h"

namespace vardel::tools {

namespace {

constexpr size_t kPiece = 64 * 1024;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool ends_name(char c) { return is_space(c) || c == '>' || c == '/' || c == '\0'; }

void count(XmlPlace& p, char c) {
  if (c == '\n') {
    ++p.line;
    p.column = 1;
  } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
    ++p.column;
  }
}

}  // namespace

XmlChildren::XmlChildren(Source read) : read_(std::move(read)) {}

bool XmlChildren::fill() {
  if (eof_) return false;
  char piece[kPiece];
  size_t n = read_(piece, sizeof piece);
  if (!decided_) {
    // The encoding is told by the first four bytes (or all, when fewer).
    raw_.append(piece, n);
    while (n > 0 && raw_.size() < 4) {
      n = read_(piece, sizeof piece);
      raw_.append(piece, n);
    }
    decided_ = true;
    n = raw_.size();
    const auto b = [&](size_t i) {
      return i < raw_.size() ? static_cast<unsigned char>(raw_[i]) : 0;
    };
    if ((b(0) == 0xFF && b(1) == 0xFE) || (b(0) == '<' && b(1) == 0 && raw_.size() > 1)) {
      utf16_ = little_ = true;
      if (b(0) == 0xFF) raw_.erase(0, 2);
    } else if ((b(0) == 0xFE && b(1) == 0xFF) || (b(0) == 0 && b(1) == '<')) {
      utf16_ = true;
      if (b(0) == 0xFE) raw_.erase(0, 2);
    } else {
      if (raw_.compare(0, 3, "\xEF\xBB\xBF") == 0) raw_.erase(0, 3);
      buf_ += raw_;
      raw_.clear();
      if (n == 0) eof_ = true;
      return n > 0;
    }
  } else if (utf16_) {
    raw_.append(piece, n);
  } else {
    buf_.append(piece, n);
    if (n == 0) eof_ = true;
    return n > 0;
  }
  // UTF-16 units to UTF-8, a pair split across pieces joined.
  std::u16string units;
  size_t i = 0;
  for (; i + 1 < raw_.size(); i += 2) {
    const auto lo = static_cast<unsigned char>(raw_[little_ ? i : i + 1]);
    const auto hi = static_cast<unsigned char>(raw_[little_ ? i + 1 : i]);
    const auto u = static_cast<char16_t>((hi << 8) | lo);
    if (pending_) {
      if (u >= 0xDC00 && u <= 0xDFFF) {
        units += pending_;
        units += u;
        pending_ = 0;
        continue;
      }
      units += u'\uFFFD';
      pending_ = 0;
    }
    if (u >= 0xD800 && u <= 0xDBFF)
      pending_ = u;
    else
      units += u;
  }
  raw_.erase(0, i);
  if (n == 0) {
    eof_ = true;
    if (pending_) units += u'\uFFFD';
    pending_ = 0;
  }
  buf_ += utf8(std::u16string_view(units));
  return n > 0 || !units.empty();
}

bool XmlChildren::ensure(size_t n) {
  while (buf_.size() < n)
    if (!fill()) return buf_.size() >= n;
  return true;
}

size_t XmlChildren::find(const char* what, size_t from) {
  const size_t len = std::strlen(what);
  for (;;) {
    const size_t found = buf_.find(what, from);
    if (found != std::string::npos) return found;
    if (buf_.size() >= len) from = std::max(from, buf_.size() - len + 1);
    if (!fill() && eof_) {
      const size_t last = buf_.find(what, from);
      return last;
    }
  }
}

void XmlChildren::advance_to(size_t end) {
  for (; pos_ < end; ++pos_) count(place_, buf_[pos_]);
}

void XmlChildren::fail(const std::string& why, size_t at) {
  XmlPlace p = place_;
  for (size_t i = pos_; i < at && i < buf_.size(); ++i) count(p, buf_[i]);
  throw XmlShapeError(p, why);
}

XmlPlace XmlChildren::place_in(const std::string& text, size_t offset, XmlPlace at) {
  for (size_t i = 0; i < offset && i < text.size(); ++i) count(at, text[i]);
  return at;
}

std::string XmlChildren::read_name(size_t& i) {
  const size_t start = i;
  while (ensure(i + 1) && !ends_name(buf_[i])) ++i;
  return buf_.substr(start, i - start);
}

// i is at the '<' of a start tag (or an empty-element tag).
size_t XmlChildren::end_of_tag(size_t i) {
  for (size_t j = i + 1;; ++j) {
    if (!ensure(j + 1)) fail("the file ends inside a tag", i);
    const char c = buf_[j];
    if (c == '"' || c == '\'') {
      const char quote[2] = {c, 0};
      const size_t q = find(quote, j + 1);
      if (q == std::string::npos) fail("the file ends inside a quoted value", j);
      j = q;
    } else if (c == '>') {
      return j + 1;
    } else if (c == '<') {
      fail("a '<' inside a tag", j);
    }
  }
}

size_t XmlChildren::end_of_doctype(size_t i) {
  int brackets = 0;
  for (size_t j = i + 2;; ++j) {
    if (!ensure(j + 1)) fail("the file ends inside the DOCTYPE", i);
    const char c = buf_[j];
    if (c == '"' || c == '\'') {
      const char quote[2] = {c, 0};
      const size_t q = find(quote, j + 1);
      if (q == std::string::npos) fail("the file ends inside the DOCTYPE", i);
      j = q;
    } else if (c == '[') {
      ++brackets;
    } else if (c == ']') {
      --brackets;
    } else if (c == '>' && brackets <= 0) {
      return j + 1;
    }
  }
}

// Skips white space, comments and processing instructions from i; the index
// of what follows (buf_.size() at the end of the file).
size_t XmlChildren::skip_misc(size_t i, bool* found_markup) {
  *found_markup = false;
  for (;;) {
    while (ensure(i + 1) && is_space(buf_[i])) ++i;
    if (!ensure(i + 1)) return buf_.size();
    size_t end = std::string::npos;
    if (ensure(i + 2) && buf_.compare(i, 2, "<?") == 0) {
      end = find("?>", i + 2);
      if (end == std::string::npos) fail("the file ends inside a processing instruction", i);
      end += 2;
    } else if (ensure(i + 4) && buf_.compare(i, 4, "<!--") == 0) {
      end = find("-->", i + 4);
      if (end == std::string::npos) fail("the file ends inside a comment", i);
      end += 3;
    } else {
      *found_markup = buf_[i] == '<';
      return i;
    }
    i = end;
  }
}

// i is at the '<' of a child's start tag: the index after its end.
size_t XmlChildren::end_of_element(size_t i) {
  const auto starts = [&](size_t j, const char* s) {
    const size_t n = std::strlen(s);
    return ensure(j + n) && buf_.compare(j, n, s) == 0;
  };
  int depth = 0;
  size_t j = i;
  for (;;) {
    if (!ensure(j + 2)) fail("the file ends inside an element", i);
    const char c = buf_[j + 1];
    size_t end;
    if (c == '/') {
      end = find(">", j);
      if (end == std::string::npos) fail("the file ends inside an end tag", i);
      j = end + 1;
      if (--depth == 0) return j;
    } else if (starts(j, "<!--") || starts(j, "<![CDATA[") || c == '?') {
      const char* close = c == '?' ? "?>" : buf_[j + 2] == '-' ? "-->" : "]]>";
      end = find(close, j + 2);
      if (end == std::string::npos) fail("the file ends inside an element", i);
      j = end + std::strlen(close);
    } else if (c == '!') {
      fail("a markup declaration inside an element", j);
    } else {
      end = end_of_tag(j);
      if (buf_[end - 2] == '/') {
        if (depth == 0) return end;
      } else if (++depth > kMaxDepth) {
        fail("elements nested more than " + std::to_string(kMaxDepth) + " deep", j);
      }
      j = end;
    }
    const size_t next = find("<", j);
    if (next == std::string::npos) fail("the file ends inside an element", i);
    j = next;
  }
}

const std::string& XmlChildren::root() {
  if (root_read_) return root_;
  size_t i = pos_;
  for (;;) {
    bool markup = false;
    i = skip_misc(i, &markup);
    if (i >= buf_.size()) fail("no root element", i);
    if (!markup) fail("text before the root element", i);
    if (ensure(i + 9) && buf_.compare(i, 9, "<!DOCTYPE") == 0) {
      i = end_of_doctype(i);
      continue;
    }
    break;
  }
  size_t n = i + 1;
  root_ = read_name(n);
  if (root_.empty()) fail("a '<' that starts no element", i);
  const size_t end = end_of_tag(i);
  advance_to(end);
  root_read_ = true;
  if (buf_[end - 2] == '/') check_tail();
  return root_;
}

// After the root: nothing but white space, comments and processing
// instructions.
void XmlChildren::check_tail() {
  bool markup = false;
  const size_t after = skip_misc(pos_, &markup);
  if (after < buf_.size()) fail("more after the root element", after);
  done_ = true;
}

bool XmlChildren::next(std::string& text, XmlPlace& at, std::string& name) {
  root();
  if (done_) return false;
  // What has been read is no longer needed.
  buf_.erase(0, pos_);
  pos_ = 0;
  for (;;) {
    const size_t lt = find("<", pos_);
    if (lt == std::string::npos) fail("the file ends before </" + root_ + ">", buf_.size());
    advance_to(lt);
    if (ensure(lt + 2) && buf_[lt + 1] == '/') {
      size_t n = lt + 2;
      const std::string closing = read_name(n);
      if (closing != root_) fail("</" + closing + "> where </" + root_ + "> belongs", lt);
      const size_t end = find(">", n);
      if (end == std::string::npos) fail("the file ends inside an end tag", lt);
      advance_to(end + 1);
      check_tail();
      return false;
    }
    bool markup = false;
    const size_t other = skip_misc(lt, &markup);
    if (other != lt) {
      advance_to(other);
      continue;
    }
    if (ensure(lt + 9) && buf_.compare(lt, 9, "<![CDATA[") == 0) {
      const size_t end = find("]]>", lt + 9);
      if (end == std::string::npos) fail("the file ends inside a CDATA section", lt);
      advance_to(end + 3);
      continue;
    }
    if (ensure(lt + 2) && buf_[lt + 1] == '!') fail("a markup declaration inside the root", lt);
    const size_t end = end_of_element(lt);
    size_t n = lt + 1;
    name = read_name(n);
    at = place_;
    text.assign(buf_, lt, end - lt);
    advance_to(end);
    return true;
  }
}

}  // namespace vardel::tools
