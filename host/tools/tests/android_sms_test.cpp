// The Android SMS backup import, on a real messages database in a temp folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "host/tools/android_sms.h"
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
