#include "host/frontends/fltk_text.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/fl_utf8.h>
#include <fontconfig/fontconfig.h>

#include <cstring>
#include <memory>

namespace vardel::host {

namespace {

constexpr Fl_Font kEmojiFont = FL_FREE_FONT;
constexpr const char* kTextFamily = "WenQuanYi Zen Hei";
constexpr const char* kEmojiFamily = "Noto Color Emoji";

// What joins the emoji before it into one picture.
bool joins_emoji(char32_t c) {
  return c == 0x200D || c == 0xFE0F || c == 0x20E3 || (c >= 0x1F3FB && c <= 0x1F3FF) ||
         (c >= 0xE0020 && c <= 0xE007F);
}

// The characters a family's best match has, or none when fontconfig
// matches another family for it (the font is not installed).
class FontChars {
 public:
  explicit FontChars(const char* family) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
    if (!pattern) return;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return;
    FcChar8* found = nullptr;
    FcCharSet* chars = nullptr;
    if (FcPatternGetString(match, FC_FAMILY, 0, &found) == FcResultMatch &&
        std::strcmp(reinterpret_cast<const char*>(found), family) == 0 &&
        FcPatternGetCharSet(match, FC_CHARSET, 0, &chars) == FcResultMatch)
      chars_ = FcCharSetCopy(chars);
    FcPatternDestroy(match);
  }
  ~FontChars() {
    if (chars_) FcCharSetDestroy(chars_);
  }
  FontChars(const FontChars&) = delete;
  FontChars& operator=(const FontChars&) = delete;
  bool found() const { return chars_ != nullptr; }
  bool has(char32_t c) const { return chars_ && FcCharSetHasChar(chars_, c); }

 private:
  FcCharSet* chars_ = nullptr;
};

const FontChars& text_font() {
  static const FontChars chars(kTextFamily);
  return chars;
}
const FontChars& emoji_font() {
  static const FontChars chars(kEmojiFamily);
  return chars;
}

std::vector<TextRun> runs_of(std::string_view text) {
  if (!emoji_font().found()) return {{0, text.size(), false}};
  // Without the text font's list every character is taken as its own.
  const bool know_text = text_font().found();
  return text_runs(
      text, [&](char32_t c) { return !know_text || text_font().has(c); },
      [](char32_t c) { return emoji_font().has(c); });
}

// Calls f(run, font) for each run with the font it is drawn in.
template <typename F>
void each_run(std::string_view text, F&& f) {
  const Fl_Font font = fl_font();
  const Fl_Fontsize size = fl_size();
  for (const TextRun& r : runs_of(text)) {
    if (r.emoji) fl_font(kEmojiFont, size);
    f(text.substr(r.begin, r.end - r.begin));
    if (r.emoji) fl_font(font, size);
  }
}

}  // namespace

void use_emoji_font() { Fl::set_font(kEmojiFont, " Noto Color Emoji"); }

std::vector<TextRun> text_runs(std::string_view text,
                               const std::function<bool(char32_t)>& text_font_has,
                               const std::function<bool(char32_t)>& emoji_font_has) {
  std::vector<TextRun> runs;
  size_t at = 0;
  while (at < text.size()) {
    int length = 0;
    const char* p = text.data() + at;
    const auto c = static_cast<char32_t>(fl_utf8decode(p, text.data() + text.size(), &length));
    if (length <= 0) length = 1;
    const bool emoji = joins_emoji(c) ? !runs.empty() && runs.back().emoji
                                      : !text_font_has(c) && emoji_font_has(c);
    if (!runs.empty() && runs.back().emoji == emoji)
      runs.back().end = at + length;
    else
      runs.push_back({at, at + length, emoji});
    at += length;
  }
  return runs;
}

double mixed_width(std::string_view text) {
  double width = 0;
  each_run(text, [&](std::string_view run) {
    width += fl_width(run.data(), static_cast<int>(run.size()));
  });
  return width;
}

void draw_mixed(std::string_view text, int x, int y) {
  double at = x;
  each_run(text, [&](std::string_view run) {
    fl_draw(run.data(), static_cast<int>(run.size()), static_cast<int>(at + 0.5), y);
    at += fl_width(run.data(), static_cast<int>(run.size()));
  });
}

}  // namespace vardel::host
