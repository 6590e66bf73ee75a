// The switchboard's countdown mode: the nth check of any name fails, once,
// and the loop that walks n up learns which call it failed and when a run
// made fewer calls than n (it ran clean).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/fault.h"

namespace {

TEST(FaultCountdown, FailsTheNthCheckOfAnyNameOnceAndNamesIt) {
  vardel::fault::Scope scope;
  vardel::fault::check("x.Before");  // made before arming: not counted towards n
  vardel::fault::arm_nth_call(3, E_OUTOFMEMORY);
  EXPECT_EQ(vardel::fault::failed_call(), "");
  std::vector<HRESULT> got;
  for (const char* name : {"x.A", "x.B", "x.C", "x.A", "x.C"})
    got.push_back(vardel::fault::check(name));
  EXPECT_EQ(got, (std::vector<HRESULT>{S_OK, S_OK, E_OUTOFMEMORY, S_OK, S_OK}));
  EXPECT_EQ(vardel::fault::failed_call(), "x.C");
  EXPECT_EQ(vardel::fault::total_uses(), 6u);
  EXPECT_EQ(vardel::fault::uses("x.C"), 2u);
}

TEST(FaultCountdown, NamedFaultsStillFireBesideTheCountdown) {
  vardel::fault::Scope scope;
  vardel::fault::arm("x.Named", E_ACCESSDENIED, 2);
  vardel::fault::arm_nth_call(1, E_FAIL);
  EXPECT_EQ(vardel::fault::check("x.Named"), E_FAIL);  // the countdown's
  EXPECT_EQ(vardel::fault::check("x.Named"), E_ACCESSDENIED);
  EXPECT_EQ(vardel::fault::check("x.Named"), S_OK);
}

// The loop a job's test runs: fail call 1, 2, ... until the job makes fewer
// calls than n. Every call of the pretend job is failed exactly once.
TEST(FaultCountdown, ALoopOverAJobReachesEveryCallAndEnds) {
  auto job = [] {
    int failures = 0;
    for (const char* name : {"j.Open", "j.Read", "j.Read", "j.Save"})
      if (FAILED(vardel::fault::check(name))) ++failures;
    return failures;
  };
  std::vector<std::string> failed;
  for (unsigned n = 1;; ++n) {
    vardel::fault::Scope scope;
    vardel::fault::arm_nth_call(n, E_FAIL);
    const int failures = job();
    if (vardel::fault::total_uses() < n) {
      EXPECT_EQ(failures, 0);
      break;
    }
    EXPECT_EQ(failures, 1);
    failed.push_back(vardel::fault::failed_call());
  }
  EXPECT_EQ(failed, (std::vector<std::string>{"j.Open", "j.Read", "j.Read", "j.Save"}));
}

TEST(FaultCountdown, ResetDisarmsIt) {
  vardel::fault::Scope scope;
  vardel::fault::arm_nth_call(1, E_FAIL);
  vardel::fault::reset();
  EXPECT_EQ(vardel::fault::check("x.A"), S_OK);
  EXPECT_EQ(vardel::fault::failed_call(), "");
}

}  // namespace
