// Running the program's window for one command.
#include "host/run/session.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "app/MainWindow.h"
#include "host/device/backup_files.h"
#include "host/care/checksums.h"
#include "host/history/history_add.h"
#include "host/device/device_tools.h"
#include "host/device/free_space.h"
#include "host/frontends/file_list.h"
#include "host/frontends/frontend_fltk.h"
#include "host/frontends/frontend_headless.h"
#include "host/run/pages.h"
#include "host/run/progress_bars.h"
#include "host/run/window_backups.h"
#include "platform/core/device.h"
#include "platform/core/device_files.h"
#include "platform/msxml/saved_file_check.h"
#include "platform/poom/contact_db.h"
#include "platform/gwes/frontend.h"
#include "platform/platform.h"
#include "res/resources.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"
#include "xml/XMLTextWriter.h"

namespace fs = std::filesystem;

namespace vardel::host {

void start_platform() {
  static std::once_flag once;
  std::call_once(once, [] {
    platform::register_classes();
    res::install();
    care::watch_backup_folder();
  });
}

bool display_available() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && *display != '\0';
}

namespace {

int run_program() {
  return WinMain(gwes::module_instance(), nullptr, const_cast<LPWSTR>(u""), SW_SHOWNORMAL);
}

// The headless window with one tap: `tap` runs on the window's thread once
// the dialog is up and returns the job threads it started (none when the
// command started nothing); the dialog closes when they have ended.
class DrivenFrontend : public HeadlessFrontend {
 public:
  using Tap = std::function<std::vector<HANDLE>(HWND dialog)>;
  DrivenFrontend(std::ostream* trace, BoxPolicy boxes, Tap tap)
      : HeadlessFrontend(trace, std::move(boxes)), tap_(std::move(tap)) {}
  ~DrivenFrontend() override {
    if (watcher_.joinable()) watcher_.join();
  }

  void dialog_created(const gwes::DialogInfo& dialog) override {
    HWND hwnd = dialog.hwnd;
    // This runs before the dialog's initialisation: tap from another thread,
    // so the tap is queued behind it, then wait for the jobs there, off the
    // window's thread, which must keep handling what they send it.
    watcher_ = std::thread([this, hwnd] {
      std::vector<HANDLE> jobs;
      gwes::call_on_window_thread(hwnd, [&] { jobs = tap_(hwnd); });
      for (HANDLE h : jobs) WaitForSingleObject(h, INFINITE);
      gwes::post_to_window_thread(hwnd, [hwnd] { EndDialog(hwnd, 1); });
    });
  }

 private:
  Tap tap_;
  std::thread watcher_;
};

HeadlessFrontend::BoxPolicy cli_boxes(const SessionOptions& options, ProgressBars& bars) {
  auto ask = HeadlessFrontend::ask(std::cin, std::cout);
  return [&options, &bars, ask](std::u16string_view caption, std::u16string_view text, UINT type) {
    bars.clear();
    if ((type & MB_TYPEMASK) == MB_OKCANCEL && options.yes) {
      std::cout << "[" << utf8(caption) << "] " << utf8(text) << " -> OK\n" << std::flush;
      return IDOK;
    }
    return ask(caption, text, type);
  };
}

bool progress_wanted(const SessionOptions& options) {
  return options.progress && !options.trace && isatty(STDERR_FILENO);
}

DWORD exit_code(HANDLE h) {
  DWORD code = 0;
  if (h == nullptr || !GetExitCodeThread(h, &code)) return 0;
  return code;
}

// Taps one button and waits for the jobs it starts: 0 when every one
// succeeded, 1 otherwise (also when none started). succeeded, when given,
// gets which jobs ended well (0 contacts, 1 messages, 2 restore).
int run_job_button(const SessionOptions& options, int button,
                   std::vector<int>* succeeded = nullptr) {
  start_platform();
  ProgressBars bars(std::cerr, progress_wanted(options));
  std::vector<HANDLE> started;
  std::vector<int> kinds;
  DrivenFrontend fe(options.trace ? &std::cerr : nullptr, cli_boxes(options, bars),
                    [&started, &kinds, button](HWND dialog) {
                      HANDLE before[3] = {g_hContactsThread, g_hMessagesThread, g_hRestoreThread};
                      gwes::click(GetDlgItem(dialog, button));
                      HANDLE after[3] = {g_hContactsThread, g_hMessagesThread, g_hRestoreThread};
                      for (int i = 0; i < 3; ++i)
                        if (after[i] != before[i] && after[i] != nullptr) {
                          started.push_back(after[i]);
                          kinds.push_back(i);
                        }
                      return started;
                    });
  fe.set_label_listener([&bars](int id, const std::u16string& text, bool visible) {
    bars.update(id, text, visible);
  });
  gwes::set_frontend(&fe);
  run_program();
  gwes::set_frontend(nullptr);
  bars.finish();

  if (succeeded)
    for (size_t i = 0; i < started.size(); ++i)
      if (exit_code(started[i]) == 1) succeeded->push_back(kinds[i]);
  const size_t expected = button == IDC_BACKUP ? 2 : 1;
  if (started.size() != expected) return 1;
  for (HANDLE h : started)
    if (exit_code(h) != 1) return 1;
  return 0;
}

// What `view` opens: the file named (in the backup folder, or a path), or
// one chosen from the backup folder's files on the terminal.
std::optional<fs::path> pick_file(const fs::path& start, const FileFilter& filter,
                                  const std::optional<fs::path>& file) {
  std::error_code ec;
  if (file) {
    if (file->is_relative() && fs::exists(start / *file, ec)) return start / *file;
    return fs::absolute(*file, ec);
  }
  // No file named: offer the backup folder's files on the terminal, in
  // the window picker's order (the filter's first type, as it starts).
  const auto entries = list_files(start, filter.empty() ? u"*.*" : filter.front().second);
  if (entries.empty()) {
    std::cout << "the backup folder " << start.string() << " holds no files\n";
    return std::nullopt;
  }
  for (size_t i = 0; i < entries.size(); ++i)
    std::cout << "  " << (i + 1) << ". " << entries[i].path.filename().string() << "  ("
              << describe_size(entries[i].size) << ", " << describe_time(entries[i].modified)
              << (entries[i].damaged ? std::string(", ") + kDamagedMark : std::string()) << ")\n";
  std::cout << "open which file? [1-" << entries.size() << ", empty to cancel] " << std::flush;
  std::string reply;
  if (!std::getline(std::cin, reply) || reply.empty()) return std::nullopt;
  try {
    const size_t n = std::stoul(reply);
    if (n >= 1 && n <= entries.size()) return entries[n - 1].path;
  } catch (...) {
  }
  return std::nullopt;
}

}  // namespace

namespace {

void add_to_history(const std::vector<fs::path>& files) {
  try {
    // Read through the device root, as every file of the device is.
    history::add_saved_backups(backup_folder() / "history.db", files, read_contacts_backup_bytes,
                               std::cerr, read_input_file);
  } catch (const std::exception& e) {
    std::cerr << "vardel: warning: the backup was not added to the history: " << e.what() << "\n";
  }
}

}  // namespace

int run_backup(const SessionOptions& options) {
  std::vector<int> saved;
  const int status = run_job_button(options, IDC_BACKUP, &saved);
  // Only what this run saved goes into the history: a file a failed job
  // left is the previous backup, added by the run that wrote it.
  std::vector<fs::path> files;
  for (int kind : saved)
    if (kind == 0 || kind == 1)
      files.push_back(backup_folder() / (kind == 0 ? "通讯录.xml" : "短信.xml"));
  if (!files.empty()) add_to_history(files);
  return status;
}
int run_restore(const SessionOptions& options) {
  // The counts the boxes do not give: what the backup held, and the phone's
  // book before and after.
  auto phone_count = [] {
    try {
      return std::optional<size_t>(poom::list_contacts(device::contacts_db()).size());
    } catch (const std::exception&) {
      return std::optional<size_t>();
    }
  };
  const std::optional<size_t> before = phone_count();
  const int status = run_job_button(options, IDC_RESTORE);
  const std::optional<size_t> after = phone_count();
  std::optional<size_t> in_file;
  {
    // Counted only when it can be read through the device root.
    try {
      const device::Fd fd = open_input_file(backup_folder() / u"通讯录.xml");
      msxml::SavedFile saved;
      if (msxml::check_saved_file(fd.get(), &saved) && saved.well_formed) in_file = saved.records;
    } catch (const UsageError&) {
    }
  }
  if (in_file && before && after)
    std::cout << "the backup holds " << *in_file << " contacts; the phone held " << *before
              << " before the restore and holds " << *after << " now\n";
  // What the duplicate removal took from the backup's copies and where it
  // kept the phone's own values: the boxes do not say.
  if (g_nContactsFilledIn > 0 || g_nContactsDiffering > 0) {
    auto contacts = [](LONG n) { return std::to_string(n) + (n == 1 ? " contact" : " contacts"); };
    std::cout << "filled in " << contacts(g_nContactsFilledIn) << " from the backup; "
              << contacts(g_nContactsDiffering)
              << (g_nContactsDiffering == 1 ? " differs" : " differ")
              << " from the backup (the phone's values kept)\n";
  }
  return status;
}

int run_view(const SessionOptions& options, const std::optional<fs::path>& file) {
  start_platform();
  ProgressBars bars(std::cerr, false);
  std::atomic<bool> opened{false};
  DrivenFrontend fe(options.trace ? &std::cerr : nullptr, cli_boxes(options, bars),
                    [](HWND dialog) {
                      gwes::click(GetDlgItem(dialog, IDC_VIEW));
                      return std::vector<HANDLE>{};
                    });
  // The picker and the opener run on the window's thread: a name the file
  // system refuses (too long, say) is a file that cannot be opened, never an
  // exception there, which would leave the window stuck.
  fe.set_picker(
      [&file](const fs::path& start, const FileFilter& filter) -> std::optional<fs::path> {
        try {
          return pick_file(start, filter, file);
        } catch (const std::exception&) {
          return std::nullopt;
        }
      });
  fs::path page;  // made, even when nothing could show it
  fe.set_opener([&opened, &page](const fs::path& host_path) {
    try {
      const auto shown = open_for_reading(host_path, &page);
      opened = shown.has_value();
      if (shown) std::cout << "opened " << shown->string() << "\n";
    } catch (const std::exception& e) {
      // Refused as it was opened (a link out of the device, a FIFO): said.
      std::cerr << "vardel: " << e.what() << "\n";
      opened = false;
    }
    return opened.load();
  });
  gwes::set_frontend(&fe);
  run_program();
  gwes::set_frontend(nullptr);
  if (!opened && !page.empty())
    std::cerr << "vardel: no browser could be started to show the page (xdg-open failed); it is "
                 "at "
              << page.string() << "\n";
  else if (!opened && file)
    std::cerr << "vardel: could not open " << file->string() << "\n";
  return opened ? 0 : 1;
}

int run_about(const SessionOptions& options) {
  start_platform();
  std::u16string shown;
  DrivenFrontend fe(
      options.trace ? &std::cerr : nullptr,
      [&shown](std::u16string_view, std::u16string_view text, UINT) {
        shown = text;
        return IDOK;
      },
      [](HWND dialog) {
        gwes::click(GetDlgItem(dialog, IDC_ABOUT));
        return std::vector<HANDLE>{};
      });
  gwes::set_frontend(&fe);
  run_program();
  gwes::set_frontend(nullptr);
  std::string text = utf8(shown);
  for (size_t pos; (pos = text.find('\r')) != std::string::npos;) text.erase(pos, 1);
  std::cout << text << "\n";
  return shown.empty() ? 1 : 0;
}

bool window_tap_allowed(HWND button) {
  if (GetDlgCtrlID(button) != IDC_RESTORE) return true;
  std::optional<RoomRefusal> why;
  try {
    why = restore_room_refusal();
  } catch (const std::exception&) {
    return true;  // the program's own job says what is wrong with the folder
  }
  if (!why) return true;
  // Said before the job starts, as the command line's restore says it:
  // stopping part-way with the card full would be worse.
  MessageBoxW(GetParent(button),
              utf16("存储空间不足，没有开始恢复通讯录。\n" + why->reason_zh).c_str(), u"恢复通讯录",
              MB_OK | MB_ICONWARNING);
  return false;
}

int run_window(const SessionOptions& options) {
  start_platform();
  if (!FltkFrontend::init()) throw UsageError("cannot open the display");
  // "查看" opens a backup file as its rendered page.
  class WindowFrontend : public FltkFrontend {
   public:
    using FltkFrontend::FltkFrontend;
    bool shell_open(const fs::path& host_path) override {
      try {  // on the window's thread: a failure is a file not opened
        return open_for_reading(host_path).has_value();
      } catch (const std::exception&) {
        return false;
      }
    }
    // The main dialog comes first; its backups go into the history.
    void dialog_created(const gwes::DialogInfo& dialog) override {
      FltkFrontend::dialog_created(dialog);
      if (!backups) backups = std::make_unique<WindowBackups>(dialog.hwnd, add_to_history);
    }
    std::unique_ptr<WindowBackups> backups;
  };
  // Jobs may still run when the user closes the window; they end with the
  // process, so the front end they might still call stays until then.
  const int zoom = options.zoom > 0 ? options.zoom
                                    : FltkFrontend::fitting_zoom(GetSystemMetrics(SM_CXSCREEN),
                                                                 GetSystemMetrics(SM_CYSCREEN));
  static WindowFrontend* fe = new WindowFrontend(options.trace ? &std::cerr : nullptr, zoom);
  fe->set_tap_guard([](HWND button) {
    // The jobs a tap on 备份 replaces are looked at first.
    if (GetDlgCtrlID(button) == IDC_BACKUP && fe->backups) fe->backups->look();
    return window_tap_allowed(button);
  });
  gwes::set_frontend(fe);
  const int result = run_program();
  fe->backups.reset();
  return result;
}

}  // namespace vardel::host
