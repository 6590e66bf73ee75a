// The quick scan of a saved file against libxml2: whatever it proves,
// libxml2 finds well-formed with the same root and records, however the
// bytes are cut; and it gives up on what lies outside the plain part of XML.
#include "platform/msxml/plain_scan.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "platform/msxml/saved_file_check.h"

namespace vardel::msxml {
namespace {

// What libxml2 says of the bytes, read from a file in memory.
SavedFile judged(const std::string& bytes) {
  const int fd = ::memfd_create("scan", 0);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  SavedFile out;
  EXPECT_TRUE(parse_saved_file(fd, &out));
  ::close(fd);
  return out;
}

// The scan fed in pieces of `step` bytes (the whole at once when 0).
PlainScan scanned(const std::string& bytes, size_t step = 0) {
  PlainScan scan;
  if (step == 0) step = bytes.size() + 1;
  for (size_t at = 0; at < bytes.size() && !scan.gave_up(); at += step)
    scan.feed(std::string_view(bytes).substr(at, step));
  return scan;
}

const std::string kMessages =
    "<?xml version=\"1.0\"?>\r\n"
    "<?xml-stylesheet type='text/xsl' href='MessageLogMsg.xsl'?>\r\n<CONTACTS>\r\n"
    "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"来自于：13800131000\">"
    "<MESSAGE Date=\"2009-1-1\" Time=\"  0:0:0\" Direction=\"1\"><TEXT>明天 &lt;三点&gt; &amp; "
    "&quot;老地方&quot; &#x1F600;&#65;\t😀 ]] > ]</TEXT></MESSAGE></VCARD>"
    "<VCARD Owner=\"a&apos;b\" TYPE='x\"y'><MESSAGE Date=\"\"><TEXT/></MESSAGE></VCARD>"
    "<VCARD/>\r\n</CONTACTS>\r\n";

const std::string kContacts =
    "<?xml version='1.0' encoding='utf-8' standalone='yes' ?>\n<CONTACTS>\n"
    "<VCARD><N.FIRST>张</N.FIRST><ADDRESS><STREET>路 1 号\n二楼</STREET></ADDRESS>"
    "<NOTE><?note body?></NOTE></VCARD>\n"
    "<VCARD><EMPTY-1 a = \"1&#10;&amp;\"\tb=\"2\" /><X_Y >z</X_Y ></VCARD>\n</CONTACTS>\n"
    "<?after x?>\n";

TEST(PlainScan, ProvesWhatTheProgramWritesAsLibxml2DoesHoweverItIsCut) {
  for (const std::string& doc : {kMessages, kContacts}) {
    const SavedFile truth = judged(doc);
    ASSERT_TRUE(truth.well_formed) << truth.error;
    for (size_t step : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{64}}) {
      const PlainScan scan = scanned(doc, step);
      ASSERT_TRUE(scan.finish()) << "step " << step << ":\n" << doc;
      EXPECT_EQ(scan.root(), truth.root);
      EXPECT_EQ(scan.records(), truth.records);
    }
  }
  EXPECT_EQ(scanned(kMessages).records(), 3u);
  EXPECT_EQ(scanned(kContacts).records(), 2u);
  EXPECT_EQ(scanned(kMessages.substr(0, kMessages.size() - 10)).finish(), false);
}

TEST(PlainScan, LeavesEverythingOutsideThePlainPartToLibxml2) {
  const std::vector<std::string> unusual = {
      "<a><!-- note --></a>",
      "<a><![CDATA[x]]></a>",
      "<!DOCTYPE a><a/>",
      "<p:a xmlns:p=\"u\"/>",
      "<a xmlns=\"u\"/>",
      "<名/>",
      "<?xml version=\"1.0\" encoding=\"GB2312\"?><a/>",
      "\xEF\xBB\xBF<a/>",
      "<a>&nbsp;</a>",
      "<a>\x7F</a>",
      " <?xml version=\"1.0\"?><a/>",
      "<?xml version=\"1.1\"?><a/>",
      // characters XML does not allow, or UTF-8 that is not well formed
      "<a>\xEF\xBF\xBE</a>",
      "<a b=\"\xEF\xBF\xBF\"/>",
      "<a>\xED\xA0\x80</a>",
      "<a>\xE0\x80\xAF</a>",
      "<a>\xF4\x90\x80\x80</a>",
      "<a>\xE6\x98</a>",
      "<a>\x01</a>",
  };
  for (const std::string& doc : unusual) {
    EXPECT_FALSE(scanned(doc).finish()) << doc;
    SavedFile quick;  // the caller's answer is still libxml2's
    const int fd = ::memfd_create("scan", 0);
    ASSERT_EQ(::write(fd, doc.data(), doc.size()), static_cast<ssize_t>(doc.size()));
    ASSERT_TRUE(check_saved_file(fd, &quick));
    ::close(fd);
    const SavedFile truth = judged(doc);
    EXPECT_EQ(quick.well_formed, truth.well_formed) << doc;
    EXPECT_EQ(quick.error, truth.error) << doc;
    EXPECT_EQ(quick.sha256, truth.sha256) << doc;
  }
}

// Random damage to the two plain documents: every proof the scan gives
// must be libxml2's verdict too, and cutting the bytes anywhere must not
// change what the scan says.
TEST(PlainScan, NeverProvesWhatLibxml2RefusesAfterRandomDamage) {
  // clang-format off
  const std::string bytes_of_note[] = {
      "<", ">", "&", ";", "/", "\"", "'", "]", "?", "!", "=", " ", "\t", std::string(1, '\0'),
      "\x7F", "\x80", "\xC0", "\xC2", "\xED", "\xEF", "\xBF", "\xBE", "\xF4\x90", "a", "#", "x",
      "-", ":", "]]>", "&#0;", "&#xD800;", "&#x10FFFF;", "&lt", "</a>", "<a>", "?>", "<?xml ?>",
      "<?XML x?>", "\xE6\x98", "\xF0\x9F\x98\x80", "\xEF\xBF\xBE", "\xED\xA0\x80", "\xE0\x80\xAF"};
  // clang-format on
  std::mt19937 random(20261210);
  size_t proved = 0, refused = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string doc = round % 2 ? kMessages : kContacts;
    const int edits = 1 + static_cast<int>(random() % 3);
    for (int e = 0; e < edits; ++e) {
      const size_t at = random() % (doc.size() + 1);
      switch (random() % 4) {
        case 0:
          doc.erase(at, 1 + random() % 3);
          break;
        case 1:
          doc.insert(at, bytes_of_note[random() % std::size(bytes_of_note)]);
          break;
        case 2:
          if (at < doc.size()) doc[at] = bytes_of_note[random() % std::size(bytes_of_note)][0];
          break;
        default: {
          const size_t from = random() % doc.size();
          doc.insert(at, doc.substr(from, 1 + random() % 40));
        }
      }
    }
    const PlainScan whole = scanned(doc);
    const PlainScan cut = scanned(doc, 1 + random() % 9);
    ASSERT_EQ(whole.finish(), cut.finish()) << doc;
    const SavedFile truth = judged(doc);
    if (whole.finish()) {
      ++proved;
      ASSERT_TRUE(truth.well_formed) << doc;
      ASSERT_EQ(whole.root(), truth.root) << doc;
      ASSERT_EQ(whole.records(), truth.records) << doc;
      ASSERT_EQ(cut.records(), truth.records) << doc;
    } else if (!truth.well_formed) {
      ++refused;
    }
  }
  // Both sides were met often enough to mean something.
  EXPECT_GT(proved, 1000u);
  EXPECT_GT(refused, 5000u);
}

}  // namespace
}  // namespace vardel::msxml
