// The settable clock. Reading the host's clock costs one relaxed load more
// than calling clock_gettime; a fixed clock is read under a lock, so that
// concurrent readings each take their own step.
#include "platform/core/clock.h"

#include <time.h>

#include <atomic>
#include <mutex>

#include "platform/core/calendar.h"

namespace vardel::clock {
namespace {

struct FixedClock {
  std::mutex mu;
  Fixed now;
};

FixedClock& fixed_clock() {
  static FixedClock* c = new FixedClock;  // never destroyed: job threads may outlive main
  return *c;
}

std::atomic<bool> g_fixed{false};

// Takes one reading of the fixed clock and moves it on by its step.
Fixed read_fixed() {
  FixedClock& c = fixed_clock();
  std::lock_guard lock(c.mu);
  Fixed reading = c.now;
  c.now.utc += std::uint64_t{c.now.step_ms} * calendar::kTicksPerMillisecond;
  c.now.tick_count += c.now.step_ms;  // wraps, as the tick count does
  return reading;
}

}  // namespace

void set_fixed(const Fixed& fixed) {
  FixedClock& c = fixed_clock();
  std::lock_guard lock(c.mu);
  c.now = fixed;
  g_fixed.store(true, std::memory_order_release);
}

void use_host() { g_fixed.store(false, std::memory_order_release); }

std::uint64_t utc_ticks() {
  if (g_fixed.load(std::memory_order_acquire)) return read_fixed().utc;
  struct timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return calendar::kUnixEpochTicks +
         static_cast<std::uint64_t>(ts.tv_sec) * calendar::kTicksPerSecond +
         static_cast<std::uint64_t>(ts.tv_nsec) / 100;
}

DWORD tick_count() {
  if (g_fixed.load(std::memory_order_acquire)) return read_fixed().tick_count;
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<DWORD>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                            static_cast<std::uint64_t>(ts.tv_nsec) / 1'000'000u);
}

}  // namespace vardel::clock
