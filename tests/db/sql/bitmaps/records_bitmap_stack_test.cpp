// TRecordsBitmapStack: reuse of returned bitmaps, the capacity bound, and exclusive hand-out
// under many threads taking and returning at once.
#include "db/sql/bitmaps/records_bitmap_stack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace {

TEST(RecordsBitmapStack, ReturnedBitmapIsReusedClearedWithItsSizeAndAllocation) {
  TRecordsBitmapStack stack;
  std::unique_ptr<TRecordsBitmap> first = stack.Take();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->BitCount(), 0u);
  first->SetSize(100'000);
  first->SetAll();
  size_t allocated = first->AllocatedBytes();
  TRecordsBitmap* address = first.get();
  stack.Return(first);
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(stack.PooledCount(), 1u);
  std::unique_ptr<TRecordsBitmap> again = stack.Take();
  EXPECT_EQ(again.get(), address);
  EXPECT_EQ(again->BitCount(), 100'000u);
  EXPECT_EQ(again->AllocatedBytes(), allocated);
  EXPECT_EQ(again->Count(), 0u);
  EXPECT_EQ(stack.PooledCount(), 0u);
  stack.Return(again);
}

TEST(RecordsBitmapStack, TakesTheLastReturnedAndIgnoresEmptyReturns) {
  TRecordsBitmapStack stack;
  std::unique_ptr<TRecordsBitmap> a = stack.Take(), b = stack.Take();
  TRecordsBitmap* b_address = b.get();
  stack.Return(a);
  stack.Return(b);
  std::unique_ptr<TRecordsBitmap> none;
  stack.Return(none);
  EXPECT_EQ(stack.PooledCount(), 2u);
  std::unique_ptr<TRecordsBitmap> taken = stack.Take();
  EXPECT_EQ(taken.get(), b_address);
  stack.Return(taken);
}

TEST(RecordsBitmapStack, HoldsAtMostCapacityAndFreesTheRest) {
  TRecordsBitmapStack stack;
  std::vector<std::unique_ptr<TRecordsBitmap>> taken;
  for (size_t i = 0; i < TRecordsBitmapStack::kCapacity + 6; ++i) taken.push_back(stack.Take());
  for (auto& bitmap : taken) {
    bitmap->SetSize(1000);  // freed surplus bitmaps must not leak (checked by the sanitizer run)
    stack.Return(bitmap);
    EXPECT_EQ(bitmap, nullptr);
  }
  EXPECT_EQ(stack.PooledCount(), TRecordsBitmapStack::kCapacity);
}

// Each thread marks the bitmaps it holds with its own pattern and checks the mark is intact
// before returning them: a bitmap handed to two holders at once, or returned uncleared, shows
// up as a foreign or stale bit.
TEST(RecordsBitmapStack, ThreadsNeverShareABitmapAndAlwaysGetItCleared) {
  TRecordsBitmapStack stack;
  constexpr int kThreads = 8;
  constexpr int kRounds = 3000;
  std::atomic<int> faults{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&stack, &faults, t] {
      for (int round = 0; round < kRounds; ++round) {
        // Hold one to three bitmaps at once so the pool both empties and fills.
        std::unique_ptr<TRecordsBitmap> held[3];
        int count = 1 + (round + t) % 3;
        for (int i = 0; i < count; ++i) {
          held[i] = stack.Take();
          if (held[i]->Count() != 0) faults++;
          held[i]->SetSize(64 * kThreads + 100 * (round % 5));
          held[i]->Set(static_cast<uint32_t>(t * 64 + i + 1));
        }
        std::this_thread::yield();
        for (int i = 0; i < count; ++i) {
          if (held[i]->Count() != 1 || !held[i]->Test(static_cast<uint32_t>(t * 64 + i + 1))) {
            faults++;
          }
          stack.Return(held[i]);
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(faults.load(), 0);
  EXPECT_LE(stack.PooledCount(), TRecordsBitmapStack::kCapacity);
  EXPECT_GE(stack.PooledCount(), 1u);
}

}  // namespace
