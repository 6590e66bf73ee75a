// The fault switchboard: lets a test make a named platform call fail.
//
// A stand-in asks `fault::check("poom.Contact.Save")` at each use of a call
// that can fail on the phone; when a test has armed that name for this use,
// check() returns the armed HRESULT and the stand-in fails with it (and sets
// whatever error state the real call would). Nothing is armed in a normal run,
// and check() then costs one relaxed atomic load.
//
// Names are "<module>.<call>", e.g. "com.CoCreateInstance", "msxml.save",
// "poom.Logon", "poom.Contact.Save", "mapi.MAPILogonEx". Each stand-in lists
// its names in its header.
//
// Thread-safe: arming and checking may happen on any thread; uses are counted
// across all threads in the order they reach the switchboard. Counting starts
// with the first reset() or arm() (a Scope does both jobs for a test), so a
// normal run pays for none of it.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "platform/core/types.h"

namespace vardel::fault {

// Makes uses nth, nth+1, ..., nth+count-1 (1-based, counted from now) of
// `call` fail with `hr`. count 0 means every use from nth on.
void arm(std::string_view call, HRESULT hr, unsigned nth = 1, unsigned count = 1);

// Makes those uses of `call` throw std::bad_alloc instead, as running out of
// memory inside the call would. Only for calls made inside a COM method: its
// guard (platform/com/object.h) must turn that into E_OUTOFMEMORY.
void arm_out_of_memory(std::string_view call, unsigned nth = 1, unsigned count = 1);

// Forgets every armed fault and every use count.
void reset();

// Called by a stand-in at each use of `call`: S_OK, or the armed failure
// (or std::bad_alloc thrown, see arm_out_of_memory). Inline, so that the
// check costs a program that arms nothing one load where the call is made.
HRESULT check_armed(std::string_view call);
extern std::atomic<bool> g_active;  // set by arming and resetting
inline HRESULT check(std::string_view call) {
  if (!g_active.load(std::memory_order_relaxed)) return S_OK;
  return check_armed(call);
}

// How many times check() was called for `call` since the last reset().
unsigned uses(std::string_view call);

// The countdown mode, for loops that fail each platform call of a job in
// turn: makes the nth check() from now, whatever call it is for, fail with
// `hr` (once). Checks of every name count, in the order they reach the
// switchboard across all threads.
void arm_nth_call(unsigned nth, HRESULT hr);

// How many checks of any name were made since the last reset().
unsigned total_uses();

// The name of the call that the countdown failed, or "" while none has.
std::string failed_call();

// Arms nothing itself; resets the switchboard when it goes out of scope, so
// a test never leaks an armed fault into the next one.
class Scope {
 public:
  Scope() { reset(); }
  ~Scope() { reset(); }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
};

}  // namespace vardel::fault
