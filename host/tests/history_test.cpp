// `vardel history` as a user runs it: adds that keep each message once,
// across re-adds, dated copies and two phones; searches in Chinese and
// Latin text; names from the contacts; export back into a phone; and a
// damaged history refused and left alone.
#include <nlohmann/json.hpp>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string message(const std::string& label, const std::string& date, const std::string& time,
                    const std::string& text) {
  return "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"" + label + "\" ContactNumber=\"" +
         label + "\"><MESSAGE Date=\"" + date + "\" Time=\"" + time + "\" Direction=\"1\"><TEXT>" +
         text + "</TEXT></MESSAGE></VCARD>";
}

std::string messages_backup(const std::string& records) {
  return "<?xml version=\"1.0\"?>\n<?xml-stylesheet type='text/xsl' "
         "href='MessageLogMsg.xsl'?>\n<CONTACTS>\n" +
         records + "</CONTACTS>\n";
}

TEST_F(Cli, EveryBackupGoesIntoTheHistoryAndAddingItAgainAddsNothing) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  ASSERT_TRUE(fs::exists(backup_dir() / "history.db"));
  CliResult r = vardel("history add");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "added 0 messages (300 already held) from 短信.xml")) << r.out;
  EXPECT_TRUE(has(r.out, "added 0 contact versions")) << r.out;
  // A second backup makes dated copies of the first: the same messages.
  ASSERT_EQ(vardel("backup --yes").status, 0);
  r = vardel("history add '" + backup_dir().string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(has(r.out, "added 1")) << r.out;
  r = vardel("history conversations --json");
  ASSERT_EQ(r.status, 0) << r.err;
  int total = 0;
  for (const auto& c : nlohmann::json::parse(r.out)) total += c["count"].get<int>();
  EXPECT_EQ(total, 300);
  // verify checks the history beside the backups (the demo's seven
  // duplicate contacts are one version each).
  r = vardel("verify");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(has(r.out, "history.db (300 messages, 33 contact versions)")) << r.out;
}

TEST_F(Cli, AMessageGoneFromTheLaterBackupIsStillFound) {
  const fs::path before = write(
      "短信261201_100000.xml",
      messages_backup(message("来自于：13800000001", "2009-4-23", "  9:5:7", "取件码 4711") +
                      message("到：13800000002", "2009-4-24", "  10:0:0", "Meet at the harbour")));
  const fs::path after = write(
      "短信.xml",
      messages_backup(message("到：13800000002", "2009-4-24", "  10:0:0", "Meet at the harbour")));
  const std::string history = "--history '" + (dir_ / "h.db").string() + "'";
  CliResult r =
      vardel("history add " + history + " '" + before.string() + "' '" + after.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "added 2 messages (0 already held)")) << r.out;
  EXPECT_TRUE(has(r.out, "added 0 messages (1 already held) from 短信.xml")) << r.out;
  // Two characters (below the index's three) and a Latin word, any case.
  r = vardel("history search 取件 " + history);
  EXPECT_TRUE(has(r.out, "2009-04-23 09:05:07  from 13800000001: 取件码 4711")) << r.out;
  r = vardel("history search HARBOUR --json " + history);
  const auto found = nlohmann::json::parse(r.out);
  ASSERT_EQ(found.size(), 1u) << r.out;
  EXPECT_EQ(found[0]["direction"], "sent");
  EXPECT_EQ(found[0]["first_file"], "短信261201_100000.xml");
  EXPECT_EQ(found[0]["last_file"], "短信.xml");
  EXPECT_TRUE(
      has(vardel("history search 4711 --since 2009-04-24 " + history).out, "no message found"));
  EXPECT_EQ(vardel("history search x --since yesterday " + history).status, 2);
}

TEST_F(Cli, TwoPhonesOverlappingBackupsHoldEachMessageOnceUnderTheContactsNames) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const fs::path second = dir_ / "second";
  ASSERT_EQ(vardel("--device '" + second.string() + "' device init --demo").status, 0);
  // The second phone also got one message the first never had.
  const fs::path sms = write("sms.xml",
                             "<?xml version='1.0'?><smses count='1'><sms address='+86 138 0000 "
                             "0000' date='1262304000000' type='1' body='新年快乐'/></smses>");
  ASSERT_EQ(
      vardel("--device '" + second.string() + "' messages import '" + sms.string() + "'").status,
      0);
  ASSERT_EQ(vardel("--device '" + second.string() + "' backup --yes").status, 0);
  const std::string history = " --history '" + (dir_ / "all.db").string() + "'";
  CliResult r = vardel("history add " + history + " '" + backup_dir().string() + "' '" +
                       (second / "Storage Card" / "vardelbackup").string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "added 300 messages (0 already held)")) << r.out;
  EXPECT_TRUE(has(r.out, "added 1 messages (300 already held)")) << r.out;
  // The Android backup itself holds the same message again.
  r = vardel("history add " + history + " '" + sms.string() + "'");
  EXPECT_TRUE(has(r.out, "added 0 messages (1 already held) from sms.xml")) << r.out;
  r = vardel("history conversations --json" + history);
  bool named = false;
  for (const auto& c : nlohmann::json::parse(r.out))
    if (c["number"] == "13800000000") named = c["name"] == "张伟";
  EXPECT_TRUE(named) << r.out;
  EXPECT_TRUE(has(vardel("history search 新年快乐" + history).out, "张伟 <+86 138 0000 0000>"));
}

TEST_F(Cli, ExportedHistoryRestoresIntoANewPhoneOnce) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const fs::path out = dir_ / "all.xml";
  CliResult r = vardel("history export -o '" + out.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "wrote 300 messages")) << r.out;
  const std::string phone = "--device '" + (dir_ / "new").string() + "' ";
  ASSERT_EQ(vardel(phone + "device init").status, 0);
  r = vardel(phone + "messages restore --yes '" + out.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(vardel(phone + "backup --yes").status, 0);
  // The new phone's own backup holds exactly the history's messages.
  r = vardel("history add --history '" + (dir_ / "check.db").string() + "' '" +
             (dir_ / "new" / "Storage Card" / "vardelbackup" / "短信.xml").string() + "'");
  EXPECT_TRUE(has(r.out, "added 300 messages (0 already held)")) << r.out;
  r = vardel("history add '" +
             (dir_ / "new" / "Storage Card" / "vardelbackup" / "短信.xml").string() + "'");
  EXPECT_TRUE(has(r.out, "added 0 messages (300 already held)")) << r.out;
  EXPECT_EQ(vardel("history export -o x.csv --to nonsense").status, 2);
}

TEST_F(Cli, ADamagedHistoryIsRefusedAndLeftAsItWas) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const fs::path db = backup_dir() / "history.db";
  const std::string garbage = "SQLite format 3" + std::string(4000, '\x17');
  fs::remove(backup_dir() / "history.db-wal");
  fs::remove(backup_dir() / "history.db-shm");
  write("garbage", garbage);
  fs::copy_file(dir_ / "garbage", db, fs::copy_options::overwrite_existing);
  for (const char* args :
       {"history add", "history search 门卫", "history conversations", "history contacts"}) {
    const CliResult r = vardel(args);
    EXPECT_TRUE(r.status == 1 || r.status == 2) << args;
    EXPECT_TRUE(has(r.err, "damaged or is not a vardel history")) << r.err;
  }
  // A backup still succeeds, and says why the history was left out.
  const CliResult r = vardel("backup --yes");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(has(r.err, "not added to the history")) << r.err;
  EXPECT_EQ(read_file(db), garbage);
  // verify names it, fails, and leaves it as it is too.
  const CliResult v = vardel("verify --json");
  EXPECT_EQ(v.status, 1);
  const auto j = nlohmann::json::parse(v.out);
  EXPECT_FALSE(j["whole"].get<bool>());
  EXPECT_FALSE(j["history"]["whole"].get<bool>());
  EXPECT_EQ(read_file(db), garbage);
}

}  // namespace
