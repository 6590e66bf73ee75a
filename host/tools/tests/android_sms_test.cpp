// The Android SMS backup import, on a real messages database in a temp folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "host/tools/android_sms.h"
#include "host/tools/xml_children.h"
#include "platform/core/wstr.h"
#include "platform/mapi/message_db.h"
#include "test_support/files.h"

namespace fs = std::filesystem;
using namespace vardel;

namespace {

class AndroidSms : public ::testing::Test {
 protected:
  void SetUp() override { db_ = dir_ / "messages.db"; }

  std::vector<mapi::MessageInfo> folder(mapi::FolderKind kind) {
    mapi::MessageDb db(db_);
    for (auto& s : db.stores())
      if (s.name == u"SMS") return db.messages(db.folder(s.id, kind));
    return {};
  }

  vardel::testing::TempFolder folder_{"vardel-sms"};
  const fs::path& dir_ = folder_.path();
  fs::path db_;
};

const char* kBackup = R"(<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>
<smses count="5">
  <sms protocol="0" address="10086" date="1240452000000" type="1" subject="null" body="你好 &amp; welcome" read="1" />
  <sms protocol="0" address="+8613800000000" date="1240452060000" type="2" body="reply" />
  <sms address="13900000000" date="1240452120000" type="3" body="draft" />
  <sms address="13900000000" date="1240452180000" type="4" body="queued" />
  <sms address="1" date="1240452240000" type="6" body="unknown type" />
</smses>)";

}  // namespace

TEST_F(AndroidSms, TypesGoToTheirFoldersWithUtcTimes) {
  EXPECT_TRUE(tools::is_android_sms_backup(kBackup));
  auto r = tools::import_android_sms(kBackup, db_);
  EXPECT_EQ(r.added, 4);
  EXPECT_EQ(r.warnings.size(), 1u);  // type 6 left out, and said so

  auto inbox = folder(mapi::FolderKind::inbox);
  ASSERT_EQ(inbox.size(), 1u);
  EXPECT_EQ(inbox[0].message.sender, u"10086");
  EXPECT_EQ(inbox[0].message.text, u"你好 & welcome");
  // 1240452000000 ms after 1970 is 2009-04-23 02:00:00 UTC.
  auto expected = mapi::utc_filetime(2009, 4, 23, 2, 0, 0);
  ASSERT_TRUE(inbox[0].message.delivery.has_value());
  EXPECT_EQ(mapi::filetime_ticks(*inbox[0].message.delivery), mapi::filetime_ticks(expected));

  auto sent = folder(mapi::FolderKind::sent);
  ASSERT_EQ(sent.size(), 1u);
  ASSERT_EQ(sent[0].message.recipients.size(), 1u);
  EXPECT_EQ(sent[0].message.recipients[0], u"+8613800000000");
  EXPECT_EQ(folder(mapi::FolderKind::drafts).size(), 1u);
  EXPECT_EQ(folder(mapi::FolderKind::outbox).size(), 1u);
}

TEST_F(AndroidSms, ImportingTheSameFileTwiceAddsNothing) {
  tools::import_android_sms(kBackup, db_);
  auto again = tools::import_android_sms(kBackup, db_);
  EXPECT_EQ(again.added, 0);
  EXPECT_EQ(again.skipped_duplicates, 4);
  EXPECT_EQ(folder(mapi::FolderKind::inbox).size(), 1u);
}

TEST_F(AndroidSms, MalformedOrForeignFilesChangeNothing) {
  tools::import_android_sms(kBackup, db_);
  EXPECT_THROW(tools::import_android_sms("<smses><sms address='1' type='1'", db_),
               std::runtime_error);
  EXPECT_THROW(tools::import_android_sms("<calls/>", db_), std::runtime_error);
  EXPECT_FALSE(tools::is_android_sms_backup("{\"stores\":[]}"));
  EXPECT_EQ(folder(mapi::FolderKind::inbox).size(), 1u);
}

// The reader gets the file in pieces: however small they are, and wherever
// they cut a tag, a quoted value, a line count or a UTF-16 pair, the
// messages and the places named are those of the file read whole.
TEST(XmlChildren, PiecesOfAnySizeGiveTheSameChildrenAndPlaces) {
  const std::string file =
      "<?xml version='1.0'?>\n<!-- made by hand -->\n<smses count=\"3\">\n"
      "  <sms body=\"a > b\" type='1'/>\n  <!-- between -->\n"
      "  <mms msg_box=\"2\"><parts><part text=\"x\"/></parts></mms>\n"
      "  <![CDATA[ <sms/> ]]>\n  <sms body=\"\xF0\x9F\x98\x80 end\" type=\"1\"/>\n</smses>\n";
  const auto read_all = [](std::string bytes, size_t piece) {
    std::vector<std::string> out;
    tools::XmlChildren children([&, at = size_t{0}](char* buf, size_t n) mutable {
      n = std::min({n, piece, bytes.size() - at});
      std::memcpy(buf, bytes.data() + at, n);
      at += n;
      return n;
    });
    EXPECT_EQ(children.root(), "smses");
    std::string text, name;
    tools::XmlPlace place;
    while (children.next(text, place, name)) out.push_back(place.text() + " " + name + " " + text);
    return out;
  };
  const std::vector<std::string> expected = {
      "line 4, column 3 sms <sms body=\"a > b\" type='1'/>",
      "line 6, column 3 mms <mms msg_box=\"2\"><parts><part text=\"x\"/></parts></mms>",
      "line 8, column 3 sms <sms body=\"\xF0\x9F\x98\x80 end\" type=\"1\"/>"};
  // The same in UTF-16 of both byte orders, the emoji a pair of units.
  const std::u16string wide = utf16(file);
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (char16_t c : wide) {
    le += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
  }
  for (size_t piece : {size_t{1}, size_t{3}, size_t{7}, size_t{65536}}) {
    EXPECT_EQ(read_all(file, piece), expected) << piece;
    EXPECT_EQ(read_all(le, piece), expected) << "LE " << piece;
    EXPECT_EQ(read_all(be, piece), expected) << "BE " << piece;
  }
}

TEST(XmlChildren, BrokenShapesAndDeepNestingAreRefusedNamingTheirPlace) {
  const auto refusal = [](const std::string& bytes) -> std::string {
    try {
      tools::read_android_sms(bytes);
    } catch (const tools::SmsFileError& e) {
      return e.what();
    }
    return "read";
  };
  std::string deep = "<smses>\n\n  <mms>";
  for (int k = 0; k < 100000; ++k) deep += "<a>";
  EXPECT_NE(refusal(deep).find("cut short or malformed at line 3, column "), std::string::npos);
  EXPECT_NE(refusal(deep).find("nested more than 256 deep"), std::string::npos) << refusal(deep);
  EXPECT_NE(refusal("<smses>\n<sms body=\"open/>\n").find("line 2, column 11"), std::string::npos)
      << refusal("<smses>\n<sms body=\"open/>\n");
  EXPECT_NE(refusal("<smses><sms/></calls>").find("</calls> where </smses> belongs"),
            std::string::npos);
  EXPECT_NE(refusal("<smses/>junk").find("more after the root"), std::string::npos);
  EXPECT_NE(refusal("junk").find("not well-formed XML at line 1, column 1"), std::string::npos);
  EXPECT_NE(refusal("<smses>\n  <mms><parts></mms></parts></smses>").find("at line 2, column"),
            std::string::npos)
      << "what the DOM parser finds is placed in the file";
  EXPECT_EQ(refusal("<!DOCTYPE smses [<!ENTITY x \"y\">]><smses><sms type=\"1\"/></smses>"),
            "read");
}

TEST_F(AndroidSms, AFileReadInPiecesImportsAsTheBytesDo) {
  const fs::path file = dir_ / "sms.xml";
  vardel::testing::write_file(file, kBackup);
  const auto r = tools::import_android_sms_file(file, db_);
  EXPECT_EQ(r.added, 4);
  EXPECT_EQ(r.messages_left_out, 1);
  EXPECT_EQ(tools::import_android_sms_file(file, db_).skipped_duplicates, 4);
  vardel::testing::write_file(file, std::string(kBackup).substr(0, 200));
  EXPECT_THROW(tools::import_android_sms_file(file, dir_ / "other.db"), tools::SmsFileError);
  EXPECT_EQ(folder(mapi::FolderKind::inbox).size(), 1u);
}
