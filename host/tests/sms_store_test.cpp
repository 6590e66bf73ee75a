// The phone's one SMS store from the command line: imports into "sms" or
// "Sms" land in it and reach the backup, stores an earlier version made
// beside it are merged once, a backup that cannot save a store's messages
// says so, and the messages restore's dry run changes not a byte.
#include <sqlite3.h>

#include <nlohmann/json.hpp>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

size_t count_of(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class SmsStore : public Cli {
 protected:
  SmsStore() { env_ = "TZ=UTC0"; }  // the backups' local times are UTC

  fs::path messages_db() const { return device_ / ".device" / "messages.db"; }

  // SQL run on the device's messages database as another program would.
  void sql(const std::string& statements) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(messages_db().c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, statements.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }

  // A store "sms" beside the phone's "SMS", as imports of an earlier version
  // made it: messages "lower 1" and "lower 2" in its inbox, "lower sent" in
  // its sent items with a recipient, a day after "upper" in "SMS".
  void make_second_store() {
    ASSERT_EQ(vardel("device init").status, 0);
    const auto file = write("upper.json", R"({"stores":[{"name":"SMS","inbox":[
        {"from":"10086","time":"2009-04-23T02:00:00Z","text":"upper"}]}]})");
    ASSERT_EQ(vardel("messages import '" + file.string() + "'").status, 0);
    sql("INSERT INTO stores(id, name) VALUES(50, 'sms');"
        "INSERT INTO folders(id, store, kind, name) VALUES(500, 50, 0, 'Inbox'),"
        " (501, 50, 1, 'Sent Items'), (502, 50, 2, 'Drafts');"
        "INSERT INTO messages(id, folder, subject, sender, delivery) VALUES"
        " (900, 500, 'lower 1', '10010', 128850120000000000),"
        " (901, 500, 'lower 2', '10010', 128850120010000000),"
        " (902, 501, 'lower sent', NULL, 128850120020000000);"
        "INSERT INTO recipients(message, address) VALUES(902, '95588');");
  }

  nlohmann::json stores() {
    const CliResult list = vardel("messages list");
    EXPECT_EQ(list.status, 0) << list.err;
    return nlohmann::json::parse(list.out)["stores"];
  }
};

TEST_F(SmsStore, MessagesImportedIntoSmsInAnyLetterCaseReachTheBackup) {
  ASSERT_EQ(vardel("device init").status, 0);
  const auto file = write("m.json", R"({"stores":[
    {"name":"sms","inbox":[{"from":"10086","time":"2009-04-23T02:00:00Z","text":"first"}]},
    {"name":"Sms","sent":[{"to":["10010"],"time":"2009-04-24T02:00:00Z","text":"second"}]}]})");
  ASSERT_EQ(vardel("messages import '" + file.string() + "'").status, 0);

  const auto list = stores();
  ASSERT_EQ(list.size(), 1u) << list.dump();
  EXPECT_EQ(list[0]["name"], "SMS");

  const CliResult r = vardel("backup --yes");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "备份已经完成")) << r.out;
  const std::string saved = read_file(backup_dir() / "短信.xml");
  EXPECT_TRUE(has(saved, "first")) << saved;
  EXPECT_TRUE(has(saved, "second")) << saved;
}

TEST_F(SmsStore, ASecondSmsStoreOfAnEarlierVersionIsMergedOnceWithNothingLostOrDoubled) {
  make_second_store();
  auto list = stores();
  ASSERT_EQ(list.size(), 1u) << list.dump();
  EXPECT_EQ(list[0]["inbox"].size(), 3u) << list.dump();
  ASSERT_EQ(list[0]["sent"].size(), 1u) << list.dump();
  EXPECT_EQ(list[0]["sent"][0]["to"], nlohmann::json::array({"95588"}));
  EXPECT_EQ(stores(), list);  // the next open has nothing to merge

  const CliResult r = vardel("backup --yes");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  const std::string saved = read_file(backup_dir() / "短信.xml");
  for (const char* text : {"upper", "lower 1", "lower 2", "lower sent"})
    EXPECT_EQ(count_of(saved, std::string(">") + text + "<"), 1u) << text << "\n" << saved;
}

TEST_F(SmsStore, ABackupThatCannotSaveASecondStoresMessagesWarnsAndFails) {
  make_second_store();
  // Another program holds the database's write lock for the whole backup:
  // the merge cannot run, the walk can still read.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(messages_db().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  const CliResult r = vardel("backup --yes");
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);

  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "[警告]")) << r.out;
  EXPECT_TRUE(has(r.out, "3 条短信读不出来")) << r.out;
  EXPECT_FALSE(has(r.out, "备份已经完成")) << r.out;
  EXPECT_TRUE(has(read_file(backup_dir() / "短信.xml"), ">upper<"));
}

TEST_F(SmsStore, TheRestoresDryRunCountsAsTheRestoreDoesAndChangesNotAByte) {
  make_second_store();  // left unmerged: the dry run must not merge it
  // A message the phone has in its second store, one it lacks, and a record
  // no restore can read.
  const auto card = [](const std::string& label, const std::string& text) {
    return "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"" + label + "\" ContactNumber=\"" +
           label + "\"><MESSAGE Date=\"2009-4-24\" Time=\"  2:0:0\" Direction=\"1\"><TEXT>" + text +
           "</TEXT></MESSAGE></VCARD>";
  };
  const fs::path file =
      write("短信.xml", "<?xml version=\"1.0\"?><CONTACTS>" + card("来自于：10010", "lower 1") +
                            card("来自于：10010", "not on the phone") + card("从：1", "broken") +
                            "</CONTACTS>");

  const auto before = snapshot(device_);
  const CliResult dry = vardel("messages restore --dry-run '" + file.string() + "'");
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_TRUE(has(dry.out,
                  "would restore 1 messages; 1 already on the phone; 1 records with "
                  "warnings"))
      << dry.out;
  EXPECT_TRUE(has(dry.err, "says neither")) << dry.err;
  EXPECT_FALSE(has(dry.out, "[警告]")) << dry.out;  // nothing asked
  EXPECT_EQ(snapshot(device_), before);

  const CliResult real = vardel("messages restore --yes '" + file.string() + "'");
  EXPECT_EQ(real.status, 0) << real.err;
  EXPECT_TRUE(has(real.out, "restored 1 messages; 1 already on the phone")) << real.out;
}

}  // namespace
