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
// between, before or after them is not, and lands in its place. Once with
// small keys (all of one filter bit: every lookup searches), once with keys
// shaped like property tags (a bit each).
TEST(PropMap, FindsEveryKeyAndNoOtherAtEverySize) {
  for (CEPROPID shift : {0u, 16u}) {
    auto key = [shift](CEPROPID k) { return (k << shift) | (shift ? 31u : 0u); };
    for (CEPROPID n = 0; n <= 40; ++n) {
      PropMap m;
      for (CEPROPID i = 1; i <= n; ++i) m[key(2 * i)].filetime = i;
      for (CEPROPID k = 0; k <= 2 * n + 1; ++k) {
        const bool held = k % 2 == 0 && k >= 2;
        ASSERT_EQ(m.count(key(k)), held ? 1u : 0u) << shift << " " << n << " " << k;
        if (held) {
          EXPECT_EQ(m.find(key(k))->second.filetime, k / 2);
        }
      }
      PropMap odd = m;
      for (CEPROPID j = 0; j <= n; ++j) odd[key(2 * (n - j) + 1)].filetime = -1;  // top down
      std::vector<CEPROPID> want;
      for (CEPROPID k = 1; k <= 2 * n + 1; ++k) want.push_back(key(k));
      EXPECT_EQ(tags_of(odd), want) << shift << " " << n;
    }
  }
}

// Tags whose identifiers share a bit of the map's quick filter, or that
// differ only in type, are told apart, also after one of them is erased.
TEST(PropMap, TagsSharingAFilterBitAreToldApart) {
  PropMap m;
  m[0x0086001Fu].text = u"held";
  m[0x00C1001Fu].text = u"also held";
  for (CEPROPID absent : {0x0006001Fu, 0x0106001Fu, 0x00860040u, 0x0041001Fu, 0x0086001Eu})
    EXPECT_EQ(m.count(absent), 0u) << std::hex << absent;
  EXPECT_EQ(m.erase(0x0086001Fu), 1u);
  EXPECT_EQ(m.find(0x0086001Fu), m.end());
  EXPECT_EQ(m.find(0x00C1001Fu)->second.text, u"also held");
  PropMap same;
  same[0x00C1001Fu].text = u"also held";
  EXPECT_EQ(m, same);  // equal whatever each was filled with before
  m[0x0006001Fu].text = u"alias";
  EXPECT_EQ(m.find(0x0006001Fu)->second.text, u"alias");
  EXPECT_EQ(m.count(0x0086001Fu), 0u);
}

}  // namespace
}  // namespace vardel::poom
