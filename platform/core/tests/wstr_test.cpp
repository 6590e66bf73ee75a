// The wide-string runtime: the formatter against printf, case-insensitive
// compare across scripts, UTF-8 conversion.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/core/windows.h"

namespace {

std::u16string wide(const std::string& s) { return vardel::utf16(s); }

// printf's output for a narrow format and one argument.
template <typename T>
std::string printf_of(const std::string& fmt, T v) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt.c_str(), v);
  return buf;
}

template <typename T>
std::string ours_of(const std::string& fmt, T v) {
  return vardel::utf8(vardel::format(wide(fmt).c_str(), v));
}

}  // namespace

TEST(Format, TheProgramsFormatsComeOutAsPrintfWould) {
  EXPECT_EQ(vardel::utf8(vardel::format(u"%8x - %6d -- ", 0x1a2bu, 4321)), "    1a2b -   4321 -- ");
  EXPECT_EQ(vardel::utf8(vardel::format(u"%8x - %6d -- ", 0xdeadbeefu, 123456789)),
            "deadbeef - 123456789 -- ");
  EXPECT_EQ(vardel::utf8(vardel::format(u"%02d%02d%02d_%02d%02d%02d", 9, 3, 29, 1, 2, 30)),
            "090329_010230");
  EXPECT_EQ(vardel::utf8(vardel::format(u"%6d%%", 50)), "    50%");
  EXPECT_EQ(vardel::utf8(vardel::format(u"%6d%%", 100)), "   100%");
  EXPECT_EQ(vardel::utf8(vardel::format(u"%d-%d-%d", 2009, 3, 7)), "2009-3-7");
  EXPECT_EQ(vardel::utf8(vardel::format(u"  %d:%d:%d", 8, 5, 0)), "  8:5:0");
  EXPECT_EQ(vardel::utf8(vardel::format(u"来自于：%s", u"13800138000")), "来自于：13800138000");
  EXPECT_EQ(vardel::utf8(vardel::format(u"%s\\通讯录%02d.xml", u"Storage Card\\vardelbackup", 9)),
            "Storage Card\\vardelbackup\\通讯录09.xml");
}

TEST(Format, IntegerFlagsWidthsAndPrecisionsMatchPrintf) {
  const std::vector<std::string> flags = {"",   "-",  "0",  "+",  " ",  "#",  "-0",
                                          "+0", "- ", "#0", "-#", "+ ", "0-+"};
  const std::vector<std::string> widths = {"", "1", "6", "12"};
  const std::vector<std::string> precisions = {"", ".0", ".1", ".5"};
  const std::vector<int> signed_values = {0, 1, -1, 42, -42, 7654321, INT_MAX, INT_MIN};
  const std::vector<unsigned> unsigned_values = {0u, 1u, 0x1a2bu, 0xdeadbeefu, UINT_MAX};
  int checked = 0;
  for (const auto& f : flags)
    for (const auto& w : widths)
      for (const auto& p : precisions) {
        for (char conv : std::string("di")) {
          std::string fmt = "[%" + f + w + p + conv + "]";
          for (int v : signed_values) {
            ASSERT_EQ(ours_of(fmt, v), printf_of(fmt, v)) << fmt << " " << v;
            ++checked;
          }
        }
        for (char conv : std::string("uxXo")) {
          std::string fmt = "[%" + f + w + p + conv + "]";
          for (unsigned v : unsigned_values) {
            ASSERT_EQ(ours_of(fmt, v), printf_of(fmt, v)) << fmt << " " << v;
            ++checked;
          }
        }
      }
  EXPECT_GT(checked, 5000);
}

TEST(Format, TextsCharactersSizesAndStars) {
  for (const std::string fmt :
       {"[%s]", "[%10s]", "[%-10s]", "[%.3s]", "[%8.2s]", "[%-8.0s]", "[%1s]"}) {
    EXPECT_EQ(vardel::utf8(vardel::format(wide(fmt).c_str(), u"hello")), printf_of(fmt, "hello"))
        << fmt;
  }
  for (const std::string fmt : {"[%c]", "[%5c]", "[%-5c]"})
    EXPECT_EQ(ours_of(fmt, 'Z'), printf_of(fmt, 'Z')) << fmt;
  EXPECT_EQ(vardel::utf8(vardel::format(u"%c", u'好')), "好");
  EXPECT_EQ(vardel::utf8(vardel::format(u"[%s]", static_cast<const WCHAR*>(nullptr))), "[(null)]");
  EXPECT_EQ(vardel::utf8(vardel::format(u"[%hs|%S]", "narrow", "also")), "[narrow|also]");
  // Width counts UTF-16 units, as on the phone.
  EXPECT_EQ(vardel::utf8(vardel::format(u"[%4s]", u"张三")), "[  张三]");

  EXPECT_EQ(ours_of("%lld", -1234567890123ll), printf_of("%lld", -1234567890123ll));
  EXPECT_EQ(ours_of("%I64u", 18446744073709551615ull), "18446744073709551615");
  EXPECT_EQ(ours_of("%hd", 70000), printf_of("%hd", 70000));
  EXPECT_EQ(ours_of("%hu", 70000u), printf_of("%hu", 70000u));
  // "l" is 32 bits, as LONG and DWORD are on the phone.
  EXPECT_EQ(ours_of("%ld", static_cast<LONG>(-5)), "-5");
  EXPECT_EQ(ours_of("%lu", static_cast<DWORD>(4000000000u)), "4000000000");
  char buf[64];
  std::snprintf(buf, sizeof buf, "[%*d|%-*d|%.*d|%*d]", 6, 42, 6, 42, 4, 7, -6, 3);
  EXPECT_EQ(vardel::utf8(vardel::format(u"[%*d|%-*d|%.*d|%*d]", 6, 42, 6, 42, 4, 7, -6, 3)), buf);
  EXPECT_EQ(vardel::utf8(vardel::format(u"%5.2f|%e", 3.14159, 1.5)), " 3.14|1.500000e+00");
  // A conversion the formatter does not know, and a format cut short.
  EXPECT_EQ(vardel::utf8(vardel::format(u"a%qb%")), "a%qb%");
}

TEST(Format, BoundedFormattersCutAndTerminate) {
  WCHAR buf[8];
  EXPECT_EQ(swprintf(buf, 8, u"%d", 1234567), 7);
  EXPECT_EQ(std::u16string(buf), u"1234567");
  EXPECT_EQ(swprintf(buf, 8, u"%d", 12345678), -1);
  EXPECT_EQ(std::u16string(buf), u"1234567");
  WCHAR big[1100];
  std::u16string long_text(1500, u'x');
  EXPECT_EQ(wsprintfW(big, u"%s", long_text.c_str()), 1023);
  EXPECT_EQ(wcslen(big), 1023u);
}

TEST(WideStrings, CopyAndSearchFollowTheCRuntime) {
  WCHAR buf[6];
  for (WCHAR& c : buf) c = u'#';
  wcsncpy(buf, u"ab", 5);
  EXPECT_EQ(std::u16string(buf, 6), std::u16string(u"ab\0\0\0#", 6));  // padded, not past n
  wcsncpy(buf, u"abcdefgh", 5);
  EXPECT_EQ(std::u16string(buf, 6), u"abcde#");  // not terminated when cut
  WCHAR path[32] = u"Storage Card";
  wcscat(path, u"\\vardelbackup");
  EXPECT_EQ(std::u16string(path), u"Storage Card\\vardelbackup");
  EXPECT_EQ(wcsrchr(path, u'\\') - path, 12);
  EXPECT_EQ(wcschr(path, u'\\') - path, 12);
  EXPECT_EQ(wcschr(path, u'\0') - path, 25);
  EXPECT_EQ(wcsstr(path, u"backup") - path, 19);
  EXPECT_EQ(wcsstr(path, u"Backup"), nullptr);
  EXPECT_LT(wcscmp(u"abc", u"abd"), 0);
  EXPECT_GT(wcscmp(u"\xFFFF", u"a"), 0);  // units compare unsigned
  EXPECT_EQ(wcsncmp(u"abcX", u"abcY", 3), 0);
}

TEST(WideStrings, CaseInsensitiveCompareFoldsEveryCasedScript) {
  const std::vector<std::pair<std::u16string, std::u16string>> equal = {
      {u"HELLO world", u"hello WORLD"},
      {u"ÀÉÎÕÜÝÞ", u"àéîõüýþ"},        // Latin-1
      {u"ŁĄŻŹŒĲ", u"łążźœĳ"},          // Latin Extended-A
      {u"ǄǅƁȺ", u"ǆǆɓⱥ"},              // Latin Extended-B
      {u"ΣΊΣΥΦΟΣ", u"σίσυφος"},        // Greek, final sigma included
      {u"ПРИВЕТ Ёж", u"привет ёж"},    // Cyrillic
      {u"ԱՐՄԵՆ", u"արմեն"},            // Armenian
      {u"ႠႡ", u"ⴀⴁ"},                  // Georgian
      {u"ＡＢＣ", u"ａｂｃ"},          // full-width Latin
      {u"\u212A\u212B", u"kå"},        // Kelvin and Angstrom signs
      {u"\u1E9E", u"ß"},               // capital sharp s
      {u"\U00010400", u"\U00010428"},  // Deseret, through surrogate pairs
      {u"张三 13800", u"张三 13800"},
  };
  for (const auto& [a, b] : equal) {
    EXPECT_EQ(_wcsicmp(a.c_str(), b.c_str()), 0) << vardel::utf8(a);
    EXPECT_EQ(vardel::fold_case(a), vardel::fold_case(b)) << vardel::utf8(a);
  }
  EXPECT_NE(_wcsicmp(u"İ", u"i"), 0);  // dotted capital I has no simple folding
  EXPECT_NE(_wcsicmp(u"STRASSE", u"straße"), 0);
  EXPECT_LT(_wcsicmp(u"apple", u"BANANA"), 0);
  EXPECT_GT(_wcsicmp(u"Banana", u"apple"), 0);
  EXPECT_GT(_wcsicmp(u"abc", u"AB"), 0);
  EXPECT_LT(_wcsicmp(u"", u"a"), 0);
  EXPECT_EQ(_wcsnicmp(u"VARDELbackup", u"vardelBACKUP-x", 12), 0);
  EXPECT_NE(_wcsnicmp(u"VARDELbackup", u"vardelBACKUP-x", 13), 0);
}

TEST(Utf, ConversionMarksBrokenInputAndRoundTripsTheRest) {
  std::u16string text = u"A通讯录\U0001F600é";
  EXPECT_EQ(vardel::utf16(vardel::utf8(text)), text);
  EXPECT_EQ(vardel::utf8(std::u16string(u"a\xDC00"
                                        "b\xD800")),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  // Overlong forms, encoded surrogates, stray continuation bytes, cut sequences.
  EXPECT_EQ(vardel::utf16("\xC0\xAF"), u"\xFFFD\xFFFD");
  EXPECT_EQ(vardel::utf16("\xED\xA0\x80"), u"\xFFFD\xFFFD\xFFFD");
  EXPECT_EQ(vardel::utf16("x\x80y"), u"x\xFFFDy");
  EXPECT_EQ(vardel::utf16("\xE4\xB8"), u"\xFFFD\xFFFD");
  EXPECT_EQ(vardel::utf16("\xF4\x90\x80\x80"), u"\xFFFD\xFFFD\xFFFD\xFFFD");
  EXPECT_EQ(vardel::utf8(static_cast<const WCHAR*>(nullptr)), "");
}

// Byte texts' letter case is ASCII's whatever the locale: UTF-8 bytes pass
// through untouched.
TEST(AsciiCase, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(vardel::ascii_lower("QUOTED-Printable 通讯录.XML"), "quoted-printable 通讯录.xml");
  EXPECT_EQ(vardel::ascii_upper("gb2312 ä"), "GB2312 ä");
  EXPECT_TRUE(vardel::ascii_iequals("Charset", "CHARSET"));
  EXPECT_FALSE(vardel::ascii_iequals("Charset", "CHARSETS"));
  EXPECT_TRUE(vardel::ascii_iends_with("短信.XmL", ".xml"));
  EXPECT_FALSE(vardel::ascii_iends_with("ml", ".xml"));
}
