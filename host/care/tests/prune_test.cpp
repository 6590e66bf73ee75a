// Which dated copies each keep rule keeps, over copies made on chosen days.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/care/prune.h"

namespace vardel::host::care {
namespace {

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(Prune, KnowsADatedCopyByItsNameOnly) {
  auto c = parse_dated_copy("通讯录261209_065656.xml");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->stem, "通讯录");
  EXPECT_EQ(std::make_tuple(c->year, c->month, c->day, c->hour, c->minute, c->second, c->sequence),
            std::make_tuple(2026, 12, 9, 6, 56, 56, 1));
  EXPECT_EQ(parse_dated_copy("短信260101_000000_3.xml")->sequence, 3);
  for (const char* other :
       {"通讯录.xml", "短信.xml", "MessageLogMsg.xsl", "SHA256SUMS", "通讯录261309_000000.xml",
        "通讯录260230_000000.xml", "通讯录261209_250000.xml", "通讯录261209_065656_1.xml",
        "通讯录261209_065656_x.xml", "通讯录261209_065656.xml.bak", "my通讯录261209_065656.xml",
        ".通讯录261209_065656.xml.tmp12-0"})
    EXPECT_FALSE(parse_dated_copy(other)) << other;
}

TEST(Prune, NumbersWeeksAsIso8601Does) {
  EXPECT_EQ(iso_week(2026, 1, 1), 202601);    // a Thursday
  EXPECT_EQ(iso_week(2021, 1, 3), 202053);    // a Sunday still in 2020's last week
  EXPECT_EQ(iso_week(2024, 12, 30), 202501);  // a Monday already in 2025's first
  EXPECT_EQ(iso_week(2026, 12, 28), 202653);
}

TEST(Prune, EachRuleKeepsTheNewestCopyOfItsPeriodsAndNothingElseGoesUntouched) {
  // Two copies on 9 Dec, one on 8 Dec, one each on 1 Dec, 30 Nov (same ISO
  // week as 1 Dec), 15 Nov and 15 Oct; the messages series apart.
  const std::vector<std::string> names = {"通讯录261209_200000.xml",
                                          "通讯录261209_080000.xml",
                                          "通讯录261208_080000.xml",
                                          "通讯录261201_080000.xml",
                                          "通讯录261130_080000.xml",
                                          "通讯录261115_080000.xml",
                                          "通讯录261015_080000.xml",
                                          "短信261209_080000.xml",
                                          "短信261001_080000.xml",
                                          "通讯录.xml",
                                          "短信.xml",
                                          "MessageLogContact.xsl",
                                          "SHA256SUMS",
                                          "notes.txt"};
  auto removed = [&](PruneRules r) { return sorted(plan_prune(names, r).remove); };

  PruneRules last;
  last.last = 2;
  EXPECT_EQ(removed(last),
            sorted({"通讯录261208_080000.xml", "通讯录261201_080000.xml", "通讯录261130_080000.xml",
                    "通讯录261115_080000.xml", "通讯录261015_080000.xml"}));

  PruneRules daily;
  daily.daily = 2;  // 9 Dec's newest and 8 Dec's
  EXPECT_EQ(removed(daily),
            sorted({"通讯录261209_080000.xml", "通讯录261201_080000.xml", "通讯录261130_080000.xml",
                    "通讯录261115_080000.xml", "通讯录261015_080000.xml"}));

  PruneRules weekly;
  weekly.weekly = 3;  // weeks of 9 Dec, of 1 Dec (30 Nov is older in it), of 15 Nov
  EXPECT_EQ(removed(weekly), sorted({"通讯录261209_080000.xml", "通讯录261208_080000.xml",
                                     "通讯录261130_080000.xml", "通讯录261015_080000.xml"}));

  PruneRules monthly;
  monthly.monthly = 12;  // December's newest, November's (30 Nov), October's
  EXPECT_EQ(removed(monthly), sorted({"通讯录261209_080000.xml", "通讯录261208_080000.xml",
                                      "通讯录261201_080000.xml", "通讯录261115_080000.xml"}));

  // Rules add up: a copy any rule keeps stays.
  PruneRules both;
  both.last = 1;
  both.monthly = 2;
  EXPECT_EQ(removed(both),
            sorted({"通讯录261209_080000.xml", "通讯录261208_080000.xml", "通讯录261201_080000.xml",
                    "通讯录261115_080000.xml", "通讯录261015_080000.xml"}));
  const PrunePlan plan = plan_prune(names, both);
  EXPECT_EQ(plan.keep.size() + plan.remove.size(), 9u);  // only dated copies are planned
}

}  // namespace
}  // namespace vardel::host::care
