// Stores named alike in different letter case: found as one, merged into the
// first on open with nothing lost or doubled, and a file with nothing to
// merge left byte for byte as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/core/wstr.h"
#include "platform/mapi/message_db.h"
#include "test_support/files.h"
#include "test_support/temp_device.h"

namespace {

using vardel::utf8;
namespace device = vardel::device;
namespace fault = vardel::fault;
namespace vt = vardel::testing;
using vardel::mapi::FolderKind;
using vardel::mapi::Message;
using vardel::mapi::MessageDb;

Message text(const char16_t* t, std::optional<std::u16string> to = std::nullopt) {
  Message m;
  m.text = std::u16string(t);
  if (to) m.recipients = {*to, std::nullopt};
  return m;
}

// Every message of every store: store name, folder name, id, text, recipients.
std::vector<std::string> contents(MessageDb& db) {
  std::vector<std::string> out;
  for (const auto& s : db.stores())
    for (const auto& f : db.folders(s.id))
      for (const auto& m : db.messages(f.id)) {
        std::string line = utf8(s.name) + "/" + utf8(f.name) + " #" + std::to_string(m.id) + " " +
                           utf8(m.message.text.value_or(u""));
        for (const auto& r : m.message.recipients) line += " to " + utf8(r.value_or(u"-"));
        out.push_back(line);
      }
  return out;
}

std::vector<std::string> store_names(MessageDb& db) {
  std::vector<std::string> names;
  for (const auto& s : db.stores()) names.push_back(utf8(s.name));
  return names;
}

TEST(StoreNamed, FindsTheFirstStoreInAnyLetterCaseAndMakesOneOnlyWhenNoneMatches) {
  vt::TempDevice device;
  MessageDb db(device::messages_db());
  EXPECT_FALSE(db.find_store(u"SMS"));
  const auto other = db.add_store(u"ActiveSync");
  const auto sms = db.store_named(u"sms");
  EXPECT_EQ(db.store_named(u"SMS"), sms);
  EXPECT_EQ(db.store_named(u"Sms"), sms);
  EXPECT_EQ(db.sms_store(), sms);
  EXPECT_EQ(db.find_store(u"activesync"), other);
  EXPECT_FALSE(db.find_store(u"SMS2"));
  EXPECT_EQ(store_names(db), (std::vector<std::string>{"ActiveSync", "sms"}));
}

class StoreMerge : public ::testing::Test {
 protected:
  // SMS, then another store, then "sms" and "Sms" beside it as an earlier
  // version's imports made them; each with messages in several folders.
  void SetUp() override {
    MessageDb db(device::messages_db());
    const auto first = db.add_store(u"SMS");
    db.add_message(db.folder(first, FolderKind::inbox), text(u"a"));
    db.add_message(db.folder(first, FolderKind::sent), text(u"b", u"100"));
    const auto other = db.add_store(u"ActiveSync");
    db.add_message(db.folder(other, FolderKind::inbox), text(u"other"));
    const auto lower = db.add_store(u"sms");
    db.add_message(db.folder(lower, FolderKind::inbox), text(u"c"));
    db.add_message(db.folder(lower, FolderKind::sent), text(u"d", u"200"));
    db.add_message(db.folder(lower, FolderKind::drafts), text(u"e"));
    const auto mixed = db.add_store(u"Sms");
    db.add_message(db.folder(mixed, FolderKind::inbox), text(u"f"));
  }

  vt::TempDevice device_;
};

TEST_F(StoreMerge, OpeningMovesTheLaterStoresMessagesIntoTheFirstOnceWithIdsAndRecipients) {
  MessageDb db(device::messages_db());
  EXPECT_EQ(store_names(db), (std::vector<std::string>{"SMS", "ActiveSync"}));
  const std::vector<std::string> merged = {"SMS/Inbox #1 a",
                                           "SMS/Inbox #4 c",
                                           "SMS/Inbox #7 f",
                                           "SMS/Sent Items #2 b to 100 to -",
                                           "SMS/Sent Items #5 d to 200 to -",
                                           "SMS/Drafts #6 e",
                                           "ActiveSync/Inbox #3 other"};
  EXPECT_EQ(contents(db), merged);
  // Every store keeps exactly the standard folders; none is left orphaned.
  for (const auto& s : db.stores()) EXPECT_EQ(db.folders(s.id).size(), 5u);

  // A second open finds nothing to merge and changes nothing.
  MessageDb again(device::messages_db());
  EXPECT_EQ(contents(again), merged);
  EXPECT_TRUE(vt::database_intact(device::messages_db()));
}

TEST_F(StoreMerge, AFailedMergeLeavesTheFileAsItWasAndStillOpensAndTheNextOpenMerges) {
  const auto before = vt::snapshot(device_.root());
  std::vector<std::string> apart;
  {
    fault::arm("mapi.MergeStores", E_FAIL);
    MessageDb db(device::messages_db());
    EXPECT_EQ(fault::uses("mapi.MergeStores"), 1u);
    EXPECT_EQ(store_names(db), (std::vector<std::string>{"SMS", "ActiveSync", "sms", "Sms"}));
    apart = contents(db);
    EXPECT_EQ(apart.size(), 7u);
  }
  EXPECT_EQ(vt::snapshot(device_.root()), before);

  MessageDb db(device::messages_db());
  EXPECT_EQ(store_names(db), (std::vector<std::string>{"SMS", "ActiveSync"}));
  EXPECT_EQ(contents(db).size(), apart.size());
}

TEST(StoreMergeNone, AFileWithoutAlikeStoresIsNotWrittenByOpening) {
  vt::TempDevice device(vt::kMessagesDb);
  {
    MessageDb db(device::messages_db());
    db.add_store(u"ActiveSync");
    db.add_message(db.folder(db.sms_store(), FolderKind::inbox), text(u"a"));
  }
  const auto file = device::messages_db();
  const auto before = vt::snapshot(device.root());
  const auto mtime = std::filesystem::last_write_time(file);
  { MessageDb db(device::messages_db()); }
  EXPECT_EQ(vt::snapshot(device.root()), before);
  EXPECT_EQ(std::filesystem::last_write_time(file), mtime);
}

}  // namespace
