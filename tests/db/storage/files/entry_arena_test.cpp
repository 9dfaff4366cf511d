// The entry arena against a model: objects of several sizes (cache entries, index pages, one
// too large for the arena) made and dropped in random order, from several threads at once,
// never overlap and keep their bytes; a slot given back is handed out again.
#include "db/storage/files/entry_arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

struct TObject {
  uint8_t* bytes;
  size_t size;
  uint8_t fill;
};

// One worker's random life of objects; returns the number of faults found.
int Churn(uint32_t seed, int steps) {
  const size_t sizes[] = {40, 104, 136, 4200, kLargestArenaObject + 1};
  std::mt19937 random(seed);
  std::vector<TObject> live;
  int faults = 0;
  auto check = [&](const TObject& o) {
    for (size_t i = 0; i < o.size; ++i) faults += o.bytes[i] != o.fill;
  };
  for (int step = 0; step < steps; ++step) {
    if (live.empty() || random() % 5 < 3) {
      const size_t size = sizes[random() % std::size(sizes)];
      auto* bytes = static_cast<uint8_t*>(AllocateArenaObject(size));
      faults += reinterpret_cast<uintptr_t>(bytes) % 16 != 0;
      const auto fill = static_cast<uint8_t>(random());
      std::memset(bytes, fill, size);
      live.push_back({bytes, size, fill});
    } else {
      const size_t at = random() % live.size();
      check(live[at]);
      FreeArenaObject(live[at].bytes, live[at].size);
      live[at] = live.back();
      live.pop_back();
    }
  }
  for (const TObject& o : live) {
    check(o);
    FreeArenaObject(o.bytes, o.size);
  }
  return faults;
}

TEST(EntryArena, ObjectsNeverOverlapAndKeepTheirBytesAcrossThreads) {
  // A fault shows as a changed byte: another object written over this one.
  EXPECT_EQ(Churn(1, 60000), 0);
  std::vector<std::thread> threads;
  std::vector<int> faults(4, 0);
  for (uint32_t t = 0; t < faults.size(); ++t) {
    threads.emplace_back([&faults, t] { faults[t] = Churn(100 + t, 20000); });
  }
  for (std::thread& t : threads) t.join();
  for (int f : faults) EXPECT_EQ(f, 0);
}

TEST(EntryArena, AGivenBackSlotIsReused) {
  // Many objects keep the size's chunk busy; one dropped and one made takes the same place.
  std::vector<void*> held;
  for (int i = 0; i < 100; ++i) held.push_back(AllocateArenaObject(72));
  void* dropped = held[50];
  FreeArenaObject(dropped, 72);
  void* again = AllocateArenaObject(72);
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_EQ(again, dropped);
#endif
  held[50] = again;
  for (void* p : held) FreeArenaObject(p, 72);
}

}  // namespace
