// What the jobs do when part of a backup or restore fails: the user always
// hears of it once, the lines never stay stuck, nothing escapes a job, and
// every job gives back what its document objects held.
#include "app/tests/job_harness.h"
#include "platform/com/com.h"

namespace vardel::testing {
namespace {

class FailingJobs : public JobTest {
 protected:
  void SetUp() override {
    JobTest::SetUp();
    poom::add_contact(contact(u"Zhang", u"1"));
    poom::add_contact(contact(u"Li", u"2"));
    add_sms(2, 1);
  }
  // Runs the contacts job alone to its end, then the messages job, so that
  // a fault armed in between hits only the messages job.
  DWORD contacts_then_messages(const std::function<void()>& between = {}) {
    EXPECT_EQ(run(ContactsBackupJob), 1u);
    if (between) between();
    return run(MessagesBackupJob);
  }
  void expect_one_warning_naming(const char16_t* file) {
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, u"警告");
    EXPECT_NE(shown[0].text.find(file), std::u16string::npos) << utf8(shown[0].text);
    EXPECT_EQ(window_.messages(WM_PROGRESS).back().lParam, PROGRESS_RESET);
  }
};

TEST_F(FailingJobs, ContactsFileNotSavedIsReportedByName) {
  write_file(device_.contacts_file(), "previous");
  fault::arm("msxml.save", E_FAIL);  // the first save is the contacts job's
  EXPECT_EQ(run(ContactsBackupJob), 0u);
  EXPECT_EQ(run(MessagesBackupJob), 1u);
  expect_one_warning_naming(u"通讯录.xml");
  EXPECT_EQ(boxes()[0].text.find(u"短信.xml"), std::u16string::npos);
  EXPECT_EQ(read_file(device_.contacts_file()), "previous");
}

TEST_F(FailingJobs, MessagesFileNotSavedIsReportedByName) {
  write_file(device_.messages_file(), "previous");
  EXPECT_EQ(contacts_then_messages([] { fault::arm("msxml.save", E_FAIL); }), 0u);
  expect_one_warning_naming(u"短信.xml");
  EXPECT_EQ(read_file(device_.messages_file()), "previous");
}

TEST_F(FailingJobs, NoSmsStoreIsReportedInsteadOfSuccess) {
  for (const char* suffix : {"", "-wal", "-shm"}) {
    auto p = device::messages_db();
    p += suffix;
    std::filesystem::remove(p);
  }
  mapi::MessageDb(device::messages_db()).add_store(u"ActiveSync");
  EXPECT_EQ(contacts_then_messages(), 0u);
  expect_one_warning_naming(u"短信.xml");
}

TEST_F(FailingJobs, MessagesWriterThatCannotOpenStillEndsTheBackup) {
  EXPECT_EQ(contacts_then_messages([] { fault::arm("com.CoCreateInstance", E_OUTOFMEMORY); }), 0u);
  expect_one_warning_naming(u"短信.xml");
}

TEST_F(FailingJobs, ContactsWriterThatCannotOpenStillLetsTheMessagesJobReport) {
  fault::arm("poom.Logon", E_FAIL);
  EXPECT_EQ(run(ContactsBackupJob), 0u);
  EXPECT_EQ(run(MessagesBackupJob), 1u);  // the event was set on the way out
  expect_one_warning_naming(u"通讯录.xml");
}

TEST_F(FailingJobs, BothFilesLostSaysSoInOneBox) {
  fault::arm("msxml.save", E_FAIL, 1, 0);
  EXPECT_EQ(run(ContactsBackupJob), 0u);
  EXPECT_EQ(run(MessagesBackupJob), 0u);
  auto shown = boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].text.find(u"通讯录.xml"), std::u16string::npos);
  EXPECT_NE(shown[0].text.find(u"短信.xml"), std::u16string::npos);
}

TEST_F(FailingJobs, RestoreStoppedAtAFailureIsNotReportedAsComplete) {
  contacts_then_messages();
  poom::delete_all_contacts();
  fault::reset();
  fault::arm("poom.Contact.Save", E_FAIL, 2);
  EXPECT_EQ(run(RestoreJob), 0u);
  auto shown = boxes();
  ASSERT_EQ(shown.size(), 2u);  // the backup's, then the restore's
  EXPECT_EQ(shown[1].caption, u"警告");
  EXPECT_NE(shown[1].text, u"恢复已经完成");
  EXPECT_EQ(poom::list_contacts().size(), 1u);  // the one saved before the failure stays
  EXPECT_EQ(window_.messages(WM_PROGRESS).back().lParam, PROGRESS_RESET);
}

TEST_F(FailingJobs, AnExceptionInsideARestoreEndsTheJobWithAReport) {
  contacts_then_messages();
  // The reader's string holders throw when a COM string cannot be made.
  fault::arm("com.SysAllocString", E_OUTOFMEMORY, 1, 0);
  EXPECT_EQ(run(RestoreJob), 0u);
  fault::reset();
  auto shown = boxes();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].caption, u"警告");
}

TEST_F(FailingJobs, AnExceptionInsideABackupEndsTheJobWithAReport) {
  fault::arm("com.SysAllocString", E_OUTOFMEMORY, 1, 0);
  EXPECT_EQ(run(ContactsBackupJob), 0u);
  fault::reset();
  EXPECT_EQ(run(MessagesBackupJob), 1u);
  expect_one_warning_naming(u"通讯录.xml");
}

// Each job gives back its COM use and its stores: a window that runs many
// jobs does not grow.
TEST_F(FailingJobs, JobsCloseTheirDocumentObjects) {
  EventModify(g_hContactsDoneEvent, EVENT_RESET);
  EXPECT_EQ(ContactsBackupJob(nullptr), 1u);
  EXPECT_EQ(com::apartment_count(), 0);
  EXPECT_EQ(MessagesBackupJob(nullptr), 1u);
  EXPECT_EQ(com::apartment_count(), 0);
  EXPECT_EQ(RestoreJob(nullptr), 1u);
  EXPECT_EQ(com::apartment_count(), 0);
  EXPECT_EQ(RunDuplicateRemoval(), 1);
  EXPECT_EQ(com::apartment_count(), 0);
}

}  // namespace
}  // namespace vardel::testing
