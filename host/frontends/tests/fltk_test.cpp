// The FLTK window under a private Xvfb display: progress from a job thread
// while the window runs, a job's box answered with the keyboard, a button
// tapped with the mouse, boxes whose text is far too long for the screen,
// and screenshots left in the build folder (fltk-window.png,
// fltk-long-box-1.png, fltk-long-box-2.png).
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <FL/fl_draw.H>

#include "host/frontends/fltk_widgets.h"
#include "host/frontends/frontend_fltk.h"
#include "platform/core/wstr.h"
#include "platform/core/device.h"
#include "res/resources.h"

extern char** environ;

// Fontconfig keeps its font cache for the life of the process by design;
// the leak checker should not count it against us.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libX11.so\nleak:libXft.so\n";
}

namespace {

using namespace std::chrono_literals;
constexpr UINT WM_PROGRESS = WM_USER + 1;

bool have(const char* program) {
  std::string cmd = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

std::string run(const std::string& cmd) {
  std::string out;
  // xdotool complains on stderr about the bare X server; only stdout matters.
  if (FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

class Xvfb {
 public:
  Xvfb() {
    for (int n = 90 + getpid() % 50; n < 200 && !pid_; ++n) {
      if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
          std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock"))
        continue;
      display_ = ":" + std::to_string(n);
      std::string d = display_;
      char xvfb[] = "Xvfb";
      char screen[] = "-screen", zero[] = "0", size[] = "320x400x24", nolisten[] = "-nolisten",
           tcp[] = "tcp";
      char* argv[] = {xvfb, d.data(), screen, zero, size, nolisten, tcp, nullptr};
      pid_t pid = 0;
      if (posix_spawnp(&pid, "Xvfb", nullptr, nullptr, argv, environ) != 0) return;
      for (int i = 0; i < 100; ++i) {
        if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n))) {
          pid_ = pid;
          break;
        }
        std::this_thread::sleep_for(50ms);
      }
      if (!pid_) kill(pid, SIGTERM), waitpid(pid, nullptr, 0);
    }
  }
  ~Xvfb() {
    if (pid_) kill(pid_, SIGTERM), waitpid(pid_, nullptr, 0);
  }
  bool running() const { return pid_ != 0; }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = 0;
  std::string display_;
};

HBRUSH g_brush;
std::atomic<int> g_progress{0};

INT_PTR window_proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  switch (m) {
    case WM_INITDIALOG: {
      g_brush = CreateSolidBrush(0x0085380A);
      SHINITDLGINFO shidi{SHIDIM_FLAGS, h,
                          SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
      SHInitDialog(&shidi);
      const int ids[] = {1001, 1002, 1003, 1004};
      const POINT at[] = {{29, 192}, {126, 192}, {29, 224}, {126, 224}};
      for (int i = 0; i < 4; ++i)
        SetWindowPos(GetDlgItem(h, ids[i]), HWND_BOTTOM, at[i].x, at[i].y, 85, 25,
                     SWP_FRAMECHANGED);
      SetWindowPos(GetDlgItem(h, 1007), HWND_BOTTOM, 66, 131, 170, 20, SWP_FRAMECHANGED);
      SetWindowPos(GetDlgItem(h, 1008), HWND_BOTTOM, 66, 161, 170, 20, SWP_FRAMECHANGED);
      SetWindowTextW(GetDlgItem(h, 1007), u"1、通讯录");
      SetWindowTextW(GetDlgItem(h, 1008), u"2、短信");
      return TRUE;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      HBITMAP bmp = LoadBitmapW(nullptr, MAKEINTRESOURCE(130));
      HDC mem = CreateCompatibleDC(nullptr);
      HGDIOBJ old = SelectObject(mem, bmp);
      BitBlt(dc, 0, 0, 240, 320, mem, 0, 0, SRCCOPY);
      SelectObject(mem, old);
      DeleteObject(bmp);
      DeleteDC(mem);
      EndPaint(h, &ps);
      return FALSE;
    }
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(w), 0x0085380A);
      SetTextColor(reinterpret_cast<HDC>(w), 0x00FFFFFF);
      return reinterpret_cast<INT_PTR>(g_brush);
    case WM_PROGRESS: {
      WCHAR text[64];
      swprintf(text, 64, u"1、通讯录%6d%%", static_cast<int>(w));
      SetWindowTextW(GetDlgItem(h, 1007), text);
      g_progress = static_cast<int>(w);
      return FALSE;
    }
    case WM_COMMAND:
      EndDialog(h, LOWORD(w));
      return TRUE;
    case WM_CLOSE:
      EndDialog(h, 1);
      return TRUE;
    default:
      (void)l;
      return FALSE;
  }
}

// Shows the test dialog until it ends; init runs once its initialisation
// is done, on the dialog's thread.
INT_PTR show_dialog(std::function<void(HWND)> init) {
  static std::function<void(HWND)> on_init;
  on_init = std::move(init);
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCE(106), RT_DIALOG);
  return DialogBoxIndirectParamW(
      nullptr, static_cast<LPCDLGTEMPLATE>(LockResource(LoadResource(nullptr, res))), nullptr,
      [](HWND h, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
        INT_PTR r = window_proc(h, m, w, l);
        if (m == WM_INITDIALOG) on_init(h);
        return r;
      },
      0);
}

// Taps "备份" in the window: its centre, below the 26-pixel navigation bar.
void tap_backup(const std::string& window) {
  run("xdotool mousemove --window " + window + " " + std::to_string(29 + 42) + " " +
      std::to_string(26 + 192 + 12) + " click 1");
}

// One display for the whole suite: FLTK keeps its connection (and its
// fonts on the server) for the life of the process.
class FltkWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tools_ = have("Xvfb") && have("xdotool") && have("import");
    if (!tools_) return;
    xvfb_ = new Xvfb;
    if (!xvfb_->running()) return;
    setenv("DISPLAY", xvfb_->display().c_str(), 1);
    vardel::res::install();
    vardel::device::set_screen(240, 320);
    ready_ = vardel::host::FltkFrontend::init();
  }
  static void TearDownTestSuite() {
    delete xvfb_;
    xvfb_ = nullptr;
  }
  void SetUp() override {
    if (!tools_) GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    ASSERT_TRUE(ready_) << "Xvfb or the display did not start";
  }

  static inline bool tools_ = false;
  static inline bool ready_ = false;
  static inline Xvfb* xvfb_ = nullptr;
};

TEST_F(FltkWindow, JobProgressJobBoxAndButtonTapUnderXvfb) {
  std::ostringstream trace;
  vardel::host::FltkFrontend fe(&trace);
  vardel::gwes::set_frontend(&fe);

  std::atomic<int> box_answer{-1};
  std::atomic<bool> shot{false};
  std::thread job, driver;
  HWND dialog = nullptr;
  // The job sends its progress and shows its box once the window is up.
  auto start_job = [&](HWND h) {
    dialog = h;
    job = std::thread([&, h] {
      for (int i = 1; i <= 100; ++i) SendMessageW(h, WM_PROGRESS, i, 1);
      box_answer = MessageBoxW(h, u"备份已经完成", u"完成", MB_OK);
    });
    driver = std::thread([&] {
      std::string box = run("timeout 10 xdotool search --sync --class VardelMessageBox | head -1");
      if (box.empty()) {
        EndDialog(dialog, -1);  // nothing to click: end rather than hang
        return;
      }
      std::this_thread::sleep_for(300ms);  // let both windows draw
      run("import -window root fltk-window.png");
      shot = std::filesystem::exists("fltk-window.png");
      run("xdotool key --window " + box + " Return");
      for (int i = 0; i < 100 && box_answer < 0; ++i) std::this_thread::sleep_for(50ms);
      if (box_answer < 0) EndDialog(dialog, -1);
      std::string main = run("xdotool search --class '^Vardel$' | head -1");
      tap_backup(main);
    });
  };
  INT_PTR result = show_dialog([&](HWND h) { start_job(h); });
  job.join();
  driver.join();
  vardel::gwes::set_frontend(nullptr);
  DeleteObject(g_brush);
  EXPECT_EQ(g_progress.load(), 100);
  EXPECT_EQ(box_answer.load(), IDOK);
  EXPECT_TRUE(shot.load());
  EXPECT_EQ(result, 1001) << "the tap on 备份 reached the dialog";
  EXPECT_NE(trace.str().find("label 1007 text \"1、通讯录   100%\"\n"), std::string::npos)
      << trace.str();
  EXPECT_NE(trace.str().find("box \"完成\" \"备份已经完成\" -> OK\n"), std::string::npos)
      << trace.str();
  (void)dialog;
}

// A tap the host's guard refuses never reaches the program; one it lets
// through does.
TEST_F(FltkWindow, ATapTheGuardRefusesNeverReachesTheDialog) {
  vardel::host::FltkFrontend fe;
  std::atomic<int> asked{0};
  std::atomic<bool> refuse{true}, leaked{false};
  fe.set_tap_guard([&](HWND button) {
    ++asked;
    EXPECT_EQ(GetDlgCtrlID(button), 1001);
    return !refuse.load();
  });
  vardel::gwes::set_frontend(&fe);
  std::thread driver;
  INT_PTR result = show_dialog([&](HWND h) {
    driver = std::thread([&, h] {
      std::string main = run("timeout 10 xdotool search --sync --class '^Vardel$' | head -1");
      const auto tap = [&] {
        tap_backup(main);
        for (int i = 0; i < 100 && asked == 0; ++i) std::this_thread::sleep_for(50ms);
      };
      tap();
      std::this_thread::sleep_for(300ms);  // a tap let through would end it by now
      if (vardel::gwes::dialog_ended(h)) {
        leaked = true;
        return;
      }
      if (asked == 0) {
        EndDialog(h, -1);  // no tap was made: end rather than hang
        return;
      }
      refuse = false;
      asked = 0;
      tap();
      for (int i = 0; i < 100 && !vardel::gwes::dialog_ended(h); ++i)
        std::this_thread::sleep_for(50ms);
      if (!vardel::gwes::dialog_ended(h)) EndDialog(h, -2);
    });
  });
  driver.join();
  vardel::gwes::set_frontend(nullptr);
  DeleteObject(g_brush);
  EXPECT_FALSE(leaked.load()) << "the refused tap reached the dialog";
  EXPECT_EQ(result, 1001) << "the tap let through reached the dialog";
}

// The blocks the window logged: caption, box size, text area and lines.
struct LoggedBox {
  std::string caption;
  int w = 0, h = 0, text_w = 0, text_h = 0, line_height = 0;
  std::vector<std::string> lines;
};

std::vector<LoggedBox> logged_boxes(const std::filesystem::path& log) {
  std::vector<LoggedBox> boxes;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string key;
    words >> key;
    int x = 0, y = 0;
    if (key == "box") {
      boxes.emplace_back().caption = line.substr(4);
    } else if (boxes.empty()) {
      continue;
    } else if (key == "window") {
      words >> x >> y >> boxes.back().w >> boxes.back().h;
    } else if (key == "text") {
      words >> x >> y >> boxes.back().text_w >> boxes.back().text_h >> boxes.back().line_height;
    } else if (key == "line") {
      boxes.back().lines.push_back(line.size() > 5 ? line.substr(5) : "");
    }
  }
  return boxes;
}

TEST_F(FltkWindow, LongBoxTextsStayOnTheScreenScrollAndLoseNothing) {
  const auto log = std::filesystem::temp_directory_path() /
                   ("vardel-layout-" + std::to_string(getpid()) + ".log");
  std::filesystem::remove(log);
  setenv("VARDEL_LAYOUT_LOG", log.c_str(), 1);
  vardel::host::FltkFrontend fe(nullptr);
  vardel::gwes::set_frontend(&fe);

  // A warning with a count per line, far taller than the screen, and a
  // path with no space to break at.
  std::u16string many = u"以下联系人没有恢复：\r\n";
  for (int i = 1; i <= 60; ++i)
    many += u"第" + vardel::utf16(std::to_string(i)) + u"个联系人，共有3个电话号码\r\n";
  const std::u16string path =
      u"\\Storage_Card\\vardelbackup\\通讯录_a_very_long_file_name_without_any_space_at_all.xml";
  std::thread job, driver;
  show_dialog([&](HWND h) {
    job = std::thread([&, h] {
      MessageBoxW(h, many.c_str(), u"警告", MB_OK);
      MessageBoxW(h, path.c_str(), u"警告", MB_OKCANCEL);
      EndDialog(h, 1);
    });
    driver = std::thread([&] {
      for (int i = 0; i < 2; ++i) {
        std::string box =
            run("timeout 10 xdotool search --sync --onlyvisible --class "
                "VardelMessageBox | head -1");
        if (box.empty()) return;
        std::this_thread::sleep_for(200ms);
        run("import -window root fltk-long-box-" + std::to_string(i + 1) + ".png");
        run("xdotool key --window " + box + " Return");
        for (int t = 0;
             t < 100 && !run("xdotool search --onlyvisible --class VardelMessageBox").empty(); ++t)
          std::this_thread::sleep_for(20ms);
      }
    });
  });
  job.join();
  driver.join();
  vardel::gwes::set_frontend(nullptr);
  DeleteObject(g_brush);
  unsetenv("VARDEL_LAYOUT_LOG");

  const auto boxes = logged_boxes(log);
  std::filesystem::remove(log);
  ASSERT_EQ(boxes.size(), 2u);
  std::string all;
  for (const auto& l : boxes[0].lines) all += l;
  std::string want = vardel::utf8(many);
  std::erase(want, '\r');
  std::erase(want, '\n');
  EXPECT_EQ(all, want) << "every line of the warning is there";
  EXPECT_LE(boxes[0].h, 320) << "the box stays on the screen";
  EXPECT_GT(static_cast<int>(boxes[0].lines.size()) * boxes[0].line_height, boxes[0].text_h)
      << "so its text scrolls";

  all.clear();
  fl_font(FL_HELVETICA, vardel::host::kFontSize);
  for (const auto& l : boxes[1].lines) {
    all += l;
    EXPECT_LE(fl_width(l.c_str()), boxes[1].text_w) << l;
  }
  EXPECT_EQ(all, vardel::utf8(path)) << "the path is broken, not cut off";
  EXPECT_GT(boxes[1].lines.size(), 1u);
  EXPECT_LE(boxes[1].w, 240);
}

}  // namespace
