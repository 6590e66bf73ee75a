// The fault switchboard, the local heap and the kernel debug output.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/core/fault.h"
#include "platform/core/windows.h"

TEST(FaultSwitchboard, FailsExactlyTheArmedUses) {
  vardel::fault::Scope scope;
  EXPECT_EQ(vardel::fault::check("x.Call"), S_OK);
  vardel::fault::arm("x.Call", E_FAIL, 2, 2);          // uses 3 and 4 from now
  vardel::fault::arm("x.Call", E_ACCESSDENIED, 6, 0);  // every use from 7 on
  std::vector<HRESULT> got;
  for (int i = 0; i < 8; ++i) got.push_back(vardel::fault::check("x.Call"));
  EXPECT_EQ(got, (std::vector<HRESULT>{S_OK, E_FAIL, E_FAIL, S_OK, S_OK, E_ACCESSDENIED,
                                       E_ACCESSDENIED, E_ACCESSDENIED}));
  EXPECT_EQ(vardel::fault::uses("x.Call"), 9u);
  EXPECT_EQ(vardel::fault::check("x.Other"), S_OK);
  vardel::fault::reset();
  EXPECT_EQ(vardel::fault::check("x.Call"), S_OK);
  EXPECT_EQ(vardel::fault::uses("x.Call"), 1u);
}

TEST(FaultSwitchboard, CountsUsesAcrossThreads) {
  vardel::fault::Scope scope;
  vardel::fault::arm("x.Shared", E_FAIL, 500);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 250; ++i) failures += vardel::fault::check("x.Shared") == E_FAIL;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 1);
  EXPECT_EQ(vardel::fault::uses("x.Shared"), 1000u);
}

TEST(LocalHeap, AllocGrowShrinkAndFail) {
  auto* p = static_cast<BYTE*>(LocalAlloc(LPTR, 16));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], 0);
  EXPECT_EQ(LocalSize(p), 16u);
  p[15] = 0xAB;
  // A fixed block cannot move, so it cannot grow...
  EXPECT_EQ(LocalReAlloc(p, 4096, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  // ...but may shrink where it is.
  EXPECT_EQ(LocalReAlloc(p, 8, 0), p);
  auto* q = static_cast<BYTE*>(LocalReAlloc(p, 4096, LMEM_MOVEABLE | LMEM_ZEROINIT));
  ASSERT_NE(q, nullptr);
  for (int i = 8; i < 4096; ++i) ASSERT_EQ(q[i], 0) << i;
  EXPECT_EQ(LocalSize(q), 4096u);

  vardel::fault::Scope scope;
  vardel::fault::arm("core.LocalReAlloc", E_OUTOFMEMORY);
  EXPECT_EQ(LocalReAlloc(q, 8192, LMEM_MOVEABLE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OUTOFMEMORY));
  q[4095] = 1;  // the old block stays valid after a failed grow
  EXPECT_EQ(LocalFree(q), nullptr);

  vardel::fault::arm("core.LocalAlloc", E_OUTOFMEMORY, 2);
  HLOCAL a = LocalAlloc(LMEM_FIXED, 10);
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(LocalAlloc(LMEM_FIXED, 10), nullptr);
  LocalFree(a);
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

TEST(DebugOutput, SilentWhenOffAndWholeLinesWhenOn) {
  vardel::core::set_debug_output(false);
  testing::internal::CaptureStderr();
  NKDbgPrintfW(u"CXMLTextWriter::CreateNode()+++ %s\r\n", u"TEL/CELL");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  vardel::core::set_debug_output(true);
  testing::internal::CaptureStderr();
  NKDbgPrintfW(u"CXMLTextWriter::SavePhoneContactsToXML i = %d\r\n", 12);
  NKDbgPrintfW(u"%s\r\n", u"张三");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "CXMLTextWriter::SavePhoneContactsToXML i = 12\r\n张三\r\n");
  vardel::core::set_debug_output(false);
}
