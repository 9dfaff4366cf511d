// TRangeLockTable against a list of held ranges: random acquisitions and releases by three
// owners on two files (touching, overlapping, nested and far ranges), then ReleaseAll.
#include "platform/os/range_lock_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <random>
#include <vector>

namespace {

struct THeld {
  int file;
  int64_t first, last;
  const void* owner;
};

TEST(RangeLockTable, AgreesWithAListOfHeldRanges) {
  platform::TRangeLockTable& table = platform::TRangeLockTable::Instance();
  std::unique_lock<std::mutex> hold(table.Mutex());
  // Identities no real file has, so other tests' locks cannot interfere.
  const platform::TFileIdentity files[2] = {{~dev_t{0}, 1}, {~dev_t{0}, 2}};
  const int owners[3] = {};
  std::vector<THeld> model;
  std::mt19937 random(7);
  for (int step = 0; step < 20000; ++step) {
    const int file = static_cast<int>(random() % 2);
    const void* owner = &owners[random() % 3];
    const int64_t first = static_cast<int64_t>(random() % 200);
    const int64_t last = first + static_cast<int64_t>(random() % (random() % 8 == 0 ? 60 : 4));
    if (random() % 3 != 0) {
      const bool free = std::none_of(model.begin(), model.end(), [&](const THeld& h) {
        return h.file == file && first <= h.last && h.first <= last;
      });
      ASSERT_EQ(table.Acquire(files[file], first, last, owner), free) << step;
      if (free) model.push_back({file, first, last, owner});
    } else {
      // Mostly a range that is held, with its owner or another one.
      THeld h{file, first, last, owner};
      if (!model.empty() && random() % 4 != 0) {
        h = model[random() % model.size()];
        if (random() % 5 == 0) h.owner = &owners[random() % 3];
      }
      const auto found = std::find_if(model.begin(), model.end(), [&](const THeld& m) {
        return m.file == h.file && m.first == h.first && m.last == h.last && m.owner == h.owner;
      });
      ASSERT_EQ(table.Release(files[h.file], h.first, h.last, h.owner), found != model.end());
      if (found != model.end()) model.erase(found);
    }
  }
  for (const int& owner : owners) table.ReleaseAll(&owner);
  hold.unlock();
  for (const platform::TFileIdentity& file : files) EXPECT_EQ(table.HeldCount(file), 0u);
}

}  // namespace
