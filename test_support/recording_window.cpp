// Plain windows with a procedure of the caller's, and the recording window
// tests use to watch what jobs send.
#include "test_support/recording_window.h"

#include "platform/gwes/frontend.h"
#include "platform/gwes/window_table.h"

namespace vardel::testing {

using namespace vardel::gwes;

HWND create_window(WNDPROC proc, LPARAM user_data) {
  gwes::detail::Window w;
  w.kind = gwes::detail::Kind::plain;
  w.wndproc = proc;
  w.user_data = user_data;
  w.visible = true;
  return gwes::detail::add_window(std::move(w));
}

LPARAM window_user_data(HWND hwnd) {
  std::lock_guard lock(gwes::detail::table_mutex());
  gwes::detail::Window* w = gwes::detail::find_locked(hwnd);
  return w ? w->user_data : 0;
}

RecordingWindow::RecordingWindow(std::function<LRESULT(const RecordedMessage&)> reply)
    : reply_(std::move(reply)) {
  std::unique_lock lock(mutex_);
  thread_ = std::thread([this] {
    HWND hwnd = create_window(&RecordingWindow::procedure, reinterpret_cast<LPARAM>(this));
    {
      std::lock_guard lock(mutex_);
      hwnd_ = hwnd;
    }
    changed_.notify_all();
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        if (stop_) break;
      }
      wait_and_pump(std::chrono::milliseconds(20));
    }
    DestroyWindow(hwnd);
  });
  changed_.wait(lock, [this] { return hwnd_ != nullptr; });
}

RecordingWindow::~RecordingWindow() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  post_to_window_thread(hwnd_, [] {});  // wakes the loop at once
  thread_.join();
}

LRESULT RecordingWindow::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<RecordingWindow*>(window_user_data(hwnd));
  if (!self) return 0;
  RecordedMessage m{message, wParam, lParam, std::this_thread::get_id()};
  {
    std::lock_guard lock(self->mutex_);
    self->messages_.push_back(m);
  }
  self->changed_.notify_all();
  return self->reply_ ? self->reply_(m) : 0;
}

std::vector<RecordedMessage> RecordingWindow::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

void RecordingWindow::clear() {
  std::lock_guard lock(mutex_);
  messages_.clear();
}

std::vector<RecordedMessage> RecordingWindow::messages(UINT message) const {
  std::lock_guard lock(mutex_);
  std::vector<RecordedMessage> out;
  for (const auto& m : messages_)
    if (m.message == message) out.push_back(m);
  return out;
}

bool RecordingWindow::wait_for(const std::function<bool(const std::vector<RecordedMessage>&)>& pred,
                               std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return pred(messages_); });
}

}  // namespace vardel::testing
