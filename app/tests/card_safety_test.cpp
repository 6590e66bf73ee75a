// The backup folder under pressure: a card too full for the dated copy, the
// leftovers of a copy cut off mid-way, and a folder swapped for a link
// while a job writes into it.
#include <atomic>
#include <thread>

#include "app/tests/job_harness.h"
#include "platform/core/device_lock.h"

namespace vardel::testing {
namespace {

using CardSafety = JobTest;

const std::string kOldContacts = "<?xml version=\"1.0\"?><CONTACTS>the only copy</CONTACTS>";
const std::string kOldMessages = "<?xml version=\"1.0\"?><CONTACTS>old messages</CONTACTS>";

size_t hidden_files(const std::filesystem::path& dir) {
  size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string()[0] == '.') ++n;
  return n;
}

// The dated copy fails (the card is full) although the new file would still
// fit: the previous backup must stay, not be replaced with no copy kept.
TEST_F(CardSafety, ABackupWhoseDatedCopyFailsKeepsThePreviousFile) {
  poom::add_contact(contact(u"New", u"1"));
  write_file(device_.contacts_file(), kOldContacts);
  write_file(device_.messages_file(), kOldMessages);
  fault::arm("core.CopyFileW", HRESULT_FROM_WIN32(ERROR_DISK_FULL), 1, 2);  // both dated copies
  auto [rc, rm] = backup();
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(rm, 0u);
  EXPECT_EQ(read_file(device_.contacts_file()), kOldContacts);
  EXPECT_EQ(read_file(device_.messages_file()), kOldMessages);
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].caption, u"警告");
  EXPECT_EQ(hidden_files(device_.backup_dir()), 0u);

  // With room again, the next backup copies and replaces as usual.
  fault::reset();
  std::tie(rc, rm) = backup();
  EXPECT_EQ(rc, 1u);
  EXPECT_NE(read_file(device_.contacts_file()), kOldContacts);
  size_t dated = 0;
  for (const auto& e : std::filesystem::directory_iterator(device_.backup_dir()))
    if (read_file(e.path()) == kOldContacts) ++dated;
  EXPECT_EQ(dated, 1u);
}

// A record lost between the walk and the file (the serialiser or the disk
// dropped it) is caught when the new file is read back: that file fails and
// the previous one stays.
TEST_F(CardSafety, ABackupFileMissingARecordOnReadingBackKeepsThePreviousFile) {
  poom::add_contact(contact(u"New", u"1"));
  add_sms(3, 2);
  write_file(device_.contacts_file(), kOldContacts);
  write_file(device_.messages_file(), kOldMessages);
  fault::arm("msxml.save.record", E_FAIL, 1, 2);  // one record of each file
  auto [rc, rm] = backup();
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(rm, 0u);
  EXPECT_EQ(read_file(device_.contacts_file()), kOldContacts);
  EXPECT_EQ(read_file(device_.messages_file()), kOldMessages);
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].caption, u"警告");
  EXPECT_EQ(hidden_files(device_.backup_dir()), 0u);

  fault::reset();
  std::tie(rc, rm) = backup();
  EXPECT_EQ(rc, 1u);
  EXPECT_EQ(rm, 1u);
  EXPECT_NE(read_file(device_.messages_file()).find("<VCARD"), std::string::npos);
}

// A copy cut off by the process's end leaves a temporary named after the
// dated copy, which no later save of that name would ever sweep. With the
// device held, a finished backup leaves no temporary of another process.
TEST_F(CardSafety, AFinishedBackupLeavesNoTemporaryWhateverItsName) {
  ASSERT_EQ(device::lock_device(), device::LockResult::locked);
  for (const char* name :
       {".通讯录090423_140509.xml.tmp999999-0", ".短信.xml.tmp1-3", ".MessageLogMsg.xsl.tmp2-0"})
    write_file(device_.backup_dir() / name, "partial");
  write_file(device_.backup_dir() / ".kept", "not ours");
  auto [rc, rm] = backup();
  EXPECT_EQ(rc, 1u);
  EXPECT_EQ(rm, 1u);
  EXPECT_EQ(hidden_files(device_.backup_dir()), 1u);  // .kept
  device::unlock_device();
}

// A folder swapped for a link leading out, again and again while backups
// run: the kernel checks each open against the device, so no file ever
// lands outside.
TEST_F(CardSafety, ABackupFolderSwappedForALinkMidJobWritesNothingOutside) {
  for (int i = 0; i < 20; ++i) poom::add_contact(contact(u"C" + utf16(std::to_string(i)), u"1"));
  const auto outside =
      device_.root().parent_path() / (device_.root().filename().string() + "-outside");
  std::filesystem::create_directories(outside);
  const auto folder = device_.backup_dir();
  const auto aside = folder.parent_path() / "aside";
  std::atomic<bool> stop{false};
  std::thread swapper([&] {
    while (!stop) {
      std::error_code ec;
      std::filesystem::rename(folder, aside, ec);
      std::filesystem::create_directory_symlink(outside, folder, ec);
      std::this_thread::yield();
      std::filesystem::remove(folder, ec);
      std::filesystem::rename(aside, folder, ec);
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < 15; ++i) {
    EventModify(g_hContactsDoneEvent, EVENT_RESET);
    run(ContactsBackupJob);
  }
  stop = true;
  swapper.join();
  EXPECT_TRUE(std::filesystem::is_empty(outside));
  std::filesystem::remove_all(outside);
}

}  // namespace
}  // namespace vardel::testing
