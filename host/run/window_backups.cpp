#include "host/run/window_backups.h"

#include <chrono>

#include "host/device/backup_files.h"
#include "platform/core/windows.h"
#include "platform/gwes/frontend.h"
#include "window_shared/Globals.h"

namespace vardel::host {

namespace {

constexpr auto kLookEvery = std::chrono::milliseconds(250);

}  // namespace

WindowBackups::WindowBackups(HWND dialog, Add add)
    : dialog_(dialog), add_(std::move(add)), thread_([this] { run(); }) {}

WindowBackups::~WindowBackups() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  while (!finished_.load()) gwes::wait_and_pump(std::chrono::milliseconds(20));
  thread_.join();
}

// The handles belong to the window's thread, which replaces (and closes)
// them when the next backup starts: they are read there.
void WindowBackups::look() {
  const HANDLE now[2] = {g_hContactsThread, g_hMessagesThread};
  std::vector<std::filesystem::path> ended;
  for (int k = 0; k < 2; ++k) {
    Job& job = jobs_[k];
    if (now[k] != job.handle) job = Job{now[k], now[k] != nullptr};
    if (!job.running) continue;
    DWORD code = 0;
    if (!GetExitCodeThread(job.handle, &code)) {
      job.running = false;
    } else if (code != STILL_ACTIVE) {
      job.running = false;
      if (code == 1) ended.push_back(backup_folder() / (k == 0 ? "通讯录.xml" : "短信.xml"));
    }
  }
  if (ended.empty()) return;
  {
    std::lock_guard lock(mutex_);
    ended_well_.insert(ended_well_.end(), ended.begin(), ended.end());
  }
  changed_.notify_all();
}

void WindowBackups::run() {
  struct Finished {
    std::atomic<bool>& flag;
    ~Finished() { flag.store(true); }
  } finished{finished_};
  for (;;) {
    std::vector<std::filesystem::path> files;
    {
      std::unique_lock lock(mutex_);
      changed_.wait_for(lock, kLookEvery, [this] { return stop_ || !ended_well_.empty(); });
      if (stop_) return;
      files.swap(ended_well_);
    }
    if (files.empty() && !gwes::call_on_window_thread(dialog_, [this] { look(); }))
      return;  // the window is gone
    {
      std::lock_guard lock(mutex_);
      files.insert(files.end(), ended_well_.begin(), ended_well_.end());
      ended_well_.clear();
    }
    if (!files.empty()) add_(files);
  }
}

}  // namespace vardel::host
