// The main window on its own thread, shown through the recording front end:
// the test taps buttons and sends messages from its own thread, a script
// answers the boxes, and the recorded events tell what the user saw, in
// order.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

#include "app/MainWindow.h"
#include "platform/gwes/frontend.h"
#include "res/resources.h"
#include "test_support/files.h"
#include "test_support/recording_frontend.h"
#include "test_support/temp_device.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"

namespace vardel::testing {

struct Box {
  std::u16string caption;
  std::u16string text;
  UINT type = 0;
};

class WindowTest : public ::testing::Test {
 protected:
  explicit WindowTest(bool registry = true)
      : device_(registry ? kNewPhone : kNewPhone & ~kStorageCard) {}

  void SetUp() override { res::install(); }

  // Starts the program on its own thread and waits until the dialog has
  // run its initialisation.
  void open(int width = 240, int height = 320) {
    device::set_screen(width, height);
    result_ = std::async(std::launch::async, [] {
      return WinMain(gwes::module_instance(), nullptr, const_cast<LPWSTR>(u""), SW_SHOWNORMAL);
    });
    dialog_ = frontend_.wait_for_dialog();
    ASSERT_NE(dialog_, nullptr);
    on_window([] {});
  }

  void TearDown() override {
    if (dialog_ != nullptr && !gwes::dialog_ended(dialog_))
      gwes::post_to_window_thread(dialog_, [d = dialog_] { EndDialog(d, 1); });
    if (result_.valid()) result_.wait();
    release_boxes();
    wait_for_jobs();
    for (HANDLE* h :
         {&g_hContactsThread, &g_hMessagesThread, &g_hRestoreThread, &g_hContactsDoneEvent}) {
      if (*h) CloseHandle(*h);
      *h = nullptr;
    }
    g_hMainWnd = nullptr;
  }

  // Runs fn on the window's thread and waits for it.
  void on_window(std::function<void()> fn) {
    ASSERT_TRUE(gwes::call_on_window_thread(dialog_, std::move(fn)));
  }
  void tap(int id) {
    on_window([this, id] { gwes::click(GetDlgItem(dialog_, id)); });
  }
  LRESULT progress(int percent, LPARAM code) {
    return SendMessageW(dialog_, WM_PROGRESS, static_cast<WPARAM>(static_cast<INT_PTR>(percent)),
                        code);
  }
  gwes::ControlInfo control(int id) { return *gwes::control_info(GetDlgItem(dialog_, id)); }
  std::u16string text(int id) { return control(id).text; }
  bool visible(int id) { return control(id).visible; }

  // Boxes: answered from the script (OK when it is empty); a held box waits
  // until release_boxes().
  void script(std::initializer_list<int> answers) {
    std::lock_guard lock(box_mutex_);
    answers_.insert(answers_.end(), answers);
  }
  void hold_boxes_with(std::u16string text) {
    std::lock_guard lock(box_mutex_);
    hold_text_ = std::move(text);
  }
  void release_boxes() {
    std::lock_guard lock(box_mutex_);
    hold_text_.clear();
    box_cv_.notify_all();
  }
  bool wait_held() {
    std::unique_lock lock(box_mutex_);
    return box_cv_.wait_for(lock, std::chrono::seconds(30), [&] { return held_ > 0; });
  }
  std::vector<Box> boxes() {
    std::lock_guard lock(box_mutex_);
    return boxes_;
  }
  // What the front end was told so far, one line per event.
  std::vector<std::string> trace_lines() { return frontend_.names(); }
  static void wait_for_jobs() {
    for (HANDLE h : {g_hContactsThread, g_hMessagesThread, g_hRestoreThread})
      if (h) WaitForSingleObject(h, INFINITE);
  }

  TempDevice device_;
  HWND dialog_ = nullptr;
  std::future<int> result_;

 private:
  int answer(std::u16string_view caption, std::u16string_view text, UINT type) {
    std::unique_lock lock(box_mutex_);
    boxes_.push_back({std::u16string(caption), std::u16string(text), type});
    if (!hold_text_.empty() && text == hold_text_) {
      ++held_;
      box_cv_.notify_all();
      box_cv_.wait(lock, [&] { return hold_text_.empty(); });
    }
    if (answers_.empty()) return IDOK;
    int a = answers_.front();
    answers_.pop_front();
    return a;
  }
  std::mutex box_mutex_;
  std::condition_variable box_cv_;
  std::deque<int> answers_;
  std::vector<Box> boxes_;
  std::u16string hold_text_;
  int held_ = 0;

 protected:
  RecordingFrontend frontend_{[this](HWND, std::u16string_view caption, std::u16string_view text,
                                     UINT type) { return answer(caption, text, type); }};
};

}  // namespace vardel::testing
