// The window front end (FLTK 1.3): the dialog at the configured screen
// size, the navigation bar with the caption and its OK button, the
// background the dialog paints, push buttons, the two progress lines in the
// colours the dialog gives them, message boxes as modal dialogs and a file
// picker, all as the phone lays them out. The whole screen can be shown
// zoomed: every phone pixel as a square of zoom x zoom display pixels, text
// drawn at the zoomed size.
//
// All FLTK calls happen on the dialog's thread. Requests from job threads
// (message boxes, pickers) go through this front end's own queue; Fl::awake()
// only wakes the loop, so nothing is lost however many messages wait.
//
// Call init() once in main, before any job starts and before the dialog.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <thread>

#include "platform/gwes/frontend.h"

class Fl_Widget;

namespace vardel::host {

class FltkDialogWindow;
class FltkFilePicker;
class FltkMessageBox;

class FltkFrontend : public gwes::Frontend {
 public:
  // Thread support (Fl::lock) and fonts with Chinese glyphs. Returns false
  // when no display can be opened.
  static bool init();

  // The zoom at which a phone screen of this size is about half the
  // display's height (at least 1, and never larger than the display).
  // Needs the display: call after init().
  static int fitting_zoom(int phone_width, int phone_height);

  // trace: where label changes and boxes are written as the headless front
  // end writes them (null for none). zoom: display pixels per phone pixel.
  explicit FltkFrontend(std::ostream* trace = nullptr, int zoom = 1);
  ~FltkFrontend() override;

  // The X window id of the dialog, once shown (0 before); for tests.
  unsigned long window_id() const { return window_id_.load(); }

  // Asked on the dialog's thread before a tap on a button reaches the
  // program: false keeps the tap from it (the guard says why itself, in a
  // box). What the host checks before it lets a job start. Set before the
  // dialog starts.
  using TapGuard = std::function<bool(HWND button)>;
  void set_tap_guard(TapGuard guard) { tap_guard_ = std::move(guard); }

  // gwes::Frontend
  void dialog_created(const gwes::DialogInfo& dialog) override;
  void dialog_changed(const gwes::DialogInfo& dialog) override;
  void dialog_destroyed(HWND dialog) override;
  void control_created(const gwes::ControlInfo& control) override;
  void control_text_changed(const gwes::ControlInfo& control) override;
  void control_visibility_changed(const gwes::ControlInfo& control) override;
  void control_moved(const gwes::ControlInfo& control) override;
  void repaint(HWND window) override;
  void run_dialog_loop(HWND dialog) override;
  void wake() override;
  int message_box(HWND owner, std::u16string_view caption, std::u16string_view text,
                  UINT type) override;
  std::optional<std::filesystem::path> open_file_dialog(
      HWND owner, const std::filesystem::path& start_folder,
      const std::vector<std::pair<std::u16string, std::u16string>>& filter) override;

 private:
  bool on_ui_thread() const { return std::this_thread::get_id() == ui_thread_; }
  // Runs fn on the dialog's thread at its next turn; false when no dialog.
  bool post_ui(std::function<void()> fn);
  // Handles what waits: window messages and this front end's tasks.
  void drain();
  // Waits for FLTK events (and wake-ups) once, then drains.
  void turn(double seconds);
  void trace_line(const std::string& line);
  // Puts a control at its rectangle (the dialog's client coordinates, in
  // the phone's pixels).
  void place(Fl_Widget* widget, const RECT& rect);
  int ask_on_ui(std::u16string_view caption, std::u16string_view text, UINT type);

  void tap(Fl_Widget* button);  // a button's callback

  std::ostream* trace_;
  int zoom_;
  TapGuard tap_guard_;
  std::mutex trace_mutex_;
  std::thread::id ui_thread_;
  HWND dialog_ = nullptr;
  std::unique_ptr<FltkDialogWindow> window_;
  std::map<HWND, Fl_Widget*> controls_;  // owned by window_
  std::atomic<unsigned long> window_id_{0};

  std::mutex tasks_mutex_;
  std::deque<std::function<void()>> tasks_;  // guarded by tasks_mutex_
  bool open_ = false;                        // a dialog takes tasks; guarded by tasks_mutex_
  std::atomic<bool> awake_pending_{false};
  std::vector<FltkMessageBox*> boxes_;    // open boxes (dialog's thread only)
  std::vector<FltkFilePicker*> pickers_;  // open pickers (dialog's thread only)
};

}  // namespace vardel::host
