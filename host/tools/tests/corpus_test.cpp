// Every file of the corpus (real files from other programs, and files made
// for each way real files go wrong) read as the import reads it: how many
// cards or messages it gives, a few of their fields, and what it says.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "host/tools/android_sms.h"
#include "host/tools/vcard.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"
#include "test_support/files.h"

namespace fs = std::filesystem;
using namespace vardel;

namespace {

fs::path corpus() { return vardel::testing::source_dir() / "host" / "tools" / "tests" / "corpus"; }

std::map<CEPROPID, std::string> fields(const poom::ContactRecord& c) {
  std::map<CEPROPID, std::string> m;
  for (auto& p : c) m[p.tag] = utf8(p.text);
  return m;
}

std::string all(const std::vector<std::string>& lines) {
  std::string s;
  for (auto& l : lines) s += l + "\n";
  return s;
}

struct CardCase {
  const char* file;
  size_t cards;
  CEPROPID tag;  // of the first card
  const char* value;
  const char* warning;  // a part of some warning, or "" for none at all
};

const CardCase kCards[] = {
    {"ezvcard-evolution.vcf", 1, PIMPR_MANAGER, "Big Blue", ""},
    {"ezvcard-gmail-list.vcf", 3, PIMPR_EMAIL1_ADDRESS, "asmithk@gmail.com", ""},
    {"ezvcard-gmail-single2.vcf", 1, PIMPR_BODY,
     "note line 1\nnote line 2\nCustomField: field value", "line 33: TEL: 5555551121 left out"},
    {"ezvcard-fullcontact.vcf", 1, PIMPR_JOB_TITLE, "Title1",
     "line 28: TITLE: \"Title2\" left out"},
    {"android-v40-sip.vcf", 1, PIMPR_HOME_TELEPHONE_NUMBER, "1", ""},
    {"android-v30-comma-separated.vcf", 1, PIMPR_LAST_NAME, "F", ""},
    {"android-v21-sip.vcf", 1, PIMPR_FILEAS, "Android", "X-SIP"},
    {"made/ios-cr-cr-lf.vcf", 1, PIMPR_BODY,
     "A note that is long enough to be folded by the phone onto a second line", ""},
    {"made/lone-cr.vcf", 1, PIMPR_HOME_TELEPHONE_NUMBER, "020-1", ""},
    {"made/comment-and-stray-byte.vcf", 1, PIMPR_EMAIL1_ADDRESS, "wang@example.com",
     "line 3: skipped"},
    {"made/utf8-declared-bad-byte.vcf", 1, PIMPR_LAST_NAME, "Muñoz\uFFFD",
     "line 3: N: 1 byte that is not UTF-8"},
    {"made/windows-1252-no-charset.vcf", 1, PIMPR_HOME_ADDRESS_STREET, "Hauptstraße 5",
     "read as WINDOWS-1252 (detected)"},
    {"made/gb2312-no-charset.vcf", 1, PIMPR_FILEAS, "张三", "read as GB18030 (detected)"},
    {"made/utf16le-bom.vcf", 1, PIMPR_FILEAS, "李四", ""},
    {"made/utf16be-no-bom.vcf", 1, PIMPR_MOBILE_TELEPHONE_NUMBER, "13900139000", ""},
    {"made/utf8-bom.vcf", 1, PIMPR_FILEAS, "王五", ""},
    {"made/two-notes.vcf", 1, PIMPR_BODY, "first\r\nline two\nsecond note", ""},
    {"made/second-values.vcf", 1, PIMPR_COMPANY_NAME, "First Co",
     "line 9: BDAY: \"1971-03-04\" left out"},
    {"made/nul-in-text.vcf", 1, PIMPR_MOBILE_TELEPHONE_NUMBER, "139",
     "line 4: NOTE: left out: the text holds a NUL"},
};

}  // namespace

TEST(Corpus, EveryVcardFileGivesItsCardsAndNamesWhatItLeavesOut) {
  for (const CardCase& c : kCards) {
    SCOPED_TRACE(c.file);
    const auto r = tools::read_vcards(vardel::testing::read_file(corpus() / "vcard" / c.file));
    ASSERT_EQ(r.contacts.size(), c.cards) << all(r.warnings);
    EXPECT_EQ(fields(r.contacts[0])[c.tag], c.value);
    if (*c.warning == '\0')
      EXPECT_TRUE(r.warnings.empty()) << all(r.warnings);
    else
      EXPECT_NE(all(r.warnings).find(c.warning), std::string::npos) << all(r.warnings);
    for (auto& w : r.warnings)  // each names its line (or its card's)
      EXPECT_TRUE(w.rfind("line ", 0) == 0 || w.rfind("card at line ", 0) == 0) << w;
  }
  // The detector is not fooled into the old guess: "ÑÑ" plus a bad byte is
  // still Spanish, not "脩脩丂".
  const auto bad = tools::read_vcards(
      vardel::testing::read_file(corpus() / "vcard/made/utf8-declared-bad-byte.vcf"));
  EXPECT_EQ(fields(bad.contacts[0])[PIMPR_FIRST_NAME], "José");
  // A file of another kind holds no card.
  EXPECT_TRUE(
      tools::read_vcards(vardel::testing::read_file(corpus() / "vcard/made/not-a-vcard.txt"))
          .contacts.empty());
}

// A value whose usual slot is taken goes to a free slot of its kind; only
// when every slot of the kind is taken is it left out.
TEST(Corpus, ValuesWithAFreeSlotOfTheirKindAreKept) {
  const auto each =
      tools::read_vcards(vardel::testing::read_file(corpus() / "vcard/made/second-of-each.vcf"));
  ASSERT_EQ(each.contacts.size(), 1u);
  EXPECT_TRUE(each.warnings.empty()) << all(each.warnings);
  auto f = fields(each.contacts[0]);
  EXPECT_EQ(f[PIMPR_BUSINESS_FAX_NUMBER], "010-1");
  EXPECT_EQ(f[PIMPR_HOME_FAX_NUMBER], "010-2");
  EXPECT_EQ(f[PIMPR_MOBILE_TELEPHONE_NUMBER], "139");
  EXPECT_EQ(f[PIMPR_HOME_TELEPHONE_NUMBER], "020-3");
  EXPECT_EQ(f[PIMPR_BUSINESS_ADDRESS_CITY], "Berlin");
  EXPECT_EQ(f[PIMPR_OTHER_ADDRESS_STREET], "2 Depot Lane");
  EXPECT_EQ(f[PIMPR_OTHER_ADDRESS_CITY], "Hamburg");
  EXPECT_EQ(f[PIMPR_OTHER_ADDRESS_COUNTRY], "Germany");

  // Gmail's eleven numbers fill all seven telephone slots; the MAIN number
  // once dropped for want of the usual five is kept.
  const auto gmail =
      tools::read_vcards(vardel::testing::read_file(corpus() / "vcard/ezvcard-gmail-single2.vcf"));
  f = fields(gmail.contacts[0]);
  EXPECT_EQ(f[PIMPR_RADIO_TELEPHONE_NUMBER], "5555551116");
  EXPECT_EQ(f[PIMPR_CAR_TELEPHONE_NUMBER], "5555551119");
  EXPECT_EQ(f[PIMPR_HOME_FAX_NUMBER], "5555551117");
  EXPECT_EQ(all(gmail.warnings).find("5555551116"), std::string::npos);
}

TEST(Corpus, AndroidFilesGiveTheirSmsAndTheTextOfTheirMms) {
  struct Case {
    const char* file;
    size_t messages, mms;
    int attachments, left_out;
  };
  for (const Case& c :
       {Case{"sms-backup-reader-2-sms_small.xml", 12, 0, 0, 0},
        Case{"sms-backup-reader-2-sample_mms.xml", 4, 4, 4, 0},
        Case{"shruggietech-edge_cases.xml", 3, 0, 0, 1},
        Case{"made/emoji-surrogates.xml", 2, 0, 0, 0}, Case{"made/mms-group.xml", 2, 1, 2, 1}}) {
    SCOPED_TRACE(c.file);
    const auto f = tools::read_android_sms(vardel::testing::read_file(corpus() / "sms" / c.file));
    EXPECT_EQ(f.messages.size(), c.messages);
    size_t mms = 0;
    for (auto& m : f.messages) mms += m.mms;
    EXPECT_EQ(mms, c.mms);
    EXPECT_EQ(f.attachments_left_out, c.attachments);
    EXPECT_EQ(f.messages_left_out, c.left_out);
  }
  const auto small = tools::read_android_sms(
      vardel::testing::read_file(corpus() / "sms/sms-backup-reader-2-sms_small.xml"));
  EXPECT_EQ(small.messages[9].message.text, u"Body text 10\nBody text 11\nBody text 12");
  EXPECT_EQ(small.messages[9].folder, mapi::FolderKind::sent);
  EXPECT_EQ(small.messages[9].message.recipients.at(0), u"+15550000004");

  // Emoji written as two references to UTF-16 halves come back whole; a
  // half alone becomes U+FFFD rather than a broken text.
  const auto emoji = tools::read_android_sms(
      vardel::testing::read_file(corpus() / "sms/made/emoji-surrogates.xml"));
  EXPECT_EQ(emoji.messages[0].message.text, u"Smile 😀 and 👍 ok");
  EXPECT_EQ(emoji.messages[1].message.text, u"lone half \uFFFD here");

  // A group MMS: the text parts joined, sent to both, the picture counted.
  const auto group =
      tools::read_android_sms(vardel::testing::read_file(corpus() / "sms/made/mms-group.xml"));
  const auto& mms = group.messages[1].message;
  EXPECT_EQ(mms.text, u"see the picture\nand this line");
  ASSERT_EQ(mms.recipients.size(), 2u);
  EXPECT_EQ(mms.recipients[1], u"+15550000002");
  EXPECT_NE(all(group.warnings).find("mms 3 (line 17, column 3): no text, only 1 attachment"),
            std::string::npos)
      << all(group.warnings);

  const auto sample = tools::read_android_sms(
      vardel::testing::read_file(corpus() / "sms/sms-backup-reader-2-sample_mms.xml"));
  EXPECT_EQ(sample.messages[0].message.sender, u"+15550000003");
  EXPECT_EQ(sample.messages[0].message.text, u"Here is an image attachment");
}

TEST(Corpus, ACutOffBackupIsReportedWithItsPlaceAndGivesNothing) {
  try {
    tools::read_android_sms(vardel::testing::read_file(corpus() / "sms/made/truncated.xml"));
    FAIL() << "a cut-off file was read";
  } catch (const tools::SmsFileError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("an SMS backup cut short or malformed at line 5"), std::string::npos)
        << what;
  }
  EXPECT_THROW(tools::read_android_sms("<calls count=\"0\"/>"), tools::SmsFileError);
}
