// vCard reading as phones and address books wrote it, and the round trip of
// every property the device stores.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <map>

#include "host/tools/vcard.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"
#include "test_support/files.h"

using vardel::tools::read_vcards;
using vardel::tools::VcardVersion;
using vardel::tools::write_vcards;

namespace {

std::map<CEPROPID, std::string> as_map(const vardel::poom::ContactRecord& c) {
  std::map<CEPROPID, std::string> m;
  for (auto& p : c) m[p.tag] = vardel::utf8(p.text);
  return m;
}

}  // namespace

TEST(VcardRead, ThreeZeroWithFoldingTypesAndSeveralCards) {
  const char* file =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Zhang San\r\nN:Zhang;San;;;\r\n"
      "TEL;TYPE=CELL:13800000000\r\nTEL;TYPE=WORK,VOICE:010-1\r\nTEL;TYPE=WORK,VOICE:010-2\r\n"
      "TEL;TYPE=WORK,FAX:010-9\r\nTEL;TYPE=HOME:020-1\r\nEMAIL;TYPE=INTERNET:a@example.org\r\n"
      "NOTE:first line\\nsecond\\, with comma and a long tail that is folded over\r\n"
      " two lines\r\nORG:Acme\\; Co;Sales\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Li Si\r\nSORT-STRING:LISI\r\nEND:VCARD\r\n";
  auto r = read_vcards(file);
  ASSERT_EQ(r.contacts.size(), 2u);
  EXPECT_TRUE(r.warnings.empty());
  auto a = as_map(r.contacts[0]);
  EXPECT_EQ(a[PIMPR_FILEAS], "Zhang San");
  EXPECT_EQ(a[PIMPR_LAST_NAME], "Zhang");
  EXPECT_EQ(a[PIMPR_FIRST_NAME], "San");
  EXPECT_EQ(a[PIMPR_MOBILE_TELEPHONE_NUMBER], "13800000000");
  EXPECT_EQ(a[PIMPR_BUSINESS_TELEPHONE_NUMBER], "010-1");
  EXPECT_EQ(a[PIMPR_BUSINESS2_TELEPHONE_NUMBER], "010-2");
  EXPECT_EQ(a[PIMPR_BUSINESS_FAX_NUMBER], "010-9");
  EXPECT_EQ(a[PIMPR_HOME_TELEPHONE_NUMBER], "020-1");
  EXPECT_EQ(a[PIMPR_EMAIL1_ADDRESS], "a@example.org");
  EXPECT_EQ(a[PIMPR_BODY],
            "first line\nsecond, with comma and a long tail that is folded overtwo lines");
  EXPECT_EQ(a[PIMPR_COMPANY_NAME], "Acme; Co");
  EXPECT_EQ(a[PIMPR_DEPARTMENT], "Sales");
  EXPECT_EQ(as_map(r.contacts[1])[PIMPR_FILEAS], "LISI");  // the sort string wins over FN
}

TEST(VcardRead, OldPhoneQuotedPrintableAndGb2312) {
  // "张三" in GB2312 is D5 C5 C8 FD; quoted-printable with a soft line break.
  const char* file =
      "BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=GB2312;ENCODING=QUOTED-PRINTABLE:=D5=C5;=C8=FD\n"
      "FN;CHARSET=GB2312;ENCODING=QUOTED-PRINTABLE:=D5=C5=\n=C8=FD\nTEL;CELL;VOICE:139\n"
      "TEL;HOME;FAX:021\nEND:VCARD\n";
  auto r = read_vcards(file);
  ASSERT_EQ(r.contacts.size(), 1u);
  auto a = as_map(r.contacts[0]);
  EXPECT_EQ(a[PIMPR_FILEAS], "张三");
  EXPECT_EQ(a[PIMPR_LAST_NAME], "张");
  EXPECT_EQ(a[PIMPR_FIRST_NAME], "三");
  EXPECT_EQ(a[PIMPR_MOBILE_TELEPHONE_NUMBER], "139");
  EXPECT_EQ(a[PIMPR_HOME_FAX_NUMBER], "021");
}

TEST(VcardRead, ABadLineOrValueCostsThatLineOnlyAndACardCutShortIsKept) {
  const char* file =
      "BEGIN:VCARD\nVERSION:3.0\nFN:Good One\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:3.0\nFN:Kept\nthis line has no colon\nTEL:1\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:3.0\nFN;CHARSET=NO-SUCH-CHARSET:x\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:4.0\nFN:Good Two\nBDAY:--0517\nEND:VCARD\n"
      "BEGIN:VCARD\nFN:Never ended\nTEL:2\n";
  auto r = read_vcards(file);
  ASSERT_EQ(r.contacts.size(), 5u);
  EXPECT_EQ(as_map(r.contacts[1])[PIMPR_FILEAS], "Kept");
  EXPECT_EQ(as_map(r.contacts[1])[PIMPR_MOBILE_TELEPHONE_NUMBER], "1");
  EXPECT_EQ(as_map(r.contacts[2])[PIMPR_FILEAS], "x");  // read in the detected charset instead
  EXPECT_EQ(as_map(r.contacts[3]).count(PIMPR_BIRTHDAY), 0u);  // no year: left out, not guessed
  ASSERT_EQ(r.warnings.size(), 4u);
  EXPECT_NE(r.warnings[0].find("line 8: skipped"), std::string::npos) << r.warnings[0];
  EXPECT_NE(r.warnings[1].find("line 13: FN: text is not NO-SUCH-CHARSET as declared; read as"),
            std::string::npos)
      << r.warnings[1];
  EXPECT_NE(r.warnings[2].find("line 18: BDAY: date \"--0517\""), std::string::npos)
      << r.warnings[2];
  EXPECT_EQ(r.warnings[3],
            "card at line 20 (Never ended): no END:VCARD, the file ends at line 22; kept as far "
            "as it goes");
  EXPECT_EQ(as_map(r.contacts[4])[PIMPR_FILEAS], "Never ended");
  EXPECT_EQ(as_map(r.contacts[4])[PIMPR_MOBILE_TELEPHONE_NUMBER], "2");
  // A card that begins inside another is still no card.
  const auto nested = read_vcards("BEGIN:VCARD\nFN:Half\nBEGIN:VCARD\nFN:Whole\nEND:VCARD\n");
  ASSERT_EQ(nested.contacts.size(), 1u);
  EXPECT_EQ(as_map(nested.contacts[0])[PIMPR_FILEAS], "Whole");
}

TEST(VcardRead, DatesInBothFormsAndImpossibleOnes) {
  auto r = read_vcards(
      "BEGIN:VCARD\nFN:a\nBDAY:19800517\nANNIVERSARY:2001-02-03T10:20:30Z\nEND:VCARD\n"
      "BEGIN:VCARD\nFN:b\nBDAY:1981-02-29\nEND:VCARD\n");
  ASSERT_EQ(r.contacts.size(), 2u);
  auto a = as_map(r.contacts[0]);
  EXPECT_EQ(a[PIMPR_BIRTHDAY], "1980-05-17");
  EXPECT_EQ(a[PIMPR_ANNIVERSARY], "2001-02-03T10:20:30");
  EXPECT_EQ(as_map(r.contacts[1]).count(PIMPR_BIRTHDAY), 0u);
}

class VcardRoundTrip : public ::testing::TestWithParam<VcardVersion> {};

TEST_P(VcardRoundTrip, EveryStoredPropertyComesBack) {
  vardel::poom::ContactRecord all;
  const std::u16string awkward = u"a,b;c\\d 张三 😀 \"q\" <x&y>";
  for (CEPROPID tag : vardel::poom::known_property_tags()) {
    std::u16string text;
    if (tag == PIMPR_BIRTHDAY)
      text = u"1980-05-17";
    else if (tag == PIMPR_ANNIVERSARY)
      text = u"2005-10-01T08:30:00";
    else if (tag == PIMPR_CATEGORIES)
      text = u"Family, Work";
    else  // the phone's CR LF, a lone CR and LF all come back as they were
      text = awkward + vardel::utf16(std::to_string(tag)) + u"\r\nline two\rthree\nfour";
    all.push_back({tag, text});
  }
  vardel::poom::ContactRecord sparse = {
      {PIMPR_FILEAS, u"Only second slots"},     {PIMPR_BODY, u"a\r\nb\r\nc"},
      {PIMPR_EMAIL3_ADDRESS, u"c@example.org"}, {PIMPR_IM2_ADDRESS, u"im2"},
      {PIMPR_BUSINESS2_TELEPHONE_NUMBER, u"2"}, {PIMPR_HOME2_TELEPHONE_NUMBER, u"3"}};
  auto text = write_vcards({all, sparse}, GetParam());
  auto back = read_vcards(text);
  EXPECT_TRUE(back.warnings.empty()) << back.warnings.front();
  ASSERT_EQ(back.contacts.size(), 2u);
  EXPECT_EQ(as_map(back.contacts[0]), as_map(all));
  EXPECT_EQ(as_map(back.contacts[1]), as_map(sparse));
  for (size_t pos = 0; pos < text.size();) {  // every physical line within 75 octets
    size_t end = text.find("\r\n", pos);
    EXPECT_LE(end - pos, 75u);
    pos = end + 2;
  }
}

INSTANTIATE_TEST_SUITE_P(BothVersions, VcardRoundTrip,
                         ::testing::Values(VcardVersion::v3, VcardVersion::v4));

TEST(VcardWrite, NameOnlyContactsGetAFormattedNameAndFourZeroMarksTextThatIsNoUri) {
  vardel::poom::ContactRecord c = {{PIMPR_FIRST_NAME, u"San"},
                                   {PIMPR_LAST_NAME, u"Zhang"},
                                   {PIMPR_SPOUSE, u"Li Si"},
                                   {PIMPR_WEB_PAGE, u"www.example.org"}};
  const std::string v4 = write_vcards({c}, VcardVersion::v4);
  EXPECT_NE(v4.find("\r\nFN:San Zhang\r\n"), std::string::npos) << v4;
  EXPECT_NE(v4.find("RELATED;TYPE=spouse;VALUE=text:Li Si"), std::string::npos) << v4;
  EXPECT_NE(v4.find("URL;VALUE=text:www.example.org"), std::string::npos) << v4;
  const std::string v3 = write_vcards({c}, VcardVersion::v3);
  EXPECT_EQ(v3.find("VALUE=text"), std::string::npos) << v3;
}

// The files we write pass an independent vCard reader (python3-vobject),
// when it is installed.
TEST(VcardWrite, OutputPassesAnIndependentReader) {
  // Debian's python3-vobject belongs to the system's Python.
  const std::string python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
  if (std::system((python + " -c 'import vobject' >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "python3-vobject is not installed";
  vardel::poom::ContactRecord all;
  for (CEPROPID tag : vardel::poom::known_property_tags())
    all.push_back({tag, tag == PIMPR_BIRTHDAY      ? u"1980-05-17"
                        : tag == PIMPR_ANNIVERSARY ? u"2005-10-01"
                                                   : u"张三, \"x\"; y\r\nz"});
  for (VcardVersion v : {VcardVersion::v3, VcardVersion::v4}) {
    vardel::testing::TempFolder folder("vardel-vcf");
    const auto file = folder / "cards.vcf";
    const std::string text = write_vcards({all, {{PIMPR_FIRST_NAME, u"Only"}}}, v);
    vardel::testing::write_file(file, text);
    const std::string cmd =
        python + " '" +
        (vardel::testing::source_dir() / "host/tools/tests/check_vcard.py").string() + "' '" +
        file.string() + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << text;
  }
}

// The writer's bytes are fixed: files written before the field table drove
// it (tests/written/, every property with texts that need escaping, folding
// and X-EOL) come out the same, and read back to the same contacts.
TEST(VcardWrite, EveryPropertyIsWrittenAsBeforeByteForByte) {
  vardel::poom::ContactRecord all;
  int k = 0;
  const char16_t* texts[] = {u"张三, \"x\"; y\r\nz", u"Müller\\Co", u"a\nb", u"http://example.org",
                             u"+86 (10) 1234"};
  for (CEPROPID tag : vardel::poom::known_property_tags())
    all.push_back({tag, tag == PIMPR_BIRTHDAY      ? u"1980-05-17"
                        : tag == PIMPR_ANNIVERSARY ? u"2005-10-01T06:30:00"
                                                   : texts[k++ % 5]});
  const std::vector<vardel::poom::ContactRecord> contacts = {
      all,
      {{PIMPR_FIRST_NAME, u"Only"}},
      {{PIMPR_COMPANY_NAME, u"Example Trading & Co."}, {PIMPR_HOME_ADDRESS_CITY, u"Springfield"}}};
  const auto dir = vardel::testing::source_dir() / "host/tools/tests/written";
  for (auto [v, name] : {std::pair{VcardVersion::v4, "all-fields-v4.vcf"},
                         std::pair{VcardVersion::v3, "all-fields-v3.vcf"}}) {
    SCOPED_TRACE(name);
    const std::string text = write_vcards(contacts, v);
    EXPECT_EQ(text, vardel::testing::read_file(dir / name));
    const auto back = read_vcards(text);
    ASSERT_EQ(back.contacts.size(), 3u);
    EXPECT_EQ(as_map(back.contacts[0]), as_map(all));
  }
}
