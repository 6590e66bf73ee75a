// A front end for tests: records what the window system tells it, one line
// per event with the thread it came on, answers message boxes through a
// callback (OK without one), hands the file picker a set answer, and keeps
// the files it was asked to open instead of opening them. Installs itself
// for its lifetime. Thread-safe.
//
// Event lines:
//   dialog_created CAPTION        created 1007 STATIC "TEXT"
//   text 1007 "TEXT"              show 1008 / hide 1008
//   moved 1001 X,Y                box CAPTION TEXT
//   open /host/path
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/wstr.h"
#include "platform/gwes/frontend.h"

namespace vardel::testing {

struct Event {
  std::string what;
  std::thread::id thread;
};

class RecordingFrontend : public gwes::Frontend {
 public:
  using BoxAnswer =
      std::function<int(HWND, std::u16string_view caption, std::u16string_view text, UINT)>;

  explicit RecordingFrontend(BoxAnswer answer = {}) : answer_(std::move(answer)) {
    gwes::set_frontend(this);
  }
  ~RecordingFrontend() override { gwes::set_frontend(nullptr); }

  std::vector<Event> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (auto& e : events()) out.push_back(e.what);
    return out;
  }
  // The last dialog created, once there is one (null after ten seconds).
  HWND wait_for_dialog() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return dialog_ != nullptr; });
    return dialog_;
  }
  std::vector<std::filesystem::path> opened() const {
    std::lock_guard lock(mutex_);
    return opened_;
  }

  // What the picker answers (nothing: cancelled), and what it was asked.
  void set_picker_answer(std::optional<std::filesystem::path> answer) {
    std::lock_guard lock(mutex_);
    picker_answer_ = std::move(answer);
  }
  std::filesystem::path picker_start() const {
    std::lock_guard lock(mutex_);
    return picker_start_;
  }
  std::vector<std::pair<std::u16string, std::u16string>> picker_filter() const {
    std::lock_guard lock(mutex_);
    return picker_filter_;
  }

  void dialog_created(const gwes::DialogInfo& d) override {
    add("dialog_created " + utf8(d.caption));
    std::lock_guard lock(mutex_);
    dialog_ = d.hwnd;
    changed_.notify_all();
  }
  void dialog_changed(const gwes::DialogInfo& d) override {
    add("dialog_changed " + std::to_string(d.rect.left) + "," + std::to_string(d.rect.top) + " " +
        std::to_string(d.rect.right) + "," + std::to_string(d.rect.bottom) +
        (d.visible ? " shown" : "") + (d.done_button ? " ok" : ""));
  }
  void dialog_destroyed(HWND) override { add("dialog_destroyed"); }
  void control_created(const gwes::ControlInfo& c) override {
    add("created " + std::to_string(c.id) + " " + utf8(c.class_name) + " \"" + utf8(c.text) + "\"");
  }
  void control_text_changed(const gwes::ControlInfo& c) override {
    add("text " + std::to_string(c.id) + " \"" + utf8(c.text) + "\"");
  }
  void control_visibility_changed(const gwes::ControlInfo& c) override {
    add((c.visible ? "show " : "hide ") + std::to_string(c.id));
  }
  void control_moved(const gwes::ControlInfo& c) override {
    add("moved " + std::to_string(c.id) + " " + std::to_string(c.rect.left) + "," +
        std::to_string(c.rect.top));
  }

  int message_box(HWND owner, std::u16string_view caption, std::u16string_view text,
                  UINT type) override {
    add("box " + utf8(caption) + " " + utf8(text));
    return answer_ ? answer_(owner, caption, text, type) : IDOK;
  }

  std::optional<std::filesystem::path> open_file_dialog(
      HWND, const std::filesystem::path& start,
      const std::vector<std::pair<std::u16string, std::u16string>>& filter) override {
    std::lock_guard lock(mutex_);
    picker_start_ = start;
    picker_filter_ = filter;
    return picker_answer_;
  }

  bool shell_open(const std::filesystem::path& host_path) override {
    add("open " + host_path.string());
    std::lock_guard lock(mutex_);
    opened_.push_back(host_path);
    return true;
  }

 private:
  void add(std::string what) {
    std::lock_guard lock(mutex_);
    events_.push_back(Event{std::move(what), std::this_thread::get_id()});
  }

  BoxAnswer answer_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
  HWND dialog_ = nullptr;
  std::vector<std::filesystem::path> opened_;
  std::optional<std::filesystem::path> picker_answer_;
  std::filesystem::path picker_start_;
  std::vector<std::pair<std::u16string, std::u16string>> picker_filter_;
};

}  // namespace vardel::testing
