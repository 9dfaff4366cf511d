// TExpTokenStack and TExpToken: reuse of returned nodes, the capacity bound, reset, the value
// buffer's 256-byte steps, copying, release of whole trees and concurrent takers.
#include "db/sql/expressions/exp_token_stack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

namespace {

TEST(ExpTokenStack, ReturnedNodeIsReusedAndResetWithItsAllocations) {
  TExpTokenStack pool;
  TExpToken* node = pool.Take();
  node->Text = "a rather long text that does not fit a short string";
  node->SetString("value");
  node->Args.push_back(node);
  node->Estimate = 5;
  node->NodeClass = kNodeConstant;
  size_t text_capacity = node->Text.capacity();
  TExpToken* address = node;
  pool.Return(node);
  EXPECT_EQ(node, nullptr);
  TExpToken* again = pool.Take();
  EXPECT_EQ(again, address);
  EXPECT_TRUE(again->Text.empty());
  EXPECT_EQ(again->Text.capacity(), text_capacity) << "a reused node allocates nothing";
  EXPECT_TRUE(again->Args.empty());
  EXPECT_EQ(again->Estimate, -1);
  EXPECT_EQ(again->Cost, -1);
  EXPECT_EQ(again->NodeClass, 0);
  EXPECT_EQ(again->ValueSize(), 0);
  EXPECT_EQ(again->Value()[0], 0) << "the old value is gone";
  pool.Return(again);
  TExpToken* none = nullptr;
  pool.Return(none);
  EXPECT_EQ(pool.PooledCount(), 1u);
}

TEST(ExpTokenStack, KeepsAtMostItsCapacity) {
  TExpTokenStack pool;
  std::vector<TExpToken*> nodes;
  for (int i = 0; i < 300; ++i) nodes.push_back(pool.Take());
  for (TExpToken*& node : nodes) pool.Return(node);
  EXPECT_EQ(pool.PooledCount(), TExpTokenStack::kCapacity);
}

TEST(ExpToken, ValueBufferGrowsIn256ByteStepsZeroedAndShrinksOnlyAtReset) {
  TExpTokenStack pool;
  TExpToken* node = pool.Take();
  EXPECT_EQ(node->ValueCapacity(), 256);
  node->SetValueSize(256);
  EXPECT_EQ(node->ValueCapacity(), 256);
  node->Value()[255] = 7;
  node->SetValueSize(257);
  EXPECT_EQ(node->ValueCapacity(), 512);
  EXPECT_EQ(node->Value()[255], 7) << "growth keeps the bytes";
  EXPECT_EQ(node->Value()[511], 0) << "growth zeroes the new bytes";
  node->SetValueSize(3);
  EXPECT_EQ(node->ValueCapacity(), 512);
  node->Reset();
  EXPECT_EQ(node->ValueCapacity(), 256) << "a pooled node does not keep a large value";
  pool.Return(node);
}

TEST(ExpToken, CopySharesArgumentsAndCopiesTheValue) {
  TExpTokenStack pool;
  TExpToken* source = pool.Take();
  TExpToken* arg = pool.Take();
  source->Args.push_back(arg);
  source->SetLargeInt(1LL << 40);
  source->ColumnName = "c";
  TExpToken* copy = pool.Take();
  copy->CopyFrom(*source);
  EXPECT_EQ(copy->Args.size(), 1u);
  EXPECT_EQ(copy->Args[0], arg);
  EXPECT_EQ(copy->LargeIntValue(), 1LL << 40);
  EXPECT_EQ(copy->ValueType, 18);
  EXPECT_EQ(copy->ColumnName, "c");
  pool.Return(copy);  // the copy shares arg: return it alone
  ReleaseExpTree(pool, source);
  EXPECT_EQ(pool.PooledCount(), 3u);
}

TEST(ExpTokenStack, ReleaseOfAVeryHighTreeDoesNotRecurse) {
  TExpTokenStack pool;
  TExpToken* root = pool.Take();
  TExpToken* tail = root;
  for (int i = 0; i < 200'000; ++i) {
    TExpToken* next = new TExpToken();
    (i % 2 ? tail->Left : tail->Right) = next;
    tail = next;
  }
  ReleaseExpTree(pool, root);
  EXPECT_EQ(root, nullptr);
  EXPECT_EQ(pool.PooledCount(), TExpTokenStack::kCapacity);
}

TEST(ExpTokenStack, ConcurrentTakersNeverShareANode) {
  TExpTokenStack pool;
  std::atomic<bool> shared{false};
  std::vector<std::thread> threads;
  std::vector<std::set<TExpToken*>> seen(8);
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 2000; ++round) {
        TExpToken* nodes[8];
        for (TExpToken*& node : nodes) {
          node = pool.Take();
          if (node->OrderMark != 0) shared = true;
          node->OrderMark = t + 1;
        }
        for (TExpToken*& node : nodes) {
          if (node->OrderMark != t + 1) shared = true;
          pool.Return(node);
        }
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(shared);
  EXPECT_LE(pool.PooledCount(), TExpTokenStack::kCapacity);
}

}  // namespace
