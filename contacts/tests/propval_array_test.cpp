// The property queue's array: growth on the local heap, pinning and the
// changes it refuses, bounds, and byte-for-byte search.
#include <gtest/gtest.h>

#include <cstring>

#include "contacts/PropValArray.h"
#include "platform/core/fault.h"

namespace {

CEPROPVAL Prop(DWORD id, WORD len = 0) {
  CEPROPVAL p;
  std::memset(&p, 0, sizeof(p));
  p.propid = id;
  p.wLenData = len;
  return p;
}

std::vector<DWORD> Ids(CPropValArray& a) {
  std::vector<DWORD> ids;
  CEPROPVAL p;
  for (int i = 0; i < a.GetCount(); i++) ids.push_back(a.GetAt(&p, i)->propid);
  return ids;
}

bool IsZero(const CEPROPVAL& p) {
  CEPROPVAL zero;
  std::memset(&zero, 0, sizeof(zero));
  return std::memcmp(&p, &zero, sizeof(p)) == 0;
}

TEST(PropValArrayTest, GrowsTenAtATimeAndKeepsItsBuffer) {
  vardel::fault::Scope faults;
  CPropValArray a;
  EXPECT_EQ(a.m_pElements, nullptr);
  EXPECT_EQ(a.Add(Prop(1)), 1);
  EXPECT_EQ(a.m_nCapacity, 10);
  for (DWORD i = 2; i <= 10; i++) ASSERT_EQ(a.Add(Prop(i)), 1);
  EXPECT_EQ(a.m_nCapacity, 10);

  // The heap refuses the 11th element's room: nothing changes.
  vardel::fault::arm("core.LocalReAlloc", E_OUTOFMEMORY, 1, 2);
  EXPECT_EQ(a.Add(Prop(11)), 0);
  EXPECT_EQ(a.InsertAt(Prop(11), 0), 0);
  EXPECT_EQ(a.GetCount(), 10);
  EXPECT_EQ(a.m_nCapacity, 10);
  EXPECT_EQ(Ids(a), (std::vector<DWORD>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

  EXPECT_EQ(a.Add(Prop(11)), 1);
  EXPECT_EQ(a.m_nCapacity, 20);
  EXPECT_EQ(Ids(a).back(), 11u);
  EXPECT_EQ(a.RemoveAll(), 1);
  EXPECT_EQ(a.GetCount(), 0);
  EXPECT_NE(a.m_pElements, nullptr);
  EXPECT_EQ(a.m_nCapacity, 20);
}

TEST(PropValArrayTest, FirstBufferRefused) {
  vardel::fault::Scope faults;
  CPropValArray a;
  vardel::fault::arm("core.LocalAlloc", E_OUTOFMEMORY);
  EXPECT_EQ(a.Add(Prop(1)), 0);
  EXPECT_EQ(a.m_nCapacity, 0);
  EXPECT_EQ(a.GetCount(), 0);
  EXPECT_EQ(a.Add(Prop(1)), 1);
}

TEST(PropValArrayTest, PinnedArrayRefusesEveryChangeThatMovesElements) {
  CPropValArray a;
  for (DWORD i = 1; i <= 3; i++) a.Add(Prop(i));
  EXPECT_EQ(a.GetPtr(0), nullptr);
  EXPECT_EQ(a.FindLastPtr(Prop(1)), nullptr);

  EXPECT_EQ(a.Pin(), 1);
  EXPECT_EQ(a.Pin(), 1);
  CEPROPVAL* p0 = a.GetPtr(0);
  ASSERT_NE(p0, nullptr);
  EXPECT_EQ(a.Add(Prop(4)), 0);
  EXPECT_EQ(a.InsertAt(Prop(4), 0), 0);
  EXPECT_EQ(a.RemoveAt(0), 0);
  EXPECT_EQ(a.Remove(Prop(1)), 0);
  EXPECT_EQ(a.RemoveAll(), 0);
  EXPECT_EQ(a.Swap(0, 2), 0);
  EXPECT_EQ(Ids(a), (std::vector<DWORD>{1, 2, 3}));
  // Overwriting in place is allowed, and shows through the handed-out pointer.
  EXPECT_EQ(a.SetAt(Prop(9), 0), 1);
  EXPECT_EQ(p0->propid, 9u);
  EXPECT_EQ(a.GetPtr(3), nullptr);

  EXPECT_EQ(a.Unpin(), 0);  // still pinned once
  EXPECT_EQ(a.Add(Prop(4)), 0);
  EXPECT_EQ(a.Unpin(), 1);
  EXPECT_EQ(a.Unpin(), 1);  // never below zero
  EXPECT_EQ(a.GetPtr(0), nullptr);
  EXPECT_EQ(a.Add(Prop(4)), 1);
  EXPECT_EQ(a.Swap(0, 3), 1);
  EXPECT_EQ(Ids(a), (std::vector<DWORD>{4, 2, 3, 9}));
}

TEST(PropValArrayTest, IndexesOutsideTheArrayAreRefused) {
  CPropValArray a;
  CEPROPVAL out;
  std::memset(&out, 0xAB, sizeof(out));
  EXPECT_TRUE(IsZero(*a.GetAt(&out, 0)));
  EXPECT_EQ(a.GetAt(nullptr, 0), nullptr);
  EXPECT_EQ(a.InsertAt(Prop(1), 1), 0);
  EXPECT_EQ(a.InsertAt(Prop(1), 0), 1);  // at the count: appends
  EXPECT_EQ(a.InsertAt(Prop(3), 1), 1);
  EXPECT_EQ(a.InsertAt(Prop(2), 1), 1);
  EXPECT_EQ(a.InsertAt(Prop(4), -1), 0);
  EXPECT_EQ(a.InsertAt(Prop(4), 4), 0);
  EXPECT_EQ(Ids(a), (std::vector<DWORD>{1, 2, 3}));

  for (int bad : {-1, 3}) {
    std::memset(&out, 0xAB, sizeof(out));
    EXPECT_TRUE(IsZero(*a.GetAt(&out, bad))) << bad;
    EXPECT_EQ(a.SetAt(Prop(7), bad), 0);
    EXPECT_EQ(a.RemoveAt(bad), 0);
    EXPECT_EQ(a.Swap(0, bad), 0);
    EXPECT_EQ(a.Swap(bad, 0), 0);
  }
  EXPECT_EQ(a.RemoveAt(1), 1);
  EXPECT_EQ(Ids(a), (std::vector<DWORD>{1, 3}));
  EXPECT_EQ(a.RemoveAt(1), 1);
  EXPECT_EQ(a.RemoveAt(0), 1);
  EXPECT_EQ(a.GetCount(), 0);
}

int MatchLength(const CEPROPVAL* p, void* ctx) { return p->wLenData == *static_cast<WORD*>(ctx); }

TEST(PropValArrayTest, SearchComparesWholeElements) {
  CPropValArray a;
  EXPECT_EQ(a.Find(Prop(1)), -1);
  EXPECT_EQ(a.Remove(Prop(1)), 0);
  a.Add(Prop(1, 5));
  a.Add(Prop(2, 6));
  a.Add(Prop(1, 5));
  a.Add(Prop(1, 7));
  // Same tag, other length: a different element.
  EXPECT_EQ(a.Find(Prop(1, 7)), 3);
  EXPECT_EQ(a.Find(Prop(1, 5)), 0);
  EXPECT_EQ(a.Find(Prop(1)), -1);

  WORD len = 6;
  EXPECT_EQ(a.FindIf(MatchLength, &len), 1);
  len = 8;
  EXPECT_EQ(a.FindIf(MatchLength, &len), -1);
  EXPECT_EQ(a.FindIf(nullptr, &len), -1);

  a.Pin();
  EXPECT_EQ(a.FindLastPtr(Prop(1, 5)), a.GetPtr(2));
  EXPECT_EQ(a.FindLastPtr(Prop(3)), nullptr);
  a.Unpin();

  EXPECT_EQ(a.Remove(Prop(1, 5)), 1);
  EXPECT_EQ(Ids(a), (std::vector<DWORD>{2, 1, 1}));
  EXPECT_EQ(a.Find(Prop(1, 5)), 1);
}

}  // namespace
