// The one interface a front end implements to show the program's windows,
// and the calls a front end makes back into the window system.
//
// The window system keeps the state of every window (text, position,
// visibility, style) and tells the front end of each change. Window events
// arrive on the window's own thread (the dialog's thread); message_box,
// open_file_dialog and shell_open arrive on whatever thread called the
// program's function (a job's thread for the completion boxes) and that
// thread waits for the answer. A front end that draws on one thread moves
// such a request there itself, e.g. with post_to_window_thread().
//
// Thread safety: set_frontend() before the dialog starts; everything else
// here may be called from the thread each comment names.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/gwes/gwes.h"

namespace vardel::gwes {

struct DialogInfo {
  HWND hwnd = nullptr;
  std::u16string caption;
  DWORD style = 0;
  DWORD ex_style = 0;
  RECT rect{};  // screen coordinates
  bool visible = false;
  bool done_button = false;  // the OK button of the caption bar (SHInitDialog)
};

struct ControlInfo {
  HWND hwnd = nullptr;
  HWND parent = nullptr;
  int id = 0;
  std::u16string class_name;  // upper case: "BUTTON", "STATIC", ...
  std::u16string text;
  DWORD style = 0;
  RECT rect{};  // the parent's client coordinates
  bool visible = false;
};

// A 24-bit picture, top row first, three bytes per pixel in R, G, B order.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  std::uint32_t pixel(int x, int y) const;  // 0x00RRGGBB
};

// What the dialog procedure answered to WM_CTLCOLORSTATIC for a label.
struct LabelColors {
  bool custom = false;      // false: the procedure left the default colours
  COLORREF text = 0;        // 0x00BBGGRR, as SetTextColor got it
  COLORREF background = 0;  // as SetBkColor got it
  COLORREF brush = 0;       // the returned brush's colour
  int bk_mode = OPAQUE;
};

class Frontend {
 public:
  virtual ~Frontend() = default;

  // --- on the window's thread -------------------------------------------
  virtual void dialog_created(const DialogInfo& /*dialog*/) {}
  // Caption, rectangle, visibility or the caption bar's OK button changed.
  virtual void dialog_changed(const DialogInfo& /*dialog*/) {}
  virtual void dialog_destroyed(HWND /*dialog*/) {}
  virtual void control_created(const ControlInfo& /*control*/) {}
  virtual void control_text_changed(const ControlInfo& /*control*/) {}
  virtual void control_visibility_changed(const ControlInfo& /*control*/) {}
  virtual void control_moved(const ControlInfo& /*control*/) {}
  // The window asked to be drawn again (InvalidateRect); call paint_window().
  virtual void repaint(HWND /*window*/) {}

  // Runs the dialog's loop on the calling thread until dialog_ended(dialog)
  // is true; must call pump() soon after each wake(). The default waits with
  // wait_and_pump() and suits a front end without events of its own.
  virtual void run_dialog_loop(HWND dialog);

  // --- any thread ---------------------------------------------------------
  // Something was queued for a thread that runs a dialog loop: break out of
  // any wait and call pump() on that thread. Must not block.
  virtual void wake() {}

  // --- the calling thread, which waits --------------------------------------
  // Returns IDOK, IDCANCEL, IDYES or IDNO; 0 when it cannot ask.
  virtual int message_box(HWND owner, std::u16string_view caption, std::u16string_view text,
                          UINT type) = 0;
  // A host file chosen by the user, starting in start_folder; nothing when
  // cancelled. filter holds (description, pattern) pairs.
  virtual std::optional<std::filesystem::path> open_file_dialog(
      HWND /*owner*/, const std::filesystem::path& /*start_folder*/,
      const std::vector<std::pair<std::u16string, std::u16string>>& /*filter*/) {
    return std::nullopt;
  }
  // Opens a host file with the desktop's default application. The default
  // starts the opener (spawn_opener).
  virtual bool shell_open(const std::filesystem::path& host_path);
};

// Installs the front end (not owned; null removes it). Without one, message
// boxes and file pickers fail and nothing is drawn.
void set_frontend(Frontend* frontend);
Frontend* frontend();

// --- the loop, for front ends (the dialog's thread) --------------------------

// Handles everything queued for the calling thread's windows: sent and posted
// messages and queued calls. Returns how many it handled.
int pump();
// Waits until something is queued for the calling thread (or the timeout
// passes), then pumps. Returns what pump() returned.
int wait_and_pump(std::chrono::milliseconds timeout = std::chrono::milliseconds(100));
// True once EndDialog was called for the dialog (or it no longer exists).
bool dialog_ended(HWND dialog);

// Runs fn on the thread that owns the window, at its next pump (at once when
// called on that thread). post_ returns at once; call_ waits for fn to finish
// and returns false when the window is gone before it ran.
bool post_to_window_thread(HWND window, std::function<void()> fn);
bool call_on_window_thread(HWND window, std::function<void()> fn);

// --- user input and drawing (the dialog's thread) ----------------------------

// A tap on a button: WM_COMMAND (id, BN_CLICKED) to its dialog.
void click(HWND control);
// WM_COMMAND with the id and no control (the caption bar's OK button: IDOK).
void command(HWND dialog, int id);
// The window's close box: WM_CLOSE.
void close(HWND dialog);
// Runs WM_PAINT and returns the window's surface (client size). painted,
// when given, gets the bounds of what the window drew (empty: nothing); the
// rest of the surface is the blank white it started as.
Image paint_window(HWND window, RECT* painted = nullptr);
// Sends WM_CTLCOLORSTATIC for the label to its dialog.
LabelColors label_colors(HWND control);

// --- state (any thread) --------------------------------------------------------

std::optional<DialogInfo> dialog_info(HWND dialog);
std::optional<ControlInfo> control_info(HWND control);
// The dialog's controls, in template order.
std::vector<HWND> controls(HWND dialog);
// The thread that owns the window (default id when there is none).
std::thread::id window_thread(HWND window);
// Counts objects made by CreateSolidBrush, LoadBitmapW, CreateCompatibleDC,
// GetDC and BeginPaint that are not yet deleted or released.
int live_gdi_objects();
// The module handle to pass as the program's instance.
HINSTANCE module_instance();

// --- paths and the opener -------------------------------------------------------

// A host path below the device root as a CE path ("\A\B"), or nothing.
std::optional<std::u16string> ce_path_of(const std::filesystem::path& host_path);
// Starts $VARDEL_OPENER (default xdg-open) with the path as its one argument,
// without a shell, and does not wait for it. False when it cannot start.
bool spawn_opener(const std::filesystem::path& host_path);

}  // namespace vardel::gwes
