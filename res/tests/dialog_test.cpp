// Dialogs from the program's template: controls, the loop, EndDialog, state
// changes, the shell's set-up, and boxes shown by job threads while the
// dialog's loop keeps handling what other jobs send.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/gwes/frontend.h"
#include "platform/gwes/resources.h"
#include "res/resources.h"
#include "test_support/recording_frontend.h"

namespace {

using namespace std::chrono_literals;
using vardel::testing::RecordingFrontend;
using Proc = std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)>;

constexpr UINT WM_PROGRESS = WM_USER + 1;

Proc* g_proc = nullptr;

INT_PTR trampoline(HWND h, UINT m, WPARAM w, LPARAM l) { return (*g_proc)(h, m, w, l); }

INT_PTR run_dialog(Proc proc, LPARAM init = 0, WORD id = 106) {
  g_proc = &proc;
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCE(id), RT_DIALOG);
  if (!res) return -100;
  auto tmpl = static_cast<LPCDLGTEMPLATE>(LockResource(LoadResource(nullptr, res)));
  return DialogBoxIndirectParamW(vardel::gwes::module_instance(), tmpl, nullptr, trampoline, init);
}

class Dialog : public ::testing::Test {
 protected:
  void SetUp() override {
    vardel::res::install();
    vardel::device::set_screen(240, 320);
  }
  void TearDown() override { vardel::device::set_screen(240, 320); }
};

TEST_F(Dialog, TemplateGivesTheCaptionStylesAndSixControlsInOrder) {
  RecordingFrontend fe;
  std::vector<vardel::gwes::ControlInfo> seen;
  std::optional<vardel::gwes::DialogInfo> info;
  LPARAM init_param = 0;
  bool destroyed = false;
  HWND dialog = nullptr;
  INT_PTR result = run_dialog(
      [&](HWND h, UINT m, WPARAM, LPARAM l) -> INT_PTR {
        if (m == WM_INITDIALOG) {
          dialog = h;
          init_param = l;
          info = vardel::gwes::dialog_info(h);
          for (HWND c : vardel::gwes::controls(h)) seen.push_back(*vardel::gwes::control_info(c));
          EndDialog(h, 42);
          return TRUE;
        }
        if (m == WM_DESTROY) destroyed = true;
        return FALSE;
      },
      1234);
  EXPECT_EQ(result, 42);
  EXPECT_EQ(init_param, 1234);
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(IsWindow(dialog));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->caption, u"Vardel手机版");
  EXPECT_EQ(info->style, 0x80C00040u);
  EXPECT_EQ(info->ex_style, 0x80000000u);
  struct Want {
    int id;
    std::u16string cls, text;
    DWORD style;
  };
  const Want want[] = {
      {1001, u"BUTTON", u"备份", 0x50010000}, {1002, u"BUTTON", u"恢复通讯录", 0x50010000},
      {1003, u"BUTTON", u"查看", 0x50010000}, {1004, u"BUTTON", u"关于", 0x50010000},
      {1007, u"STATIC", u"", 0x50020000},     {1008, u"STATIC", u"", 0x50020000}};
  ASSERT_EQ(seen.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(seen[i].id, want[i].id);
    EXPECT_EQ(seen[i].class_name, want[i].cls);
    EXPECT_EQ(seen[i].text, want[i].text);
    EXPECT_EQ(seen[i].style, want[i].style);
    EXPECT_TRUE(seen[i].visible);
    EXPECT_EQ(seen[i].parent, dialog);
  }
  auto names = fe.names();
  ASSERT_GE(names.size(), 8u);
  EXPECT_EQ(names.front(), "dialog_created Vardel手机版");
  EXPECT_EQ(names[1], "created 1001 BUTTON \"备份\"");
  EXPECT_EQ(names.back(), "dialog_destroyed");
}

TEST_F(Dialog, PositionVisibilityAndTextChangesAreKeptAndReported) {
  RecordingFrontend fe;
  RECT button{}, client{};
  BOOL first_hide = FALSE, second_hide = TRUE;
  WCHAR small[4];
  int copied = -1;
  run_dialog([&](HWND h, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m != WM_INITDIALOG) return FALSE;
    SHINITDLGINFO shidi{SHIDIM_FLAGS, h,
                        SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
    EXPECT_TRUE(SHInitDialog(&shidi));
    EXPECT_TRUE(SetWindowPos(GetDlgItem(h, 1001), HWND_BOTTOM, 29, 192, 85, 25, SWP_FRAMECHANGED));
    GetWindowRect(GetDlgItem(h, 1001), &button);
    GetClientRect(h, &client);
    first_hide = ShowWindow(GetDlgItem(h, 1008), SW_HIDE);
    second_hide = ShowWindow(GetDlgItem(h, 1008), SW_HIDE);
    SetWindowTextW(GetDlgItem(h, 1007), u"1、通讯录");
    EXPECT_TRUE(SetWindowTextW(GetDlgItem(h, 1007), u"1、通讯录"));
    copied = GetWindowTextW(GetDlgItem(h, 1007), small, 4);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(h, 1008)));
    EXPECT_EQ(GetDlgItem(h, 1005), nullptr);
    EndDialog(h, 1);
    return TRUE;
  });
  // The dialog fills the screen below the 26-pixel navigation bar; child
  // rectangles are kept in client coordinates.
  EXPECT_EQ(client.right, 240);
  EXPECT_EQ(client.bottom, 294);
  EXPECT_EQ(button.left, 29);
  EXPECT_EQ(button.top, 192 + 26);
  EXPECT_EQ(button.right - button.left, 85);
  EXPECT_EQ(button.bottom - button.top, 25);
  EXPECT_TRUE(first_hide);
  EXPECT_FALSE(second_hide);
  EXPECT_EQ(copied, 3);
  EXPECT_EQ(std::u16string(small), u"1、通");
  auto names = fe.names();
  auto has = [&](const std::string& s) {
    return std::find(names.begin(), names.end(), s) != names.end();
  };
  EXPECT_TRUE(has("dialog_changed 0,26 240,320 ok"));
  EXPECT_TRUE(has("moved 1001 29,192"));
  EXPECT_TRUE(has("hide 1008"));
  EXPECT_TRUE(has("text 1007 \"1、通讯录\""));
  EXPECT_EQ(std::count(names.begin(), names.end(), "hide 1008"), 1)
      << "a second hide changes nothing";
  EXPECT_EQ(std::count(names.begin(), names.end(), "text 1007 \"1、通讯录\""), 1)
      << "the same text again changes nothing";
}

TEST_F(Dialog, ScreenSizeComesFromTheDeviceAndSizesTheDialog) {
  vardel::device::set_screen(480, 640);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 480);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 640);
  EXPECT_EQ(GetSystemMetrics(42), 0);
  LPARAM size = 0;
  run_dialog([&](HWND h, UINT m, WPARAM, LPARAM l) -> INT_PTR {
    if (m == WM_SIZE) size = l;
    if (m != WM_INITDIALOG) return FALSE;
    SHINITDLGINFO shidi{SHIDIM_FLAGS, h, SHIDIF_SIZEDLGFULLSCREEN};
    SHInitDialog(&shidi);
    EndDialog(h, 1);
    return TRUE;
  });
  EXPECT_EQ(LOWORD(size), 480);
  EXPECT_EQ(HIWORD(size), 640 - 52);
}

TEST_F(Dialog, FirstEndDialogWinsAndMayComeFromAnotherThread) {
  std::thread job;
  INT_PTR result = run_dialog([&](HWND h, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      job = std::thread([h] {
        std::this_thread::sleep_for(20ms);
        EXPECT_TRUE(EndDialog(h, 7));
        EXPECT_TRUE(EndDialog(h, 9));
      });
    }
    return FALSE;
  });
  job.join();
  EXPECT_EQ(result, 7);
}

TEST_F(Dialog, CloseLeftAloneByTheProcedureBecomesCancel) {
  WPARAM command = 0;
  INT_PTR result = run_dialog([&](HWND h, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) PostMessageW(h, WM_CLOSE, 0, 0);
    if (m == WM_COMMAND) {
      command = w;
      EndDialog(h, LOWORD(w));
      return TRUE;
    }
    return FALSE;
  });
  EXPECT_EQ(LOWORD(command), IDCANCEL);
  EXPECT_EQ(result, IDCANCEL);
}

TEST_F(Dialog, ButtonTapSendsItsIdAndHandle) {
  WPARAM command = 0;
  LPARAM from = 0;
  HWND button = nullptr;
  run_dialog([&](HWND h, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      button = GetDlgItem(h, 1003);
      vardel::gwes::click(button);
      EndDialog(h, 1);
    }
    if (m == WM_COMMAND) command = w, from = l;
    return FALSE;
  });
  EXPECT_EQ(LOWORD(command), 1003);
  EXPECT_EQ(HIWORD(command), BN_CLICKED);
  EXPECT_EQ(from, reinterpret_cast<LPARAM>(button));
}

TEST_F(Dialog, DamagedTemplateIsRefusedWithoutCallingTheProcedure) {
  auto bytes = vardel::res::main_dialog_template();
  bytes.resize(bytes.size() - 20);  // cuts into the last control
  vardel::gwes::add_resource(WORD{5}, WORD{999}, bytes);
  bool called = false;
  EXPECT_EQ(
      run_dialog([&](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return called = true; }, 0, 999), -1);
  EXPECT_FALSE(called);
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, nullptr, nullptr, trampoline, 0), -1);
}

TEST_F(Dialog, JobBoxesAreAnsweredWhileTheLoopHandlesAnotherJobsMessages) {
  // One job waits in a message box that is answered on the dialog's thread
  // only after another job's 200 progress messages went through that same
  // thread: neither may block the other.
  constexpr int kProgress = 200;
  std::atomic<int> handled{0};
  std::atomic<int> box_answer{0};
  std::atomic<bool> reset_seen{false};
  std::thread::id dialog_thread = std::this_thread::get_id();
  RecordingFrontend fe([&](HWND owner, std::u16string_view, std::u16string_view, UINT) {
    EXPECT_NE(std::this_thread::get_id(), dialog_thread);  // shown on the job's thread
    while (handled < kProgress) std::this_thread::sleep_for(1ms);
    int answer = 0;
    EXPECT_TRUE(vardel::gwes::call_on_window_thread(owner, [&] { answer = IDOK; }));
    return answer;
  });
  std::thread box_job, progress_job;
  INT_PTR result = run_dialog([&](HWND h, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      box_job = std::thread([&, h] {
        box_answer = MessageBoxW(h, u"备份已经完成", u"完成", MB_OK);
        SendMessageW(h, WM_PROGRESS, 0, 6);
      });
      progress_job = std::thread([h] {
        for (int i = 1; i <= kProgress; ++i) SendMessageW(h, WM_PROGRESS, i, 2);
      });
      return TRUE;
    }
    if (m == WM_PROGRESS) {
      EXPECT_EQ(std::this_thread::get_id(), dialog_thread);
      if (l == 2) {
        EXPECT_EQ(static_cast<int>(w), ++handled);
      }
      if (l == 6) {
        reset_seen = true;
        EndDialog(h, 1);
      }
    }
    return FALSE;
  });
  box_job.join();
  progress_job.join();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(handled.load(), kProgress);
  EXPECT_EQ(box_answer.load(), IDOK);
  EXPECT_TRUE(reset_seen.load());
}

TEST_F(Dialog, AJobsMessageStillQueuedWhenTheDialogEndsGetsZero) {
  // A job still sending when the window closes must not hang on its
  // progress message, whether it was queued before the end or sent after.
  std::atomic<LRESULT> queued_result{-1}, late_result{-1};
  std::thread job;
  HWND dialog = nullptr;
  bool progress_handled = false;
  run_dialog([&](HWND h, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_PROGRESS) progress_handled = true;
    if (m != WM_INITDIALOG) return FALSE;
    dialog = h;
    job = std::thread([&, h] { queued_result = SendMessageW(h, WM_PROGRESS, 50, 1); });
    std::this_thread::sleep_for(30ms);  // the job's message waits in the queue
    EndDialog(h, 1);
    return TRUE;
  });
  job.join();
  EXPECT_EQ(queued_result.load(), 0);
  EXPECT_FALSE(progress_handled);
  std::thread late([&] { late_result = SendMessageW(dialog, WM_PROGRESS, 60, 1); });
  late.join();
  EXPECT_EQ(late_result.load(), 0);
}

TEST(MessageBox, WithoutAFrontEndOrWithTheFaultArmedAnswersZero) {
  EXPECT_EQ(MessageBoxW(nullptr, u"text", u"caption", MB_OK), 0);
  RecordingFrontend fe(
      [](HWND, std::u16string_view, std::u16string_view, UINT) { return IDCANCEL; });
  EXPECT_EQ(MessageBoxW(nullptr, u"text", u"caption", MB_OKCANCEL), IDCANCEL);
  vardel::fault::Scope faults;
  vardel::fault::arm("gwes.MessageBoxW", E_FAIL);
  EXPECT_EQ(MessageBoxW(nullptr, u"text", u"caption", MB_OKCANCEL), 0);
  EXPECT_EQ(fe.names().size(), 1u) << "the failed box was not shown";
}

}  // namespace
