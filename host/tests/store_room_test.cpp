// Room on the card for the stores: an import or restore that cannot fit is
// refused before it changes anything, and the stores' logs stay a few MiB
// long however much a run writes.
#include <sys/statvfs.h>

#include <future>

#include <nlohmann/json.hpp>

#include "app/MainWindow.h"
#include "host/device/device_tools.h"
#include "host/run/session.h"
#include "host/tests/cli_fixture.h"
#include "test_support/recording_frontend.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"
#include "platform/core/device.h"
#include "platform/core/wstr.h"
#include "platform/mapi/message_db.h"
#include "platform/poom/contact_database.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/pimstore.h"
#include "platform/sql/database.h"

namespace vardel_test {
namespace {

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::uintmax_t log_size(const fs::path& db) {
  std::error_code ec;
  const auto n = fs::file_size(db.string() + "-wal", ec);
  return ec ? 0 : n;
}

// A file of a terabyte that takes no room: more than any store could be
// given on the disk the tests run on.
constexpr std::uintmax_t kHuge = std::uintmax_t{1} << 40;

TEST_F(Cli, AnInputTooLargeForTheFreeSpaceIsRefusedBeforeAnythingChanges) {
  struct statvfs vfs {};
  ASSERT_EQ(::statvfs(dir_.c_str(), &vfs), 0);
  if (static_cast<std::uintmax_t>(vfs.f_bavail) * vfs.f_frsize > 4 * kHuge)
    GTEST_SKIP() << "the disk has room even for that";
  ASSERT_EQ(vardel("device init --demo").status, 0);
  const std::string contacts = vardel("contacts list").out;
  const std::string messages = vardel("messages list").out;
  ASSERT_EQ(vardel("backup --yes").status, 0);

  // Each begins as its kind begins, so that it is taken for what it is.
  auto huge = [&](const fs::path& file, const std::string& head) {
    { std::ofstream(file, std::ios::binary) << head; }
    fs::resize_file(file, kHuge);
    return file;
  };
  const std::string card = "BEGIN:VCARD\r\n";
  const std::string android = "<?xml version=\"1.0\"?>\n<smses count=\"1\">\n";
  const std::string sms_backup =
      "<?xml version=\"1.0\"?>\n<CONTACTS>\n<VCARD Owner=\" \" TYPE=\"WinMobile\" "
      "CONTACTS=\"来自于：10086\" ContactNumber=\"来自于：10086\"><MESSAGE Date=\"2009-4-23\" "
      "Time=\"  9:5:7\" Direction=\"1\"><TEXT>a</TEXT></MESSAGE></VCARD>\n";
  const std::string contacts_backup =
      "<?xml version=\"1.0\"?>\n<CONTACTS>\n<VCARD TITLE=\"A\" TYPE=\"WinMobile\"><ADDRESS "
      "Direction=\"0\"><FILEAS>A</FILEAS></ADDRESS></VCARD>\n";
  auto refused = [&](const CliResult& r) {
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(has(r.err, "vardel: not enough free space on " + device_.string())) << r.err;
    EXPECT_TRUE(has(r.err, " (needs about 4194312 MiB, ")) << r.err;
    EXPECT_TRUE(has(r.err, " MiB free)")) << r.err;
  };
  const fs::path cards = huge(dir_ / "cards.vcf", card);
  refused(vardel("contacts import '" + cards.string() + "'"));
  refused(vardel("messages import '" + huge(dir_ / "sms.xml", android).string() + "'"));
  // The backups themselves, as the restores find them.
  huge(backup_dir() / "短信.xml", sms_backup);
  refused(vardel("messages restore --yes"));
  huge(backup_dir() / "通讯录.xml", contacts_backup);
  refused(vardel("restore --yes"));

  EXPECT_EQ(vardel("contacts list").out, contacts);
  EXPECT_EQ(vardel("messages list").out, messages);
}

// The window's "恢复通讯录" makes the same check before its job starts: a
// tap is kept from the program, with a box saying why, and nothing runs.
TEST_F(Cli, TheWindowsRestoreWithoutRoomStopsBeforeItStarts) {
  struct statvfs vfs {};
  ASSERT_EQ(::statvfs(dir_.c_str(), &vfs), 0);
  if (static_cast<std::uintmax_t>(vfs.f_bavail) * vfs.f_frsize > 4 * kHuge)
    GTEST_SKIP() << "the disk has room even for that";
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  const std::string contacts = vardel("contacts list").out;

  vardel::host::open_device(device_);
  vardel::host::start_platform();
  vardel::testing::RecordingFrontend frontend;
  auto program = std::async(std::launch::async, [] {
    return WinMain(vardel::gwes::module_instance(), nullptr, const_cast<LPWSTR>(u""),
                   SW_SHOWNORMAL);
  });
  HWND dialog = frontend.wait_for_dialog();
  ASSERT_NE(dialog, nullptr);
  // The tap as the window makes it: through the guard, then to the program.
  const auto tap_restore = [&] {
    bool allowed = true;
    EXPECT_TRUE(vardel::gwes::call_on_window_thread(dialog, [&] {
      allowed = vardel::host::window_tap_allowed(GetDlgItem(dialog, IDC_RESTORE));
    }));
    return allowed;
  };
  const auto boxes = [&] {
    std::vector<std::string> out;
    for (const std::string& e : frontend.names())
      if (e.rfind("box ", 0) == 0) out.push_back(e);
    return out;
  };
  // With room, the tap goes through (and is not made here).
  EXPECT_TRUE(tap_restore());
  EXPECT_TRUE(boxes().empty());

  const std::string head =
      "<?xml version=\"1.0\"?>\n<CONTACTS>\n<VCARD TITLE=\"A\" TYPE=\"WinMobile\"><ADDRESS "
      "Direction=\"0\"><FILEAS>A</FILEAS></ADDRESS></VCARD>\n";
  { std::ofstream(backup_dir() / "通讯录.xml", std::ios::binary) << head; }
  fs::resize_file(backup_dir() / "通讯录.xml", kHuge);
  EXPECT_FALSE(tap_restore());
  const auto shown = boxes();
  ASSERT_EQ(shown.size(), 1u);
  // All in the window's language, without the host's paths.
  EXPECT_TRUE(
      has(shown[0], "box 恢复通讯录 存储空间不足，没有开始恢复通讯录。\n需要约 4194312 MiB，只有 "))
      << shown[0];
  EXPECT_TRUE(has(shown[0], " MiB 可用。")) << shown[0];
  EXPECT_FALSE(has(shown[0], device_.string())) << shown[0];
  EXPECT_EQ(g_hRestoreThread, nullptr);  // no job was started

  vardel::gwes::post_to_window_thread(dialog, [dialog] { EndDialog(dialog, 1); });
  program.wait();
  g_hMainWnd = nullptr;
  EXPECT_EQ(vardel("contacts list").out, contacts);
}

// After a transaction far longer than the bound (an import of thousands of
// contacts or messages at once), the store's log is cut back to the bound
// as soon as the next one starts it over.
TEST(StoreLog, ALongImportLeavesTheLogNoLongerThanTheBound) {
  const vardel::testing::TempFolder folder("vardel-log");
  vardel::host::init_device(folder.path() / "device");
  // The connection the imports share stays open, so that its log is seen
  // as a run leaves it before the store is closed.
  std::shared_ptr<vardel::poom::ContactDatabase> contacts;
  ASSERT_EQ(vardel::poom::ContactDatabase::open(vardel::device::contacts_db(), &contacts), S_OK);
  const std::u16string note(2000, u'n');
  std::vector<vardel::poom::ContactRecord> many;
  for (int i = 0; i < 6000; ++i)
    many.push_back(
        {{PIMPR_FIRST_NAME, u"Card " + vardel::utf16(std::to_string(i))}, {PIMPR_BODY, note}});
  vardel::poom::add_contacts(many);
  EXPECT_GT(log_size(vardel::device::contacts_db()), std::uintmax_t{vardel::sql::kLogLimit});
  vardel::poom::add_contact({{PIMPR_FIRST_NAME, u"One more"}});
  EXPECT_LE(log_size(vardel::device::contacts_db()), std::uintmax_t{vardel::sql::kLogLimit});

  vardel::mapi::MessageDb db(vardel::device::messages_db());
  const auto inbox = db.folder(db.sms_store(), vardel::mapi::FolderKind::inbox);
  db.begin();
  for (int i = 0; i < 6000; ++i) db.add_message(inbox, {note, u"10086", {}, {}});
  db.commit();
  EXPECT_GT(log_size(vardel::device::messages_db()), std::uintmax_t{vardel::sql::kLogLimit});
  db.add_message(inbox, {u"one more", u"10086", {}, {}});
  EXPECT_LE(log_size(vardel::device::messages_db()), std::uintmax_t{vardel::sql::kLogLimit});
}

}  // namespace
}  // namespace vardel_test
