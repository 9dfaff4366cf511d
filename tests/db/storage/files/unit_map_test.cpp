// TUnitMap against a std::map model: random insertions, erasures and look-ups over a small key
// range (long probe runs, wrap-around at the table's end, erasures inside runs) and a large
// one (growth), then draining the map through ForEach.
#include "db/storage/files/unit_map.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

std::unique_ptr<TCacheEntry> EntryOf(uint32_t n) {
  auto entry = TCacheEntry::Make(1);
  entry->Number = n;
  return entry;
}

TEST(UnitMap, BehavesAsAMapUnderRandomChanges) {
  for (const uint32_t range : {40u, 5000u, 4000000000u}) {
    SCOPED_TRACE(range);
    std::mt19937 random(range);
    TUnitMap map;
    std::map<uint32_t, TCacheEntry*> model;
    for (int step = 0; step < 40000; ++step) {
      const uint32_t n = 1 + static_cast<uint32_t>(random() % range);
      switch (random() % 3) {
        case 0: {
          std::unique_ptr<TCacheEntry> entry = EntryOf(n);
          TCacheEntry* raw = entry.get();
          const bool fresh = model.count(n) == 0;
          ASSERT_EQ(map.Insert(n, entry), fresh);
          // A refused entry stays with the caller.
          ASSERT_EQ(entry == nullptr, fresh);
          if (fresh) model[n] = raw;
          break;
        }
        case 1: {
          std::unique_ptr<TCacheEntry> taken = map.Erase(n);
          const auto at = model.find(n);
          ASSERT_EQ(taken.get(), at == model.end() ? nullptr : at->second);
          if (at != model.end()) model.erase(at);
          break;
        }
        default:
          break;
      }
      // Every stored entry stays reachable after each change (the probe runs are intact).
      if (step % 997 == 0 || range == 40) {
        for (const auto& [number, entry] : model) ASSERT_EQ(map.Find(number), entry);
      }
      const auto at = model.find(n);
      ASSERT_EQ(map.Find(n), at == model.end() ? nullptr : at->second);
      ASSERT_EQ(map.Size(), model.size());
    }
    size_t seen = 0;
    map.ForEach([&](std::unique_ptr<TCacheEntry>& entry) {
      ASSERT_EQ(model.at(entry->Number), entry.get());
      ++seen;
    });
    EXPECT_EQ(seen, model.size());
    map.Clear();
    EXPECT_EQ(map.Size(), 0u);
    EXPECT_EQ(map.Find(model.empty() ? 1 : model.begin()->first), nullptr);
  }
}

}  // namespace
