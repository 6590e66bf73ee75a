// Files written for other programs stay readable by them: XML that strict
// parsers accept whatever the messages hold, CSV cells that spreadsheets do
// not run as formulas yet read back as they were, and Android backups in
// UTF-16 read as in UTF-8. Files from elsewhere nested without end are
// refused naming their line, never a crash.
#include <nlohmann/json.hpp>

#include "host/tests/cli_fixture.h"
#include "host/tools/message_writers.h"
#include "platform/core/wstr.h"

namespace {

using namespace vardel_test;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class Outputs : public Cli {
 protected:
  // A phone whose messages hold characters XML 1.0 cannot carry.
  void phone_with_unwritable_characters() {
    ASSERT_EQ(vardel("device init").status, 0);
    const auto json = write("m.json", R"({"stores":[{"name":"SMS",
      "inbox":[{"from":"10086","time":"2009-04-23T10:00:00Z","text":"bell\u0007 vt\u000b end\uffff"},
               {"from":"10010","time":"2009-04-23T11:00:00Z","text":"tab\tkept, \ufffe gone & <fine>"}],
      "sent":[{"to":["10086","10010"],"time":"2009-04-24T08:00:00Z","text":"esc\u001b"}]}]})");
    ASSERT_EQ(vardel("messages import '" + json.string() + "'").status, 0);
  }
  bool parses_strictly(const fs::path& xml) {
    const std::string py =
        "python3 -c 'import sys, xml.etree.ElementTree as E; E.parse(sys.argv[1])' '" +
        xml.string() + "' 2>/dev/null";
    const std::string lint = "xmllint --noout '" + xml.string() + "' 2>/dev/null";
    return std::system(py.c_str()) == 0 && std::system(lint.c_str()) == 0;
  }
  std::vector<std::string> texts() {
    std::vector<std::string> out;
    const auto stores = nlohmann::json::parse(vardel("messages list").out)["stores"];
    for (const auto& store : stores)
      for (const char* folder : {"inbox", "sent"})
        if (store.contains(folder))
          for (const auto& m : store[folder]) out.push_back(m["text"]);
    return out;
  }
};

TEST_F(Outputs, AndroidXmlWithUnwritableCharactersParsesAndImportsBack) {
  phone_with_unwritable_characters();
  const fs::path android = dir_ / "sms.xml";
  const CliResult r = vardel("messages export '" + android.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.err, "5 characters that XML cannot carry written as U+FFFD")) << r.err;
  EXPECT_TRUE(parses_strictly(android)) << read_file(android);

  device_ = dir_ / "new-phone";
  ASSERT_EQ(vardel("device init").status, 0);
  const CliResult in = vardel("messages import '" + android.string() + "'");
  ASSERT_EQ(in.status, 0) << in.err;
  EXPECT_TRUE(has(in.out, "imported 3 messages")) << in.out;
  const auto got = texts();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], "bell\uFFFD vt\uFFFD end\uFFFD");
  EXPECT_EQ(got[1], "tab\tkept, \uFFFD gone & <fine>");
  EXPECT_EQ(got[2], "esc\uFFFD");
}

TEST_F(Outputs, BackupsConvertedAndHistoryExportsAreWellFormedToo) {
  phone_with_unwritable_characters();
  ASSERT_EQ(vardel("backup --yes").status, 0);
  EXPECT_TRUE(parses_strictly(backup_dir() / "短信.xml"));
  const fs::path converted = dir_ / "converted.xml";
  ASSERT_EQ(vardel("convert '" + (backup_dir() / "短信.xml").string() + "' -o '" +
                   converted.string() + "'")
                .status,
            0);
  EXPECT_TRUE(parses_strictly(converted)) << read_file(converted);
}

TEST(XmlEscaping, EveryCharacterXmlCannotCarryIsOneReplacement) {
  using vardel::tools::append_xml_escaped;
  using vardel::tools::XmlEscape;
  std::string out;
  // NUL, a control, U+FFFE, U+FFFF: one replacement each; an encoded
  // surrogate, a stray continuation byte and a sequence cut short: one
  // for each of their bytes. What XML carries (a four-byte character,
  // U+FFFD itself) is kept.
  const std::string text(
      "a\0b\x01"
      "\xED\xA0\x80"
      "\xEF\xBF\xBE"
      "\xEF\xBF\xBF"
      "\x80"
      "\xF0\x9F\x98\x80"
      "\xEF\xBF\xBD"
      "\xE4\xBD",
      23);
  EXPECT_EQ(append_xml_escaped(out, text, XmlEscape::text), 10u);
  EXPECT_EQ(out,
            "a\uFFFD"
            "b\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\U0001F600\uFFFD\uFFFD\uFFFD");
  out.clear();
  EXPECT_EQ(append_xml_escaped(out, "<\"&\">\r\n\t", XmlEscape::attribute), 0u);
  EXPECT_EQ(out, "&lt;&quot;&amp;&quot;&gt;&#13;&#10;&#9;");
  out.clear();
  append_xml_escaped(out, "\r\n\t", XmlEscape::text);
  EXPECT_EQ(out, "&#13;\n\t");
}

TEST(CsvCells, FormulaLikeCellsAreGuardedAndReadBackAsTheyWere) {
  using vardel::tools::csv_field;
  using vardel::tools::csv_unguarded;
  EXPECT_EQ(csv_field("=SUM(A1)"), "'=SUM(A1)");
  EXPECT_EQ(csv_field("+8613800138000"), "'+8613800138000");
  EXPECT_EQ(csv_field("@x,y"), "\"'@x,y\"");
  EXPECT_EQ(csv_field("\rx"), "\"'\rx\"");
  EXPECT_EQ(csv_field("\tx"), "'\tx");
  EXPECT_EQ(csv_field("a-b"), "a-b");
  EXPECT_EQ(csv_field("'plain"), "'plain");
  for (const std::string v : {"=1+1", "-", "'=already", "''@two", "'plain", "plain", "", "'"})
    EXPECT_EQ(csv_unguarded(csv_field(v)), v) << v;
}

TEST_F(Outputs, EveryCsvGuardsFormulasAndTheAddressBookLayoutsRoundTrip) {
  ASSERT_EQ(vardel("device init").status, 0);
  const auto contacts = write("c.json", R"j([
    {"FirstName":"=HYPERLINK(\"http://x\")","LastName":"-Smith","MobileTelephoneNumber":"+8613800138000",
     "Email1Address":"@home"},
    {"FirstName":"'=quoted","LastName":"Plain","MobileTelephoneNumber":"10086"}])j");
  const CliResult in = vardel("contacts import '" + contacts.string() + "'");
  ASSERT_EQ(in.status, 0) << in.err;
  const auto before = nlohmann::json::parse(vardel("contacts list").out);
  for (const std::string to : {"csv", "google-csv", "outlook-csv"}) {
    const fs::path csv = dir_ / (to + ".csv");
    ASSERT_EQ(vardel("contacts export --to " + to + " '" + csv.string() + "'").status, 0);
    const std::string text = read_file(csv);
    EXPECT_TRUE(has(text, "'+8613800138000")) << to << "\n" << text;
    EXPECT_TRUE(has(text, "\"'=HYPERLINK(\"\"http://x\"\")\"")) << to << "\n" << text;
    EXPECT_TRUE(has(text, ",'-Smith,")) << to << "\n" << text;
    EXPECT_TRUE(has(text, "''=quoted")) << to << "\n" << text;
    if (to == "csv") continue;  // the phone's own layout is not read back
    device_ = dir_ / ("new-" + to);
    ASSERT_EQ(vardel("device init").status, 0);
    ASSERT_EQ(vardel("contacts import '" + csv.string() + "'").status, 0);
    const auto after = nlohmann::json::parse(vardel("contacts list").out);
    ASSERT_EQ(after.size(), before.size());
    for (size_t k = 0; k < before.size(); ++k)
      for (const char* field : {"FirstName", "LastName", "MobileTelephoneNumber"})
        EXPECT_EQ(after[k].value(field, ""), before[k].value(field, "")) << to << " " << field;
    device_ = dir_ / "device";
  }

  const auto sms = write("m.json", R"({"stores":[{"name":"SMS",
      "inbox":[{"from":"+8613800138000","time":"2009-04-23T10:00:00Z","text":"=1+1"}]}]})");
  ASSERT_EQ(vardel("messages import '" + sms.string() + "'").status, 0);
  const fs::path csv = dir_ / "sms.csv";
  ASSERT_EQ(vardel("messages export '" + csv.string() + "'").status, 0);
  const std::string text = read_file(csv);
  EXPECT_TRUE(has(text, "received,'+8613800138000,")) << text;
  EXPECT_TRUE(has(text, ",'=1+1\r\n")) << text;
}

// The same Android backup in UTF-16, as an editor may save it again.
std::string utf16_file(const std::string& utf8, bool little) {
  std::string out = little ? std::string("\xFF\xFE") : std::string("\xFE\xFF");
  for (char16_t c : vardel::utf16(utf8)) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += little ? std::string{lo, hi} : std::string{hi, lo};
  }
  return out;
}

TEST_F(Outputs, Utf16AndroidBackupsImportInEitherByteOrder) {
  const std::string xml =
      "<?xml version='1.0' encoding='UTF-16' standalone='yes' ?>\n<smses count=\"2\">\n"
      "  <sms protocol=\"0\" address=\"10086\" date=\"1240452000000\" type=\"1\" "
      "body=\"余额 100 元 \xF0\x9F\x98\x80\" read=\"1\" />\n"
      "  <sms protocol=\"0\" address=\"10010\" date=\"1240452060000\" type=\"2\" body=\"好\" "
      "read=\"1\" />\n</smses>\n";
  for (bool little : {true, false}) {
    device_ = dir_ / (little ? "le" : "be");
    ASSERT_EQ(vardel("device init").status, 0);
    const fs::path file = write(little ? "le.xml" : "be.xml", utf16_file(xml, little));
    const CliResult r = vardel("messages import '" + file.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "imported 2 messages")) << r.out;
    const auto got = texts();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "余额 100 元 \xF0\x9F\x98\x80");
    EXPECT_EQ(got[1], "好");
  }
}

TEST_F(Outputs, FilesNestedWithoutEndAreRefusedNamingTheirLine) {
  ASSERT_EQ(vardel("device init").status, 0);
  std::string sms = "<smses>\n  <sms type=\"1\" body=\"kept out\"/>\n  <mms>";
  std::string backup = "<?xml version=\"1.0\"?>\n<CONTACTS>\n";
  for (int k = 0; k < 500000; ++k) {
    sms += "<part>";
    backup += "<VCARD>";
  }
  const auto before = snapshot(device_);
  const CliResult in = vardel("messages import '" + write("deep.xml", sms).string() + "'");
  EXPECT_EQ(in.status, 2) << in.err;
  EXPECT_TRUE(has(in.err, "at line 3, column ")) << in.err;
  EXPECT_TRUE(has(in.err, "nested more than 256 deep")) << in.err;
  const fs::path deep = write("deep-backup.xml", backup);
  const CliResult restore = vardel("messages restore --yes '" + deep.string() + "'");
  EXPECT_EQ(restore.status, 2) << restore.err;
  // Records nested in records are no backup's: told so before any reading.
  EXPECT_TRUE(has(restore.err, "line 3") || has(restore.err, "of no kind vardel reads"))
      << restore.err;
  EXPECT_EQ(
      vardel("convert '" + deep.string() + "' -o '" + (dir_ / "x.json").string() + "'").status, 2);
  EXPECT_EQ(snapshot(device_), before);
}

}  // namespace
