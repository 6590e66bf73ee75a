// The fault switchboard. One mutex guards the table; the armed flag lets an
// unarmed check() return after one relaxed load.
#include "platform/core/fault.h"

#include <atomic>
#include <map>
#include <mutex>
#include <new>
#include <vector>

namespace vardel::fault {
namespace {

struct Armed {
  HRESULT hr;
  unsigned first;              // absolute use number of the first failing use
  unsigned count;              // 0: every use from first on
  bool out_of_memory = false;  // throw std::bad_alloc instead of returning hr
};

struct Call {
  unsigned uses = 0;
  std::vector<Armed> armed;
};

struct Board {
  std::mutex mu;
  std::map<std::string, Call, std::less<>> calls;
  unsigned total = 0;     // checks of any name
  unsigned nth_call = 0;  // the countdown's target (absolute), 0: none
  HRESULT nth_hr = S_OK;
  std::string failed_call;  // what the countdown failed
};

Board& board() {
  static Board* b = new Board;  // never destroyed: stand-ins may check during exit
  return *b;
}

void add(std::string_view call, Armed armed, unsigned nth) {
  Board& b = board();
  std::lock_guard lock(b.mu);
  auto it = b.calls.find(call);
  if (it == b.calls.end()) it = b.calls.emplace(std::string(call), Call{}).first;
  armed.first = it->second.uses + (nth == 0 ? 1 : nth);
  it->second.armed.push_back(armed);
  g_active.store(true, std::memory_order_release);
}

}  // namespace

void arm(std::string_view call, HRESULT hr, unsigned nth, unsigned count) {
  add(call, Armed{hr, 0, count}, nth);
}

void arm_out_of_memory(std::string_view call, unsigned nth, unsigned count) {
  add(call, Armed{E_OUTOFMEMORY, 0, count, true}, nth);
}

void reset() {
  Board& b = board();
  std::lock_guard lock(b.mu);
  b.calls.clear();
  b.total = 0;
  b.nth_call = 0;
  b.failed_call.clear();
  // Counting uses only matters to tests, which always start with a Scope
  // (reset), so after a reset the board counts again.
  g_active.store(true, std::memory_order_release);
}

// True once anything was armed or counted since the last reset.
std::atomic<bool> g_active{false};

HRESULT check_armed(std::string_view call) {
  Board& b = board();
  std::lock_guard lock(b.mu);
  auto it = b.calls.find(call);
  if (it == b.calls.end()) it = b.calls.emplace(std::string(call), Call{}).first;
  unsigned use = ++it->second.uses;
  if (++b.total == b.nth_call) {
    b.failed_call = std::string(call);
    return b.nth_hr;
  }
  for (const Armed& a : it->second.armed) {
    if (use >= a.first && (a.count == 0 || use < a.first + a.count)) {
      if (a.out_of_memory) throw std::bad_alloc();
      return a.hr;
    }
  }
  return S_OK;
}

unsigned uses(std::string_view call) {
  Board& b = board();
  std::lock_guard lock(b.mu);
  auto it = b.calls.find(call);
  return it == b.calls.end() ? 0 : it->second.uses;
}

}  // namespace vardel::fault

namespace vardel::fault {

void arm_nth_call(unsigned nth, HRESULT hr) {
  Board& b = board();
  std::lock_guard lock(b.mu);
  b.nth_call = b.total + (nth == 0 ? 1 : nth);
  b.nth_hr = hr;
  b.failed_call.clear();
  g_active.store(true, std::memory_order_release);
}

unsigned total_uses() {
  Board& b = board();
  std::lock_guard lock(b.mu);
  return b.total;
}

std::string failed_call() {
  Board& b = board();
  std::lock_guard lock(b.mu);
  return b.failed_call;
}

}  // namespace vardel::fault
