// Each job under a countdown: the 1st, 2nd, 3rd ... platform call fails in
// turn until the job runs clean. After every run: no crash, each backup file
// the old one or a whole new one, no "完成" when anything was left undone,
// and both databases pass SQLite's integrity check.
#include <cstdio>
#include <set>

#include <pugixml.hpp>

#include "app/tests/job_harness.h"

namespace vardel::testing {
namespace {

// The number of records of a backup file, or -1 when it is not whole.
int whole_records(const std::filesystem::path& file) {
  pugi::xml_document doc;
  if (!doc.load_file(file.c_str()) || std::string(doc.document_element().name()) != "CONTACTS")
    return -1;
  int n = 0;
  for (auto v : doc.document_element().children("VCARD")) (void)v, ++n;
  return n;
}

class FaultLoop : public JobTest {
 protected:
  void SetUp() override {
    JobTest::SetUp();
    for (const char* name : {"张三", "李四", "Ann Lee"})
      poom::add_contact(contact(utf16(name), u"139"));
    add_sms(2, 1);
  }

  // Runs `job` with the nth call failing, for n = 1, 2, ... until a run
  // makes fewer calls than n; `check` looks at what each run left. Returns
  // the number of fault points the job went through.
  template <typename Job, typename Check>
  unsigned countdown(const char* what, Job job, Check check) {
    std::set<std::string> failed_calls;
    unsigned n = 1;
    for (;; ++n) {
      const size_t boxes_before = boxes().size();
      fault::reset();
      fault::arm_nth_call(n, E_FAIL);
      job();
      const bool clean = fault::total_uses() < n;
      const std::string failed = fault::failed_call();
      fault::reset();
      std::vector<ShownBox> shown = boxes();
      shown.erase(shown.begin(), shown.begin() + static_cast<long>(boxes_before));
      SCOPED_TRACE(std::string(what) + ": call " + std::to_string(n) + " (" + failed + ")");
      check(shown, clean);
      EXPECT_TRUE(database_intact(device::contacts_db()));
      EXPECT_TRUE(database_intact(device::messages_db()));
      if (clean) break;
      failed_calls.insert(failed);
      if (HasFatalFailure() || n > 5000) break;
    }
    std::printf("[ fault loop ] %s: %u fault points over %zu platform calls\n", what, n - 1,
                failed_calls.size());
    return n - 1;
  }
};

TEST_F(FaultLoop, ContactsBackupLeavesTheOldFileOrAWholeNewOne) {
  EventModify(g_hContactsDoneEvent, EVENT_RESET);
  ASSERT_EQ(run(ContactsBackupJob), 1u);
  const std::string whole = read_file(device_.contacts_file());
  const std::string old = "<?xml version=\"1.0\"?><CONTACTS>before</CONTACTS>";
  write_file(device_.contacts_file(), old);
  const unsigned points = countdown(
      "contacts backup",
      [&] {
        EventModify(g_hContactsDoneEvent, EVENT_RESET);
        const DWORD rc = run(ContactsBackupJob);
        // The job's own result stands in for the box the messages job shows.
        if (rc == 1) {
          EXPECT_EQ(read_file(device_.contacts_file()), whole);
        }
      },
      [&](const std::vector<ShownBox>& shown, bool) {
        EXPECT_TRUE(shown.empty());
        const std::string now = read_file(device_.contacts_file());
        EXPECT_TRUE(now == old || whole_records(device_.contacts_file()) >= 0) << now;
        write_file(device_.contacts_file(), old);
      });
  EXPECT_GT(points, 10u);
}

TEST_F(FaultLoop, MessagesBackupLeavesTheOldFileOrAWholeNewOneAndNeverSaysDoneWrongly) {
  g_nContactsBackupResult = 1;  // the contacts job's part done
  EventModify(g_hContactsDoneEvent, EVENT_SET);
  ASSERT_EQ(run(MessagesBackupJob), 1u);
  const std::string whole = read_file(device_.messages_file());
  const std::string old = "<?xml version=\"1.0\"?><CONTACTS>messages before</CONTACTS>";
  write_file(device_.messages_file(), old);
  DWORD result = 0;
  const unsigned points = countdown(
      "messages backup",
      [&] {
        g_nContactsBackupResult = 1;  // the contacts job's part done
        EventModify(g_hContactsDoneEvent, EVENT_SET);
        result = run(MessagesBackupJob);
      },
      [&](const std::vector<ShownBox>& shown, bool clean) {
        const int records = whole_records(device_.messages_file());
        const std::string now = read_file(device_.messages_file());
        EXPECT_TRUE(now == old || records >= 0) << now;
        for (const ShownBox& box : shown)
          if (box.caption == u"完成") {
            EXPECT_EQ(now, whole) << "done, with the file " << now;
          }
        if (clean) {
          EXPECT_EQ(result, 1u);
        }
        write_file(device_.messages_file(), old);
      });
  EXPECT_GT(points, 10u);
}

TEST_F(FaultLoop, RestoreNeverSaysDoneWithContactsMissingOrDuplicated) {
  EventModify(g_hContactsDoneEvent, EVENT_RESET);
  ASSERT_EQ(run(ContactsBackupJob), 1u);
  const auto before = poom::list_contacts();
  poom::delete_all_contacts();
  const unsigned points = countdown(
      "restore", [&] { run(RestoreJob); },
      [&](const std::vector<ShownBox>& shown, bool clean) {
        const auto contacts = poom::list_contacts();
        for (const ShownBox& box : shown)
          if (box.caption == u"完成") {
            EXPECT_EQ(contacts, before);
          }
        if (clean) {
          ASSERT_EQ(shown.size(), 1u);
          EXPECT_EQ(shown[0].text, u"恢复已经完成");
        }
        EXPECT_LE(contacts.size(), 6u);  // a failed duplicate removal may leave one round
        poom::delete_all_contacts();
      });
  EXPECT_GT(points, 10u);
}

// The duplicate removal after a restore onto a phone whose contacts lost
// their e-mail addresses: at whatever call it fails, no address is lost (the
// kept contact has it, or the copy that carries it is still there), and a
// clean run leaves each contact once, with its address back.
TEST_F(FaultLoop, DuplicateRemovalNeverLosesWhatOnlyTheCopyHeld) {
  const std::u16string names[3] = {u"张三", u"李四", u"Ann Lee"};
  auto restored_phone = [&] {
    poom::delete_all_contacts();
    for (const auto& name : names) poom::add_contact(contact(name, u"139"));
    for (const auto& name : names) {
      auto c = contact(name, u"139");
      c.push_back({PIMPR_EMAIL1_ADDRESS, name + u"@example.com"});
      poom::add_contact(c);
    }
  };
  restored_phone();
  const unsigned points = countdown(
      "duplicate removal", [&] { RunDuplicateRemoval(); },
      [&](const std::vector<ShownBox>&, bool clean) {
        const auto contacts = poom::list_contacts();
        for (const auto& name : names) {
          int with_address = 0;
          for (const auto& c : contacts)
            for (const auto& p : c)
              if (p.tag == PIMPR_EMAIL1_ADDRESS && p.text == name + u"@example.com") ++with_address;
          EXPECT_GE(with_address, 1) << utf8(name);
        }
        if (clean) {
          EXPECT_EQ(contacts.size(), 3u);
        }
        restored_phone();
      });
  EXPECT_GT(points, 5u);
}

}  // namespace
}  // namespace vardel::testing
