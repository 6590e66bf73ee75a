#include "host/tools/vcard_line_reader.h"

#include <string_view>

#include "host/tools/vcard_charset.h"
#include "platform/core/wstr.h"

namespace vardel::tools::vcard {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// What decide() looks at to tell UTF-16 without a byte order mark.
constexpr size_t kHead = 200;

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool is_high(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

LineReader::LineReader(VcardSource read) : read_(std::move(read)) {}

void LineReader::too_long(int line) const {
  throw VcardFileError("line " + std::to_string(line) + " is longer than " +
                       std::to_string(kMaxLine >> 20) +
                       " MiB (unfolded), more than any address book writes");
}

void LineReader::decide() {
  decided_ = true;
  char piece[kHead];
  while (raw_.size() < kHead) {
    const size_t n = read_(piece, kHead - raw_.size());
    if (n == 0) {
      eof_ = true;
      break;
    }
    raw_.append(piece, n);
  }
  std::string head = std::move(raw_);
  raw_.clear();
  if (std::string_view(head).substr(0, 3) == kUtf8Bom) {
    head.erase(0, 3);
  } else if (std::string_view(head).substr(0, 2) == "\xFF\xFE") {
    utf16_ = little_ = true;
    head.erase(0, 2);
  } else if (std::string_view(head).substr(0, 2) == "\xFE\xFF") {
    utf16_ = true;
    head.erase(0, 2);
  } else if (bool le = false; looks_utf16(head, &le)) {
    utf16_ = true;
    little_ = le;
  }
  if (utf16_) {
    utf16_kind_ = little_ ? "UTF-16LE" : "UTF-16BE";
    decode_utf16(head.data(), head.size());
  } else {
    buf_ = std::move(head);
  }
  // A mark left in the text itself (a second one, or one in UTF-16) goes
  // too.
  if (std::string_view(buf_).substr(0, 3) == kUtf8Bom) buf_.erase(0, 3);
}

void LineReader::decode_utf16(const char* bytes, size_t n) {
  raw_.append(bytes, n);
  size_t i = 0;
  for (; i + 1 < raw_.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(raw_[i]),
               b1 = static_cast<unsigned char>(raw_[i + 1]);
    const char16_t u =
        little_ ? static_cast<char16_t>(b0 | (b1 << 8)) : static_cast<char16_t>((b0 << 8) | b1);
    if (pending_high_ != 0) {
      const char16_t high = pending_high_;
      pending_high_ = 0;
      if (is_low(u)) {
        append_utf8(buf_, 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (u - 0xDC00));
        continue;
      }
      append_utf8(buf_, 0xFFFD);
      ++surrogates_replaced_;
    }
    if (is_high(u)) {
      pending_high_ = u;
    } else if (is_low(u)) {
      append_utf8(buf_, 0xFFFD);
      ++surrogates_replaced_;
    } else {
      append_utf8(buf_, u);
    }
  }
  raw_.erase(0, i);
}

bool LineReader::fill() {
  if (!decided_) {
    decide();
    return true;
  }
  buf_.erase(0, pos_);
  pos_ = 0;
  char piece[kPiece];
  const size_t n = eof_ ? 0 : read_(piece, sizeof piece);
  if (n == 0) {
    eof_ = true;
    // An odd last byte is dropped; a high surrogate left alone is replaced.
    if (pending_high_ == 0) return false;
    pending_high_ = 0;
    append_utf8(buf_, 0xFFFD);
    ++surrogates_replaced_;
    return true;
  }
  if (utf16_)
    decode_utf16(piece, n);
  else
    buf_.append(piece, n);
  return true;
}

bool LineReader::ensure(size_t n) {
  while (buf_.size() - pos_ < n)
    if (!fill()) return false;
  return true;
}

bool LineReader::raw_line(std::string& line) {
  if (done_) return false;
  line.clear();
  for (;;) {
    const size_t end = buf_.find_first_of("\r\n", pos_);
    line.append(buf_, pos_, (end == std::string::npos ? buf_.size() : end) - pos_);
    if (line.size() > kMaxLine) too_long(number_ + 1);
    if (end == std::string::npos) {
      pos_ = buf_.size();
      if (!fill()) {
        done_ = true;
        return true;
      }
      continue;
    }
    // LF, CR LF, a lone CR, or CR CR LF: one line end each.
    pos_ = end + 1;
    if (buf_[end] == '\r') {
      ensure(2);
      if (pos_ + 1 < buf_.size() && buf_[pos_] == '\r' && buf_[pos_ + 1] == '\n') ++pos_;
      if (pos_ < buf_.size() && buf_[pos_] == '\n') ++pos_;
    }
    return true;
  }
}

void LineReader::hold(std::string&& line) {
  held_ = RawLine{std::move(line), number_};
  held_qp_.reset();
  held_scanned_ = 0;
}

// Whether the held line's parameters ask for quoted-printable, once its
// name and parameters are there (its first colon): then "=" at its end is a
// soft line break. Only what was added since the last look is searched.
bool LineReader::held_quoted_printable() {
  if (!held_qp_) {
    const size_t colon = held_->text.find(':', held_scanned_);
    held_scanned_ = held_->text.size();
    if (colon == std::string::npos) return false;
    held_qp_ =
        ascii_upper(std::string_view(held_->text).substr(0, colon)).find("QUOTED-PRINTABLE") !=
        std::string::npos;
  }
  return *held_qp_;
}

bool LineReader::next(RawLine& out) {
  std::string line;
  for (;;) {
    if (!raw_line(line)) {
      if (!held_) return false;
      out = std::move(*held_);
      held_.reset();
      return true;
    }
    ++number_;
    const bool empty = line.empty();
    std::optional<RawLine> done;
    if (joining_qp_ && held_) {
      held_->text.pop_back();  // the soft break's "="
      held_->text += line;
    } else if (!empty && (line[0] == ' ' || line[0] == '\t') && held_) {
      held_->text.append(line, 1);
    } else if (!empty) {
      done = std::move(held_);
      hold(std::move(line));
    }
    if (held_) {
      if (held_->text.size() > kMaxLine) too_long(held_->line);
      joining_qp_ =
          !empty && held_quoted_printable() && !held_->text.empty() && held_->text.back() == '=';
    }
    if (done) {
      out = std::move(*done);
      return true;
    }
  }
}

bool ParsedLines::next(ParsedLine& out) {
  if (back_) {
    out = std::move(*back_);
    back_.reset();
    return true;
  }
  RawLine raw;
  if (!reader_.next(raw)) return false;
  out.line = last_ = raw.line;
  out.bytes = raw.text.size();
  out.error.clear();
  out.parsed = parse(raw, &out.error);
  return true;
}

}  // namespace vardel::tools::vcard
