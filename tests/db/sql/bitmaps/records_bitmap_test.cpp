// TRecordsBitmap checked against a plain model (one bool per record), with randomized operation
// sequences over sizes on both sides of the 32- and 64-bit word edges and run-shaped contents, so
// that the whole-word skips in Count, Rank, Next and Prior are taken as well as the bit-by-bit
// path.
#include "db/sql/bitmaps/records_bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// model[r] for r in 1 .. size says whether record r is a member; model[0] is unused.
using Model = std::vector<bool>;

uint32_t ModelSize(const Model& model) {
  return static_cast<uint32_t>(model.size() - 1);
}

void ModelResize(Model& model, uint32_t size) {
  model.resize(size + 1, false);
}

// Fills the bitmap and its model with runs of all-set, all-clear and mixed records, so that
// whole words of ones and zeros occur.
void FillRuns(TRecordsBitmap& bitmap, Model& model, std::mt19937& random) {
  uint32_t size = ModelSize(model);
  uint32_t record = 1;
  while (record <= size) {
    uint32_t length = std::uniform_int_distribution<uint32_t>(1, 200)(random);
    int kind = std::uniform_int_distribution<int>(0, 2)(random);
    for (uint32_t i = 0; i < length && record <= size; ++i, ++record) {
      bool member = kind == 0 || (kind == 2 && random() % 2 == 0);
      model[record] = member;
      if (member) {
        bitmap.Set(record);
      } else {
        bitmap.Clear(record);
      }
    }
  }
}

// Compares everything observable: membership, the 32-bit word view, Count, Rank at every
// record, and Next and Prior from every position with 1 step and with a random step count.
void ExpectMatches(const TRecordsBitmap& bitmap, const Model& model, std::mt19937& random) {
  uint32_t size = ModelSize(model);
  ASSERT_EQ(bitmap.BitCount(), size);
  ASSERT_EQ(bitmap.WordCount(), (size + 31) / 32);
  std::vector<uint32_t> members;
  for (uint32_t r = 1; r <= size; ++r) {
    if (model[r]) members.push_back(r);
  }
  for (uint32_t r = 0; r <= size + 2; ++r) {
    ASSERT_EQ(bitmap.Test(r), r >= 1 && r <= size && model[r]) << "record " << r;
    uint32_t rank = static_cast<uint32_t>(std::lower_bound(members.begin(), members.end(), r) -
                                          members.begin());
    ASSERT_EQ(bitmap.Rank(r), rank) << "record " << r;
  }
  for (uint32_t w = 0; w < bitmap.WordCount(); ++w) {
    uint32_t expected = 0;
    for (uint32_t k = 0; k < 32; ++k) {
      uint32_t r = w * 32 + k + 1;
      if (r <= size && model[r]) expected |= uint32_t{1} << k;
    }
    ASSERT_EQ(bitmap.Word(w), expected) << "word " << w;
  }
  ASSERT_EQ(bitmap.Count(), members.size());
  uint32_t random_steps = std::uniform_int_distribution<uint32_t>(1, 300)(random);
  for (uint32_t start = 0; start <= size + 1; ++start) {
    for (uint32_t steps : {1u, random_steps}) {
      // Forward: members after start.
      auto after = std::upper_bound(members.begin(), members.end(), start);
      uint32_t available = static_cast<uint32_t>(members.end() - after);
      uint32_t made = std::min(steps, available);
      uint32_t position = start;
      int64_t counter = 1000;
      TBitmapWalk walk = bitmap.Next(position, steps, counter);
      ASSERT_EQ(walk.made, made) << "next from " << start << " by " << steps;
      ASSERT_EQ(walk.complete, made == steps);
      ASSERT_EQ(position, made == 0 ? start : *(after + made - 1));
      ASSERT_EQ(counter, 1000 + made);
      // Backward: members before start.
      auto before = std::lower_bound(members.begin(), members.end(), start);
      available = static_cast<uint32_t>(before - members.begin());
      made = std::min(steps, available);
      position = start;
      counter = 1000;
      walk = bitmap.Prior(position, steps, counter);
      ASSERT_EQ(walk.made, made) << "prior from " << start << " by " << steps;
      ASSERT_EQ(walk.complete, made == steps);
      ASSERT_EQ(position, made == 0 ? start : *(before - made));
      ASSERT_EQ(counter, 1000 - static_cast<int64_t>(made));
    }
  }
}

TEST(RecordsBitmap, NewBitmapIsEmptyAndWalksNowhere) {
  TRecordsBitmap bitmap;
  EXPECT_EQ(bitmap.BitCount(), 0u);
  EXPECT_EQ(bitmap.WordCount(), 0u);
  EXPECT_EQ(bitmap.AllocatedBytes(), 0u);
  EXPECT_EQ(bitmap.Count(), 0u);
  EXPECT_EQ(bitmap.Rank(5), 0u);
  EXPECT_FALSE(bitmap.Test(1));
  bitmap.SetAll();
  bitmap.Not();
  EXPECT_EQ(bitmap.Count(), 0u);
  uint32_t position = 0;
  int64_t counter = 0;
  EXPECT_FALSE(bitmap.Next(position, 1, counter).complete);
  position = 7;
  EXPECT_FALSE(bitmap.Prior(position, 1, counter).complete);
  EXPECT_EQ(position, 7u);
  EXPECT_EQ(counter, 0);
}

TEST(RecordsBitmap, ThirtyThreeRecordsTakeTwoWordsAndNeverCountTheTail) {
  TRecordsBitmap bitmap;
  bitmap.SetSize(33);
  EXPECT_EQ(bitmap.RoundedBitCount(), 64u);
  EXPECT_EQ(bitmap.WordCount(), 2u);
  EXPECT_EQ(bitmap.AllocatedBytes(), 256u);
  bitmap.SetAll();
  EXPECT_EQ(bitmap.Count(), 33u);
  EXPECT_EQ(bitmap.Word(0), 0xFFFFFFFFu);
  EXPECT_EQ(bitmap.Word(1), 1u);
  bitmap.Not();
  EXPECT_EQ(bitmap.Count(), 0u);
  bitmap.Set(32);
  bitmap.Set(33);
  EXPECT_EQ(bitmap.Word(0), 0x80000000u);
  EXPECT_EQ(bitmap.Word(1), 1u);
  bitmap.Not();
  EXPECT_EQ(bitmap.Count(), 31u);
  EXPECT_EQ(bitmap.Rank(34), bitmap.Count());
}

TEST(RecordsBitmap, AllocationGrowsInWholeStepsAndNeverShrinks) {
  TRecordsBitmap bitmap;
  bitmap.SetSize(2049);  // 33 words of 64 bits: two 256-byte steps
  EXPECT_EQ(bitmap.AllocatedBytes(), 512u);
  bitmap.SetSize(10);
  EXPECT_EQ(bitmap.AllocatedBytes(), 512u);
  bitmap.SetSize(4096);
  EXPECT_EQ(bitmap.AllocatedBytes(), 512u);
  // Growing one record at a time stays cheap: far fewer reallocations than 256-byte steps.
  size_t changes = 0;
  size_t last = bitmap.AllocatedBytes();
  for (uint32_t n = 4097; n <= 1'000'000; ++n) {
    bitmap.Set(n);
    if (bitmap.AllocatedBytes() != last) ++changes, last = bitmap.AllocatedBytes();
  }
  EXPECT_EQ(bitmap.Count(), 1'000'000u - 4096u);
  EXPECT_LT(changes, 30u);
}

TEST(RecordsBitmap, ShrinkingThenGrowingLeavesNewRecordsClear) {
  TRecordsBitmap bitmap;
  bitmap.SetSize(300);
  bitmap.SetAll();
  bitmap.SetSize(70);
  bitmap.SetSize(300);
  EXPECT_EQ(bitmap.Count(), 70u);
  EXPECT_FALSE(bitmap.Test(71));
  bitmap.SetSize(65);
  bitmap.Not();
  bitmap.SetSize(300);
  EXPECT_EQ(bitmap.Count(), 0u);
}

TEST(RecordsBitmap, RecordsOutsideTheSizeAreNeverMembersAndSetGrows) {
  TRecordsBitmap bitmap;
  bitmap.SetSize(8192);
  bitmap.Set(0);
  EXPECT_EQ(bitmap.Count(), 0u);
  EXPECT_FALSE(bitmap.Test(0));
  EXPECT_FALSE(bitmap.Test(8193));
  bitmap.Clear(9000);
  EXPECT_EQ(bitmap.BitCount(), 8192u);
  bitmap.Set(10000);  // a record lock beyond the first capacity
  EXPECT_EQ(bitmap.BitCount(), 10000u);
  EXPECT_TRUE(bitmap.Test(10000));
  EXPECT_EQ(bitmap.Count(), 1u);
  EXPECT_EQ(bitmap.Rank(UINT32_MAX), 1u);
  uint32_t position = UINT32_MAX;
  int64_t counter = 1;
  TBitmapWalk walk = bitmap.Prior(position, 5, counter);
  EXPECT_EQ(walk.made, 1u);
  EXPECT_EQ(position, 10000u);
  position = UINT32_MAX;
  EXPECT_EQ(bitmap.Next(position, 1, counter).made, 0u);
  EXPECT_EQ(position, UINT32_MAX);
}

TEST(RecordsBitmap, CombiningWithShorterOrLongerBitmapsStaysWithinOwnSize) {
  TRecordsBitmap small, large;
  small.SetSize(40);
  small.SetAll();
  large.SetSize(200);
  large.SetAll();
  TRecordsBitmap result;
  result.CopyFrom(large);
  result.AndWith(small);  // records 41 .. 200 are absent from small
  EXPECT_EQ(result.BitCount(), 200u);
  EXPECT_EQ(result.Count(), 40u);
  result.CopyFrom(small);
  result.OrWith(large);  // large's records beyond 40 must not leak in
  EXPECT_EQ(result.BitCount(), 40u);
  EXPECT_EQ(result.Count(), 40u);
  result.SetSize(200);
  EXPECT_EQ(result.Count(), 40u);
  result.AndWith(result);
  result.OrWith(result);
  EXPECT_EQ(result.Count(), 40u);
  result.CopyFrom(result);
  EXPECT_EQ(result.Count(), 40u);
}

TEST(RecordsBitmap, RandomOperationsMatchModel) {
  std::mt19937 random(20240611);
  // 9000 and 20001 take Rank through its block directory (from 128 words on).
  const uint32_t sizes[] = {0, 1, 31, 32, 33, 63, 64, 65, 127, 128, 129, 1000, 4097, 9000, 20001};
  for (uint32_t initial : sizes) {
    SCOPED_TRACE(testing::Message() << "initial size " << initial);
    TRecordsBitmap bitmap;
    Model model;
    bitmap.SetSize(initial);
    ModelResize(model, initial);
    FillRuns(bitmap, model, random);
    for (int round = 0; round < 40; ++round) {
      int op = std::uniform_int_distribution<int>(0, 9)(random);
      uint32_t size = ModelSize(model);
      if (op <= 2) {  // AND, OR or copy with a bitmap of another or the same size
        uint32_t other_size = random() % 2 ? size : sizes[random() % std::size(sizes)];
        TRecordsBitmap other;
        Model other_model;
        other.SetSize(other_size);
        ModelResize(other_model, other_size);
        FillRuns(other, other_model, random);
        if (op == 0) {
          bitmap.AndWith(other);
          for (uint32_t r = 1; r <= size; ++r)
            model[r] = model[r] && r <= other_size && other_model[r];
        } else if (op == 1) {
          bitmap.OrWith(other);
          for (uint32_t r = 1; r <= size && r <= other_size; ++r)
            model[r] = model[r] || other_model[r];
        } else {
          bitmap.CopyFrom(other);
          model = other_model;
        }
      } else if (op == 3) {
        bitmap.Not();
        for (uint32_t r = 1; r <= size; ++r) model[r] = !model[r];
      } else if (op == 4) {
        bitmap.SetAll();
        std::fill(model.begin() + 1, model.end(), true);
      } else if (op == 5) {
        bitmap.ClearAll();
        std::fill(model.begin(), model.end(), false);
      } else if (op == 6) {
        uint32_t new_size = sizes[random() % std::size(sizes)] + random() % 3;
        bitmap.SetSize(new_size);
        ModelResize(model, new_size);
      } else if (op == 7) {
        FillRuns(bitmap, model, random);
      } else {  // single records, some beyond the size (Set grows); only sets or only clears
                // in some rounds, so each must make Rank's directory stale on its own
        const int mix = static_cast<int>(random() % 3);
        for (int i = 0; i < 20; ++i) {
          uint32_t r = static_cast<uint32_t>(random() % (size + 70));
          if (mix == 0 || (mix == 2 && random() % 2)) {
            bitmap.Set(r);
            if (r > size) ModelResize(model, size = r);
            if (r != 0) model[r] = true;
          } else {
            bitmap.Clear(r);
            if (r != 0 && r <= size) model[r] = false;
          }
        }
      }
      ASSERT_NO_FATAL_FAILURE(ExpectMatches(bitmap, model, random)) << "round " << round;
    }
  }
}

}  // namespace
