// The three jobs end to end on a real device folder: files, dated copies,
// stylesheets, progress, and the one box each job ends with.
#include <algorithm>
#include <set>

#include "app/tests/job_harness.h"
#include "platform/com/com.h"
#include "platform/core/calendar.h"
#include "platform/core/clock.h"

namespace vardel::testing {
namespace {

namespace fs = std::filesystem;

// A clock standing at a local time of the host's zone.
clock::Fixed local_clock(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD sec) {
  const SYSTEMTIME st = {y, mo, 0, d, h, mi, sec, 0};
  FILETIME local{}, utc{};
  SystemTimeToFileTime(&st, &local);
  LocalFileTimeToFileTime(&local, &utc);
  return {calendar::filetime_ticks(utc), 0, 0};
}

std::set<std::string> files_in(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

using BackupJobs = JobTest;

TEST_F(BackupJobs, FirstBackupWritesBothFilesAndStylesheetsThenOneDoneBoxThenReset) {
  for (auto name : {u"Zhang San", u"Li Si", u"Wang Wu"})
    poom::add_contact(contact(name, u"13800000000"));
  add_sms(2, 1);

  auto [rc, rm] = backup();
  EXPECT_EQ(rc, 1u);
  EXPECT_EQ(rm, 1u);
  EXPECT_EQ(files_in(device_.backup_dir()),
            (std::set<std::string>{"通讯录.xml", "短信.xml", "MessageLogContact.xsl",
                                   "MessageLogMsg.xsl"}));
  const std::string contacts = read_file(device_.contacts_file());
  EXPECT_NE(contacts.find("href='MessageLogContact.xsl'"), std::string::npos);
  EXPECT_NE(contacts.find("TITLE=\"Li Si\""), std::string::npos);
  EXPECT_NE(read_file(device_.messages_file()).find("10086"), std::string::npos);

  EXPECT_EQ(progress(PROGRESS_CONTACTS), (std::vector<int>{33, 66, 100}));
  EXPECT_FALSE(progress(PROGRESS_MESSAGES).empty());
  EXPECT_EQ(progress(PROGRESS_MESSAGES).back(), 100);

  auto shown = boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, u"完成");
  EXPECT_EQ(shown[0].text, u"备份已经完成");
  // The lines go back to their titles only after the user closed the box.
  auto all = window_.messages(WM_PROGRESS);
  ASSERT_EQ(all.size(), shown[0].progress_before + 1);
  EXPECT_EQ(all.back().lParam, PROGRESS_RESET);
}

TEST_F(BackupJobs, SecondBackupKeepsTheFirstFilesAsDatedCopies) {
  poom::add_contact(contact(u"First", u"1"));
  add_sms(1, 0);
  backup();
  const std::string first_contacts = read_file(device_.contacts_file());
  const std::string first_messages = read_file(device_.messages_file());

  poom::add_contact(contact(u"Second", u"2"));
  clock::FixedScope clock(local_clock(2009, 4, 23, 10, 15, 30));
  backup();

  std::set<std::string> dated = files_in(device_.backup_dir());
  for (const char* current :
       {"通讯录.xml", "短信.xml", "MessageLogContact.xsl", "MessageLogMsg.xsl"})
    dated.erase(current);
  EXPECT_EQ(dated, (std::set<std::string>{"通讯录090423_101530.xml", "短信090423_101530.xml"}));
  EXPECT_EQ(read_file(device_.backup_dir() / "通讯录090423_101530.xml"), first_contacts);
  EXPECT_EQ(read_file(device_.backup_dir() / "短信090423_101530.xml"), first_messages);
  EXPECT_NE(read_file(device_.contacts_file()).find("TITLE=\"Second\""), std::string::npos);
  EXPECT_EQ(boxes().size(), 2u);
}

TEST_F(BackupJobs, DatedCopiesWithinOneSecondEachKeepTheirOwnName) {
  clock::FixedScope clock(local_clock(2009, 12, 31, 23, 59, 59));
  for (const char* version : {"one", "two", "three"}) {
    write_file(device_.contacts_file(), version);
    MakeDatedCopy(u"通讯录", u"通讯录.xml");
  }
  std::set<std::string> names = files_in(device_.backup_dir());
  names.erase("通讯录.xml");
  EXPECT_EQ(names, (std::set<std::string>{"通讯录091231_235959.xml", "通讯录091231_235959_2.xml",
                                          "通讯录091231_235959_3.xml"}));
  EXPECT_EQ(read_file(device_.backup_dir() / "通讯录091231_235959.xml"), "one");
  EXPECT_EQ(read_file(device_.backup_dir() / "通讯录091231_235959_2.xml"), "two");
  EXPECT_EQ(read_file(device_.backup_dir() / "通讯录091231_235959_3.xml"), "three");
}

TEST_F(BackupJobs, CompletionWaitsForALargeContactsFolder) {
  for (int i = 0; i < 300; ++i)
    poom::add_contact(
        contact(u"Contact " + utf16(std::to_string(1000 + i)), u"139" + utf16(std::to_string(i))));
  add_sms(1, 0);

  auto [rc, rm] = backup();
  EXPECT_EQ(rc, 1u);
  EXPECT_EQ(rm, 1u);
  // The messages line usually reaches 100 long before the contacts line does
  // (the order is the scheduler's, so it is not asserted); either way the box
  // comes only once both files are saved.
  auto all = window_.messages(WM_PROGRESS);
  size_t messages_done = all.size(), contacts_done = all.size();
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i].lParam == PROGRESS_MESSAGES && all[i].wParam == 100 && messages_done == all.size())
      messages_done = i;
    if (all[i].lParam == PROGRESS_CONTACTS && all[i].wParam == 100) contacts_done = i;
  }
  ASSERT_LT(messages_done, all.size());
  ASSERT_LT(contacts_done, all.size());
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_GT(boxes()[0].progress_before, std::max(messages_done, contacts_done));
  EXPECT_EQ(boxes()[0].text, u"备份已经完成");
}

TEST_F(BackupJobs, ProgramInTheRootFolderCopiesNoStylesheet) {
  device::set_module_path(u"\\Vardel.exe");
  // Stylesheets in the root would be found if the lone backslash were taken
  // as the end of the program folder.
  for (const char* xsl : {"MessageLogContact.xsl", "MessageLogMsg.xsl"})
    write_file(device_.root() / xsl, "<root-copy/>");
  WCHAR folder[MAX_PATH];
  GetProgramFolder(folder);
  EXPECT_EQ(std::u16string(folder), u"\\Vardel.exe");

  poom::add_contact(contact(u"A", u"1"));
  add_sms(1, 1);
  auto [rc, rm] = backup();
  EXPECT_EQ(rc, 1u);
  EXPECT_EQ(rm, 1u);
  EXPECT_EQ(files_in(device_.backup_dir()), (std::set<std::string>{"通讯录.xml", "短信.xml"}));
}

TEST_F(BackupJobs, ProgramFolderIsCutAtTheLastBackslash) {
  device::set_module_path(u"\\Program Files\\Vardel\\Vardel.exe");
  WCHAR folder[MAX_PATH];
  GetProgramFolder(folder);
  EXPECT_EQ(std::u16string(folder), u"\\Program Files\\Vardel");
}

using RestoreJobs = JobTest;

TEST_F(RestoreJobs, WithoutABackupFileAsksForABackupThenShowsBothLines) {
  poom::add_contact(contact(u"Kept", u"1"));
  EXPECT_EQ(run(RestoreJob), 0u);
  auto shown = boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, u"警告");
  EXPECT_EQ(shown[0].text, u"请先备份通讯录");
  // Once the box is closed both lines show their titles again.
  ASSERT_EQ(window_.messages(WM_PROGRESS).size(), 1u);
  EXPECT_EQ(window_.messages(WM_PROGRESS).back().lParam, PROGRESS_RESET);
  EXPECT_EQ(poom::list_contacts().size(), 1u);
}

TEST_F(RestoreJobs, FileWithoutRecordsStillRemovesDuplicates) {
  poom::add_contact(contact(u"Twin", u"5"));
  poom::add_contact(contact(u"twin", u"5"));
  poom::add_contact(contact(u"Other", u"6"));
  write_file(device_.contacts_file(), "<?xml version=\"1.0\"?>\r\n<CONTACTS>\r\n</CONTACTS>\r\n");

  EXPECT_EQ(run(RestoreJob), 1u);
  EXPECT_EQ(poom::list_contacts().size(), 2u);
  EXPECT_EQ(progress(PROGRESS_RESTORE).back(), 100);
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text, u"恢复已经完成");
  EXPECT_EQ(window_.messages(WM_PROGRESS).back().lParam, PROGRESS_RESET);
}

TEST_F(RestoreJobs, BackupThenRestoreOntoAnEmptyPhoneGivesTheContactsBack) {
  poom::ContactRecord full{{PIMPR_FILEAS, u"Ōtsuka & Sons <HQ>"},
                           {PIMPR_FIRST_NAME, u"  lead space"},
                           {PIMPR_MOBILE_TELEPHONE_NUMBER, u"+86 138 0000"},
                           {PIMPR_EMAIL1_ADDRESS, u"a@example.com"}};
  poom::add_contact(full);
  poom::add_contact(contact(u"张三", u"13911112222"));
  add_sms(0, 0);
  backup();
  const auto before = poom::list_contacts();
  poom::delete_all_contacts();

  EXPECT_EQ(run(RestoreJob), 1u);
  EXPECT_EQ(poom::list_contacts(), before);
  const auto values = progress(PROGRESS_RESTORE);
  ASSERT_FALSE(values.empty());
  EXPECT_EQ(values.back(), 100);
}

}  // namespace
}  // namespace vardel::testing
