// The main window through the recording front end: layout, colours, the
// progress protocol, the storage card folder, the commands and their boxes.
#include <algorithm>

#include "app/tests/window_harness.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/pimstore.h"

// Rectangles compare and print by their corners (found by argument lookup).
static bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static void PrintTo(const RECT& r, std::ostream* os) {
  *os << "(" << r.left << "," << r.top << " " << r.right - r.left << "x" << r.bottom - r.top << ")";
}

namespace vardel::testing {
namespace {

namespace fs = std::filesystem;

RECT rect(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

// Index of the first trace line that starts with prefix, or -1.
int find_line(const std::vector<std::string>& lines, const std::string& prefix, int from = 0) {
  for (size_t i = static_cast<size_t>(from); i < lines.size(); ++i)
    if (lines[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
  return -1;
}

TEST_F(WindowTest, OnASmallScreenButtonsAndLinesStandWhereTheBackgroundExpectsThem) {
  open(240, 320);
  EXPECT_EQ(control(IDC_BACKUP).rect, rect(29, 192, 85, 25));
  EXPECT_EQ(control(IDC_RESTORE).rect, rect(126, 192, 85, 25));
  EXPECT_EQ(control(IDC_VIEW).rect, rect(29, 224, 85, 25));
  EXPECT_EQ(control(IDC_ABOUT).rect, rect(126, 224, 85, 25));
  EXPECT_EQ(control(IDC_CONTACTS_PROGRESS).rect, rect(66, 131, 170, 20));
  EXPECT_EQ(control(IDC_MESSAGES_PROGRESS).rect, rect(66, 161, 170, 20));
  EXPECT_EQ(text(IDC_CONTACTS_PROGRESS), u"1、通讯录");
  EXPECT_EQ(text(IDC_MESSAGES_PROGRESS), u"2、短信");
  EXPECT_TRUE(visible(IDC_CONTACTS_PROGRESS));
  EXPECT_TRUE(visible(IDC_MESSAGES_PROGRESS));

  auto info = gwes::dialog_info(dialog_);
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->done_button);
  EXPECT_EQ(info->rect.right, 240);  // the whole screen below the navigation bar
  EXPECT_EQ(info->rect.bottom, 320);

  gwes::LabelColors colors;
  on_window([&] { colors = gwes::label_colors(GetDlgItem(dialog_, IDC_CONTACTS_PROGRESS)); });
  EXPECT_TRUE(colors.custom);
  EXPECT_EQ(colors.text, 0x00FFFFFFu);
  EXPECT_EQ(colors.background, 0x0085380Au);
  EXPECT_EQ(colors.brush, 0x0085380Au);
}

TEST_F(WindowTest, OnALargeScreenButtonsScaleButTheLinesStay) {
  open(480, 640);
  EXPECT_EQ(control(IDC_BACKUP).rect, rect(143, 384, 85, 25));
  EXPECT_EQ(control(IDC_RESTORE).rect, rect(252, 384, 85, 25));
  EXPECT_EQ(control(IDC_VIEW).rect, rect(143, 448, 85, 25));
  EXPECT_EQ(control(IDC_ABOUT).rect, rect(252, 448, 85, 25));
  EXPECT_EQ(control(IDC_CONTACTS_PROGRESS).rect, rect(66, 131, 170, 20));
  EXPECT_EQ(control(IDC_MESSAGES_PROGRESS).rect, rect(66, 161, 170, 20));
}

TEST_F(WindowTest, PaintingDrawsTheBackgroundAndFreesWhatItMade) {
  open();
  const int before = gwes::live_gdi_objects();
  gwes::Image first, second;
  on_window([&] { first = gwes::paint_window(dialog_); });
  on_window([&] { second = gwes::paint_window(dialog_); });
  EXPECT_EQ(gwes::live_gdi_objects(), before);
  ASSERT_GE(first.width, 240);
  ASSERT_GE(first.height, 268);
  EXPECT_EQ(first.rgb, second.rgb);
  // The picture is not one flat colour: something of it was drawn.
  EXPECT_NE(first.pixel(0, 0), first.pixel(120, 200));
}

TEST_F(WindowTest, ProgressCodesDriveTheTwoLines) {
  open();
  EXPECT_EQ(progress(42, PROGRESS_MESSAGES), 0);
  EXPECT_EQ(text(IDC_MESSAGES_PROGRESS), u"2、短信　    42%");
  EXPECT_EQ(text(IDC_CONTACTS_PROGRESS), u"1、通讯录");
  EXPECT_EQ(progress(42, PROGRESS_RESTORE), 0);
  EXPECT_EQ(text(IDC_CONTACTS_PROGRESS), u"1、通讯录    42%");
  progress(100, PROGRESS_CONTACTS);
  EXPECT_EQ(text(IDC_CONTACTS_PROGRESS), u"1、通讯录   100%");
  progress(5, PROGRESS_CONTACTS);
  EXPECT_EQ(text(IDC_CONTACTS_PROGRESS), u"1、通讯录     5%");
  // Shown as they come, never clamped.
  progress(250, PROGRESS_CONTACTS);
  EXPECT_EQ(text(IDC_CONTACTS_PROGRESS), u"1、通讯录   250%");
  progress(-7, PROGRESS_MESSAGES);
  EXPECT_EQ(text(IDC_MESSAGES_PROGRESS), u"2、短信　    -7%");
  progress(1234567, PROGRESS_MESSAGES);
  EXPECT_EQ(text(IDC_MESSAGES_PROGRESS), u"2、短信　1234567%");

  // Unknown codes change nothing.
  const auto lines = trace_lines().size();
  for (LPARAM code : {0, 4, 9, 100, -1}) EXPECT_EQ(progress(77, code), 0);
  EXPECT_EQ(trace_lines().size(), lines);
  EXPECT_EQ(text(IDC_CONTACTS_PROGRESS), u"1、通讯录   250%");

  progress(0, PROGRESS_HIDE_CONTACTS);
  EXPECT_FALSE(visible(IDC_CONTACTS_PROGRESS));
  EXPECT_TRUE(visible(IDC_MESSAGES_PROGRESS));
  progress(0, PROGRESS_CLEAR);
  EXPECT_EQ(text(IDC_CONTACTS_PROGRESS), u"");
  EXPECT_EQ(text(IDC_MESSAGES_PROGRESS), u"");
  EXPECT_TRUE(visible(IDC_CONTACTS_PROGRESS));
  progress(0, PROGRESS_RESTORE_START);
  EXPECT_TRUE(visible(IDC_CONTACTS_PROGRESS));
  EXPECT_FALSE(visible(IDC_MESSAGES_PROGRESS));

  // Reset: both titles first (contacts before messages), then both shown.
  const int start = static_cast<int>(trace_lines().size());
  progress(0, PROGRESS_RESET);
  const auto after = trace_lines();
  const int t1 = find_line(after, "text 1007 \"1、通讯录\"", start);
  const int t2 = find_line(after, "text 1008 \"2、短信\"", start);
  const int shown = find_line(after, "show 1008", start);
  ASSERT_GE(t1, 0);
  EXPECT_LT(t1, t2);
  EXPECT_LT(t2, shown);
  EXPECT_TRUE(visible(IDC_CONTACTS_PROGRESS));
  EXPECT_TRUE(visible(IDC_MESSAGES_PROGRESS));
}

TEST_F(WindowTest, AboutShowsTheProgramLinesThenOurContactLines) {
  open();
  tap(IDC_ABOUT);
  auto shown = boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, u"关于");
  EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_ICONINFORMATION));
  const std::u16string head =
      u"　　Vardel手机版\r\n　　V1.0.20090423\r\n 一键备份通讯录和短信\r\n\r\n支持Windows Mobile "
      u"5和 6\r\n\r\n";
  ASSERT_EQ(shown[0].text.substr(0, head.size()), head);
  EXPECT_GT(shown[0].text.size(), head.size());
}

TEST_F(WindowTest, ClosingEndsTheDialogWithOneWhicheverWayItIsClosed) {
  open();
  on_window([&] { gwes::close(dialog_); });
  EXPECT_EQ(result_.get(), 1);
}

TEST_F(WindowTest, TheCaptionOkButtonEndsTheDialogWithOne) {
  open();
  on_window([&] { gwes::command(dialog_, IDOK); });
  EXPECT_EQ(result_.get(), 1);
}

TEST_F(WindowTest, WithoutACardNothingStarts) {
  fs::remove_all(device_.root() / "Storage Card");
  open();
  tap(IDC_BACKUP);
  tap(IDC_RESTORE);
  auto shown = boxes();
  ASSERT_EQ(shown.size(), 2u);
  for (const auto& b : shown) {
    EXPECT_EQ(b.caption, u"警告");
    EXPECT_EQ(b.text, u"请确认已经插入存储卡 ");
    EXPECT_EQ(b.type, static_cast<UINT>(MB_OK));
  }
  EXPECT_EQ(g_hContactsThread, nullptr);
  EXPECT_EQ(g_hRestoreThread, nullptr);
  EXPECT_TRUE(visible(IDC_MESSAGES_PROGRESS));
}

TEST_F(WindowTest, CancelledRestoreLeavesBothLinesAndStartsNothing) {
  open();
  script({IDCANCEL});
  tap(IDC_RESTORE);
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text, u"将通讯录恢复到手机中");
  EXPECT_EQ(boxes()[0].type, static_cast<UINT>(MB_OKCANCEL));
  EXPECT_EQ(g_hRestoreThread, nullptr);
  EXPECT_TRUE(visible(IDC_MESSAGES_PROGRESS));
  EXPECT_TRUE(fs::is_directory(device_.backup_dir()));  // made before the question
}

TEST_F(WindowTest, ConfirmedRestoreHidesTheMessagesLineBeforeTheJobRuns) {
  open();
  tap(IDC_RESTORE);
  wait_for_jobs();
  const auto lines = trace_lines();
  const int confirm = find_line(lines, "box 警告 将通讯录恢复到手机中");
  const int hide = find_line(lines, "hide 1008");
  const int job_box = find_line(lines, "box 警告 请先备份通讯录");
  ASSERT_GE(confirm, 0);
  EXPECT_LT(confirm, hide);
  EXPECT_LT(hide, job_box);
  // No file: the lines go back to their titles once the box is closed.
  EXPECT_LT(job_box, find_line(lines, "show 1008"));
  EXPECT_TRUE(visible(IDC_MESSAGES_PROGRESS));
}

TEST_F(WindowTest, ATapWhileAJobRunsDoesNothing) {
  poom::add_contact({{PIMPR_FILEAS, u"A"}});
    hold_boxes_with(u"备份已经完成");
  open();
  tap(IDC_BACKUP);
  ASSERT_TRUE(wait_held());  // the backup waits in its completion box
  on_window([] { EXPECT_EQ(IsJobRunning(), 1); });
  HANDLE contacts = g_hContactsThread;
  tap(IDC_RESTORE);
  tap(IDC_BACKUP);
  EXPECT_EQ(g_hRestoreThread, nullptr);
  EXPECT_EQ(g_hContactsThread, contacts);
  EXPECT_EQ(boxes().size(), 2u);  // the backup's confirmation and its completion box
  // View and About still work.
  tap(IDC_ABOUT);
  EXPECT_EQ(boxes().size(), 3u);
  release_boxes();
  wait_for_jobs();
  on_window([] { EXPECT_EQ(IsJobRunning(), 0); });

  // And the other way round: a restore running refuses a backup.
  write_file(device_.contacts_file(), "<CONTACTS>\r\n</CONTACTS>");
  hold_boxes_with(u"恢复已经完成");
  tap(IDC_RESTORE);
  ASSERT_TRUE(wait_held());
  HANDLE messages = g_hMessagesThread;
  tap(IDC_BACKUP);
  EXPECT_EQ(g_hMessagesThread, messages);
  release_boxes();
  wait_for_jobs();
}

TEST_F(WindowTest, ViewOpensTheChosenFileFromTheBackupFolder) {
  write_file(device_.contacts_file(), "<CONTACTS/>");
  frontend_.set_picker_answer(device_.contacts_file());
  open();
  tap(IDC_VIEW);
  EXPECT_EQ(fs::weakly_canonical(frontend_.picker_start()),
            fs::weakly_canonical(device_.backup_dir()));
  ASSERT_EQ(frontend_.opened().size(), 1u);
  EXPECT_EQ(fs::weakly_canonical(frontend_.opened()[0]),
            fs::weakly_canonical(device_.contacts_file()));

  frontend_.set_picker_answer(std::nullopt);
  tap(IDC_VIEW);
  EXPECT_EQ(frontend_.opened().size(), 1u);  // cancelled: nothing opened
}

class WindowWithoutRegistry : public WindowTest {
 protected:
  WindowWithoutRegistry() : WindowTest(false) {}
};

TEST_F(WindowWithoutRegistry, AMissingKeyNamesTheCardFolderInChinese) {
  fs::create_directories(device_.root() / "存储卡");
  open();
  EXPECT_EQ(std::u16string(g_szBackupFolder), u"存储卡\\vardelbackup");
  script({IDCANCEL});
  tap(IDC_RESTORE);
  EXPECT_TRUE(fs::is_directory(device_.root() / "存储卡" / "vardelbackup"));
}

TEST_F(WindowWithoutRegistry, AKeyWithoutTheValuePutsTheFolderAtTheRoot) {
  core::write_registry_string(u"HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory",
                              u"Name", u"SD card");
  open();
  EXPECT_EQ(std::u16string(g_szBackupFolder), u"\\vardelbackup");
  script({IDCANCEL});
  tap(IDC_RESTORE);
  EXPECT_TRUE(fs::is_directory(device_.root() / "vardelbackup"));
}

}  // namespace
}  // namespace vardel::testing
