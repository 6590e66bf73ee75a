// The window front end: gwes events become FLTK widgets; job requests come
// through a queue that the dialog's loop drains.
#include "host/frontends/frontend_fltk.h"

#include <FL/Fl.H>

#include <cmath>
#include <future>

#include "host/frontends/fltk_text.h"
#include "host/frontends/fltk_file_picker.h"
#include "host/frontends/fltk_message_box.h"
#include "host/frontends/fltk_widgets.h"
#include "host/frontends/frontend_headless.h"
#include "platform/core/wstr.h"

namespace vardel::host {

unsigned long fltk_xid(const Fl_Window* window);
bool fltk_open_display();

namespace {

// How long one loop turn may sleep when nothing wakes it: a backstop only.
constexpr double kTurnSeconds = 0.1;
constexpr int kMaxZoom = 8;

std::unique_ptr<Fl_RGB_Image>& icon_holder() {
  static std::unique_ptr<Fl_RGB_Image> icon;
  return icon;
}

}  // namespace

bool FltkFrontend::init() {
  // Threads may wake the loop only after this; the lock is held by the
  // dialog's thread and released while it waits.
  Fl::lock();
  // The default sans font has no Chinese glyphs and Xft does not fall back.
  Fl::set_font(FL_HELVETICA, " WenQuanYi Zen Hei");
  Fl::set_font(FL_HELVETICA_BOLD, "BWenQuanYi Zen Hei");
  use_emoji_font();
  Fl::scheme("gtk+");
  return fltk_open_display();
}

int FltkFrontend::fitting_zoom(int phone_width, int phone_height) {
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_work_area(x, y, w, h);
  if (phone_width <= 0 || phone_height <= 0 || w <= 0 || h <= 0) return 1;
  // About half the display's height, and never larger than the display.
  int zoom = static_cast<int>(std::lround(h / 2.0 / phone_height));
  while (zoom > 1 && (zoom * phone_height > h || zoom * phone_width > w)) --zoom;
  return std::clamp(zoom, 1, kMaxZoom);
}

FltkFrontend::FltkFrontend(std::ostream* trace, int zoom)
    : trace_(trace), zoom_(std::clamp(zoom, 1, kMaxZoom)) {}

FltkFrontend::~FltkFrontend() {
  std::lock_guard lock(tasks_mutex_);
  open_ = false;
}

void FltkFrontend::trace_line(const std::string& line) {
  if (!trace_) return;
  std::lock_guard lock(trace_mutex_);
  *trace_ << line << '\n' << std::flush;
}

void FltkFrontend::place(Fl_Widget* widget, const RECT& rect) {
  // Control rectangles are in the dialog's client coordinates.
  // Phone pixels become zoom x zoom squares.
  auto info = gwes::dialog_info(dialog_);
  int ox = info ? info->rect.left : 0, oy = info ? info->rect.top : 0;
  widget->resize((ox + rect.left) * zoom_, (oy + rect.top) * zoom_,
                 (rect.right - rect.left) * zoom_, (rect.bottom - rect.top) * zoom_);
}

void FltkFrontend::dialog_created(const gwes::DialogInfo& dialog) {
  ui_thread_ = std::this_thread::get_id();
  dialog_ = dialog.hwnd;
  window_ = std::make_unique<FltkDialogWindow>(GetSystemMetrics(SM_CXSCREEN),
                                               GetSystemMetrics(SM_CYSCREEN), zoom_, dialog.hwnd);
  window_->update(dialog);
  if (!icon_holder()) icon_holder() = program_icon();
  if (icon_holder()) window_->icon(icon_holder().get());
  std::lock_guard lock(tasks_mutex_);
  open_ = true;
}

void FltkFrontend::dialog_changed(const gwes::DialogInfo& dialog) {
  if (!window_ || dialog.hwnd != dialog_) return;
  window_->update(dialog);
  for (auto& [hwnd, widget] : controls_)
    if (auto c = gwes::control_info(hwnd)) place(widget, c->rect);
  if (dialog.visible && !window_->shown()) {
    window_->show();
    window_id_ = fltk_xid(window_.get());
  }
}

void FltkFrontend::dialog_destroyed(HWND dialog) {
  if (dialog != dialog_) return;
  {
    std::lock_guard lock(tasks_mutex_);
    open_ = false;
  }
  // Jobs still waiting for a box get no answer (0) rather than waiting forever.
  drain();
  for (FltkMessageBox* box : std::vector(boxes_)) box->answer(0);
  boxes_.clear();
  for (FltkFilePicker* picker : std::vector(pickers_)) picker->choose(std::nullopt);
  pickers_.clear();
  controls_.clear();
  if (window_) window_->hide();
  window_.reset();
  window_id_ = 0;
  dialog_ = nullptr;
  Fl::check();
}

void FltkFrontend::tap(Fl_Widget* widget) {
  for (const auto& [hwnd, w] : controls_)
    if (w == widget) {
      if (tap_guard_ && !tap_guard_(hwnd)) return;
      gwes::click(hwnd);
      return;
    }
}

void FltkFrontend::control_created(const gwes::ControlInfo& control) {
  if (!window_) return;
  window_->begin();
  Fl_Widget* widget = nullptr;
  if (control.class_name == u"BUTTON") {
    auto* button = new Fl_Button(0, 0, 1, 1);
    button->callback([](Fl_Widget* w, void* fe) { static_cast<FltkFrontend*>(fe)->tap(w); }, this);
    widget = button;
  } else {
    widget = new FltkLabel(0, 0, 1, 1, control.hwnd);
  }
  window_->end();
  widget->labelfont(FL_HELVETICA);
  widget->labelsize(kFontSize * zoom_);
  widget->copy_label(utf8(control.text).c_str());
  place(widget, control.rect);
  if (!control.visible) widget->hide();
  controls_[control.hwnd] = widget;
}

void FltkFrontend::control_text_changed(const gwes::ControlInfo& control) {
  auto it = controls_.find(control.hwnd);
  if (it == controls_.end()) return;
  it->second->copy_label(utf8(control.text).c_str());
  it->second->redraw();
  if (control.class_name == u"STATIC")
    trace_line("label " + std::to_string(control.id) + " text " +
               HeadlessFrontend::quoted(control.text));
}

void FltkFrontend::control_visibility_changed(const gwes::ControlInfo& control) {
  auto it = controls_.find(control.hwnd);
  if (it == controls_.end()) return;
  if (control.visible)
    it->second->show();
  else
    it->second->hide();
  if (window_) window_->redraw();
  if (control.class_name == u"STATIC")
    trace_line("label " + std::to_string(control.id) + (control.visible ? " show" : " hide"));
}

void FltkFrontend::control_moved(const gwes::ControlInfo& control) {
  auto it = controls_.find(control.hwnd);
  if (it == controls_.end()) return;
  place(it->second, control.rect);
  if (window_) window_->redraw();
}

void FltkFrontend::repaint(HWND) {
  if (window_) window_->redraw();
}

void FltkFrontend::wake() {
  // One wake-up in flight is enough: the loop drains everything queued.
  if (!awake_pending_.exchange(true)) Fl::awake(static_cast<void*>(nullptr));
}

bool FltkFrontend::post_ui(std::function<void()> fn) {
  {
    std::lock_guard lock(tasks_mutex_);
    if (!open_) return false;
    tasks_.push_back(std::move(fn));
  }
  wake();
  return true;
}

void FltkFrontend::drain() {
  awake_pending_ = false;
  gwes::pump();
  std::deque<std::function<void()>> tasks;
  {
    std::lock_guard lock(tasks_mutex_);
    tasks.swap(tasks_);
  }
  for (auto& task : tasks) task();
}

void FltkFrontend::turn(double seconds) {
  Fl::wait(seconds);
  drain();
}

void FltkFrontend::run_dialog_loop(HWND dialog) {
  while (!gwes::dialog_ended(dialog)) turn(kTurnSeconds);
}

int FltkFrontend::ask_on_ui(std::u16string_view caption, std::u16string_view text, UINT type) {
  bool done = false;
  int answer = 0;
  auto* box = new FltkMessageBox(window_->screen(), caption, text, type, [&](int a) {
    answer = a;
    done = true;
  });
  boxes_.push_back(box);
  box->show();
  // The loop keeps turning, so jobs' progress goes on behind the box.
  while (!done) turn(kTurnSeconds);
  std::erase(boxes_, box);
  trace_line("box " + HeadlessFrontend::quoted(caption) + " " + HeadlessFrontend::quoted(text) +
             " -> " + HeadlessFrontend::answer_name(answer));
  return answer;
}

int FltkFrontend::message_box(HWND, std::u16string_view caption, std::u16string_view text,
                              UINT type) {
  if (on_ui_thread()) return window_ ? ask_on_ui(caption, text, type) : 0;
  // A job's box: shown by the dialog's thread; this thread waits. The
  // dialog's loop is not held up, so other jobs' messages still go through.
  auto answer = std::make_shared<std::promise<int>>();
  auto result = answer->get_future();
  std::u16string caption16(caption), text16(text);
  bool posted = post_ui([this, answer, caption16, text16, type] {
    if (!window_) {
      answer->set_value(0);
      return;
    }
    auto slot = std::make_shared<FltkMessageBox*>(nullptr);
    auto* box = new FltkMessageBox(
        window_->screen(), caption16, text16, type, [this, answer, caption16, text16, slot](int a) {
          std::erase(boxes_, *slot);
          trace_line("box " + HeadlessFrontend::quoted(caption16) + " " +
                     HeadlessFrontend::quoted(text16) + " -> " + HeadlessFrontend::answer_name(a));
          answer->set_value(a);
        });
    *slot = box;
    boxes_.push_back(box);
    box->show();
  });
  if (!posted) return 0;
  return result.get();
}

std::optional<std::filesystem::path> FltkFrontend::open_file_dialog(
    HWND owner, const std::filesystem::path& start_folder,
    const std::vector<std::pair<std::u16string, std::u16string>>& filter) {
  if (!on_ui_thread()) {
    auto chosen = std::make_shared<std::promise<std::optional<std::filesystem::path>>>();
    auto result = chosen->get_future();
    if (!post_ui([=, this] { chosen->set_value(open_file_dialog(owner, start_folder, filter)); }))
      return std::nullopt;
    return result.get();
  }
  if (!window_) return std::nullopt;
  // The folder as the phone names it; a folder outside the device by its
  // host path.
  std::u16string folder_name = gwes::ce_path_of(start_folder).value_or(start_folder.u16string());
  auto info = gwes::dialog_info(dialog_);
  bool done = false;
  std::optional<std::filesystem::path> chosen;
  auto* picker =
      new FltkFilePicker(window_->screen(), info ? info->rect.top : 0, start_folder, folder_name,
                         filter, [&](std::optional<std::filesystem::path> f) {
                           chosen = std::move(f);
                           done = true;
                         });
  pickers_.push_back(picker);
  picker->show();
  while (!done) turn(kTurnSeconds);
  std::erase(pickers_, picker);
  return chosen;
}

}  // namespace vardel::host
