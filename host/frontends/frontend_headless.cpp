// The headless front end: trace lines and box answers.
#include "host/frontends/frontend_headless.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include <nlohmann/json.hpp>

#include "platform/core/wstr.h"

namespace vardel::host {
namespace {

bool is_label(const gwes::ControlInfo& c) { return c.class_name == u"STATIC"; }

std::string lower_trimmed(std::string s) {
  auto not_space = [](unsigned char c) { return !std::isspace(c); };
  s.erase(s.begin(), std::find_if(s.begin(), s.end(), not_space));
  s.erase(std::find_if(s.rbegin(), s.rend(), not_space).base(), s.end());
  return ascii_lower(s);
}

}  // namespace

HeadlessFrontend::BoxPolicy HeadlessFrontend::always(int answer) {
  return [answer](std::u16string_view, std::u16string_view, UINT) { return answer; };
}

HeadlessFrontend::BoxPolicy HeadlessFrontend::ask(std::istream& in, std::ostream& out) {
  // Two jobs may ask at once: one prompt at a time on the terminal.
  auto terminal = std::make_shared<std::mutex>();
  return [&in, &out, terminal](std::u16string_view caption, std::u16string_view text, UINT type) {
    std::lock_guard lock(*terminal);
    UINT buttons = type & MB_TYPEMASK;
    out << "[" << utf8(caption) << "] " << utf8(text) << "\n";
    if (buttons == MB_OK) {
      out.flush();
      return IDOK;
    }
    bool yes_no = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
    for (;;) {
      out << (yes_no ? "Yes or No? [y/n] " : "OK or Cancel? [ok/cancel] ") << std::flush;
      std::string reply;
      if (!std::getline(in, reply)) {
        out << "\n";
        return yes_no ? IDNO : IDCANCEL;
      }
      reply = lower_trimmed(reply);
      if (reply == "ok" || reply == "o" || reply == "y" || reply == "yes")
        return yes_no ? IDYES : IDOK;
      if (reply == "cancel" || reply == "c" || reply == "n" || reply == "no")
        return yes_no ? IDNO : IDCANCEL;
    }
  };
}

HeadlessFrontend::HeadlessFrontend(std::ostream* trace, BoxPolicy boxes)
    : trace_(trace), boxes_(std::move(boxes)), opener_(gwes::spawn_opener) {}

void HeadlessFrontend::set_picker(PickerPolicy picker) { picker_ = std::move(picker); }
void HeadlessFrontend::set_picker(
    std::function<std::optional<std::filesystem::path>(const std::filesystem::path&)> picker) {
  picker_ = [picker = std::move(picker)](const std::filesystem::path& start, const FileFilter&) {
    return picker(start);
  };
}
void HeadlessFrontend::set_label_listener(LabelListener listener) {
  listener_ = std::move(listener);
}
void HeadlessFrontend::set_opener(std::function<bool(const std::filesystem::path&)> opener) {
  opener_ = std::move(opener);
}

std::u16string HeadlessFrontend::label_text(int id) const {
  std::lock_guard lock(mutex_);
  auto it = labels_.find(id);
  return it == labels_.end() ? std::u16string() : it->second.text;
}

bool HeadlessFrontend::label_visible(int id) const {
  std::lock_guard lock(mutex_);
  auto it = labels_.find(id);
  return it != labels_.end() && it->second.visible;
}

std::string HeadlessFrontend::answer_name(int answer) {
  switch (answer) {
    case IDOK:
      return "OK";
    case IDCANCEL:
      return "CANCEL";
    case IDABORT:
      return "ABORT";
    case IDRETRY:
      return "RETRY";
    case IDIGNORE:
      return "IGNORE";
    case IDYES:
      return "YES";
    case IDNO:
      return "NO";
    case 0:
      return "NONE";
    default:
      return std::to_string(answer);
  }
}

std::string HeadlessFrontend::quoted(std::u16string_view text) {
  // Lone surrogates became U+FFFD in utf8(), so the dump never throws.
  return nlohmann::json(utf8(text)).dump();
}

void HeadlessFrontend::line(const std::string& text) {
  if (!trace_) return;
  *trace_ << text << '\n' << std::flush;
}

void HeadlessFrontend::label_changed(const gwes::ControlInfo& control, const std::string& what) {
  LabelListener listener;
  {
    std::lock_guard lock(mutex_);
    labels_[control.id] = Label{control.text, control.visible};
    if (!what.empty()) line("label " + std::to_string(control.id) + " " + what);
    listener = listener_;
  }
  if (listener) listener(control.id, control.text, control.visible);
}

void HeadlessFrontend::control_created(const gwes::ControlInfo& control) {
  if (is_label(control)) label_changed(control, "");
}

void HeadlessFrontend::control_text_changed(const gwes::ControlInfo& control) {
  if (is_label(control)) label_changed(control, trace_ ? "text " + quoted(control.text) : "");
}

void HeadlessFrontend::control_visibility_changed(const gwes::ControlInfo& control) {
  if (is_label(control)) label_changed(control, control.visible ? "show" : "hide");
}

int HeadlessFrontend::message_box(HWND, std::u16string_view caption, std::u16string_view text,
                                  UINT type) {
  // No lock while the policy decides: a box held open by one job must not
  // keep another thread's box (or the window's) from being answered.
  int answer = boxes_ ? boxes_(caption, text, type) : 0;
  std::lock_guard lock(mutex_);
  line("box " + quoted(caption) + " " + quoted(text) + " -> " + answer_name(answer));
  return answer;
}

std::optional<std::filesystem::path> HeadlessFrontend::open_file_dialog(
    HWND, const std::filesystem::path& start_folder,
    const std::vector<std::pair<std::u16string, std::u16string>>& filter) {
  return picker_ ? picker_(start_folder, filter) : std::nullopt;
}

bool HeadlessFrontend::shell_open(const std::filesystem::path& host_path) {
  {
    std::lock_guard lock(mutex_);
    line("open " + nlohmann::json(host_path.string()).dump());
  }
  return opener_ && opener_(host_path);
}

}  // namespace vardel::host
