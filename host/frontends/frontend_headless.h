// The headless front end: draws nothing; tells a stream, one line each, what
// the progress lines and message boxes do, and answers boxes by a policy.
//
// Trace lines (texts JSON-escaped, UTF-8):
//   label 1007 text "1、通讯录    42%"
//   label 1008 hide
//   label 1008 show
//   box "完成" "备份已经完成" -> OK
//   open "/path/of/the/file"
// Answers are written OK, CANCEL, YES, NO, ABORT, RETRY, IGNORE, or NONE
// (0: no answer could be had).
//
// Thread-safe: label events come on the dialog's thread, boxes on the job
// threads that show them; trace lines never interleave.
#pragma once

#include <functional>
#include <istream>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "host/frontends/file_list.h"
#include "platform/gwes/frontend.h"

namespace vardel::host {

class HeadlessFrontend : public gwes::Frontend {
 public:
  // Decides a box's answer (IDOK, IDCANCEL, ...); called on the thread that
  // shows the box, possibly on several threads at once.
  using BoxPolicy =
      std::function<int(std::u16string_view caption, std::u16string_view text, UINT type)>;
  // Chooses a file for the picker, starting in start, among the files that
  // match filter (GetOpenFileNameEx's pairs); nothing means cancelled.
  using PickerPolicy = std::function<std::optional<std::filesystem::path>(
      const std::filesystem::path& start, const FileFilter& filter)>;
  // Hears every label change: id, text, shown.
  using LabelListener = std::function<void(int id, const std::u16string& text, bool visible)>;

  // Every box gets this answer.
  static BoxPolicy always(int answer);
  // Boxes with OK only are printed and answered OK at once; others ask on
  // `out` and read a line from `in`: "ok"/"y"/"yes" agree, "cancel"/"n"/"no"
  // refuse; the end of input refuses. One prompt at a time.
  static BoxPolicy ask(std::istream& in, std::ostream& out);

  // trace may be null (no lines).
  explicit HeadlessFrontend(std::ostream* trace, BoxPolicy boxes = always(IDOK));

  void set_picker(PickerPolicy picker);
  // A picker that looks at the start folder only.
  void set_picker(
      std::function<std::optional<std::filesystem::path>(const std::filesystem::path& start)>
          picker);
  void set_label_listener(LabelListener listener);
  // Replaces the opener (default: vardel::gwes::spawn_opener).
  void set_opener(std::function<bool(const std::filesystem::path&)> opener);

  // The labels as they stand now (1007, 1008), for callers that poll.
  std::u16string label_text(int id) const;
  bool label_visible(int id) const;

  // The words the trace uses for an answer.
  static std::string answer_name(int answer);
  // A text as a JSON string (quotes included).
  static std::string quoted(std::u16string_view text);

  // gwes::Frontend
  void control_created(const gwes::ControlInfo& control) override;
  void control_text_changed(const gwes::ControlInfo& control) override;
  void control_visibility_changed(const gwes::ControlInfo& control) override;
  int message_box(HWND owner, std::u16string_view caption, std::u16string_view text,
                  UINT type) override;
  std::optional<std::filesystem::path> open_file_dialog(
      HWND owner, const std::filesystem::path& start_folder,
      const std::vector<std::pair<std::u16string, std::u16string>>& filter) override;
  bool shell_open(const std::filesystem::path& host_path) override;

 private:
  struct Label {
    std::u16string text;
    bool visible = false;
  };
  void line(const std::string& text);
  void label_changed(const gwes::ControlInfo& control, const std::string& what);

  std::ostream* trace_;
  BoxPolicy boxes_;
  PickerPolicy picker_;
  LabelListener listener_;
  std::function<bool(const std::filesystem::path&)> opener_;
  mutable std::mutex mutex_;  // labels_, trace_
  std::map<int, Label> labels_;
};

}  // namespace vardel::host
