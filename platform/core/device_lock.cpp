// The device's lock file (see device_lock.h).
#include "platform/core/device_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

#include "platform/core/device.h"
#include "platform/core/device_files.h"

namespace vardel::device {
namespace {

struct Lock {
  std::mutex mu;
  Fd fd;
  std::atomic<bool> held{false};
  std::atomic<unsigned long> takings{0};
};

Lock& the_lock() {
  static Lock* l = new Lock;  // never destroyed: checked during exit
  return *l;
}

}  // namespace

LockResult lock_device(std::chrono::milliseconds wait) {
  Lock& l = the_lock();
  std::lock_guard guard(l.mu);
  if (l.held) return LockResult::locked;
  // The system folder is a real folder of the device or nothing.
  Fd root(dup_root_fd());
  if (!root) return LockResult::failed;
  if (::mkdirat(root.get(), ".device", kPrivateFolderMode) != 0 && errno != EEXIST)
    return LockResult::failed;
  Fd fd(open_relative(".device/lock", O_RDWR | O_CREAT | O_NONBLOCK, kPrivateFileMode, true));
  if (!fd) {
    if (errno == ELOOP) errno = EXDEV;
    return LockResult::failed;
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    errno = EACCES;
    return LockResult::failed;
  }
  const auto until = std::chrono::steady_clock::now() + wait;
  while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return LockResult::failed;
    if (std::chrono::steady_clock::now() >= until) return LockResult::busy;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  l.fd = std::move(fd);
  l.takings.fetch_add(1, std::memory_order_relaxed);
  l.held = true;
  return LockResult::locked;
}

void unlock_device() {
  Lock& l = the_lock();
  std::lock_guard guard(l.mu);
  l.held = false;
  l.fd.reset();  // closing the descriptor lets the lock go
}

bool locked_by_this_process() { return the_lock().held.load(std::memory_order_acquire); }

unsigned long lock_takings() { return the_lock().takings.load(std::memory_order_acquire); }

}  // namespace vardel::device
