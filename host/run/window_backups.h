// The window's backups go into the history as the command line's do.
//
// The window starts its backup jobs itself, whenever 备份 is tapped. While it
// is open, this looks every quarter second, on the window's thread, at the
// jobs it started, and again when 备份 is tapped (before the next jobs
// replace them); the file of a job that ended well is added to the history
// off the window's thread, while the window goes on. A job still running
// when the window closes ends with the process and is not added, as its file
// is then the earlier backup's.
#pragma once

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/gwes/gwes.h"

namespace vardel::host {

class WindowBackups {
 public:
  // add gets the files of the jobs that ended well (通讯录.xml, 短信.xml).
  using Add = std::function<void(const std::vector<std::filesystem::path>&)>;
  WindowBackups(HWND dialog, Add add);
  // Stops looking; an add under way is finished first. On the window's
  // thread, which meanwhile answers a look the watcher has asked for.
  ~WindowBackups();
  WindowBackups(const WindowBackups&) = delete;
  WindowBackups& operator=(const WindowBackups&) = delete;

  // Looks at the jobs now; on the window's thread only.
  void look();

 private:
  // One backup job as last seen: its handle, and whether it had yet to end.
  struct Job {
    HANDLE handle = nullptr;
    bool running = false;
  };
  void run();

  HWND dialog_;
  Add add_;
  Job jobs_[2];  // contacts, messages; the window's thread's
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  std::vector<std::filesystem::path> ended_well_;
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

}  // namespace vardel::host
