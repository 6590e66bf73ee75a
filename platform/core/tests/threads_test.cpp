// Threads, events, waits, critical sections and interlocked counts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

#include "platform/core/windows.h"

namespace {

using Clock = std::chrono::steady_clock;

long elapsed_ms(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

struct Gate {
  HANDLE go;
  DWORD result;
};

DWORD wait_then_return(LPVOID p) {
  auto* g = static_cast<Gate*>(p);
  WaitForSingleObject(g->go, INFINITE);
  return g->result;
}

}  // namespace

TEST(Threads, ExitCodeIsStillActiveUntilTheFunctionReturns) {
  Gate gate{CreateEventW(nullptr, TRUE, FALSE, nullptr), 7};
  DWORD tid = 0;
  HANDLE h = CreateThread(nullptr, 0, wait_then_return, &gate, 0, &tid);
  ASSERT_NE(h, nullptr);
  EXPECT_NE(tid, 0u);
  EXPECT_NE(tid, GetCurrentThreadId());
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(h, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(h, 20), WAIT_TIMEOUT);

  SetEvent(gate.go);
  EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(h, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);  // an ended thread stays signalled
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_TRUE(CloseHandle(gate.go));

  // Closed and made-up handles are refused, not followed.
  EXPECT_FALSE(GetExitCodeThread(h, &code));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(h));
  int local = 0;
  EXPECT_FALSE(EventModify(&local, EVENT_SET));
  // A stale handle never reaches an object made after it was closed (the
  // new event may well sit where the old one did).
  HANDLE fresh = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  EXPECT_NE(fresh, gate.go);
  EXPECT_FALSE(SetEvent(gate.go));
  EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_TIMEOUT);
  CloseHandle(fresh);
}

TEST(Threads, HandlesClosedWhileInUseAreSafe) {
  // The thread keeps its own hold on the event it waits for, and on itself.
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE h = CreateThread(
      nullptr, 0,
      [](LPVOID p) -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(p), 5000); }, go, 0,
      nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(CloseHandle(h));
  SetEvent(go);
  EXPECT_TRUE(CloseHandle(go));
}

TEST(Events, AutoResetReleasesOneWaiterAndResets) {
  HANDLE ev = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(ev, nullptr);
  auto t0 = Clock::now();
  EXPECT_EQ(WaitForSingleObject(ev, 50), WAIT_TIMEOUT);
  EXPECT_GE(elapsed_ms(t0), 45);

  EXPECT_TRUE(EventModify(ev, EVENT_SET));
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);  // the wait took the signal

  // Two waiters, one set: exactly one goes.
  std::atomic<int> through{0};
  auto waiter = [](LPVOID p) -> DWORD {
    auto* pair = static_cast<std::pair<HANDLE, std::atomic<int>*>*>(p);
    if (WaitForSingleObject(pair->first, 300) == WAIT_OBJECT_0) ++*pair->second;
    return 0;
  };
  std::pair<HANDLE, std::atomic<int>*> arg{ev, &through};
  HANDLE a = CreateThread(nullptr, 0, waiter, &arg, 0, nullptr);
  HANDLE b = CreateThread(nullptr, 0, waiter, &arg, 0, nullptr);
  Sleep(30);
  SetEvent(ev);
  WaitForSingleObject(a, INFINITE);
  WaitForSingleObject(b, INFINITE);
  EXPECT_EQ(through.load(), 1);
  CloseHandle(a);
  CloseHandle(b);
  CloseHandle(ev);
}

TEST(Events, ManualResetStaysSetForEveryWaiterUntilReset) {
  HANDLE ev = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(EventModify(ev, EVENT_RESET));
  EXPECT_EQ(WaitForSingleObject(ev, 10), WAIT_TIMEOUT);

  std::vector<HANDLE> threads;
  std::atomic<int> through{0};
  std::pair<HANDLE, std::atomic<int>*> arg{ev, &through};
  for (int i = 0; i < 4; ++i) {
    threads.push_back(CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
          auto* pair = static_cast<std::pair<HANDLE, std::atomic<int>*>*>(p);
          if (WaitForSingleObject(pair->first, INFINITE) == WAIT_OBJECT_0) ++*pair->second;
          return 0;
        },
        &arg, 0, nullptr));
  }
  Sleep(20);
  EXPECT_EQ(through.load(), 0);
  SetEvent(ev);
  for (HANDLE t : threads) {
    EXPECT_EQ(WaitForSingleObject(t, 2000), WAIT_OBJECT_0);
    CloseHandle(t);
  }
  EXPECT_EQ(through.load(), 4);
  EXPECT_FALSE(EventModify(ev, 99));
  CloseHandle(ev);
}

TEST(Events, PulseReleasesOnlyThoseAlreadyWaiting) {
  HANDLE ev = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_TRUE(PulseEvent(ev));  // nobody waiting: nothing happens
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
  HANDLE t = CreateThread(
      nullptr, 0,
      [](LPVOID p) -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(p), 2000); }, ev, 0,
      nullptr);
  Sleep(50);
  PulseEvent(ev);
  ASSERT_EQ(WaitForSingleObject(t, 3000), WAIT_OBJECT_0);
  DWORD code;
  GetExitCodeThread(t, &code);
  EXPECT_EQ(code, WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
  CloseHandle(t);
  CloseHandle(ev);
}

TEST(CriticalSections, AreReentrantAndExclusive) {
  struct Shared {
    CRITICAL_SECTION cs;
    LONG plain = 0;  // guarded by cs only
    LONG volatile counted = 0;
  } s;
  InitializeCriticalSection(&s.cs);
  EnterCriticalSection(&s.cs);
  EnterCriticalSection(&s.cs);  // the owner may enter again
  LeaveCriticalSection(&s.cs);
  LeaveCriticalSection(&s.cs);

  auto work = [](LPVOID p) -> DWORD {
    auto* sh = static_cast<Shared*>(p);
    for (int i = 0; i < 20000; ++i) {
      EnterCriticalSection(&sh->cs);
      EnterCriticalSection(&sh->cs);
      ++sh->plain;
      LeaveCriticalSection(&sh->cs);
      LeaveCriticalSection(&sh->cs);
      InterlockedIncrement(&sh->counted);
    }
    return 0;
  };
  HANDLE t[3];
  for (HANDLE& h : t) h = CreateThread(nullptr, 0, work, &s, 0, nullptr);
  for (HANDLE h : t) {
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
  }
  EXPECT_EQ(s.plain, 60000);
  EXPECT_EQ(s.counted, 60000);
  EXPECT_EQ(InterlockedDecrement(&s.counted), 59999);
  DeleteCriticalSection(&s.cs);
}
