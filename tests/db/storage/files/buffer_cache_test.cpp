// TBufferCache over a memory file: hits and misses, read-ahead, eviction order, dirty
// write-back in runs, growth inside a transaction, trimming, discarding, limits and corrupt
// numbers.
#include "db/storage/files/buffer_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/storage/files/file_handler.h"
#include "db/storage/files/file_list.h"

namespace {

template <class Action>
uint16_t CodeOf(Action&& action) {
  try {
    action();
  } catch (const EVUZODEEngineError& error) {
    return error.EngineCode();
  }
  return 0;
}

// An owner whose decisions the tests set, and which counts what the cache tells it.
class TTestOwner : public TCacheOwner {
 public:
  bool TransactionLockHeld() const override { return in_transaction; }
  bool BeforeMissRead() override {
    ++miss_checks;
    return !change_found;
  }
  bool AllowShortRead() const override { return allow_short; }
  void DecodeUnit(uint8_t* unit, uint32_t size) override {
    for (uint32_t i = 0; i < size; ++i) unit[i] ^= 0x5A;
  }
  void EncodeUnit(uint8_t* unit, uint32_t size) override { DecodeUnit(unit, size); }
  void HeaderChanged() override { ++header_changes; }

  bool in_transaction = false;
  bool change_found = false;
  bool allow_short = false;
  int miss_checks = 0;
  int header_changes = 0;
};

constexpr uint32_t kUnit = 16;

// Every case runs with the cache walking its entries to find the changed and pinned ones, and
// with it keeping a list and a count of them (as the record caches do).
class BufferCacheTest : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    name_ = "buffer-cache-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
    file_.SetInMemory(true);
    file_.SetFileName(name_);
    file_.CreateFile();
    // 20 units, unit n filled with the byte n (scrambled on disk as the owner does).
    std::string bytes;
    for (uint32_t n = 1; n <= 20; ++n) bytes += std::string(kUnit, static_cast<char>(n ^ 0x5A));
    file_.Seek(kFirstOffset);
    file_.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  }
  void TearDown() override {
    file_.Close();
    FileList().DeleteFile(name_, true);
  }

  TCacheLayout Layout(uint32_t capacity, uint32_t readAhead) const {
    TCacheLayout layout;
    layout.unit_size = kUnit;
    layout.first_unit_offset = kFirstOffset;
    layout.max_number = 1000;
    layout.capacity = capacity;
    layout.growth = 2;
    layout.probe = 2;
    layout.read_ahead = readAhead;
    layout.corrupt_code = VUZODE_FILECORRUPT;
    layout.pool_capacity = 4;
    layout.tracks_changes = GetParam();
    return layout;
  }
  // The byte unit n holds in the file (unscrambled).
  uint8_t OnDisk(uint32_t n) {
    uint8_t byte = 0;
    file_.Seek(kFirstOffset + int64_t{n - 1} * kUnit);
    file_.Read(&byte, 1, false);
    return byte ^ 0x5A;
  }
  uint8_t Use(TBufferCache& cache, uint32_t n, bool readAhead = false) {
    TCacheEntry* entry = cache.Fetch(n, readAhead);
    EXPECT_NE(entry, nullptr);
    if (entry == nullptr) return 0;
    EXPECT_EQ(entry->Number, n);
    const uint8_t byte = entry->Buffer[0];
    cache.Unpin(entry);
    return byte;
  }

  static constexpr int64_t kFirstOffset = 100;
  std::string name_;
  TFileHandler file_;
  TTestOwner owner_;
};

TEST_P(BufferCacheTest, MissesReadAndDecodeHitsDoNot) {
  TBufferCache cache(file_, owner_, Layout(4, 1));
  cache.SetNextNumber(21);
  EXPECT_EQ(Use(cache, 7), 7);
  EXPECT_EQ(Use(cache, 7), 7);
  EXPECT_EQ(Use(cache, 3), 3);
  EXPECT_EQ(Use(cache, 7), 7) << "found by the binary search after the probe";
  EXPECT_EQ(cache.Misses(), 2u);
  EXPECT_EQ(cache.Hits(), 2u);
  EXPECT_EQ(owner_.miss_checks, 2);
}

TEST_P(BufferCacheTest, ReadAheadFillsFollowingOrPrecedingUnitsUpToTheEnd) {
  TBufferCache cache(file_, owner_, Layout(8, 4));
  cache.SetNextNumber(21);
  EXPECT_EQ(Use(cache, 5, true), 5);
  EXPECT_EQ(cache.Count(), 4u);
  for (uint32_t n = 5; n <= 8; ++n) EXPECT_EQ(Use(cache, n), n);
  EXPECT_EQ(cache.Misses(), 1u);
  EXPECT_EQ(Use(cache, 19, true), 19);
  EXPECT_EQ(cache.Count(), 6u) << "only 19 and 20 exist";
  TCacheEntry* back = cache.Fetch(16, true, false);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Buffer[0], 16);
  cache.Unpin(back);
  EXPECT_EQ(Use(cache, 13), 13) << "backward read-ahead ends at the unit asked for";
  EXPECT_EQ(cache.Misses(), 3u);
}

TEST_P(BufferCacheTest, ACacheHoldingTheWholeFileReadsTheAlignedStretchAroundAMiss) {
  // Whole reads of 8 units: stretches 1-8, 9-16 and 17-20 (the end). Units already cached and
  // changed keep their bytes; a cache too small for the file reads one unit.
  for (const uint32_t capacity : {20u, 19u}) {
    SCOPED_TRACE(capacity);
    TCacheLayout layout = Layout(capacity, 1);
    layout.whole_read = 8;
    TBufferCache cache(file_, owner_, layout);
    cache.SetNextNumber(21);
    TCacheEntry* changed = cache.Fetch(12);
    changed->Buffer[0] = 99;
    cache.MarkDirty(changed);
    cache.Unpin(changed);
    EXPECT_EQ(Use(cache, 11), 11);
    EXPECT_EQ(Use(cache, 12), 99) << "a changed unit is newer than the file";
    EXPECT_EQ(Use(cache, 18), 18);
    const bool whole = capacity == 20;
    EXPECT_EQ(cache.Count(), whole ? 12u : 3u);
    for (uint32_t n : {9u, 16u, 17u, 20u}) EXPECT_EQ(Use(cache, n), n);
    EXPECT_EQ(cache.Misses(), whole ? 2u : 7u);
  }
}

TEST_P(BufferCacheTest, AFullCacheOfALargerFileReadsTheUnitsSharingAMissesStretchCold) {
  // A cache of 4 units, full: a miss on 11 brings 9-16 with it; the neighbours hit later, and,
  // put in at the tail, they go before the units in use when room is wanted.
  TCacheLayout layout = Layout(4, 1);
  layout.whole_read = 8;
  TBufferCache cache(file_, owner_, layout);
  cache.SetNextNumber(21);
  for (uint32_t n : {1u, 2u, 3u, 4u}) EXPECT_EQ(Use(cache, n), n);
  EXPECT_EQ(cache.Misses(), 4u);
  EXPECT_EQ(Use(cache, 11), 11);
  EXPECT_EQ(cache.Misses(), 5u);
  for (uint32_t n : {9u, 12u, 16u}) EXPECT_EQ(Use(cache, n), n);
  EXPECT_EQ(cache.Misses(), 5u);
  EXPECT_EQ(Use(cache, 11), 11);
  EXPECT_EQ(cache.Misses(), 5u) << "the unit missed on is kept as used";
}

TEST_P(BufferCacheTest, ReadsAroundAUnitLeaveOutUnitsNotYetWritten) {
  // The file holds units 1-20; 21-24 were added in the cache and are not written yet.
  for (const bool whole : {true, false}) {
    SCOPED_TRACE(whole);
    TCacheLayout layout = Layout(40, 8);
    layout.whole_read = whole ? 8 : 1;
    TBufferCache cache(file_, owner_, layout);
    cache.SetNextNumber(21);
    for (uint32_t n = 21; n <= 24; ++n) {
      TCacheEntry* added = cache.Fetch(n);
      added->Buffer[0] = static_cast<uint8_t>(n + 100);
      cache.MarkDirty(added);
      cache.Unpin(added);
    }
    EXPECT_EQ(Use(cache, 19, !whole), 19);
    EXPECT_EQ(Use(cache, 20), 20);
    for (uint32_t n = 21; n <= 24; ++n) EXPECT_EQ(Use(cache, n), n + 100);
  }
  // A unit the header counts but the file lacks is still a read error.
  TCacheLayout layout = Layout(40, 8);
  layout.whole_read = 8;
  TBufferCache cache(file_, owner_, layout);
  cache.SetNextNumber(25);
  EXPECT_EQ(CodeOf([&] { cache.Fetch(22); }), VUZODE_READERR);
  EXPECT_EQ(Use(cache, 18), 18);
}

TEST_P(BufferCacheTest, TheLeastRecentCleanUnpinnedEntryIsEvicted) {
  TBufferCache cache(file_, owner_, Layout(3, 1));
  cache.SetNextNumber(21);
  TCacheEntry* pinned = cache.Fetch(1);
  Use(cache, 2);
  Use(cache, 3);
  Use(cache, 2);
  Use(cache, 4);  // evicts 3: 1 is pinned, 2 was used after 3
  EXPECT_EQ(cache.Count(), 3u);
  const uint64_t misses = cache.Misses();
  Use(cache, 2);
  EXPECT_EQ(cache.Misses(), misses);
  Use(cache, 3);
  EXPECT_EQ(cache.Misses(), misses + 1);
  EXPECT_EQ(pinned->Number, 1u) << "a pinned entry stays";
  cache.Unpin(pinned);
  cache.Unpin(pinned);
  EXPECT_EQ(pinned->PinCount, 0) << "never below 0";
}

TEST_P(BufferCacheTest, DirtyEntriesAreWrittenInRunsOfConsecutiveUnitsAndEncoded) {
  TBufferCache cache(file_, owner_, Layout(8, 1));
  cache.SetNextNumber(21);
  for (uint32_t n : {2u, 3u, 4u, 9u}) {
    TCacheEntry* entry = cache.Fetch(n);
    std::fill(entry->Buffer.begin(), entry->Buffer.end(), static_cast<uint8_t>(100 + n));
    cache.MarkDirty(entry);
    cache.Unpin(entry);
  }
  TCacheEntry* held = cache.Fetch(6);
  held->Buffer[0] = 200;
  cache.MarkDirty(held);  // pinned: stays in memory
  EXPECT_TRUE(cache.Flush());
  EXPECT_EQ(cache.Writes(), 2u) << "2..4 in one write, 9 in another";
  EXPECT_EQ(OnDisk(3), 103);
  EXPECT_EQ(OnDisk(9), 109);
  EXPECT_EQ(OnDisk(6), 6);
  EXPECT_TRUE(held->Dirty);
  cache.Unpin(held);
  EXPECT_TRUE(cache.Flush());
  EXPECT_EQ(OnDisk(6), 200);
  EXPECT_FALSE(cache.Flush()) << "nothing dirty is left";
}

TEST_P(BufferCacheTest, AFullCacheFlushesOutsideATransactionAndGrowsInsideOne) {
  TBufferCache cache(file_, owner_, Layout(2, 1));
  cache.SetNextNumber(21);
  for (uint32_t n : {1u, 2u}) {
    TCacheEntry* entry = cache.Fetch(n);
    entry->Buffer[0] = static_cast<uint8_t>(50 + n);
    cache.MarkDirty(entry);
    cache.Unpin(entry);
  }
  owner_.in_transaction = true;
  EXPECT_EQ(Use(cache, 3), 3);
  EXPECT_EQ(cache.Capacity(), 4u);
  EXPECT_EQ(OnDisk(1), 1) << "no write during a transaction";
  owner_.in_transaction = false;
  cache.Trim(2);
  EXPECT_EQ(cache.Count(), 2u);
  EXPECT_EQ(cache.Capacity(), 2u);
  EXPECT_EQ(OnDisk(1), 1) << "the clean entry went first; nothing had to be written";
  cache.Trim(1);
  EXPECT_EQ(cache.Count(), 1u);
  EXPECT_EQ(OnDisk(1), 51) << "trimming flushed the dirty entries it had to drop";
  EXPECT_EQ(OnDisk(2), 52);
}

TEST_P(BufferCacheTest, TrimmingKeepsPinnedEntriesAndRaisesTheCapacityToThem) {
  TBufferCache cache(file_, owner_, Layout(4, 1));
  cache.SetNextNumber(21);
  TCacheEntry* a = cache.Fetch(1);
  TCacheEntry* b = cache.Fetch(2);
  TCacheEntry* c = cache.Fetch(3);
  cache.Trim(1);
  EXPECT_EQ(cache.Count(), 3u);
  EXPECT_EQ(cache.Capacity(), 3u);
  for (TCacheEntry* entry : {a, b, c}) cache.Unpin(entry);
}

TEST_P(BufferCacheTest, DiscardReturnsEntriesToThePoolWhichRecyclesThemCleared) {
  TBufferCache cache(file_, owner_, Layout(8, 1));
  cache.SetNextNumber(21);
  for (uint32_t n = 1; n <= 6; ++n) {
    TCacheEntry* entry = cache.Fetch(n);
    cache.MarkDirty(entry);
    cache.Unpin(entry);
  }
  cache.Discard();
  EXPECT_EQ(cache.Count(), 0u);
  EXPECT_EQ(cache.Pool().Count(), 4u) << "the pool keeps at most its capacity";
  EXPECT_EQ(OnDisk(1), 1) << "discarded changes are not written";
  TCacheEntry* entry = cache.Fetch(21);
  EXPECT_FALSE(entry->Dirty);
  EXPECT_EQ(std::vector<uint8_t>(entry->Buffer.begin(), entry->Buffer.end()),
            std::vector<uint8_t>(kUnit, 0));
  EXPECT_EQ(cache.Pool().Count(), 3u);
  cache.Unpin(entry);
}

TEST_P(BufferCacheTest, TheNextNumberAddsAUnitUntilTheLimits) {
  TCacheLayout layout = Layout(4, 1);
  layout.max_number = 22;
  TBufferCache cache(file_, owner_, layout);
  cache.SetNextNumber(21);
  TCacheEntry* entry = cache.Fetch(21);
  EXPECT_EQ(entry->Number, 21u);
  EXPECT_EQ(entry->PinCount, 1);
  EXPECT_EQ(cache.NextNumber(), 22u);
  EXPECT_EQ(owner_.header_changes, 1);
  cache.Unpin(entry);
  cache.Unpin(cache.Fetch(22));
  EXPECT_EQ(CodeOf([&] { cache.Fetch(23); }), VUZODE_TABLEFULL);

  TCacheLayout small = Layout(4, 1);
  small.max_file_size = kFirstOffset + 20 * kUnit;
  TBufferCache bounded(file_, owner_, small);
  bounded.SetNextNumber(21);
  EXPECT_EQ(CodeOf([&] { bounded.Fetch(21); }), VUZODE_TABLEFULL) << "the file would grow too big";
}

TEST_P(BufferCacheTest, ImpossibleNumbersAreCorruptNotCrashes) {
  TBufferCache cache(file_, owner_, Layout(4, 1));
  cache.SetNextNumber(21);
  EXPECT_EQ(CodeOf([&] { cache.Fetch(0); }), VUZODE_FILECORRUPT);
  EXPECT_EQ(CodeOf([&] { cache.Fetch(50); }), VUZODE_FILECORRUPT);
  TCacheLayout zero = Layout(4, 1);
  zero.unit_size = 0;
  zero.corrupt_code = VUZODE_MEMOCORRUPT;
  EXPECT_EQ(CodeOf([&] { TBufferCache broken(file_, owner_, zero); }), VUZODE_MEMOCORRUPT);
}

TEST_P(BufferCacheTest, AUnitMissingFromTheFileIsAReadErrorUnlessShortReadsAreAllowed) {
  TBufferCache cache(file_, owner_, Layout(4, 1));
  cache.SetNextNumber(30);  // the header claims more units than the file holds
  EXPECT_EQ(CodeOf([&] { cache.Fetch(25); }), VUZODE_READERR);
  owner_.allow_short = true;
  EXPECT_EQ(Use(cache, 25), 0x5A) << "zeros, decoded";
}

TEST_P(BufferCacheTest, AChangeFoundBeforeAMissEndsTheFetch) {
  TBufferCache cache(file_, owner_, Layout(4, 1));
  cache.SetNextNumber(21);
  owner_.change_found = true;
  EXPECT_EQ(cache.Fetch(5), nullptr);
  owner_.change_found = false;
  EXPECT_EQ(Use(cache, 5), 5);
}

// Walks in file order (read-ahead fetches) over more units than the cache holds, with a working
// set used between them and some of it changed: the walks must not push the working set out,
// every unit must read right, changed units keep their bytes until a flush writes them, and the
// cache stays within its capacity.
TEST_P(BufferCacheTest, WalksLargerThanTheCacheKeepTheWorkingSetAndLoseNoChange) {
  struct TCase {
    uint32_t capacity, read_ahead, units, hot, dirty;
  };
  const TCase cases[] = {{16, 1, 20, 0, 0},  {16, 4, 24, 4, 0},  {16, 4, 64, 4, 2},
                         {32, 1, 100, 8, 3}, {24, 8, 200, 6, 6}, {8, 3, 40, 2, 1}};
  std::string bytes;
  for (uint32_t n = 21; n <= 200; ++n) bytes += std::string(kUnit, static_cast<char>(n ^ 0x5A));
  file_.Seek(kFirstOffset + 20 * int64_t{kUnit});
  file_.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  for (const TCase& c : cases) {
    SCOPED_TRACE("capacity " + std::to_string(c.capacity) + ", units " + std::to_string(c.units));
    TBufferCache cache(file_, owner_, Layout(c.capacity, c.read_ahead));
    cache.SetNextNumber(c.units + 1);
    std::vector<uint32_t> hot;
    for (uint32_t i = 0; i < c.hot; ++i) hot.push_back(2 + i * (c.units / c.hot));
    auto useHot = [&] {
      for (uint32_t n : hot) Use(cache, n);
    };
    useHot();
    useHot();  // now marked as used
    for (uint32_t i = 0; i < c.dirty; ++i) {
      TCacheEntry* entry = cache.Fetch(hot[i]);
      entry->Buffer[1] = 0xEE;
      cache.MarkDirty(entry);
      cache.Unpin(entry);
    }
    uint64_t walkMisses = 0;
    for (int walk = 0; walk < 3; ++walk) {
      const uint64_t before = cache.Misses();
      for (uint32_t n = 1; n <= c.units; ++n) {
        TCacheEntry* entry = cache.Fetch(n, true);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->Buffer[0], static_cast<uint8_t>(n));
        const bool changed =
            std::find(hot.begin(), hot.begin() + c.dirty, n) != hot.begin() + c.dirty;
        EXPECT_EQ(entry->Buffer[1], changed ? 0xEE : static_cast<uint8_t>(n));
        cache.Unpin(entry);
      }
      walkMisses = cache.Misses() - before;
      EXPECT_LE(cache.Count(), c.capacity);
      const uint64_t misses = cache.Misses();
      useHot();
      EXPECT_EQ(cache.Misses(), misses) << "the working set stayed";
    }
    if (c.read_ahead == 1 && c.hot == 0) {
      // Only the units beyond the capacity, and the one or two the walk's own reads took
      // turns with, are read again.
      EXPECT_LE(walkMisses, c.units - c.capacity + 2);
    }
    EXPECT_EQ(cache.Flush(), c.dirty > 0);
    for (uint32_t i = 0; i < c.hot; ++i) {
      uint8_t second = 0;
      file_.Seek(kFirstOffset + int64_t{hot[i] - 1} * kUnit + 1);
      file_.Read(&second, 1, false);
      EXPECT_EQ(second ^ 0x5A, i < c.dirty ? 0xEE : hot[i]);
    }
    // Put the file back for the next case.
    for (uint32_t i = 0; i < c.dirty; ++i) {
      TCacheEntry* entry = cache.Fetch(hot[i]);
      entry->Buffer[1] = static_cast<uint8_t>(hot[i]);
      cache.MarkDirty(entry);
      cache.Unpin(entry);
    }
    cache.Flush();
  }
}

INSTANTIATE_TEST_SUITE_P(ChangesWalkedOrListed, BufferCacheTest, testing::Bool());

TEST(CacheLayouts, FollowTheSessionFigures) {
  const TCacheLayout records = RecordCacheLayout(100, 3);
  EXPECT_EQ(records.first_unit_offset, 127 + 768 * 3);
  EXPECT_EQ(records.capacity, 163u);
  EXPECT_EQ(records.read_ahead, 81u);
  EXPECT_EQ(RecordCacheLayout(20000, 1).read_ahead, 1u);
  EXPECT_EQ(RecordCacheLayout(20000, 1).capacity, 1u);
  EXPECT_EQ(RecordCacheLayout(1, 1).capacity, 8192u);
  EXPECT_EQ(PageCacheLayout().capacity, 2u);
  EXPECT_EQ(PageCacheLayout().first_unit_offset, 4096);
  EXPECT_EQ(BlockCacheLayout(512).capacity, 64u);
  EXPECT_EQ(BlockCacheLayout(512).read_ahead, 32u);
  EXPECT_EQ(BlockCacheLayout(512).first_unit_offset, 512);
}

}  // namespace
