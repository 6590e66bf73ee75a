// Runs of text and emoji: which font each character of a name is drawn in.
#include <gtest/gtest.h>

#include "host/frontends/fltk_text.h"

namespace {

using vardel::host::text_runs;
using vardel::host::TextRun;

// A text font with ASCII and CJK, an emoji font with the emoji planes.
bool text_has(char32_t c) { return c < 0x80 || (c >= 0x4E00 && c <= 0x9FFF); }
bool emoji_has(char32_t c) { return c >= 0x1F000 || c == 0x2764 || c == 0x200D || c == 0xFE0F; }

std::vector<std::pair<std::string, bool>> split(const std::string& text) {
  std::vector<std::pair<std::string, bool>> out;
  for (const TextRun& r : text_runs(text, text_has, emoji_has))
    out.emplace_back(text.substr(r.begin, r.end - r.begin), r.emoji);
  return out;
}

using Runs = std::vector<std::pair<std::string, bool>>;

TEST(TextRuns, EmojiGoToTheEmojiFontAndSequencesStayWhole) {
  EXPECT_EQ(split("生日快乐🎂🎉.txt"), (Runs{{"生日快乐", false}, {"🎂🎉", true}, {".txt", false}}));
  // A family joined by zero width joiners, a heart with its variation
  // selector, a thumb with its skin tone: each one picture, one run.
  EXPECT_EQ(split("a👨‍👩‍👧b"),
            (Runs{{"a", false}, {"👨‍👩‍👧", true}, {"b", false}}));
  EXPECT_EQ(split("❤️!"), (Runs{{"❤️", true}, {"!", false}}));
  EXPECT_EQ(split("👍🏽"), (Runs{{"👍🏽", true}}));
  // A character neither font has stays with the text; a joiner without an
  // emoji before it is text too.
  EXPECT_EQ(split("x\u0e01\u200dy"), (Runs{{"x\u0e01\u200dy", false}}));
  EXPECT_EQ(split(""), Runs{});
}

TEST(TextRuns, BrokenUtf8IsCarriedThroughByteByByte) {
  const std::string bad =
      "ab\xff\xfe"
      "cd";
  size_t covered = 0;
  for (const TextRun& r : text_runs(bad, text_has, emoji_has)) {
    EXPECT_EQ(r.begin, covered);
    covered = r.end;
  }
  EXPECT_EQ(covered, bad.size());
}

}  // namespace
