// SMS Import / Export archives in and out: an archive laid out as the app
// writes it comes in with its counts, and what the program writes comes
// back as the same messages.
#include <archive.h>
#include <archive_entry.h>

#include <utility>

#include <nlohmann/json.hpp>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A ZIP of the named entries, deflated, as the app's archive is.
void write_zip(const fs::path& file,
               const std::vector<std::pair<std::string, std::string>>& entries) {
  archive* a = archive_write_new();
  archive_write_set_format_zip(a);
  ASSERT_EQ(archive_write_open_filename(a, file.c_str()), ARCHIVE_OK);
  for (const auto& [name, bytes] : entries) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, name.c_str());
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_entry_set_size(e, static_cast<la_int64_t>(bytes.size()));
    ASSERT_EQ(archive_write_header(a, e), ARCHIVE_OK);
    ASSERT_EQ(archive_write_data(a, bytes.data(), bytes.size()),
              static_cast<la_ssize_t>(bytes.size()));
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
}

// Lines as the app writes them: every value a text, the SMS date in
// milliseconds, the MMS date in seconds, names beside the addresses.
constexpr const char* kNdjson =
    R"({"_id":"1","thread_id":"1","address":"+8613800138000","date":"1700000000000","date_sent":"1699999999000","protocol":"0","read":"1","status":"-1","type":"1","body":"你好 😀","service_center":"+8613800100500","locked":"0","sub_id":"1","seen":"1","__display_name":"Wang Li"})"
    "\n"
    R"({"_id":"2","thread_id":"1","address":"+8613800138000","date":"1700000060000","date_sent":"0","read":"1","status":"-1","type":"2","body":"line 1\nline 2","locked":"0","seen":"1"})"
    "\n"
    R"({"_id":"3","thread_id":"2","address":"10086","date":"1700000120000","type":"5","body":"failed","read":"1"})"
    "\n"
    R"({"_id":"4","thread_id":"3","date":"1700000200","date_sent":"1700000199","msg_box":"1","read":"1","m_type":"132","ct_t":"application/vnd.wap.multipart.related","text_only":"0","__sender_address":{"_id":"10","msg_id":"4","address":"+15550000001","type":"137","charset":"106","__display_name":"Ann"},"__recipient_addresses":[{"address":"+15550000009","type":"151","charset":"106"}],"__parts":[{"_id":"20","mid":"4","seq":"-1","ct":"application/smil","text":"<smil/>"},{"_id":"21","mid":"4","seq":"0","ct":"image/jpeg","_data":"/data/user_de/0/com.android.providers.telephony/app_parts/PART_1.jpg","cl":"photo.jpg"},{"_id":"22","mid":"4","seq":"1","ct":"text/plain","chset":"106","text":"look"}]})"
    "\n"
    R"({"_id":"5","thread_id":"4","date":"1700000300","msg_box":"2","read":"1","m_type":"128","__sender_address":{"address":"insert-address-token","type":"137"},"__recipient_addresses":[{"address":"+15550000001","type":"151","__display_name":"Ann"},{"address":"+15550000002","type":"151"},{"address":"+15550000003","type":"130"}],"__parts":[{"seq":"0","ct":"text/plain","text":"to the group"}]})"
    "\n"
    R"({"_id":"6","thread_id":"3","date":"1700000400","msg_box":"1","m_type":"132","__sender_address":{"address":"+15550000001","type":"137"},"__parts":[{"seq":"0","ct":"image/png","_data":"/x/PART_2.png"}]})"
    "\n"
    "not json\n";

TEST_F(Cli, AnSmsImportExportArchiveComesInWithItsCountsAndOnlyOnce) {
  env_ = "TZ=UTC";
  ASSERT_EQ(vardel("device init").status, 0);
  const fs::path zip = dir_ / "messages-2026-12-09.zip";
  write_zip(zip, {{"messages.ndjson", kNdjson},
                  {"data/PART_1.jpg", std::string(5000, '\xff')},
                  {"data/PART_2.png", "\x89PNG"}});
  CliResult r = vardel("messages import '" + zip.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(
      has(r.out, "imported 4 messages (2 SMS, 2 MMS); left out: 3 messages, 2 MMS attachments"))
      << r.out;
  EXPECT_TRUE(has(r.err, "line 3 (SMS): type 5 left out")) << r.err;
  EXPECT_TRUE(has(r.err, "line 6 (MMS): no text, only 1 attachment; left out")) << r.err;
  EXPECT_TRUE(has(r.err, "line 7: not a JSON object; left out")) << r.err;

  const auto list = nlohmann::json::parse(vardel("messages list").out);
  const auto& sms = list["stores"][0];
  ASSERT_EQ(sms["inbox"].size(), 2u) << list.dump(1);
  EXPECT_EQ(sms["inbox"][0]["from"], "+8613800138000");
  EXPECT_EQ(sms["inbox"][0]["text"], "你好 😀");
  EXPECT_EQ(sms["inbox"][0]["time"], "2023-11-14T22:13:20Z");
  EXPECT_EQ(sms["inbox"][1]["from"], "+15550000001");
  EXPECT_EQ(sms["inbox"][1]["text"], "look");
  EXPECT_EQ(sms["inbox"][1]["time"], "2023-11-14T22:16:40Z");
  ASSERT_EQ(sms["sent"].size(), 2u);
  EXPECT_EQ(sms["sent"][0]["text"], "line 1\nline 2");
  EXPECT_EQ(sms["sent"][1]["to"], nlohmann::json({"+15550000001", "+15550000002", "+15550000003"}));

  r = vardel("messages import --again '" + zip.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "imported 0 messages (0 SMS, 0 MMS); 4 already on the phone")) << r.out;
}

TEST_F(Cli, AHostileArchiveIsRefusedAndChangesNothing) {
  ASSERT_EQ(vardel("device init").status, 0);
  const std::string before = vardel("messages list").out;
  const fs::path no_messages = dir_ / "a.zip", long_line = dir_ / "b.zip", cut = dir_ / "c.zip";
  write_zip(no_messages, {{"calls.ndjson", "{}\n"}});
  // 17 MiB in one line packs into a few kilobytes.
  write_zip(long_line, {{"messages.ndjson",
                         R"({"type":"1","body":")" + std::string(17u << 20, 'a') + "\"}\n"}});
  std::string bytes = read_file(long_line);
  bytes.resize(bytes.size() / 2);
  write("c.zip", bytes);
  for (const auto& [file, why] :
       {std::pair{no_messages, "without messages.ndjson"},
        std::pair{long_line, "longer than 16 MiB"}, std::pair{cut, "damaged"}}) {
    const CliResult r = vardel("messages import '" + file.string() + "'");
    EXPECT_EQ(r.status, 2) << file;
    EXPECT_TRUE(has(r.err, why)) << r.err;
    EXPECT_TRUE(has(r.err, "nothing imported")) << r.err;
  }
  EXPECT_EQ(vardel("messages list").out, before);
}

// The phone's messages, a group message among them, written as an archive
// (one the ZIP readers of other programs open) and read into a new phone.
TEST_F(Cli, WhatThePhoneWritesAsAnArchiveComesBackTheSame) {
  env_ = "TZ=Asia/Shanghai";
  ASSERT_EQ(vardel("device init").status, 0);
  const auto json = write("m.json", R"({"stores":[{"name":"SMS",
      "inbox":[{"from":"10086","time":"2009-04-23T10:00:00+08:00","text":"余额 100 元"},
               {"from":"13800138000","time":"2009-04-23T10:00:00+08:00","text":"same second"},
               {"from":"13800138000","time":"2009-04-23T10:00:00+08:00","text":"same second"}],
      "sent":[{"to":["13900139000"],"time":"2009-12-31T23:59:59+08:00","text":"a \"quote\"\r\nand lines"},
              {"to":["13900139000","13800138000"],"time":"2010-01-01T00:00:01+08:00","text":"to two"}],
      "drafts":[{"to":["10010"],"text":"unsent, no time"}]}]})");
  ASSERT_EQ(vardel("messages import '" + json.string() + "'").status, 0);
  const std::string before = vardel("messages list").out;
  const fs::path zip = dir_ / "out.zip";
  CliResult r = vardel("messages export '" + zip.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "exported 6 messages")) << r.out;
  EXPECT_EQ(std::system(("python3 -m zipfile -t '" + zip.string() + "' >/dev/null").c_str()), 0);

  device_ = dir_ / "new-phone";
  ASSERT_EQ(vardel("device init").status, 0);
  r = vardel("messages import '" + zip.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "imported 6 messages (5 SMS, 1 MMS)")) << r.out;
  EXPECT_EQ(vardel("messages list").out, before);

  // A backup converted comes in as the backup restored does.
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const fs::path backup = dir_ / "短信.xml", converted = dir_ / "converted.zip";
  fs::copy_file(backup_dir() / "短信.xml", backup);
  r = vardel("convert '" + backup.string() + "' -o '" + converted.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  device_ = dir_ / "restored";
  ASSERT_EQ(vardel("device init").status, 0);
  ASSERT_EQ(vardel("messages restore --yes '" + backup.string() + "'").status, 0);
  const std::string restored = vardel("messages list").out;
  device_ = dir_ / "converted";
  ASSERT_EQ(vardel("device init").status, 0);
  ASSERT_EQ(vardel("messages import '" + converted.string() + "'").status, 0);
  EXPECT_EQ(vardel("messages list").out, restored);
}

}  // namespace
