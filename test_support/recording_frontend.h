// A front end for the window system's tests: records what it is told (and
// on which thread) and answers message boxes through a callback.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/wstr.h"
#include "platform/gwes/frontend.h"

namespace vardel::testing {

struct Event {
  std::string what;  // "dialog_created", "text 1007 ...", ...
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

  void dialog_created(const gwes::DialogInfo& d) override {
    add("dialog_created " + utf8(d.caption));
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
    picker_start = start;
    picker_filter = filter;
    return picker_answer;
  }

  std::optional<std::filesystem::path> picker_answer;
  std::filesystem::path picker_start;
  std::vector<std::pair<std::u16string, std::u16string>> picker_filter;

 private:
  void add(std::string what) {
    std::lock_guard lock(mutex_);
    events_.push_back(Event{std::move(what), std::this_thread::get_id()});
  }

  BoxAnswer answer_;
  mutable std::mutex mutex_;
  std::vector<Event> events_;
};

}  // namespace vardel::testing
