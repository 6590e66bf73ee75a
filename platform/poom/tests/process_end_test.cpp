// A process that ends as vardel ends (std::_Exit: no destructors, no at-exit
// handlers) leaves the contacts database sound without anything run at the
// end. Once it has let go of its objects, as every job does when it
// finishes, its removal groups are committed, the removed contacts' rows
// purged and the log checkpointed and gone. One that ends while still
// holding them keeps every save; only its open removal group is lost, and
// those contacts remain, whole.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/poom/contact_db.h"
#include "platform/poom/tests/poom_fixture.h"

namespace vardel::poom::testing {
namespace {

class ProcessEnd : public PoomTest {
 protected:
  void SetUp() override {
    PoomTest::SetUp();
    for (const char16_t* name : {u"Chen Yi", u"Li Si", u"Zhao Liu"})
      add_contact({{PIMPR_FILEAS, name}, {PIMPR_MOBILE_TELEPHONE_NUMBER, u"13800000000"}});
  }

  // Runs body in a child process that then ends with std::_Exit; its status
  // says whether body's checks held. This process holds no connection
  // meanwhile: the child starts with none.
  template <class Body>
  static void in_child_ending_like_vardel(Body body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const bool ok = body();
      std::_Exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
  }

  static bool log_on_disk() {
    return std::filesystem::exists(device::contacts_db().string() + "-wal");
  }

  static std::vector<std::u16string> names() {
    std::vector<std::u16string> out;
    for (const ContactRecord& c : list_contacts()) out.push_back(c.front().text);
    return out;
  }
};

TEST_F(ProcessEnd, AProcessThatLetGoOfItsObjectsLeavesEverythingCommittedAndNoLog) {
  in_child_ending_like_vardel([] {
    Ref<IPOutlookApp2> app = logon();
    bool ok = save_contact(app.get(), u"Wang Wu", u"13800000003") > 0;
    {
      Ref<IPOutlookItemCollection> coll = items(app.get());
      ok = ok && coll && coll->Remove(1) == S_OK;  // "Chen Yi", in a removal group
    }
    ok = ok && app->Logoff() == S_OK;
    return ok;
  });
  EXPECT_FALSE(log_on_disk());
  // Wang Wu's 2 rows and those of the 2 contacts kept: the removed one's are
  // purged already.
  EXPECT_EQ(stored_property_rows(), 6);
  EXPECT_EQ(names(), (std::vector<std::u16string>{u"Li Si", u"Wang Wu", u"Zhao Liu"}));
}

TEST_F(ProcessEnd, AProcessStillHoldingItsObjectsKeepsItsSavesAndLosesOnlyItsOpenRemovals) {
  in_child_ending_like_vardel([]() -> bool {
    Ref<IPOutlookApp2> app = logon();
    Ref<IPOutlookItemCollection> coll = items(app.get());
    const bool saved = save_contact(app.get(), u"Wang Wu", u"13800000003") > 0;
    const bool removed = coll && coll->Remove(1) == S_OK;  // "Chen Yi"
    // Ends here, holding everything with the removal group open, as a job
    // cut off by the window closing would.
    std::_Exit(saved && removed ? 0 : 1);
  });
  EXPECT_TRUE(log_on_disk());  // nothing closed the connection
  EXPECT_EQ(names(), (std::vector<std::u16string>{u"Chen Yi", u"Li Si", u"Wang Wu", u"Zhao Liu"}));
  EXPECT_EQ(stored_property_rows(), 8);
}

}  // namespace
}  // namespace vardel::poom::testing
