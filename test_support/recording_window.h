// A plain window for tests that records every message sent or posted to it,
// so a test can watch what a job sends the main window (WM_PROGRESS) while
// the job runs on its own thread.
//
// The window lives on its own thread, which pumps until the window is
// destroyed; so senders never wait for the test's thread. Thread-safe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/gwes/gwes.h"

namespace vardel::testing {

struct RecordedMessage {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::thread::id thread;  // the thread the procedure ran on
};

class RecordingWindow {
 public:
  // reply computes the procedure's result (0 when empty); it runs on the
  // window's thread after the message is recorded.
  explicit RecordingWindow(std::function<LRESULT(const RecordedMessage&)> reply = {});
  ~RecordingWindow();
  RecordingWindow(const RecordingWindow&) = delete;
  RecordingWindow& operator=(const RecordingWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  std::thread::id thread_id() const { return thread_.get_id(); }

  std::vector<RecordedMessage> messages() const;
  // Forgets what was recorded so far.
  void clear();
  // Only the messages with this number, in order.
  std::vector<RecordedMessage> messages(UINT message) const;
  // Waits until pred holds for the recorded messages; false on timeout.
  bool wait_for(const std::function<bool(const std::vector<RecordedMessage>&)>& pred,
                std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

 private:
  static LRESULT procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  std::function<LRESULT(const RecordedMessage&)> reply_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<RecordedMessage> messages_;
  HWND hwnd_ = nullptr;
  bool stop_ = false;
  std::thread thread_;
};

// Creates a top-level window owned by the calling thread whose procedure is
// proc; it receives messages at that thread's pump(). DestroyWindow ends it.
HWND create_window(WNDPROC proc, LPARAM user_data = 0);
// The user_data given to create_window.
LPARAM window_user_data(HWND hwnd);

}  // namespace vardel::testing
