// What a user's data goes through in everyday use: a restore onto the phone
// that still holds its contacts, contacts without a file-as name, a new
// phone, and failures that must not end as "完成".
#include "app/tests/job_harness.h"
#include "platform/poom/props.h"

namespace vardel::testing {
namespace {

using DataSafety = JobTest;

// A contact with a value in every property the phone keeps.
poom::ContactRecord every_property(const std::u16string& tag_text) {
  poom::ContactRecord c;
  for (CEPROPID tag : poom::known_property_tags()) {
    if (poom::is_date_tag(tag))
      c.push_back({tag, tag == PIMPR_BIRTHDAY ? u"1980-05-17" : u"2004-10-01"});
    else
      c.push_back({tag, tag_text + u" " + utf16(std::to_string(tag))});
  }
  return c;
}

// The backup file carries no birthday, notes or categories and shares one
// element between the fax and the second business number: the phone's own
// contact is the one that must stay.
TEST_F(DataSafety, BackupThenRestoreOntoTheSamePhoneLeavesEveryContactAsItWas) {
  poom::add_contact(every_property(u"甲"));
  poom::add_contact(every_property(u"Zed"));
  poom::add_contact({{PIMPR_FIRST_NAME, u"三"},
                     {PIMPR_LAST_NAME, u"张"},
                     {PIMPR_MOBILE_TELEPHONE_NUMBER, u"13911112222"},
                     {PIMPR_BODY, u"第一行\r\n第二行"}});
  poom::add_contact({{PIMPR_COMPANY_NAME, u"Acme"},
                     {PIMPR_COMPANY_TELEPHONE_NUMBER, u"800"},
                     {PIMPR_BUSINESS2_TELEPHONE_NUMBER, u"2"},
                     {PIMPR_BUSINESS_FAX_NUMBER, u"3"},
                     {PIMPR_CATEGORIES, u"Work"}});
  const auto before = poom::list_contacts();
  ASSERT_EQ(before.size(), 4u);

  auto [rc, rm] = backup();
  ASSERT_EQ(rc, 1u);
  ASSERT_EQ(rm, 1u);
  EXPECT_EQ(run(RestoreJob), 1u);
  EXPECT_EQ(poom::list_contacts(), before);
  ASSERT_EQ(boxes().size(), 2u);
  EXPECT_EQ(boxes()[1].text, u"恢复已经完成");

  // And again: a second restore changes nothing either.
  EXPECT_EQ(run(RestoreJob), 1u);
  EXPECT_EQ(poom::list_contacts(), before);
}

TEST_F(DataSafety, ContactsNamedOnlyByNameCompanyNumberOrAddressAreBackedUp) {
  poom::add_contact({{PIMPR_FIRST_NAME, u"Ann"}, {PIMPR_LAST_NAME, u"Lee"}});
  poom::add_contact({{PIMPR_COMPANY_NAME, u"中国移动"}});
  poom::add_contact({{PIMPR_HOME_TELEPHONE_NUMBER, u"010-8888"}});
  poom::add_contact({{PIMPR_EMAIL1_ADDRESS, u"who@example.com"}});
  auto [rc, rm] = backup();
  EXPECT_EQ(rc, 1u);
  EXPECT_EQ(rm, 1u);
  const std::string file = read_file(device_.contacts_file());
  for (const char* title : {"Lee, Ann", "中国移动", "010-8888", "who@example.com"})
    EXPECT_NE(file.find(std::string("TITLE=\"") + title + "\""), std::string::npos) << title;
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text, u"备份已经完成");
}

// A contact with nothing to file it under cannot have a record: the backup
// says how many are missing instead of "完成".
TEST_F(DataSafety, ContactsWithoutAnyNameAreCountedInTheEndBox) {
  poom::add_contact(contact(u"Named", u"1"));
  poom::add_contact({{PIMPR_BODY, u"only a note"}});
  auto [rc, rm] = backup();
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(rm, 1u);
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].caption, u"警告");
  EXPECT_EQ(boxes()[0].text, u"备份没有全部完成：1 个联系人没有名称，没有保存到通讯录.xml");
}

TEST_F(DataSafety, ANewPhonesFirstBackupSavesAnEmptyMessagesFile) {
  auto [rc, rm] = backup();
  EXPECT_EQ(rc, 1u);
  EXPECT_EQ(rm, 1u);
  const std::string messages = read_file(device_.messages_file());
  EXPECT_NE(messages.find("<CONTACTS>"), std::string::npos);
  EXPECT_EQ(messages.find("<VCARD"), std::string::npos);
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text, u"备份已经完成");
}

TEST_F(DataSafety, MessagesThatCannotBeReadAreCountedInTheEndBox) {
  add_sms(3, 2);
  // GetProps: the store's two folder properties, the first inbox message,
  // the first sent message, then the second inbox message.
  fault::arm("mapi.GetProps", E_FAIL, 5);
  auto [rc, rm] = backup();
  EXPECT_EQ(rc, 1u);
  EXPECT_EQ(rm, 0u);
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].caption, u"警告");
  EXPECT_EQ(boxes()[0].text, u"备份没有全部完成：1 条短信读不出来，没有保存到短信.xml");
  const std::string messages = read_file(device_.messages_file());
  size_t records = 0;
  for (size_t at = messages.find("<VCARD"); at != std::string::npos;
       at = messages.find("<VCARD", at + 1))
    ++records;
  EXPECT_EQ(records, 4u);
}

// The messages backup has no use for the contacts database: a damaged one
// costs the contacts file only.
TEST_F(DataSafety, ADamagedContactsDatabaseFailsTheContactsFileOnly) {
  add_sms(1, 1);
  for (const char* suffix : {"", "-wal", "-shm"}) {
    auto p = device::contacts_db();
    p += suffix;
    std::filesystem::remove(p);
  }
  write_file(device::contacts_db(), std::string(4096, 'x'));
  auto [rc, rm] = backup();
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(rm, 1u);
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text, u"备份没有全部完成：通讯录.xml 没有保存");
  EXPECT_NE(read_file(device_.messages_file()).find("10086"), std::string::npos);
}

TEST_F(DataSafety, ARestoreThatCannotOpenSaysNothingWasRestored) {
  write_file(device_.contacts_file(),
             "<?xml version=\"1.0\"?><CONTACTS><VCARD TITLE=\"A\" TYPE=\"WinMobile\">"
             "<ADDRESS><FIRST/><FILEAS>A</FILEAS></ADDRESS></VCARD></CONTACTS>");
  fault::arm("poom.Logon", E_FAIL, 1);
  EXPECT_EQ(run(RestoreJob), 0u);
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].caption, u"警告");
  EXPECT_EQ(boxes()[0].text, u"恢复失败：没有恢复任何联系人");
  EXPECT_EQ(window_.messages(WM_PROGRESS).back().lParam, PROGRESS_RESET);
  EXPECT_TRUE(poom::list_contacts().empty());
}

// The restored contacts are there, but so may be duplicates: that is not
// "恢复已经完成".
TEST_F(DataSafety, ADuplicateRemovalThatCannotRunOrStopsEarlySaysDuplicatesMayRemain) {
  poom::add_contact(contact(u"Twin", u"5"));
  auto [rc, rm] = backup();
  ASSERT_EQ(rc, 1u);

  fault::arm("poom.Logon", E_FAIL, 2);  // the duplicate removal's writer
  EXPECT_EQ(run(RestoreJob), 0u);
  EXPECT_EQ(poom::list_contacts().size(), 2u);
  ASSERT_EQ(boxes().size(), 2u);
  EXPECT_EQ(boxes()[1].caption, u"警告");
  EXPECT_NE(boxes()[1].text.find(u"重复的联系人"), std::u16string::npos);
  EXPECT_EQ(window_.messages(WM_PROGRESS).back().lParam, PROGRESS_RESET);

  fault::reset();
  fault::arm("poom.Remove", E_FAIL, 1);
  EXPECT_EQ(run(RestoreJob), 0u);
  ASSERT_EQ(boxes().size(), 3u);
  EXPECT_NE(boxes()[2].text.find(u"重复的联系人"), std::u16string::npos);

  fault::reset();
  EXPECT_EQ(run(RestoreJob), 1u);
  EXPECT_EQ(poom::list_contacts().size(), 1u);
}

}  // namespace
}  // namespace vardel::testing
