// Collation maps: identity in byte order, collation order for a locale, one cache entry per
// locale even when threads race to build it.
#include "db/storage/locale/collation_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "db/storage/locale/locale_compare.h"
#include "tests/db/storage/engine_code.h"

namespace {

constexpr uint16_t kEnglishUs = 1033;

size_t PositionIn(const TCollationMap& map, char c) {
  return std::find(map.begin(), map.end(), static_cast<uint8_t>(c)) - map.begin();
}

TEST(CollationMap, ByteOrderIsIdentity) {
  for (uint16_t sort : {0, 1, 77}) {
    const TCollationMap map = CollationMap(0, sort);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(map[i], i);
  }
}

TEST(CollationMap, LocaleMapIsAPermutationInCollationOrder) {
  const TCollationMap map = CollationMap(kEnglishUs, 0);
  std::vector<bool> seen(256);
  for (uint8_t b : map) seen[b] = true;
  EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 256);
  for (int i = 1; i < 256; ++i) {
    EXPECT_LE(LocaleCompareChar(kEnglishUs, 0, map[i - 1], map[i]), 0) << i;
  }
  // Case-sensitive: a and A are neighbours but not equal; b follows both.
  EXPECT_EQ(PositionIn(map, 'a') + 1, PositionIn(map, 'A'));
  EXPECT_LT(PositionIn(map, 'A'), PositionIn(map, 'b'));
  EXPECT_LT(PositionIn(map, '-'), PositionIn(map, '0'));
  EXPECT_LT(PositionIn(map, '9'), PositionIn(map, 'a'));
  // Lone bytes 0x80-0xFF are no characters and end the order, in byte order; so the locale's
  // highest single byte is 0xFF.
  for (int i = 0; i < 128; ++i) EXPECT_EQ(map[128 + i], 0x80 + i);
}

TEST(CollationMap, MapsAreCachedOncePerLocale) {
  TLanguageCharMapsList& list = TLanguageCharMapsList::Instance();
  const TCollationMap first = CollationMap(1034, 0);
  const size_t count = list.Count();
  EXPECT_EQ(CollationMap(1034, 0), first);
  EXPECT_EQ(list.Count(), count);
  CollationMap(1049, 0);
  EXPECT_EQ(list.Count(), count + 1);
  CollationMap(0, 3);
  EXPECT_EQ(list.Count(), count + 1);
}

TEST(CollationMap, UnknownLocaleRaisesAndCachesNothing) {
  const size_t count = TLanguageCharMapsList::Instance().Count();
  EXPECT_EQ(EngineCodeOf([] { CollationMap(kEnglishUs, 1); }), VUZODE_CANNOTLOADLDDRV);
  EXPECT_EQ(TLanguageCharMapsList::Instance().Count(), count);
}

TEST(CollationMap, ConcurrentFirstUseBuildsOneEntryWithOneAnswer) {
  const size_t count = TLanguageCharMapsList::Instance().Count();
  std::vector<TCollationMap> maps(8);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&maps, t] { maps[t] = CollationMap(1053, 0); });  // Swedish
  }
  for (auto& thread : threads) thread.join();
  for (const TCollationMap& map : maps) EXPECT_EQ(map, maps[0]);
  EXPECT_EQ(TLanguageCharMapsList::Instance().Count(), count + 1);
}

}  // namespace
