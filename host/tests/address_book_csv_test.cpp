// Contacts through the CSV files of Google Contacts and Outlook: written
// with their header rows, read back by the header, and the demo phone's
// names, numbers and e-mail addresses the same after the round trip.
#include "host/formats/address_book_csv.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "host/device/device_tools.h"
#include "host/tests/cli_fixture.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"

namespace {

using namespace vardel_test;
using vardel::host::CsvLayout;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string first_line(const std::string& text) { return text.substr(0, text.find("\r\n")); }

class AddressBookCsv : public Cli {
 protected:
  // The demo phone's contacts through a file of the layout into a new phone,
  // as `contacts list` shows them before and after.
  std::pair<nlohmann::json, nlohmann::json> round_trip(const std::string& to,
                                                       std::string* file_text) {
    device_ = dir_ / ("old-" + to);
    EXPECT_EQ(vardel("device init --demo").status, 0);
    const fs::path csv = dir_ / (to + ".csv");
    EXPECT_EQ(vardel("contacts export --to " + to + " '" + csv.string() + "'").status, 0);
    const auto before = nlohmann::json::parse(vardel("contacts list").out);
    device_ = dir_ / ("new-" + to);
    EXPECT_EQ(vardel("device init").status, 0);
    const CliResult in = vardel("contacts import '" + csv.string() + "'");
    EXPECT_EQ(in.status, 0) << in.err;
    EXPECT_EQ(in.err, "");
    *file_text = read_file(csv);
    return {before, nlohmann::json::parse(vardel("contacts list").out)};
  }
};

TEST_F(AddressBookCsv, GoogleKeepsEveryFieldOfTheDemoPhone) {
  std::string text;
  const auto [before, after] = round_trip("google-csv", &text);
  EXPECT_EQ(text.rfind("Name,Given Name,Additional Name,Family Name,Yomi Name,", 0), 0u);
  EXPECT_TRUE(has(first_line(text),
                  ",E-mail 1 - Type,E-mail 1 - Value,Phone 1 - Type,Phone 1 - "
                  "Value,Phone 2 - Type,"))
      << first_line(text);
  EXPECT_NE(text.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_TRUE(has(text, "\"Müller, Jürgen\",Jürgen,,Müller,")) << text;
  EXPECT_EQ(after, before);
}

TEST_F(AddressBookCsv, OutlookKeepsNamesNumbersAndMailButNotTheFileAsName) {
  std::string text;
  const auto [before, after] = round_trip("outlook-csv", &text);
  EXPECT_EQ(text.rfind("\xEF\xBB\xBF"
                       "First Name,Middle Name,Last Name,Title,Suffix,Initials,Web Page,",
                       0),
            0u);
  EXPECT_TRUE(has(first_line(text), ",E-mail Address,E-mail 2 Address,E-mail 3 Address,"));
  EXPECT_TRUE(has(first_line(text), ",Mobile Phone,"));
  ASSERT_EQ(after.size(), before.size());
  // Outlook has no file-as column: the new phone makes the name its way,
  // so the order may differ; each contact is found by its mobile number.
  for (const auto& old : before) {
    const auto it = std::find_if(after.begin(), after.end(), [&](const auto& c) {
      return c.value("MobileTelephoneNumber", "") == old.value("MobileTelephoneNumber", "");
    });
    ASSERT_NE(it, after.end()) << old.dump();
    auto expected = old, got = *it;
    expected.erase("FileAs");
    got.erase("FileAs");
    EXPECT_EQ(got, expected);
    EXPECT_FALSE(it->value("FileAs", "").empty());
  }
}

// What the files of the two programs hold that ours do not write: values
// several to a cell, labels we do not write, a second value of a slot.
TEST_F(AddressBookCsv, ThePhonesOwnColumnsComeBackAsTheyWent) {
  std::string text;
  const auto [before, after] = round_trip("csv", &text);
  EXPECT_EQ(text.rfind("\xEF\xBB\xBF" "FileAs,", 0), 0u) << first_line(text);
  EXPECT_EQ(after, before);
}

TEST(AddressBookCsvRead, ThePhonesColumnsTakeTextsAsTheyStand) {
  const vardel::poom::ContactRecord odd{{PIMPR_FILEAS, u"Quote \"this\", then\r\nthat"},
                                        {PIMPR_MOBILE_TELEPHONE_NUMBER, u"+86 138 0013 8000"},
                                        {PIMPR_BUSINESS_FAX_NUMBER, u"=1+1"}};
  const std::string text =
      vardel::host::address_book_csv({odd, {{PIMPR_FIRST_NAME, u"李"}}}, CsvLayout::phone);
  EXPECT_EQ(vardel::host::address_book_csv_layout(text), CsvLayout::phone);
  const auto back = vardel::host::read_address_book_csv(text);
  ASSERT_EQ(back.contacts.size(), 2u);
  auto sorted = [](vardel::poom::ContactRecord c) {
    std::sort(c.begin(), c.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
    return c;
  };
  EXPECT_EQ(sorted(back.contacts[0]), sorted(odd));
  EXPECT_TRUE(back.warnings.empty());
  // A header of other names is no file of the phone's.
  EXPECT_FALSE(vardel::host::address_book_csv_layout("FileAs,Colour\r\nx,y\r\n"));
}

TEST(AddressBookCsvRead, ValuesFindTheirSlotsAndWhatHasNoneIsNamed) {
  const auto google = vardel::host::read_address_book_csv(
      "Name,Given Name,Family Name,Gender,E-mail 1 - Type,E-mail 1 - Value,Phone 1 - Type,"
      "Phone 1 - Value,Phone 2 - Type,Phone 2 - Value,Address 1 - Type,Address 1 - Formatted,"
      "Address 1 - Street,Address 1 - City,Relation 1 - Type,Relation 1 - Value\r\n"
      "\"Lee, Ann\",Ann,Lee,female,* Home,a@x ::: b@x,* Mobile,139 ::: 138,Work Fax,010 ::: 011,"
      "Work,\"1 Road\nBerlin\",,,Friend,Bo\r\n");
  ASSERT_EQ(google.contacts.size(), 1u);
  std::map<CEPROPID, std::string> c;
  for (const auto& p : google.contacts[0]) c[p.tag] = vardel::utf8(p.text);
  EXPECT_EQ(c[PIMPR_FILEAS], "Lee, Ann");
  EXPECT_EQ(c[PIMPR_EMAIL2_ADDRESS], "b@x");
  EXPECT_EQ(c[PIMPR_MOBILE_TELEPHONE_NUMBER], "139");
  EXPECT_EQ(c[PIMPR_HOME_TELEPHONE_NUMBER], "138");  // a second mobile: the next free number
  EXPECT_EQ(c[PIMPR_HOME_FAX_NUMBER], "011");        // a second fax: the free home fax
  EXPECT_EQ(c[PIMPR_BUSINESS_ADDRESS_STREET], "1 Road\nBerlin");
  std::string all;
  for (const auto& w : google.warnings) all += w + "\n";
  EXPECT_TRUE(has(all, "row 2: Relation 1 (Friend) \"Bo\" left out")) << all;
  EXPECT_TRUE(has(all, "no place for the columns Gender")) << all;

  EXPECT_EQ(vardel::host::address_book_csv_layout("FileAs,FirstName\r\n"), CsvLayout::phone);
  EXPECT_EQ(vardel::host::address_book_csv_layout("\xEF\xBB\xBF"
                                                  "First Name,Last Name,E-mail Address\r\n"),
            CsvLayout::outlook);
  const auto outlook = vardel::host::read_address_book_csv(
      "First Name,Last Name,E-mail Address,Birthday\r\nAnn,Lee,a@x,5/7/1980\r\n");
  ASSERT_EQ(outlook.contacts.size(), 1u);
  EXPECT_NE(std::find(outlook.contacts[0].begin(), outlook.contacts[0].end(),
                      vardel::poom::ContactProperty{PIMPR_BIRTHDAY, u"1980-05-07"}),
            outlook.contacts[0].end());
  EXPECT_THROW(vardel::host::read_address_book_csv("First Name,Last Name,E-mail Address\r\n\"Ann"),
               vardel::host::UsageError);
}

}  // namespace
