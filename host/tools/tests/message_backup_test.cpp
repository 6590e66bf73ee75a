// Reading a messages backup record by record: what each record yields, with
// the markup other writers use (references, CDATA, a document type), what a
// fault stops, and that a large file read in pieces yields every byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/tools/message_backup.h"
#include "test_support/files.h"

using vardel::tools::BackupFileError;
using vardel::tools::BackupMessage;
using vardel::tools::read_messages_backup;
using vardel::tools::read_messages_backup_bytes;
using vardel::tools::read_messages_backup_fd;

namespace {

std::string record(const std::string& label, const std::string& date, const std::string& time,
                   const std::string& text) {
  return "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"" + label + "\" ContactNumber=\"" +
         label + "\"><MESSAGE Date=\"" + date + "\" Time=\"" + time + "\"><TEXT>" + text +
         "</TEXT></MESSAGE></VCARD>\n";
}

std::string document(const std::string& records, const std::string& prolog = "") {
  return "<?xml version=\"1.0\"?>\n" + prolog +
         "<?xml-stylesheet type='text/xsl' href='MessageLogMsg.xsl'?>\n<CONTACTS>\n" + records +
         "</CONTACTS>\n";
}

struct Read {
  std::vector<BackupMessage> messages;
  std::vector<std::string> skipped;
  std::string error;  // empty when the whole file was read
};

Read read_bytes(const std::string& bytes) {
  Read r;
  try {
    read_messages_backup_bytes(
        bytes, [&](const BackupMessage& m) { r.messages.push_back(m); },
        [&](int line, const std::string& why) {
          r.skipped.push_back(std::to_string(line) + ": " + why);
        });
  } catch (const BackupFileError& e) {
    r.error = e.what();
  }
  return r;
}

TEST(MessagesBackup, EachRecordYieldsItsDirectionNumberTimeAndText) {
  const Read r = read_bytes(document(
      record("来自于：13800000000", "2009-4-23", "  9:5:7", "你好, &amp; &lt;b&gt; &#x4F60;") +
      record("到：+86 10 &quot;1&quot;", "", "", "<![CDATA[a <b> & c]]> tail") +
      "<VCARD CONTACTS=\"到：5\"><MESSAGE Date=\"\" Time=\"\"><TEXT/></MESSAGE></VCARD>\n" +
      "<VCARD ContactNumber=\"来自于：6\"/>\n"));
  ASSERT_EQ(r.error, "");
  ASSERT_EQ(r.messages.size(), 4u);
  EXPECT_TRUE(r.messages[0].received);
  EXPECT_EQ(r.messages[0].address, "13800000000");
  ASSERT_TRUE(r.messages[0].has_time);
  EXPECT_EQ(r.messages[0].local.wYear, 2009);
  EXPECT_EQ(r.messages[0].local.wDay, 23);
  EXPECT_EQ(r.messages[0].local.wHour, 9);
  EXPECT_EQ(r.messages[0].local.wSecond, 7);
  EXPECT_EQ(r.messages[0].text, "你好, & <b> 你");
  EXPECT_EQ(r.messages[0].line, 4);
  EXPECT_FALSE(r.messages[1].received);
  EXPECT_EQ(r.messages[1].address, "+86 10 \"1\"");
  EXPECT_FALSE(r.messages[1].has_time);
  EXPECT_EQ(r.messages[1].text, "a <b> & c tail");
  EXPECT_EQ(r.messages[2].address, "5");
  EXPECT_EQ(r.messages[2].text, "");
  EXPECT_TRUE(r.messages[3].received);
  EXPECT_EQ(r.messages[3].address, "6");
  EXPECT_TRUE(r.skipped.empty());
}

TEST(MessagesBackup, UnreadableLabelsAndTimesAreSkippedOrKeptWithoutATime) {
  const Read r = read_bytes(document(record("某人", "2009-4-23", "9:5:7", "a") +
                                     record("到：1", "2009-2-30", "9:5:7", "b") +
                                     record("到：2", "yesterday", "", "c")));
  ASSERT_EQ(r.error, "");
  ASSERT_EQ(r.messages.size(), 2u);
  EXPECT_FALSE(r.messages[0].has_time);
  EXPECT_EQ(r.messages[0].text, "b");
  EXPECT_EQ(r.messages[1].text, "c");
  ASSERT_EQ(r.skipped.size(), 3u);
  EXPECT_NE(r.skipped[0].find("says neither"), std::string::npos) << r.skipped[0];
  EXPECT_NE(r.skipped[1].find("is no time"), std::string::npos) << r.skipped[1];
}

// A document type's entities: those in a label resolve as the declaration
// says; one in a text is passed over, not read as text nor as an error; and
// one that would grow without bound is refused rather than expanded.
TEST(MessagesBackup, DeclaredEntitiesResolveInLabelsArePassedOverInTextsAndCannotExplode) {
  const std::string dtd = "<!DOCTYPE CONTACTS [<!ENTITY me \"13900000000\">]>\n";
  const Read r = read_bytes(document(record("来自于：&me;", "", "", "to &me; and back"), dtd));
  ASSERT_EQ(r.error, "");
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].address, "13900000000");
  EXPECT_EQ(r.messages[0].text, "to  and back");

  std::string lol = "<!DOCTYPE CONTACTS [<!ENTITY a \"aaaaaaaaaa\">";
  for (char c = 'b'; c <= 'k'; ++c) {
    std::string ref(1, static_cast<char>(c - 1));
    lol += std::string("<!ENTITY ") + c + " \"";
    for (int i = 0; i < 10; ++i) lol += "&" + ref + ";";
    lol += "\">";
  }
  lol += "]>\n";
  const Read bomb = read_bytes(document(record("来自于：&k;", "", "", "&k;"), lol));
  for (const BackupMessage& m : bomb.messages)
    EXPECT_LT(m.address.size() + m.text.size(), 1u << 20);
}

TEST(MessagesBackup, AFaultStopsTheReadAfterTheRecordsBeforeIt) {
  const std::string good = record("到：1", "", "", "one") + record("到：2", "", "", "two");
  Read r = read_bytes("<?xml version=\"1.0\"?>\n<CONTACTS>\n" + good + "<VCARD CONTACTS=\"到：3\"");
  EXPECT_EQ(r.messages.size(), 2u);
  EXPECT_EQ(r.error.rfind("cut short or malformed at line 5, column ", 0), 0u) << r.error;

  r = read_bytes(document(good + "<VCARD CONTACTS=\"到：3\"><MESSAGE></VCARD>"));
  EXPECT_EQ(r.messages.size(), 2u);
  EXPECT_NE(r.error.find("cut short or malformed at line 6"), std::string::npos) << r.error;

  EXPECT_EQ(read_bytes("just words").error.rfind("not XML: line 1", 0), 0u);
  EXPECT_NE(read_bytes("").error, "");
  EXPECT_EQ(read_bytes("<?xml version=\"1.0\"?>\n<smses/>").error,
            "not a messages backup (its root is <smses>, not <CONTACTS>)");
  r = read_bytes(document("<VCARD TITLE=\"张三\" TYPE=\"WinMobile\"><ADDRESS/></VCARD>"));
  EXPECT_NE(r.error.find("a contacts backup, not a messages backup"), std::string::npos);
}

TEST(MessagesBackup, WhatTheSinkThrowsComesOutAsItIs) {
  const std::string bytes =
      document(record("到：1", "", "", "one") + record("到：2", "", "", "two"));
  int seen = 0;
  EXPECT_THROW(read_messages_backup_bytes(
                   bytes,
                   [&](const BackupMessage&) {
                     ++seen;
                     throw std::length_error("the history is full");
                   },
                   [](int, const std::string&) {}),
               std::length_error);
  EXPECT_EQ(seen, 1);
}

// Several pieces' worth of records, with texts of every length up to a few
// KiB so that multibyte characters and markup fall across the pieces'
// edges: the bytes, a file by name and an open file from its offset all
// yield every record whole.
TEST(MessagesBackup, ALargeFileIsReadWholeFromBytesFromAFileAndFromAnOffset) {
  std::vector<std::string> texts;
  std::string records;
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    for (int k = 0; k < i % 700; ++k) text += (k % 3 == 0) ? "短" : (k % 3 == 1) ? "&amp;" : "x";
    records += record("到：" + std::to_string(i), "2020-1-1", "1:2:3", text);
    std::string plain;
    for (int k = 0; k < i % 700; ++k) plain += (k % 3 == 0) ? "短" : (k % 3 == 1) ? "&" : "x";
    texts.push_back(plain);
  }
  const std::string bytes = document(records);
  ASSERT_GT(bytes.size(), 3u * 256 * 1024);

  const auto check = [&](const std::vector<BackupMessage>& got, const char* how) {
    ASSERT_EQ(got.size(), texts.size()) << how;
    for (size_t i = 0; i < texts.size(); ++i) {
      ASSERT_EQ(got[i].text, texts[i]) << how << " record " << i;
      ASSERT_EQ(got[i].address, std::to_string(i)) << how;
    }
  };
  check(read_bytes(bytes).messages, "bytes");

  const vardel::testing::TempFolder folder;
  const std::filesystem::path file = folder / "短信.xml";
  vardel::testing::write_file(file, "skip me" + bytes);
  std::vector<BackupMessage> got;
  const auto keep = [&](const BackupMessage& m) { got.push_back(m); };
  const auto none = [](int, const std::string&) {};
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::lseek(fd, 7, SEEK_SET), 7);
  read_messages_backup_fd(fd, keep, none);
  ::close(fd);
  check(got, "fd");
  vardel::testing::write_file(file, bytes);
  got.clear();
  read_messages_backup(file, keep, none);
  check(got, "file");
  std::filesystem::remove(file);
  EXPECT_THROW(read_messages_backup(file, keep, none), BackupFileError);
  // A descriptor that cannot be read (a folder's) is refused, not taken for an empty file.
  const int dir = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dir, 0);
  try {
    read_messages_backup_fd(dir, keep, none);
    ADD_FAILURE() << "a folder was read as a backup";
  } catch (const BackupFileError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot be read ("), std::string::npos) << e.what();
  }
  ::close(dir);
}

}  // namespace
