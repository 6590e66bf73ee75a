// Line breaking for box texts.
#include "host/frontends/text_layout.h"

#include <algorithm>

namespace vardel::host {
namespace {

// Marks that close a phrase: a line never starts with one.
constexpr std::u16string_view kNoLineStart =
    u"!%),.:;?]}¢°’”‰′″℃、。〃〉》」』】〕〗〙〛〞゛゜ゝゞ・ーヽヾ！％），．：；？］｝～･｣…‥";
// Marks that open a phrase: a line never ends with one.
constexpr std::u16string_view kNoLineEnd = u"([{£¥‘“〈《「『【〔〖〘〚〝（［｛｢￡￥";

bool is_space(char32_t c) { return c == u' '; }

// One code point of the cleaned line and where it starts.
struct Unit {
  char32_t c;
  std::size_t at;  // index into the cleaned line
};

// A hard line without its control characters; tabs become spaces.
std::u16string clean(std::u16string_view line) {
  std::u16string out;
  out.reserve(line.size());
  for (char16_t c : line) {
    if (c == u'\t')
      out += u' ';
    else if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0))
      out += c;
  }
  return out;
}

std::vector<Unit> units_of(const std::u16string& s) {
  std::vector<Unit> units;
  for (std::size_t i = 0; i < s.size();) {
    char32_t c = s[i];
    std::size_t n = 1;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      n = 2;
    }
    units.push_back({c, i});
    i += n;
  }
  return units;
}

bool in(std::u16string_view set, char32_t c) {
  return c <= 0xFFFF && set.find(static_cast<char16_t>(c)) != std::u16string_view::npos;
}

// May a line end between a and b?
bool break_between(char32_t a, char32_t b) {
  if (is_space(b)) return false;  // spaces stay with the word before them
  if (in(kNoLineStart, b) || in(kNoLineEnd, a)) return false;
  if (is_space(a)) return true;
  return is_cjk(a) || is_cjk(b);
}

std::u16string without_trailing_spaces(std::u16string_view s) {
  std::size_t end = s.size();
  while (end > 0 && s[end - 1] == u' ') --end;
  return std::u16string(s.substr(0, end));
}

void break_hard_line(const std::u16string& line, int max_width, const MeasureText& measure,
                     std::vector<std::u16string>& out) {
  const std::vector<Unit> units = units_of(line);
  auto offset = [&](std::size_t unit) {
    return unit < units.size() ? units[unit].at : line.size();
  };
  std::size_t start = 0;      // first unit of the line being filled
  std::size_t candidate = 0;  // last unit a new line may start at (0: none yet)
  for (std::size_t i = start; i < units.size();) {
    if (i > start && break_between(units[i - 1].c, units[i].c)) candidate = i;
    std::u16string_view piece(line.data() + offset(start), offset(i + 1) - offset(start));
    // Spaces at the end hang past the edge: they never push a word down.
    if (i > start && measure(without_trailing_spaces(piece)) > max_width) {
      // Break at the last opportunity; a word longer than the line is cut
      // before the character that no longer fits.
      std::size_t cut = candidate > start ? candidate : i;
      out.push_back(without_trailing_spaces(
          std::u16string_view(line.data() + offset(start), offset(cut) - offset(start))));
      start = i = cut;
      candidate = 0;
      continue;
    }
    ++i;
  }
  out.push_back(without_trailing_spaces(std::u16string_view(line).substr(offset(start))));
}

}  // namespace

bool is_cjk(char32_t c) {
  return (c >= 0x1100 && c <= 0x11FF) ||  // hangul jamo
         (c >= 0x2E80 && c <= 0x303F) ||  // radicals, CJK symbols and punctuation
         (c >= 0x3040 && c <= 0x9FFF) ||  // kana, bopomofo, ideographs
         (c >= 0xA000 && c <= 0xA4CF) ||  // yi
         (c >= 0xAC00 && c <= 0xD7AF) ||  // hangul syllables
         (c >= 0xF900 && c <= 0xFAFF) ||  // compatibility ideographs
         (c >= 0xFE30 && c <= 0xFE4F) ||  // compatibility forms
         (c >= 0xFF00 && c <= 0xFFEF) ||  // full-width forms
         (c >= 0x20000 && c <= 0x3FFFF);  // supplementary ideographs
}

std::vector<std::u16string> hard_lines(std::u16string_view text) {
  std::vector<std::u16string> out;
  std::size_t at = 0;
  for (;;) {
    std::size_t end = text.find_first_of(u"\r\n", at);
    out.push_back(clean(text.substr(at, end == std::u16string_view::npos ? end : end - at)));
    if (end == std::u16string_view::npos) return out;
    // CR LF is one line ending.
    at = end + ((text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ? 2 : 1);
  }
}

std::vector<std::u16string> break_lines(std::u16string_view text, int max_width,
                                        const MeasureText& measure) {
  std::vector<std::u16string> out;
  for (const std::u16string& line : hard_lines(text)) {
    if (line.empty())
      out.emplace_back();
    else
      break_hard_line(line, max_width, measure, out);
  }
  return out;
}

}  // namespace vardel::host
