// The layout log for scripts that check the window.
#include "host/frontends/layout_log.h"

#include <cstdlib>
#include <fstream>
#include <mutex>

namespace vardel::host {

void log_layout(const std::string& block) {
  static std::mutex mutex;
  const char* path = std::getenv("VARDEL_LAYOUT_LOG");
  if (!path || !*path) return;
  std::lock_guard lock(mutex);
  std::ofstream(path, std::ios::app) << block << std::flush;
}

}  // namespace vardel::host
