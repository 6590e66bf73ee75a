// Thinning the dated copies of a backup folder by the rules backup users
// know: keep the last N copies, the newest copy of each of the last N days,
// ISO weeks and months that have one. A copy is kept when any rule keeps
// it. The contacts' and the messages' copies are two series, each thinned
// on its own.
//
// Only dated copies are ever removed: names "<stem>YYMMDD_HHMMSS.xml" or
// "<stem>YYMMDD_HHMMSS_N.xml" (N from 2, two saves within one second) with
// the stem 通讯录 or 短信. The current files, the stylesheets and any name
// not of that form are never touched. A copy's time is the one in its name.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vardel::host::care {

struct DatedCopy {
  std::string name;
  std::string stem;  // "通讯录" or "短信"
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int sequence = 1;  // the _N of a second save within one second
};

// The copy a name stands for, or nothing for any other name.
std::optional<DatedCopy> parse_dated_copy(std::string_view name);

struct PruneRules {
  int last = 0, daily = 0, weekly = 0, monthly = 0;
  bool any() const { return last > 0 || daily > 0 || weekly > 0 || monthly > 0; }
};

struct PrunePlan {
  std::vector<std::string> keep;    // dated copies kept, newest first per series
  std::vector<std::string> remove;  // dated copies to remove
};

// What the rules keep of the dated copies among names (other names are left
// out of the plan). No rule keeps nothing: callers refuse that first.
PrunePlan plan_prune(const std::vector<std::string>& names, const PruneRules& rules);

// The ISO 8601 week of a date, as year * 100 + week (2026-01-01 is 202601).
int iso_week(int year, int month, int day);

}  // namespace vardel::host::care
