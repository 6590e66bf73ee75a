// The quick proof of a plain document (see plain_scan.h). Each state takes
// as many bytes as it can in one go: texts and attribute values, most of a
// backup's bytes, are passed over a run at a time.
#include "platform/msxml/plain_scan.h"

#include <array>

#include "platform/core/wstr.h"

namespace vardel::msxml {

namespace {

// Past these, libxml2 decides: its own limits on names, depth and the
// length of one text lie beyond them.
constexpr size_t kLongestName = 1000;
constexpr size_t kDeepest = 256;
constexpr size_t kLongestRun = 10 * 1024 * 1024;
constexpr size_t kMostAttributes = 32;

enum : uint8_t {
  kSpace = 1,      // the four whitespace characters
  kNameStart = 2,  // ASCII letters and '_'
  kNameRest = 4,   // and digits, '.', '-'
  kText = 8,       // printable ASCII a text holds as it is
  kValue = 16,     // printable ASCII an attribute value holds as it is
  kPi = 32,        // printable ASCII an instruction holds as it is
};

constexpr std::array<uint8_t, 256> make_classes() {
  std::array<uint8_t, 256> t{};
  for (int c : {' ', '\t', '\n', '\r'}) t[c] |= kSpace;
  for (int c = 0x20; c < 0x80; ++c) {
    if (c != '<' && c != '&' && c != ']') t[c] |= kText;
    if (c != '<' && c != '&' && c != '"' && c != '\'') t[c] |= kValue;
    if (c != '?') t[c] |= kPi;
  }
  t[0x7F] &= ~(kText | kValue | kPi);  // allowed, but rare: left to libxml2
  for (int c = 'a'; c <= 'z'; ++c) t[c] |= kNameStart | kNameRest;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] |= kNameStart | kNameRest;
  for (int c = '0'; c <= '9'; ++c) t[c] |= kNameRest;
  for (int c : {'_'}) t[c] |= kNameStart | kNameRest;
  for (int c : {'.', '-'}) t[c] |= kNameRest;
  return t;
}
constexpr std::array<uint8_t, 256> kClass = make_classes();

bool is(uint8_t c, uint8_t cls) { return (kClass[c] & cls) != 0; }

// The length of the UTF-8 character at p when it is whole, well formed and
// a character XML allows; 0 when it is not; minus its length when fewer
// bytes than that are at hand.
int utf8_char(const uint8_t* p, size_t avail) {
  const uint8_t c = p[0];
  const int n = c >= 0xC2 && c <= 0xDF   ? 2
                : c >= 0xE0 && c <= 0xEF ? 3
                : c >= 0xF0 && c <= 0xF4 ? 4
                                         : 0;
  if (n == 0) return 0;
  if (avail < static_cast<size_t>(n)) return -n;
  uint8_t lo = 0x80, hi = 0xBF;  // the second byte's range
  if (c == 0xE0) lo = 0xA0;
  if (c == 0xED) hi = 0x9F;  // no surrogates
  if (c == 0xF0) lo = 0x90;
  if (c == 0xF4) hi = 0x8F;
  if (p[1] < lo || p[1] > hi) return 0;
  for (int i = 2; i < n; ++i)
    if ((p[i] & 0xC0) != 0x80) return 0;
  if (c == 0xEF && p[1] == 0xBF && p[2] >= 0xBE) return 0;  // U+FFFE, U+FFFF
  return n;
}

}  // namespace

bool PlainScan::feed(std::string_view bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  scan(p, p + bytes.size());
  return !gave_up();
}

bool PlainScan::finish() const { return state_ == State::kMisc && depth_ == 0 && !root_.empty(); }

void PlainScan::scan(const uint8_t* p, const uint8_t* end) {
  // A character of a text, value or instruction outside printable ASCII:
  // whitespace, or UTF-8 (possibly cut by the end of the bytes).
  auto other_char = [&](State here) {
    const uint8_t c = *p;
    if (c == '\t' || c == '\n' || c == '\r') {
      ++p;
      return;
    }
    if (c < 0x80) return give_up();
    const int n = utf8_char(p, static_cast<size_t>(end - p));
    if (n == 0) return give_up();
    if (n > 0) {
      p += n;
      return;
    }
    utf8_need_ = static_cast<uint8_t>(-n);
    utf8_have_ = 0;
    while (p < end) utf8_[utf8_have_++] = *p++;
    back_ = here;
    state_ = State::kUtf8;
  };
  auto take_name = [&] {
    const uint8_t* from = p;
    while (p < end && is(*p, kNameRest)) ++p;
    name_.append(reinterpret_cast<const char*>(from), static_cast<size_t>(p - from));
    if (name_.size() > kLongestName) give_up();
  };
  auto start_reference = [&](State here) {
    ++p;  // the '&'
    reference_.clear();
    back_ = here;
    state_ = State::kReference;
  };
  // Printable ASCII of the class, and the three-byte characters that
  // Chinese texts are made of, in one loop; the rest goes to other_char.
  auto take_run = [&](uint8_t cls) {
    const uint8_t* from = p;
    while (p < end) {
      const uint8_t c = *p;
      if (is(c, cls)) {
        ++p;
      } else if ((c & 0xF0) == 0xE0 && c != 0xE0 && c != 0xED && end - p >= 3 &&
                 (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80 &&
                 !(c == 0xEF && p[1] == 0xBF && p[2] >= 0xBE)) {
        p += 3;
      } else {
        break;
      }
    }
    run_ += static_cast<size_t>(p - from);
    if (run_ > kLongestRun) give_up();
  };

  while (p < end && state_ != State::kGaveUp) {
    const uint8_t c = *p;
    switch (state_) {
      case State::kStart:
        start_.push_back(static_cast<char>(c));
        ++p;
        start_declaration_or_replay();
        break;
      case State::kDeclaration:
        start_.push_back(static_cast<char>(c));
        ++p;
        if (start_.size() > 256) return give_up();
        if (c == '>' && start_[start_.size() - 2] == '?') {
          if (!declaration_is_plain()) return give_up();
          start_.clear();
          state_ = State::kMisc;
        }
        break;
      case State::kMisc:
        if (is(c, kSpace)) {
          ++p;
        } else if (c == '<') {
          ++p;
          state_ = State::kLess;
        } else {
          give_up();
        }
        break;
      case State::kLess:
        ++p;
        name_.clear();
        if (c == '?') {
          state_ = State::kPiTarget;
        } else if (c == '/' && depth_ > 0) {
          state_ = State::kEndName;
        } else if (is(c, kNameStart) && (depth_ > 0 || root_.empty())) {
          name_.push_back(static_cast<char>(c));
          state_ = State::kStartName;
        } else {
          give_up();  // a comment, CDATA, a declaration, or a fault
        }
        break;
      case State::kStartName:
        take_name();
        if (p == end || gave_up()) break;
        if (*p != '>' && *p != '/' && !is(*p, kSpace)) return give_up();
        open_element();
        if (gave_up()) break;
        state_ = *p == '>' ? State::kContent : *p == '/' ? State::kEmptyEnd : State::kInTag;
        run_ = 0;
        ++p;
        break;
      case State::kInTag:
        ++p;
        if (is(c, kSpace)) break;
        if (c == '>') {
          state_ = State::kContent;
        } else if (c == '/') {
          state_ = State::kEmptyEnd;
        } else if (is(c, kNameStart)) {
          name_.assign(1, static_cast<char>(c));
          state_ = State::kAttrName;
        } else {
          give_up();
        }
        break;
      case State::kAttrName:
        take_name();
        if (p == end || gave_up()) break;
        if (*p != '=' && !is(*p, kSpace)) return give_up();
        if (!attribute_is_new()) return give_up();
        state_ = *p == '=' ? State::kBeforeValue : State::kBeforeEquals;
        ++p;
        break;
      case State::kBeforeEquals:
        ++p;
        if (c == '=')
          state_ = State::kBeforeValue;
        else if (!is(c, kSpace))
          give_up();
        break;
      case State::kBeforeValue:
        ++p;
        if (c == '"' || c == '\'') {
          quote_ = c;
          run_ = 0;
          state_ = State::kValue;
        } else if (!is(c, kSpace)) {
          give_up();
        }
        break;
      case State::kValue:
        take_run(kValue);
        if (p == end || gave_up()) break;
        if (*p == quote_) {
          ++p;
          state_ = State::kAfterValue;
        } else if (*p == '"' || *p == '\'') {
          ++p;
        } else if (*p == '&') {
          start_reference(State::kValue);
        } else {
          other_char(State::kValue);
        }
        break;
      case State::kAfterValue:
        ++p;
        if (is(c, kSpace))
          state_ = State::kInTag;
        else if (c == '>')
          state_ = State::kContent;
        else if (c == '/')
          state_ = State::kEmptyEnd;
        else
          give_up();
        break;
      case State::kEmptyEnd:
        ++p;
        if (c != '>') return give_up();
        close_element();
        break;
      case State::kContent:
        if (brackets_ > 0 && c != ']') {
          if (c == '>' && brackets_ >= 2) return give_up();  // "]]>" in a text
          brackets_ = 0;
        }
        take_run(kText);
        if (p == end || gave_up()) break;
        if (*p == '<') {
          ++p;
          run_ = 0;
          state_ = State::kLess;
        } else if (*p == ']') {
          ++p;
          ++run_;
          brackets_ = brackets_ < 2 ? brackets_ + 1 : 2;
        } else if (*p == '&') {
          start_reference(State::kContent);
        } else {
          other_char(State::kContent);
        }
        break;
      case State::kEndName:
        if (name_.empty() && !is(c, kNameStart)) return give_up();
        take_name();
        if (p == end || gave_up()) break;
        if (is(*p, kSpace)) {
          ++p;
          state_ = State::kEndSpace;
          break;
        }
        if (*p != '>') return give_up();
        ++p;
        close_named();
        break;
      case State::kEndSpace:
        ++p;
        if (is(c, kSpace)) break;
        if (c != '>') return give_up();
        close_named();
        break;
      case State::kPiTarget:
        if (name_.empty() && !is(c, kNameStart)) return give_up();
        take_name();
        if (p == end || gave_up()) break;
        // Only the declaration at the very start may be named "xml".
        if (ascii_iequals(name_, "xml")) return give_up();
        if (is(*p, kSpace)) {
          state_ = State::kPiBody;
        } else if (*p == '?') {
          state_ = State::kPiEnd;
        } else {
          return give_up();
        }
        ++p;
        break;
      case State::kPiBody:
        take_run(kPi);
        if (p == end || gave_up()) break;
        if (*p == '?') {
          ++p;
          state_ = State::kPiQuestion;
        } else {
          other_char(State::kPiBody);
        }
        break;
      case State::kPiQuestion:
        if (c == '>') {
          ++p;
          state_ = after_markup();
        } else if (c == '?') {
          ++p;
        } else {
          state_ = State::kPiBody;  // the byte is the body's
        }
        break;
      case State::kPiEnd:
        ++p;
        if (c != '>') return give_up();
        state_ = after_markup();
        break;
      case State::kReference:
        ++p;
        if (c == ';') {
          if (!reference_is_plain()) return give_up();
          state_ = back_;
        } else if (reference_.size() < 12 && (is(c, kNameRest) || c == '#')) {
          reference_.push_back(static_cast<char>(c));
        } else {
          give_up();
        }
        break;
      case State::kUtf8:
        utf8_[utf8_have_++] = c;
        ++p;
        if (utf8_have_ < utf8_need_) break;
        if (utf8_char(utf8_, utf8_have_) != utf8_need_) return give_up();
        state_ = back_;
        break;
      case State::kGaveUp:
        return;
    }
  }
}

void PlainScan::start_declaration_or_replay() {
  static constexpr std::string_view kOpen = "<?xml";
  if (start_.size() <= kOpen.size()) {
    if (kOpen.substr(0, start_.size()) == start_) return;  // may still be one
  } else if (is(static_cast<uint8_t>(start_.back()), kSpace)) {
    state_ = State::kDeclaration;
    return;
  }
  // No declaration: the bytes held are the document's first.
  state_ = State::kMisc;
  const std::string held = std::move(start_);
  start_.clear();
  const auto* p = reinterpret_cast<const uint8_t*>(held.data());
  scan(p, p + held.size());
}

// version="1.0", then optionally encoding="UTF-8" and standalone="yes" or
// "no", in that order, in either quotes.
bool PlainScan::declaration_is_plain() const {
  std::string_view s(start_);
  s = s.substr(5, s.size() - 7);  // between "<?xml" and "?>"
  auto pair = [&s](std::string_view name, std::string_view* value) {
    size_t i = 0;
    while (i < s.size() && is(static_cast<uint8_t>(s[i]), kSpace)) ++i;
    if (i == 0 || s.substr(i, name.size()) != name) return false;
    i += name.size();
    while (i < s.size() && is(static_cast<uint8_t>(s[i]), kSpace)) ++i;
    if (i >= s.size() || s[i] != '=') return false;
    ++i;
    while (i < s.size() && is(static_cast<uint8_t>(s[i]), kSpace)) ++i;
    if (i >= s.size() || (s[i] != '"' && s[i] != '\'')) return false;
    const size_t close = s.find(s[i], i + 1);
    if (close == std::string_view::npos) return false;
    *value = s.substr(i + 1, close - i - 1);
    s.remove_prefix(close + 1);
    return true;
  };
  std::string_view value;
  if (!pair("version", &value) || value != "1.0") return false;
  std::string_view rest = s;
  if (pair("encoding", &value)) {
    if (!ascii_iequals(value, "utf-8")) return false;
    rest = s;
  } else {
    s = rest;
  }
  if (pair("standalone", &value)) {
    if (value != "yes" && value != "no") return false;
  } else {
    s = rest;
  }
  for (char c : s)
    if (!is(static_cast<uint8_t>(c), kSpace)) return false;
  return true;
}

void PlainScan::open_element() {
  if (depth_ >= kDeepest) return give_up();
  if (depth_ == 0)
    root_ = name_;
  else if (depth_ == 1)
    ++records_;
  open_starts_.push_back(static_cast<uint32_t>(open_.size()));
  open_ += name_;
  ++depth_;
  attribute_count_ = 0;
}

void PlainScan::close_element() {
  open_.resize(open_starts_.back());
  open_starts_.pop_back();
  --depth_;
  run_ = 0;
  state_ = after_markup();
}

// An end tag: it must name the element it closes.
void PlainScan::close_named() {
  if (std::string_view(open_).substr(open_starts_.back()) != name_) return give_up();
  close_element();
}

bool PlainScan::attribute_is_new() {
  // A namespace declaration is libxml2's to judge.
  if (name_.compare(0, 5, "xmlns") == 0) return false;
  if (attribute_count_ >= kMostAttributes) return false;
  for (size_t i = 0; i < attribute_count_; ++i)
    if (attributes_[i] == name_) return false;
  if (attributes_.size() <= attribute_count_)
    attributes_.push_back(name_);
  else
    attributes_[attribute_count_] = name_;
  ++attribute_count_;
  return true;
}

bool PlainScan::reference_is_plain() const {
  const std::string_view r(reference_);
  if (r == "lt" || r == "gt" || r == "amp" || r == "quot" || r == "apos") return true;
  if (r.size() < 2 || r[0] != '#') return false;
  const bool hex = r[1] == 'x';
  const std::string_view digits = r.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 7) return false;
  uint32_t v = 0;
  for (char d : digits) {
    uint32_t x;
    if (d >= '0' && d <= '9')
      x = static_cast<uint32_t>(d - '0');
    else if (hex && d >= 'a' && d <= 'f')
      x = static_cast<uint32_t>(d - 'a' + 10);
    else if (hex && d >= 'A' && d <= 'F')
      x = static_cast<uint32_t>(d - 'A' + 10);
    else
      return false;
    v = v * (hex ? 16 : 10) + x;
  }
  return v == 0x9 || v == 0xA || v == 0xD || (v >= 0x20 && v <= 0xD7FF) ||
         (v >= 0xE000 && v <= 0xFFFD) || (v >= 0x10000 && v <= 0x10FFFF);
}

}  // namespace vardel::msxml
