// What a job's progress costs: jobs send the window a message for every
// record and wait until the window's thread has handled it. Two job threads
// (as a backup runs them) each send N messages to a window whose procedure
// formats a progress line and sets a label's text, as the main dialog does;
// the window's thread pumps meanwhile. Prints the wall and CPU time per
// message, so a change to the window system's waiting shows here first.
//
// usage: bench_progress_bench [N per job]
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bench/measure.h"
#include "platform/gwes/frontend.h"
#include "platform/gwes/gwes.h"
#include "test_support/recording_window.h"

namespace {

constexpr UINT kProgress = WM_USER + 1;
std::atomic<long> g_handled{0};

LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kProgress) return DefWindowProcW(hwnd, message, wParam, lParam);
  WCHAR text[64];
  swprintf(text, 64, u"%d、进度%6d%%", static_cast<int>(lParam), static_cast<int>(wParam));
  SetWindowTextW(hwnd, text);
  g_handled.fetch_add(1, std::memory_order_relaxed);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const long n = argc > 1 ? std::atol(argv[1]) : 50000;
  HWND window = vardel::testing::create_window(Procedure);
  std::atomic<int> running{2};
  const auto start = std::chrono::steady_clock::now();
  const double cpu0 = cpu_seconds();
  auto job = [&](LPARAM code) {
    for (long i = 1; i <= n; ++i)
      SendMessageW(window, kProgress, static_cast<WPARAM>(100 * i / n), code);
    running.fetch_sub(1);
  };
  std::thread contacts(job, 1), messages(job, 2);
  while (running.load() > 0) vardel::gwes::wait_and_pump(std::chrono::milliseconds(10));
  contacts.join();
  messages.join();
  const double wall = seconds_since(start), cpu = cpu_seconds() - cpu0;
  const double sent = 2.0 * static_cast<double>(n);
  std::printf(
      "%ld messages from each of 2 jobs: wall %.3f s, cpu %.3f s; %.2f us wall, %.2f us cpu a "
      "message; handled %ld\n",
      n, wall, cpu, wall / sent * 1e6, cpu / sent * 1e6, g_handled.load());
  DestroyWindow(window);
  return g_handled.load() == 2 * n ? 0 : 1;
}
