// Line breaking of box texts, measured in a fixed-pitch model: CJK 14 units,
// everything else 7, as the window's font roughly is.
#include <gtest/gtest.h>

#include "host/frontends/text_layout.h"

namespace {

using vardel::host::break_lines;
using Lines = std::vector<std::u16string>;

int width(std::u16string_view s) {
  int w = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00) continue;  // counted with its low half
    w += (c >= 0xDC00 && c < 0xE000) || vardel::host::is_cjk(c) ? 14 : 7;
  }
  return w;
}

Lines lay_out(std::u16string_view text, int max_width) {
  return break_lines(text, max_width, width);
}

std::u16string joined(const Lines& lines) {
  std::u16string all;
  for (const auto& l : lines) all += l;
  return all;
}

TEST(TextLayout, ChineseBreaksBetweenCharactersAndEveryLineFits) {
  const std::u16string text = u"开始备份通讯录和短信，保存到存储卡的vardelbackup文件夹下";
  for (int max : {98, 140, 200, 224}) {
    Lines lines = lay_out(text, max);
    EXPECT_EQ(joined(lines), text) << "nothing is lost at width " << max;
    for (const auto& l : lines) {
      EXPECT_LE(width(l), max) << "line too wide at width " << max;
      EXPECT_NE(l.front(), u'，') << "a comma starts a line at width " << max;
    }
  }
  EXPECT_EQ(lay_out(text, 200),
            (Lines{u"开始备份通讯录和短信，保存到", u"存储卡的vardelbackup文件夹下"}));
}

TEST(TextLayout, ClosingMarksStayOnTheLineBeforeAndOpeningMarksGoToTheNext) {
  // Ten characters fit; the comma would start the second line, so the
  // character before it goes down with it.
  EXPECT_EQ(lay_out(u"一二三四五六七八九十，十一", 140),
            (Lines{u"一二三四五六七八九", u"十，十一"}));
  EXPECT_EQ(lay_out(u"一二三四五六七八九「十」", 140), (Lines{u"一二三四五六七八九", u"「十」"}));
}

TEST(TextLayout, LatinWrapsAtSpacesAndAnOverlongWordIsCutNotLost) {
  EXPECT_EQ(lay_out(u"Support Windows Mobile 5 and 6", 100),
            (Lines{u"Support", u"Windows Mobile", u"5 and 6"}));
  // Spaces at a break hang past the edge and are left out.
  EXPECT_EQ(lay_out(u"abc    def", 21), (Lines{u"abc", u"def"}));
  const std::u16string path = u"\\Storage_Card\\vardelbackup\\通讯录260105_143000.xml";
  Lines lines = lay_out(path, 70);
  EXPECT_EQ(joined(lines), path);
  for (const auto& l : lines) EXPECT_LE(width(l), 70);
  // A character wider than the line still gets a line of its own.
  EXPECT_EQ(lay_out(u"通讯", 10), (Lines{u"通", u"讯"}));
}

TEST(TextLayout, CrLfLfAndCrEndLinesAndControlCharactersAreNeverShown) {
  EXPECT_EQ(lay_out(u"　　Vardel手机版\r\n\r\n 一键备份\nlast\rend", 500),
            (Lines{u"　　Vardel手机版", u"", u" 一键备份", u"last", u"end"}));
  EXPECT_EQ(lay_out(u"\r\n", 500), (Lines{u"", u""}));
  EXPECT_EQ(lay_out(u"", 500), (Lines{u""}));
  EXPECT_EQ(lay_out(u"a\x01"
                    u"b\tc\x7f",
                    500),
            (Lines{u"ab c"}));
}

TEST(TextLayout, SurrogatePairsAreNeverSplit) {
  EXPECT_EQ(lay_out(u"𠀀𠀁𠀂", 28), (Lines{u"𠀀𠀁", u"𠀂"}));
}

}  // namespace
