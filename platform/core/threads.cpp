// Threads, events, waits and critical sections.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>
#include <unordered_map>

#include "platform/core/handles.h"

namespace vardel::core {
namespace {

struct Table {
  std::mutex mu;
  std::unordered_map<HANDLE, std::shared_ptr<Object>> objects;
  // Handle values are never reused, so a stale handle kept by one thread
  // can never reach an object made later at the same address.
  std::uintptr_t next = 0x1000;
};

Table& table() {
  static Table* t = new Table;  // never destroyed: threads may still close handles at exit
  return *t;
}

class Thread final : public Object {
 public:
  bool done = false;
  DWORD exit_code = STILL_ACTIVE;
  DWORD tid = 0;
  bool started = false;

  bool try_acquire_locked(std::uint64_t) override { return done; }
};

class Event final : public Object {
 public:
  Event(bool manual, bool initial) : manual_(manual), set_(initial) {}

  bool try_acquire_locked(std::uint64_t gen) override {
    if (set_) {
      if (!manual_) set_ = false;
      return true;
    }
    // A pulse releases waiters that were already waiting when it came.
    if (tickets_ > 0 && gen < pulses_) {
      --tickets_;
      return true;
    }
    return false;
  }
  std::uint64_t enter_wait_locked() override {
    ++waiting_;
    return pulses_;
  }
  void leave_wait_locked() override {
    --waiting_;
    if (waiting_ == 0) tickets_ = 0;
  }

  void modify_locked(DWORD func) {
    switch (func) {
      case EVENT_SET:
        set_ = true;
        break;
      case EVENT_RESET:
        set_ = false;
        break;
      case EVENT_PULSE:
        set_ = false;
        if (waiting_ > 0) {
          ++pulses_;
          tickets_ = manual_ ? waiting_ : 1;
        }
        break;
    }
  }

 private:
  bool manual_;
  bool set_;
  int waiting_ = 0;
  int tickets_ = 0;
  std::uint64_t pulses_ = 0;
};

}  // namespace

HANDLE add_handle(std::shared_ptr<Object> obj) {
  Table& t = table();
  std::lock_guard lock(t.mu);
  t.next += 4;
  auto h = reinterpret_cast<HANDLE>(t.next);
  t.objects.emplace(h, std::move(obj));
  return h;
}

std::shared_ptr<Object> find_handle(HANDLE h) {
  Table& t = table();
  std::lock_guard lock(t.mu);
  auto it = t.objects.find(h);
  return it == t.objects.end() ? nullptr : it->second;
}

bool remove_handle(HANDLE h) {
  std::shared_ptr<Object> keep;  // destroyed after the table lock is let go
  Table& t = table();
  std::lock_guard lock(t.mu);
  auto it = t.objects.find(h);
  if (it == t.objects.end()) return false;
  keep = std::move(it->second);
  t.objects.erase(it);
  return true;
}

}  // namespace vardel::core

using vardel::core::Event;
using vardel::core::find_handle;
using vardel::core::Object;
using vardel::core::Thread;

BOOL CloseHandle(HANDLE hObject) {
  if (vardel::core::remove_handle(hObject)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, DWORD, LPTHREAD_START_ROUTINE lpStartAddress,
                    LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (!lpStartAddress || dwCreationFlags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto obj = std::make_shared<Thread>();
  try {
    std::thread([obj, lpStartAddress, lpParameter] {
      {
        std::lock_guard lock(obj->mu);
        obj->tid = GetCurrentThreadId();
        obj->started = true;
      }
      obj->cv.notify_all();
      DWORD code = lpStartAddress(lpParameter);
      {
        std::lock_guard lock(obj->mu);
        obj->exit_code = code;
        obj->done = true;
      }
      obj->cv.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (lpThreadId) {
    // The caller gets the id at once, as on the phone.
    std::unique_lock lock(obj->mu);
    obj->cv.wait(lock, [&] { return obj->started; });
    *lpThreadId = obj->tid;
  }
  return vardel::core::add_handle(std::move(obj));
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  auto obj = std::dynamic_pointer_cast<Thread>(find_handle(hThread));
  if (!obj || !lpExitCode) {
    SetLastError(obj ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard lock(obj->mu);
  *lpExitCode = obj->done ? obj->exit_code : STILL_ACTIVE;
  return TRUE;
}

DWORD GetCurrentThreadId() {
  thread_local DWORD id = static_cast<DWORD>(::gettid());
  return id;
}

void Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  std::shared_ptr<Object> obj = find_handle(hHandle);
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::unique_lock lock(obj->mu);
  std::uint64_t gen = obj->enter_wait_locked();
  bool got;
  if (dwMilliseconds == INFINITE) {
    obj->cv.wait(lock, [&] { return obj->try_acquire_locked(gen); });
    got = true;
  } else {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    got = obj->cv.wait_until(lock, deadline, [&] { return obj->try_acquire_locked(gen); });
  }
  obj->leave_wait_locked();
  return got ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
  if (lpName) {
    // Named events are not offered: nothing in the program shares one.
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return vardel::core::add_handle(
      std::make_shared<Event>(bManualReset != FALSE, bInitialState != FALSE));
}

BOOL EventModify(HANDLE hEvent, DWORD func) {
  auto obj = std::dynamic_pointer_cast<Event>(find_handle(hEvent));
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (func != EVENT_SET && func != EVENT_RESET && func != EVENT_PULSE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  {
    std::lock_guard lock(obj->mu);
    obj->modify_locked(func);
  }
  obj->cv.notify_all();
  return TRUE;
}

// Critical sections hold a std::recursive_mutex in their opaque storage.
static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION));

static std::recursive_mutex* cs_mutex(LPCRITICAL_SECTION cs) {
  return std::launder(reinterpret_cast<std::recursive_mutex*>(cs->opaque));
}

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  new (lpCriticalSection->opaque) std::recursive_mutex;
}
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  cs_mutex(lpCriticalSection)->lock();
}
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  return cs_mutex(lpCriticalSection)->try_lock() ? TRUE : FALSE;
}
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  cs_mutex(lpCriticalSection)->unlock();
}
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  cs_mutex(lpCriticalSection)->~recursive_mutex();
}
