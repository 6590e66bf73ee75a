// Thinning dated copies (see prune.h).
#include "host/care/prune.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <tuple>

namespace vardel::host::care {

namespace {

constexpr std::string_view kStems[] = {"通讯录", "短信"};

// n digits at text[at], or -1.
int digits(std::string_view text, size_t at, size_t n) {
  if (at + n > text.size()) return -1;
  int v = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    v = v * 10 + (text[i] - '0');
  }
  return v;
}

bool valid_date(int y, int m, int d) {
  return std::chrono::year_month_day(std::chrono::year(y), std::chrono::month(m),
                                     std::chrono::day(d))
      .ok();
}

auto sort_key(const DatedCopy& c) {
  return std::make_tuple(c.year, c.month, c.day, c.hour, c.minute, c.second, c.sequence);
}

}  // namespace

std::optional<DatedCopy> parse_dated_copy(std::string_view name) {
  for (std::string_view stem : kStems) {
    if (name.substr(0, stem.size()) != stem) continue;
    std::string_view rest = name.substr(stem.size());
    // YYMMDD_HHMMSS, then optionally _N, then .xml
    if (rest.size() < 17 || rest[6] != '_' || rest.substr(rest.size() - 4) != ".xml") return {};
    DatedCopy c;
    c.name = std::string(name);
    c.stem = std::string(stem);
    const int yy = digits(rest, 0, 2);
    c.month = digits(rest, 2, 2);
    c.day = digits(rest, 4, 2);
    c.hour = digits(rest, 7, 2);
    c.minute = digits(rest, 9, 2);
    c.second = digits(rest, 11, 2);
    if (yy < 0 || c.month < 0 || c.day < 0 || c.hour < 0 || c.minute < 0 || c.second < 0) return {};
    c.year = 2000 + yy;
    if (!valid_date(c.year, c.month, c.day) || c.hour > 23 || c.minute > 59 || c.second > 60)
      return {};
    std::string_view tail = rest.substr(13, rest.size() - 17);
    if (!tail.empty()) {
      if (tail.size() < 2 || tail[0] != '_' || tail[1] == '0' || tail.size() > 4) return {};
      const int n = digits(tail, 1, tail.size() - 1);
      if (n < 2) return {};
      c.sequence = n;
    }
    return c;
  }
  return {};
}

int iso_week(int year, int month, int day) {
  using namespace std::chrono;
  const sys_days d{std::chrono::year(year) / std::chrono::month(month) / std::chrono::day(day)};
  const unsigned wd = weekday(d).iso_encoding();  // Monday 1 .. Sunday 7
  // The week belongs to the year its Thursday falls in.
  const sys_days thursday = d + days(4 - static_cast<int>(wd));
  const std::chrono::year y = year_month_day(thursday).year();
  const sys_days first{y / January / 1};
  const int week = static_cast<int>((thursday - first).count() / 7) + 1;
  return static_cast<int>(y) * 100 + week;
}

PrunePlan plan_prune(const std::vector<std::string>& names, const PruneRules& rules) {
  std::map<std::string, std::vector<DatedCopy>> series;
  for (const std::string& n : names)
    if (auto c = parse_dated_copy(n)) series[c->stem].push_back(std::move(*c));

  PrunePlan plan;
  for (auto& [stem, copies] : series) {
    std::sort(copies.begin(), copies.end(),
              [](const DatedCopy& a, const DatedCopy& b) { return sort_key(a) > sort_key(b); });
    std::set<std::string> kept;
    // Walking newest first, a period's first copy is its newest: keep it
    // while the rule still has periods to fill.
    auto keep_per_period = [&](int wanted, auto period_of) {
      std::set<int> periods;
      for (const DatedCopy& c : copies) {
        if (static_cast<int>(periods.size()) >= wanted) break;
        if (periods.insert(period_of(c)).second) kept.insert(c.name);
      }
    };
    for (int i = 0; i < rules.last && i < static_cast<int>(copies.size()); ++i)
      kept.insert(copies[i].name);
    keep_per_period(rules.daily,
                    [](const DatedCopy& c) { return c.year * 10000 + c.month * 100 + c.day; });
    keep_per_period(rules.weekly,
                    [](const DatedCopy& c) { return iso_week(c.year, c.month, c.day); });
    keep_per_period(rules.monthly, [](const DatedCopy& c) { return c.year * 100 + c.month; });
    for (const DatedCopy& c : copies)
      (kept.count(c.name) ? plan.keep : plan.remove).push_back(c.name);
  }
  return plan;
}

}  // namespace vardel::host::care
