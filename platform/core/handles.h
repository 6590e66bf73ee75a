// Internal to vardel_core: waitable kernel objects behind HANDLEs.
//
// A HANDLE is a never-reused number naming an Object in a table; CloseHandle takes it
// out of the table, and the object lives on while something still uses it
// (a running thread keeps its own object). Unknown handles are refused with
// ERROR_INVALID_HANDLE rather than followed.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/core/windows.h"

namespace vardel::core {

class Object {
 public:
  virtual ~Object() = default;

  std::mutex mu;
  std::condition_variable cv;

  // Called with mu held: true when a waiter may go (and takes the signal,
  // for an auto-reset event).
  virtual bool try_acquire_locked(std::uint64_t waiter_generation) = 0;
  // Called with mu held when a waiter starts / stops waiting.
  virtual std::uint64_t enter_wait_locked() { return 0; }
  virtual void leave_wait_locked() {}
};

HANDLE add_handle(std::shared_ptr<Object> obj);
std::shared_ptr<Object> find_handle(HANDLE h);
bool remove_handle(HANDLE h);

}  // namespace vardel::core
