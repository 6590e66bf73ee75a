// vCards other software takes: every card the program writes carries a UID
// that stays the same from one export to the next, and khard and
// python3-vobject read every card of the demo phone and of the real-world
// files.
#include <algorithm>
#include <regex>
#include <set>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

std::vector<std::string> cards_of(const std::string& file_text) {
  std::vector<std::string> cards;
  for (size_t at = 0; (at = file_text.find("BEGIN:VCARD", at)) != std::string::npos;) {
    const size_t end = file_text.find("END:VCARD\r\n", at);
    if (end == std::string::npos) break;
    cards.push_back(file_text.substr(at, end + 11 - at));
    at = end;
  }
  return cards;
}

// Each card's UID, in the file's order ("" for a card without one).
std::vector<std::string> uids_of(const std::string& file_text) {
  std::vector<std::string> out;
  static const std::regex uid("\r\nUID:([^\r]*)\r\n");
  for (const std::string& card : cards_of(file_text)) {
    std::smatch m;
    out.push_back(std::regex_search(card, m, uid) ? m[1].str() : "");
  }
  return out;
}

bool installed(const std::string& probe) {
  return std::system((probe + " >/dev/null 2>&1").c_str()) == 0;
}

class Cards : public Cli {
 protected:
  // Every card of the file has a UID of its own.
  void expect_unique_uids(const std::string& text) {
    const auto uids = uids_of(text);
    ASSERT_FALSE(uids.empty());
    EXPECT_EQ(std::set<std::string>(uids.begin(), uids.end()).size(), uids.size());
    for (const auto& u : uids) EXPECT_FALSE(u.empty());
  }

  // khard, given a folder of one card per file as its address book, lists
  // every card and complains of none.
  void expect_khard_reads_every_card(const fs::path& vcf) {
    if (!installed("khard --version")) GTEST_SKIP() << "khard is not installed";
    const fs::path book = dir_ / ("khard-" + vcf.stem().string());
    fs::create_directories(book);
    const auto cards = cards_of(read_file(vcf));
    for (size_t k = 0; k < cards.size(); ++k)
      write((book.filename() / (std::to_string(k) + ".vcf")).string(), cards[k]);
    const fs::path config = write(book.filename().string() + ".conf",
                                  "[addressbooks]\n[[book]]\npath = " + book.string() +
                                      "\n[general]\ndefault_action = list\n");
    const fs::path out = dir_ / "khard.out", err = dir_ / "khard.err";
    const std::string cmd = "HOME='" + dir_.string() + "' khard -c '" + config.string() +
                            "' list --parsable >'" + out.string() + "' 2>'" + err.string() + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(read_file(err), "") << vcf;
    const std::string listed = read_file(out);
    EXPECT_EQ(static_cast<size_t>(std::count(listed.begin(), listed.end(), '\n')), cards.size())
        << listed;
  }

  void expect_vobject_reads_every_card(const fs::path& vcf) {
    if (!installed("/usr/bin/python3 -c 'import vobject'"))
      GTEST_SKIP() << "python3-vobject is not installed";
    const std::string cmd = "/usr/bin/python3 '" VARDEL_SOURCE_DIR
                            "/host/tools/tests/check_vcard.py' --uid '" +
                            vcf.string() + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << vcf;
  }
};

TEST_F(Cards, TheDemoPhonesCardsKeepTheirUidsAndReadInKhardAndVobject) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  const fs::path a = dir_ / "a.vcf", b = dir_ / "b.vcf", v3 = dir_ / "v3.vcf";
  ASSERT_EQ(vardel("contacts export '" + a.string() + "'").status, 0);
  ASSERT_EQ(vardel("contacts export --vcard-version 3 '" + v3.string() + "'").status, 0);
  ASSERT_EQ(vardel("contacts export '" + b.string() + "'").status, 0);
  const std::string first = read_file(a);
  EXPECT_EQ(read_file(b), first);  // the same contacts, the same UIDs
  expect_unique_uids(first);
  EXPECT_EQ(uids_of(read_file(v3)), uids_of(first));
  // Only a vCard carries UIDs: the other exports stay as they were.
  const fs::path json = dir_ / "c.json";
  ASSERT_EQ(vardel("contacts export '" + json.string() + "'").status, 0);
  EXPECT_EQ(read_file(json).find("Uid"), std::string::npos);

  // A card that came with a UID keeps it on the new phone.
  device_ = dir_ / "new-phone";
  ASSERT_EQ(vardel("device init").status, 0);
  ASSERT_EQ(vardel("contacts import '" + a.string() + "'").status, 0);
  const fs::path again = dir_ / "again.vcf";
  ASSERT_EQ(vardel("contacts export '" + again.string() + "'").status, 0);
  const auto before = uids_of(first), after = uids_of(read_file(again));
  EXPECT_EQ(std::set<std::string>(after.begin(), after.end()),
            std::set<std::string>(before.begin(), before.end()));

  for (const fs::path& f : {a, v3}) {
    expect_khard_reads_every_card(f);
    expect_vobject_reads_every_card(f);
  }
}

TEST_F(Cards, AConvertedBackupGivesEachContactTheSameUidEveryTime) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const fs::path a = dir_ / "a.vcf", b = dir_ / "b.vcf";
  ASSERT_EQ(vardel("convert 通讯录.xml -o '" + a.string() + "'").status, 0);
  ASSERT_EQ(vardel("convert 通讯录.xml --to vcard3 -o '" + b.string() + "'").status, 0);
  expect_unique_uids(read_file(a));
  EXPECT_EQ(uids_of(read_file(b)), uids_of(read_file(a)));
  expect_khard_reads_every_card(a);
  expect_vobject_reads_every_card(b);
}

// The backup keeps the company's name and telephone in one element: a name
// stays a name in every converted file and in a restored phone, and a fax
// is not written a second time as a business number.
TEST_F(Cards, ACompanyNameStaysANameAndAFaxIsWrittenOnce) {
  ASSERT_EQ(vardel("device init").status, 0);
  const auto contacts = write("c.json", R"([
    {"FileAs":"Müller, Jürgen","CompanyName":"Example Trading & Co.","BusinessFaxNumber":"010-9"},
    {"FileAs":"Desk","CompanyTelephoneNumber":"+49 30 1234"}])");
  ASSERT_EQ(vardel("contacts import '" + contacts.string() + "'").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const fs::path vcf = dir_ / "c.vcf", csv = dir_ / "c.csv";
  for (const fs::path& out : {vcf, csv})
    ASSERT_EQ(vardel("convert 通讯录.xml -o '" + out.string() + "'").status, 0) << out;
  const std::string cards = read_file(vcf);
  EXPECT_NE(cards.find("ORG:Example Trading & Co.;\r\n"), std::string::npos) << cards;
  EXPECT_EQ(cards.find("company:Example"), std::string::npos) << cards;
  EXPECT_NE(cards.find("X-MS-TEL;TYPE=company:+49 30 1234"), std::string::npos) << cards;
  EXPECT_EQ(cards.find("ORG:+49"), std::string::npos) << cards;
  EXPECT_EQ(cards.find("010-9"), cards.rfind("010-9")) << cards;  // once, as the fax
  EXPECT_NE(cards.find("TEL;TYPE=work,fax:010-9"), std::string::npos) << cards;
  const std::string sheet = read_file(csv);
  EXPECT_EQ(sheet.find("Business2TelephoneNumber"), std::string::npos) << sheet;
  EXPECT_EQ(sheet.find("010-9"), sheet.rfind("010-9")) << sheet;

  device_ = dir_ / "new-phone";
  ASSERT_EQ(vardel("device init").status, 0);
  fs::create_directories(backup_dir());
  fs::copy(dir_ / "device/Storage Card/vardelbackup/通讯录.xml", backup_dir() / "通讯录.xml");
  ASSERT_EQ(vardel("restore --yes").status, 0);
  const std::string listed = vardel("contacts list").out;
  EXPECT_NE(listed.find("\"CompanyName\": \"Example Trading & Co.\""), std::string::npos) << listed;
  EXPECT_EQ(listed.find("\"CompanyTelephoneNumber\": \"Example"), std::string::npos) << listed;
  EXPECT_EQ(listed.find("Business2TelephoneNumber"), std::string::npos) << listed;
}

TEST_F(Cards, TheRealWorldCardsReadInKhardAndVobjectOnceThroughThePhone) {
  ASSERT_EQ(vardel("device init").status, 0);
  const fs::path corpus = fs::path(VARDEL_SOURCE_DIR) / "host/tools/tests/corpus/vcard";
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(corpus))
    if (entry.path().extension() == ".vcf") {
      ASSERT_EQ(vardel("contacts import '" + entry.path().string() + "'").status, 0)
          << entry.path();
      ++files;
    }
  EXPECT_GT(files, 15);
  const fs::path out = dir_ / "corpus.vcf";
  ASSERT_EQ(vardel("contacts export '" + out.string() + "'").status, 0);
  expect_unique_uids(read_file(out));
  expect_khard_reads_every_card(out);
  expect_vobject_reads_every_card(out);
}

}  // namespace
