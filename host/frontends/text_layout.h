// Line breaking for the texts the window shows in boxes, as a Chinese phone
// lays them out: a line may break between any two CJK characters and after
// the spaces between Latin words; a closing mark (，。、）」 …) never starts a
// line and an opening one (（「 …) never ends one; a word wider than the
// line is cut where it no longer fits, so nothing is ever lost off the
// right edge. CR LF, LF and a lone CR end a line. Tabs become spaces and
// other control characters are dropped, so no "^M" is ever drawn.
//
// Pure: widths come from the caller's measure function. Thread-safe.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vardel::host {

// The width of a piece of text in the units of max_width (pixels).
using MeasureText = std::function<int(std::u16string_view)>;

// The lines of text for a box max_width wide. An empty text is one empty
// line; every line ending in the text gives a line (possibly empty).
// Spaces where a line was broken are left out; spaces a line starts with
// (an indent) are kept.
std::vector<std::u16string> break_lines(std::u16string_view text, int max_width,
                                        const MeasureText& measure);

// The text's lines as it writes them (split at CR LF, LF and CR), with the
// control characters dropped and tabs made spaces, as break_lines draws them.
std::vector<std::u16string> hard_lines(std::u16string_view text);

// True for the characters a line may break before or after as it may
// between ideographs: CJK ideographs and symbols, kana, hangul, full-width
// forms.
bool is_cjk(char32_t c);

}  // namespace vardel::host
