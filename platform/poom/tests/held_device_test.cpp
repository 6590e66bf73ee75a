// The contacts database of a device this process holds (device_lock.h): the
// connection keeps the file's lock while it is open, and what a save
// committed is there after the process is killed right after the save
// returned, as when the file is shared.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/core/device_lock.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/tests/poom_fixture.h"

namespace vardel::poom::testing {
namespace {

class HeldDevice : public PoomTest {
 protected:
  void SetUp() override {
    PoomTest::SetUp();
    ASSERT_EQ(device::lock_device(), device::LockResult::locked);
  }
  void TearDown() override {
    device::unlock_device();
    PoomTest::TearDown();
  }

  // SQLite's answer to a read by another connection.
  static int read_from_outside() {
    sqlite3* db = nullptr;
    sqlite3_open_v2(device::contacts_db().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    const int rc = sqlite3_exec(db, "SELECT count(*) FROM contacts", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    return rc;
  }
};

TEST_F(HeldDevice, TheFileIsKeptWhileLoggedOnAndFreeAfter) {
  {
    auto app = logon();
    save_contact(app.get(), u"Zhang San", u"13800000001");
    EXPECT_EQ(read_from_outside(), SQLITE_BUSY);
    ASSERT_EQ(app->Logoff(), S_OK);
  }
  EXPECT_EQ(read_from_outside(), SQLITE_OK);
  EXPECT_EQ(list_contacts().size(), 1u);
}

// A child process removes a contact, then saves another (the save commits
// the removal group first, without purging it), and is killed (SIGKILL:
// nothing is closed) once the save has returned. The saved contact is there,
// whole; the removed one is gone, and the properties it left are purged by
// the next process to open the database.
TEST_F(HeldDevice, WhatWasCommittedSurvivesAKill) {
  {
    auto app = logon();
    save_contact(app.get(), u"Old", u"13800000000");
    save_contact(app.get(), u"Wang Wu", u"13800000003");
  }
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  std::fflush(stdout);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(ready[0]);
    Ref<IPOutlookApp2> app = logon();
    Ref<IPOutlookItemCollection> coll = items(app.get());
    const bool removed = coll && coll->Remove(1) == S_OK;  // "Old"
    const bool saved = removed && save_contact(app.get(), u"Li Si", u"13800000002") > 0;
    const char answer = saved ? 'y' : 'n';
    (void)!::write(ready[1], &answer, 1);
    ::pause();  // killed here, holding everything
    ::_exit(0);
  }
  ::close(ready[1]);
  char answer = 0;
  ASSERT_EQ(::read(ready[0], &answer, 1), 1);
  ::close(ready[0]);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_EQ(answer, 'y');

  // The removed contact's properties are still in the file, noted.
  EXPECT_EQ(stored_property_rows(), 6);
  const auto contacts = list_contacts();  // opens (and purges), then closes
  ASSERT_EQ(contacts.size(), 2u);
  EXPECT_EQ(contacts[0].front().text, u"Li Si");
  EXPECT_EQ(contacts[1].front().text, u"Wang Wu");
  EXPECT_EQ(stored_property_rows(), 4);
}

}  // namespace
}  // namespace vardel::poom::testing
