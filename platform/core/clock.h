// The clock behind GetSystemTime, GetLocalTime, GetSystemTimeAsFileTime and
// GetTickCount.
//
// By default it is the host's: real time for the date, the monotonic clock
// for the tick count. A test (or the host) can set a fixed clock instead,
// as it sets the screen size, so that whatever the program stamps with the
// time (the dated copies' names, the debug log) is known exactly. A fixed
// clock moves only when it is read: each reading answers and then moves the
// time and the tick count on by the step. Sleep and the waits keep to the
// host's time; they do not move a fixed clock.
//
// Thread-safe: readings from several threads each see their own step.
#pragma once

#include <cstdint>

#include "platform/core/types.h"

namespace vardel::clock {

struct Fixed {
  std::uint64_t utc = 0;      // FILETIME ticks (100 ns since 1601-01-01, UTC)
  DWORD tick_count = 0;       // what GetTickCount answers first
  std::uint32_t step_ms = 0;  // how far each reading moves the clock on (0: it stands still)
};

// Makes the platform read a fixed clock from now on.
void set_fixed(const Fixed& fixed);
// Goes back to the host's clock.
void use_host();

// The readings the time functions use: UTC as FILETIME ticks, and the
// milliseconds GetTickCount counts (wrapping after 49.7 days, as on the
// phone). On a fixed clock each call is one reading.
std::uint64_t utc_ticks();
DWORD tick_count();

// A fixed clock for a scope; the host's again when it ends.
class FixedScope {
 public:
  explicit FixedScope(const Fixed& fixed) { set_fixed(fixed); }
  ~FixedScope() { use_host(); }
  FixedScope(const FixedScope&) = delete;
  FixedScope& operator=(const FixedScope&) = delete;
};

}  // namespace vardel::clock
