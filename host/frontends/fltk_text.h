// Text in the window's font with emoji in the colour emoji font. Xft draws
// every glyph of a string from the one font it is given, and the window's
// CJK font has no emoji, so a name such as "生日快乐🎂.txt" would show boxes:
// the text is drawn as runs, each in a font that has its characters.
//
// Widths and drawing use the current fl_font's size; the emoji font is
// Noto Color Emoji when fontconfig finds it (else every run is plain text).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vardel::host {

// Registers the emoji font with FLTK. Once, before the window is drawn.
void use_emoji_font();

struct TextRun {
  size_t begin = 0, end = 0;  // bytes of the UTF-8 text
  bool emoji = false;
};

// The runs of text: a character goes to the emoji font when the text font
// lacks it and the emoji font has it; what joins an emoji sequence (zero
// width joiner, variation selector, keycap, skin tones, tags) stays in its
// run. Pure, for any pair of fonts.
std::vector<TextRun> text_runs(std::string_view utf8_text,
                               const std::function<bool(char32_t)>& text_font_has,
                               const std::function<bool(char32_t)>& emoji_font_has);

// The width of the text in the current font, emoji runs measured in the
// emoji font at the same size.
double mixed_width(std::string_view utf8_text);
// Draws the text from x on the baseline y, as fl_draw(text, n, x, y) does.
void draw_mixed(std::string_view utf8_text, int x, int y);

}  // namespace vardel::host
