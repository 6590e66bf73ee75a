// Kernel debug output. Off by default; when off, NKDbgPrintfW returns before
// looking at its arguments, so trace points cost one atomic load.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include "platform/core/windows.h"

namespace {

// -1: not decided yet (read VARDEL_TRACE on first use), 0 off, 1 on.
std::atomic<int> g_state{-1};

bool enabled() {
  int s = g_state.load(std::memory_order_relaxed);
  if (s < 0) {
    const char* v = std::getenv("VARDEL_TRACE");
    int want = v && *v && std::string_view(v) != "0" ? 1 : 0;
    g_state.compare_exchange_strong(s, want, std::memory_order_relaxed);
    s = g_state.load(std::memory_order_relaxed);
  }
  return s == 1;
}

void write_line(const std::u16string& text) {
  static std::mutex mu;  // keeps lines of different threads whole
  std::string out = vardel::utf8(text);
  std::lock_guard lock(mu);
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void NKDbgPrintfW(LPCWSTR lpszFmt, ...) {
  if (!enabled() || !lpszFmt) return;
  va_list ap;
  va_start(ap, lpszFmt);
  std::u16string text = vardel::vformat(lpszFmt, ap);
  va_end(ap);
  write_line(text);
}

void OutputDebugStringW(LPCWSTR lpOutputString) {
  if (!enabled() || !lpOutputString) return;
  write_line(lpOutputString);
}

namespace vardel::core {

void set_debug_output(bool on) { g_state.store(on ? 1 : 0, std::memory_order_relaxed); }
bool debug_output() { return enabled(); }

}  // namespace vardel::core
