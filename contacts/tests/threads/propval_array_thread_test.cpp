// The property queue's array used from several threads at once: changes
// never lose or tear an element, readers see whole elements, and a caller
// holding the writers' lock keeps the array still across several reads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "contacts/PropValArray.h"

namespace {

const int kThreads = 4;
const int kPerThread = 500;

CEPROPVAL Prop(DWORD id) {
  CEPROPVAL p;
  std::memset(&p, 0, sizeof(p));
  p.propid = id;
  p.wLenData = (WORD)(id & 0xFFFF);
  p.val.ulVal = id * 3;
  return p;
}

TEST(PropValArrayThreadTest, ConcurrentAddsKeepEveryElementWhole) {
  CPropValArray a;
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};

  // A reader checks that every element it copies out is consistent.
  std::thread reader([&] {
    CEPROPVAL p;
    while (!done.load()) {
      int n = a.GetCount();
      for (int i = 0; i < n; i += 37) {
        a.GetAt(&p, i);
        if (p.wLenData != (WORD)(p.propid & 0xFFFF) || p.val.ulVal != p.propid * 3) torn++;
      }
      a.Find(Prop(1));
    }
  });

  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; t++) {
    writers.emplace_back([&a, t] {
      for (int i = 0; i < kPerThread; i++) a.Add(Prop((DWORD)(t * kPerThread + i + 1)));
    });
  }
  for (auto& w : writers) w.join();
  done = true;
  reader.join();

  EXPECT_EQ(torn.load(), 0);
  ASSERT_EQ(a.GetCount(), kThreads * kPerThread);
  EXPECT_EQ(a.m_nCapacity, kThreads * kPerThread);  // grown 10 at a time, no more
  std::set<DWORD> seen;
  CEPROPVAL p;
  for (int i = 0; i < a.GetCount(); i++) seen.insert(a.GetAt(&p, i)->propid);
  EXPECT_EQ(seen.size(), (size_t)(kThreads * kPerThread));
}

TEST(PropValArrayThreadTest, LockedWritersHoldOffChangesAcrossReads) {
  CPropValArray a;
  for (DWORD i = 1; i <= 5; i++) a.Add(Prop(i));

  a.LockWriters();
  std::atomic<bool> added{false};
  std::thread writer([&] {
    a.Add(Prop(6));
    a.RemoveAt(0);
    added = true;
  });
  // The writer waits; reads on this thread still work and stay stable.
  for (int round = 0; round < 50; round++) {
    EXPECT_EQ(a.GetCount(), 5);
    std::this_thread::yield();
  }
  EXPECT_FALSE(added.load());
  a.UnlockWriters();
  writer.join();
  EXPECT_TRUE(added.load());
  EXPECT_EQ(a.GetCount(), 5);
  CEPROPVAL p;
  EXPECT_EQ(a.GetAt(&p, 0)->propid, 2u);
  EXPECT_EQ(a.GetAt(&p, 4)->propid, 6u);
}

}  // namespace
