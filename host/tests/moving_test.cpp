// Moving to a new phone: a messages backup restored into the phone, and
// backups converted to what other phones and spreadsheets read, each read
// back by the program's own import (or a CSV reader) with every field.
#include <nlohmann/json.hpp>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// RFC 4180: fields apart by commas, quoted fields with "" for a quote and
// line breaks inside; rows end with CR LF.
std::vector<std::vector<std::string>> read_csv(std::string text) {
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false, was_quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"' && field.empty() && !was_quoted) {
      quoted = was_quoted = true;
    } else if (c == ',') {
      rows.back().push_back(field);
      field.clear();
      was_quoted = false;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.back().push_back(field);
      field.clear();
      was_quoted = false;
      rows.emplace_back();
      ++i;
    } else {
      field += c;
    }
  }
  if (rows.back().empty()) rows.pop_back();
  return rows;
}

class Moving : public Cli {
 protected:
  // A phone with received, sent, Chinese, multi-line and same-second
  // messages, backed up: its 短信.xml.
  fs::path messages_backup() {
    env_ = "TZ=Asia/Shanghai";
    EXPECT_EQ(vardel("device init").status, 0);
    const auto json = write("m.json", R"({"stores":[{"name":"SMS",
      "inbox":[{"from":"10086","time":"2009-04-23T10:00:00+08:00","text":"余额 100 元"},
               {"from":"13800138000","time":"2009-04-23T10:00:00+08:00","text":"same second"},
               {"from":"13800138000","time":"2009-04-23T10:00:00+08:00","text":"same second"},
               {"from":"13900139000","time":"2009-04-24T08:05:07+08:00","text":"line 1\r\nline 2\nline 3, \"quoted\""}],
      "sent":[{"to":["10086"],"time":"2009-04-23T10:00:00+08:00","text":"CXYE"},
              {"to":["13900139000"],"time":"2009-12-31T23:59:59+08:00","text":"你好，明天见"}]}]})");
    EXPECT_EQ(vardel("messages import '" + json.string() + "'").status, 0);
    EXPECT_EQ(vardel("backup --yes").status, 0);
    const fs::path copy = dir_ / "短信-old.xml";
    fs::copy_file(backup_dir() / "短信.xml", copy);
    return copy;
  }
};

TEST_F(Moving, MessagesRestoredTwiceThenBackedUpGiveTheSameRecords) {
  const fs::path file = messages_backup();
  const std::string original = read_file(file);
  EXPECT_TRUE(has(original, "Time=\"  10:0:0\"")) << "the backup writes local time";

  device_ = dir_ / "new-phone";
  ASSERT_EQ(vardel("device init").status, 0);
  const CliResult first = vardel("messages restore --yes '" + file.string() + "'");
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_TRUE(has(first.out, "[警告] 将短信恢复到手机中 -> OK")) << first.out;
  EXPECT_TRUE(has(first.out, "restored 6 messages")) << first.out;
  const CliResult again = vardel("messages restore --yes '" + file.string() + "'");
  EXPECT_TRUE(has(again.out, "restored 0 messages; 6 already on the phone")) << again.out;

  const auto stores = nlohmann::json::parse(vardel("messages list").out)["stores"];
  ASSERT_EQ(stores[0]["inbox"].size(), 4u);
  EXPECT_EQ(stores[0]["inbox"][0]["time"], "2009-04-23T02:00:00Z");  // local 10:00 in Shanghai
  EXPECT_EQ(stores[0]["sent"][1]["to"][0], "13900139000");

  ASSERT_EQ(vardel("backup --yes").status, 0);
  EXPECT_EQ(read_file(backup_dir() / "短信.xml"), original);
  // Without a file: the current 短信.xml of the backup folder, once more
  // nothing new.
  EXPECT_TRUE(has(vardel("messages restore --yes").out, "restored 0 messages"));
}

TEST_F(Moving, AMessagesBackupInTheAndroidFormatImportsAsTheSameMessages) {
  const fs::path file = messages_backup();
  const fs::path android = dir_ / "sms.xml", csv = dir_ / "sms.csv", json = dir_ / "sms.json";
  for (const fs::path& out : {android, csv, json}) {
    const CliResult r = vardel("convert '" + file.string() + "' -o '" + out.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "converted 6 messages")) << r.out;
  }
  const std::string xml = read_file(android);
  EXPECT_TRUE(has(xml, "<smses count=\"6\"")) << xml.substr(0, 200);
  EXPECT_TRUE(has(xml, "date=\"1240452000000\" type=\"1\"")) << xml;  // ms UTC, received
  EXPECT_TRUE(has(xml, "body=\"line 1&#13;&#10;line 2&#10;line 3, &quot;quoted&quot;\"")) << xml;

  const std::string restored_list = [&] {
    device_ = dir_ / "restored";
    EXPECT_EQ(vardel("device init").status, 0);
    EXPECT_EQ(vardel("messages restore --yes '" + file.string() + "'").status, 0);
    return vardel("messages list").out;
  }();
  for (const fs::path& in : {android, json}) {
    device_ = dir_ / ("imported-" + in.extension().string().substr(1));
    ASSERT_EQ(vardel("device init").status, 0);
    const CliResult r = vardel("messages import '" + in.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vardel("messages list").out, restored_list) << in;
  }

  const auto rows = read_csv(read_file(csv));
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"type", "address", "time", "text"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"sent", "10086", "2009-04-23 10:00:00", "CXYE"}));
  EXPECT_EQ(rows[5][3], "line 1\r\nline 2\nline 3, \"quoted\"");
  EXPECT_EQ(rows[6][3], "你好，明天见");
}

TEST_F(Moving, AContactsBackupConvertsToVcardThatImportsBackAndToACsvWithEveryField) {
  ASSERT_EQ(vardel("device init").status, 0);
  const auto contacts = write("c.json", R"([
    {"FileAs":"张三","FirstName":"三","LastName":"张","MobileTelephoneNumber":"13800000000",
     "CompanyName":"Acme, \"Widgets\"","Email1Address":"z@example.com",
     "HomeAddressStreet":"1 Long Road\r\nFlat 2","BusinessFaxNumber":"010-9"},
    {"FileAs":"Smith, John","Spouse":"Jane","WebPage":"www.example.org"}])");
  ASSERT_EQ(vardel("contacts import '" + contacts.string() + "'").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);

  const fs::path json = dir_ / "c-out.json", vcf = dir_ / "c.vcf", csv = dir_ / "c.csv";
  for (const fs::path& out : {json, vcf, csv})
    ASSERT_EQ(vardel("convert 通讯录.xml -o '" + out.string() + "'").status, 0) << out;

  device_ = dir_ / "new-phone";
  ASSERT_EQ(vardel("device init").status, 0);
  const CliResult imported = vardel("contacts import '" + vcf.string() + "'");
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.err, "");
  const fs::path back = dir_ / "back.json";
  ASSERT_EQ(vardel("contacts export '" + back.string() + "'").status, 0);
  EXPECT_EQ(nlohmann::json::parse(read_file(back)), nlohmann::json::parse(read_file(json)));

  const auto expected = nlohmann::json::parse(read_file(json));
  const auto rows = read_csv(read_file(csv));
  ASSERT_EQ(rows.size(), 3u);
  for (size_t r = 1; r < rows.size(); ++r) {
    ASSERT_EQ(rows[r].size(), rows[0].size());
    for (size_t c = 0; c < rows[0].size(); ++c)
      EXPECT_EQ(rows[r][c], expected[r - 1].value(rows[0][c], "")) << rows[0][c];
  }
}

TEST_F(Moving, TheDeviceExportsInTheFormatItsFileNames) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  const fs::path vcf = dir_ / "all.vcf", csv = dir_ / "all.csv", sms = dir_ / "sms.xml";
  ASSERT_EQ(vardel("contacts export '" + vcf.string() + "'").status, 0);
  EXPECT_TRUE(read_file(vcf).rfind("BEGIN:VCARD\r\nVERSION:4.0", 0) == 0);
  ASSERT_EQ(vardel("contacts export '" + csv.string() + "'").status, 0);
  EXPECT_TRUE(read_file(csv).rfind("\xEF\xBB\xBF"
                                   "FileAs,",
                                   0) == 0);
  const CliResult r = vardel("messages export '" + sms.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  device_ = dir_ / "other";
  ASSERT_EQ(vardel("device init").status, 0);
  EXPECT_TRUE(has(vardel("messages import '" + sms.string() + "'").out,
                  "imported 303 messages (295 SMS, 8 MMS)"));
}

TEST_F(Moving, WhatIsNoBackupOrTheWrongKindIsRefusedAndChangesNothing) {
  const fs::path file = messages_backup();
  const std::string cut = read_file(file).substr(0, read_file(file).size() / 2);
  const fs::path truncated = write("cut.xml", cut);
  const auto device_before = snapshot(device_);
  struct Case {
    std::string args, says;
  };
  for (const Case& c :
       {Case{"convert '" + file.string() + "' -o '" + (dir_ / "x.vcf").string() + "'",
             "is a messages backup: convert it to android, sms-ie, csv or json"},
        Case{"convert 通讯录.xml -o '" + (dir_ / "x.xml").string() + "'",
             "is a contacts backup: convert it to vcard"},
        Case{"convert '" + write("n.xml", "<smses/>").string() + "' -o '" +
                 (dir_ / "x.json").string() + "'",
             "is an Android SMS backup (messages); `vardel messages import` takes it"},
        Case{"convert nowhere.xml -o '" + (dir_ / "x.json").string() + "'", "no such file"},
        Case{"convert '" + truncated.string() + "' -o '" + (dir_ / "x.json").string() + "'",
             "cut short or malformed at line"},
        Case{"messages restore --yes 通讯录.xml",
             "通讯录.xml is a contacts backup of this program; `vardel restore` takes it"},
        Case{"messages restore --yes '" + truncated.string() + "'", "nothing restored"},
        Case{"messages restore --yes nowhere.xml", "no such file"}}) {
    const CliResult r = vardel(c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.err;
    EXPECT_TRUE(has(r.err, c.says)) << c.args << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  // Cancelled: nothing restored, status 1.
  EXPECT_EQ(vardel("messages restore '" + file.string() + "'", "cancel\n").status, 1);
  EXPECT_EQ(snapshot(device_), device_before);
  for (const char* out : {"x.vcf", "x.xml", "x.json"}) EXPECT_FALSE(fs::exists(dir_ / out)) << out;
}

TEST_F(Moving, VersionAndRenderByNameInTheBackupFolder) {
  const CliResult v = vardel("--version");
  EXPECT_EQ(v.status, 0);
  EXPECT_TRUE(has(v.out, "vardel 1.0")) << v.out;
  EXPECT_EQ(vardel("version").out, v.out);
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const fs::path page = dir_ / "p.html";
  const CliResult r = vardel("render 短信.xml -o '" + page.string() + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(read_file(page), "<html"));
}

}  // namespace

// What the Android app shows: who each number is, every recipient of a
// group message. Numbers match as the phone matches them (+86, spaces).
TEST_F(Moving, AGroupMessageKeepsItsRecipientsAndNamesThroughTheAndroidFormat) {
  env_ = "TZ=UTC";
  ASSERT_EQ(vardel("device init").status, 0);
  const auto contacts = write("c.json", R"([
      {"FileAs":"Wang, Li","FirstName":"Li","LastName":"Wang","MobileTelephoneNumber":"+86 138 0013 8000"},
      {"FirstName":"Chen","BusinessTelephoneNumber":"010-6552-9988"}])");
  ASSERT_EQ(vardel("contacts import '" + contacts.string() + "'").status, 0);
  const auto json = write("m.json", R"({"stores":[{"name":"SMS",
      "inbox":[{"from":"13800138000","time":"2026-12-09T11:57:31Z","text":"hi & <bye>"},
               {"from":"10086","time":"2026-12-09T23:05:00Z","text":"stranger"}],
      "sent":[{"to":["13800138000","01065529988","5550100"],"time":"2026-12-09T12:00:00Z",
               "text":"to all three"},
              {"to":["010-6552-9988"],"time":"2026-12-09T12:01:00Z","text":"just Chen"}]}]})");
  ASSERT_EQ(vardel("messages import '" + json.string() + "'").status, 0);
  const std::string before = vardel("messages list").out;

  const fs::path xml = dir_ / "sms.xml";
  const CliResult r = vardel("messages export '" + xml.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string text = read_file(xml);
  EXPECT_TRUE(has(text, "<smses count=\"4\"")) << text;
  EXPECT_TRUE(has(text, "readable_date=\"Dec 9, 2026 11:57:31 AM\" contact_name=\"Wang, Li\""))
      << text;
  EXPECT_TRUE(has(text, "readable_date=\"Dec 9, 2026 11:05:00 PM\" contact_name=\"(Unknown)\""))
      << text;
  EXPECT_TRUE(has(text, "address=\"13800138000~01065529988~5550100\"")) << text;
  EXPECT_TRUE(has(text, "contact_name=\"Wang, Li, Chen, 5550100\"")) << text;
  EXPECT_TRUE(has(text, "address=\"010-6552-9988\"")) << text;
  EXPECT_TRUE(has(text, "contact_name=\"Chen\"")) << text;

  device_ = dir_ / "new-phone";
  ASSERT_EQ(vardel("device init").status, 0);
  const CliResult in = vardel("messages import '" + xml.string() + "'");
  ASSERT_EQ(in.status, 0) << in.err;
  EXPECT_TRUE(has(in.out, "imported 4 messages (3 SMS, 1 MMS")) << in.out;
  EXPECT_EQ(vardel("messages list").out, before);
}

// A backup converted away from the phone is named from the contacts backup
// beside it; one that cannot be read costs the names, not the file. The
// history names from the contacts it holds.
TEST_F(Moving, ConvertedAndHistoryMessagesAreNamedFromTheContactsTheyCameWith) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const fs::path old = dir_ / "old";
  fs::create_directory(old);
  for (const char* name : {"短信.xml", "通讯录.xml"})
    fs::copy_file(backup_dir() / name, old / name);
  const fs::path from_history = dir_ / "history.xml";
  ASSERT_EQ(vardel("history export --to android -o '" + from_history.string() + "'").status, 0);
  device_ = dir_ / "no-device";

  const fs::path xml = dir_ / "sms.xml";
  CliResult r = vardel("convert '" + (old / "短信.xml").string() + "' -o '" + xml.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const fs::path& file : {xml, from_history}) {
    const std::string text = read_file(file);
    EXPECT_TRUE(has(text, "address=\"13800118785\"")) << file;
    EXPECT_TRUE(has(text, "contact_name=\"郭晶\"")) << file;
  }

  write("old/通讯录.xml", "<CONTACTS><VCARD>");
  r = vardel("convert '" + (old / "短信.xml").string() + "' -o '" + xml.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.err, "no names from the contacts beside it")) << r.err;
  EXPECT_FALSE(has(read_file(xml), "contact_name=\"郭晶\""));
  EXPECT_TRUE(has(read_file(xml), "contact_name=\"(Unknown)\""));
}
