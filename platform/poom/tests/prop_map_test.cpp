// A contact's properties stay in ascending tag order however they arrive,
// and each tag is held once: the store lists them in that order and looks
// them up by search.
#include <gtest/gtest.h>

#include <vector>

#include "platform/poom/props.h"

namespace vardel::poom {
namespace {

std::vector<CEPROPID> tags_of(const PropMap& m) {
  std::vector<CEPROPID> tags;
  for (const auto& [tag, value] : m) tags.push_back(tag);
  return tags;
}

TEST(PropMap, KeepsTagsInOrderOnceEachWhateverTheInsertionOrder) {
  PropMap m;
  m.emplace_hint(m.end(), 30u, PropValue{u"thirty", 0});
  m.emplace_hint(m.end(), 10u, PropValue{u"ten", 0});  // out of order despite the hint
  m[20u].text = u"twenty";
  m.emplace_hint(m.end(), 40u, PropValue{u"forty", 0});
  EXPECT_FALSE(m.emplace(10u, PropValue{u"again", 0}).second);  // kept, not replaced
  m[5u].filetime = 7;
  EXPECT_EQ(tags_of(m), (std::vector<CEPROPID>{5, 10, 20, 30, 40}));
  EXPECT_EQ(m.find(10u)->second.text, u"ten");
  EXPECT_EQ(m.find(5u)->second.filetime, 7);
  EXPECT_EQ(m.find(25u), m.end());
  EXPECT_EQ(m.count(40u), 1u);

  EXPECT_EQ(m.erase(20u), 1u);
  EXPECT_EQ(m.erase(20u), 0u);
  EXPECT_EQ(tags_of(m), (std::vector<CEPROPID>{5, 10, 30, 40}));
  EXPECT_EQ(m.find(30u)->second.text, u"thirty");

  // Many more than a contact's usual room, in reverse.
  PropMap big;
  for (CEPROPID t = 100; t > 0; --t) big[t].text = std::u16string(t % 9, u'x');
  ASSERT_EQ(big.size(), 100u);
  for (CEPROPID t = 1; t <= 100; ++t) EXPECT_EQ(big.find(t)->second.text.size(), t % 9);
  PropMap copy = big;
  EXPECT_EQ(copy, big);
  copy[50u].text = u"changed";
  EXPECT_FALSE(copy == big);
}

// Every size up to a few rounds of halving: each key is found, and each key
// between, before or after them is not, and lands in its place.
TEST(PropMap, FindsEveryKeyAndNoOtherAtEverySize) {
  for (CEPROPID n = 0; n <= 40; ++n) {
    PropMap m;
    for (CEPROPID i = 1; i <= n; ++i) m[2 * i].filetime = i;
    for (CEPROPID k = 0; k <= 2 * n + 1; ++k) {
      const bool held = k % 2 == 0 && k >= 2;
      ASSERT_EQ(m.count(k), held ? 1u : 0u) << n << " " << k;
      if (held) {
        EXPECT_EQ(m.find(k)->second.filetime, k / 2);
      }
    }
    PropMap odd = m;
    for (CEPROPID j = 0; j <= n; ++j) odd[2 * (n - j) + 1].filetime = -1;  // from the top down
    std::vector<CEPROPID> want;
    for (CEPROPID k = 1; k <= 2 * n + 1; ++k) want.push_back(k);
    EXPECT_EQ(tags_of(odd), want) << n;
  }
}

}  // namespace
}  // namespace vardel::poom
