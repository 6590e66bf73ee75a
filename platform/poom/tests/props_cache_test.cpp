// The connection's cache of loaded contacts: a contact that shares its set
// with more contacts than the set holds is dropped, the others stay; a
// contact is never answered with another one's properties.
#include <gtest/gtest.h>

#include <memory>

#include "platform/poom/props_cache.h"

namespace vardel::poom {
namespace {

SharedProps props_named(const char16_t* name) {
  auto m = std::make_shared<PropMap>();
  (*m)[1u].text = name;
  return m;
}

std::u16string name_in(PropsCache& cache, long oid) {
  const SharedProps* p = cache.find(oid);
  return p ? (*p)->find(1u)->second.text : u"(none)";
}

TEST(PropsCache, AFullSetDropsItsOldestAndOtherSetsKeepTheirs) {
  PropsCache cache;
  constexpr long kSets = static_cast<long>(PropsCache::kSets);
  const long first = 7;
  cache.put(first + 1, props_named(u"neighbour"));
  // One more contact than the set has ways, all with oids of one set.
  for (long i = 0; i <= static_cast<long>(PropsCache::kWays); ++i)
    cache.put(first + i * kSets, props_named(i == 0 ? u"oldest" : u"later"));
  EXPECT_EQ(cache.find(first), nullptr);
  for (long i = 1; i <= static_cast<long>(PropsCache::kWays); ++i)
    EXPECT_EQ(name_in(cache, first + i * kSets), u"later") << i;
  EXPECT_EQ(name_in(cache, first + 1), u"neighbour");

  // A contact cached again is replaced where it is, dropping nothing.
  cache.put(first + 2 * kSets, props_named(u"saved"));
  EXPECT_EQ(name_in(cache, first + 2 * kSets), u"saved");
  for (long i : {1L, 3L, 4L}) EXPECT_EQ(name_in(cache, first + i * kSets), u"later") << i;

  // Dropping a contact that is not cached leaves its set alone; dropping
  // one frees its slot for the next without pushing another out.
  cache.erase(first);
  for (long i = 1; i <= 4; ++i) EXPECT_NE(cache.find(first + i * kSets), nullptr) << i;
  cache.erase(first + 3 * kSets);
  EXPECT_EQ(cache.find(first + 3 * kSets), nullptr);
  cache.put(first + 9 * kSets, props_named(u"new"));
  for (long i : {1L, 2L, 4L, 9L}) EXPECT_NE(cache.find(first + i * kSets), nullptr) << i;

  cache.clear();
  EXPECT_EQ(cache.find(first + 1), nullptr);
  EXPECT_EQ(cache.find(first + 9 * kSets), nullptr);
}

}  // namespace
}  // namespace vardel::poom
