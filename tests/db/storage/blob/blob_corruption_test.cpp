// Corrupt BLOB files: changed bytes, truncation, loops in value and free chains, impossible
// lengths. Every case must end in an engine error (VUZODE_MEMOCORRUPT unless the record and
// chain merely disagree on the revision), never in a crash, a hang, wrong bytes or a block
// handed to two values.
#include <gtest/gtest.h>

#include <set>

#include "db/storage/blob/blob_check.h"
#include "db/storage/blob/blob_file.h"
#include "db/storage/le_codec.h"
#include "tests/db/storage/blob/blob_test_util.h"

using namespace blob_test;

namespace {

constexpr size_t kNextAt = 4;
constexpr size_t kRevisionAt = 10;
constexpr size_t kTotalAt = 14;

// A closed file of block size 64 (46 data bytes): value a in blocks 1-3, value b in 4-5, and
// blocks 6-7 (of a freed value) on the free chain, 7 at its head.
struct TCorruptible {
  explicit TCorruptible(const std::string& name, bool encrypted = false) : f(name, 64, encrypted) {
    a = f.Save(Pattern(120, 1));
    b = f.Save(Pattern(60, 2));
    const TBlobReference c = f.Save(Pattern(50, 3));
    FreeChain(f.File(), c.FirstBlock, c.Revision, false);
    f.Close();
    image = ReadFileBytes(name);
  }
  // Patches the plain file image (the fixtures that patch are not encrypted).
  void Put(uint32_t block, size_t at, int32_t value) {
    std::vector<uint8_t> bytes = ReadFileBytes(f.Name());
    PutI32(bytes.data() + f.BlockOffset(block) + at, value);
    WriteFileBytes(f.Name(), bytes);
  }
  TBlobFixture f;
  TBlobReference a, b;
  std::vector<uint8_t> image;
};

TEST(BlobCorruption, EveryChangedHeaderByteOfAChainIsReported) {
  for (bool encrypted : {false, true}) {
    TCorruptible c("corrupt_each_byte.BLB", encrypted);
    for (uint32_t block = 1; block <= 3; ++block) {
      for (size_t at = 0; at < kBlockHeaderSize; ++at) {
        const size_t offset = c.f.BlockOffset(block) + at;
        WriteFileBytes(c.f.Name(), c.image);
        IncrementByte(c.f.Name(), offset);
        c.f.Open();
        const uint16_t code = EngineCodeOf([&] { c.f.Load(c.a); });
        const bool first_revision = block == 1 && at >= kRevisionAt && at < kRevisionAt + 4;
        EXPECT_EQ(code, first_revision ? VUZODE_KEYORRECDELETED : VUZODE_MEMOCORRUPT)
            << "block " << block << " byte " << at << (encrypted ? " encrypted" : "");
        // The other value is untouched and still reads.
        EXPECT_EQ(c.f.Load(c.b), Pattern(60, 2));
        c.f.File().Close();
      }
    }
  }
}

TEST(BlobCorruption, AnyChangedByteNeverCrashesOrReturnsWrongLengths) {
  TCorruptible c("corrupt_any_byte.BLB", true);
  for (size_t offset = 0; offset < c.image.size(); ++offset) {
    WriteFileBytes(c.f.Name(), c.image);
    IncrementByte(c.f.Name(), offset, 0x41);
    try {
      c.f.Open();
      std::vector<TBlobReference> refs = {c.a, c.b};
      for (const TBlobReference& r : refs) {
        try {
          EXPECT_EQ(c.f.Load(r).size(), r.FirstBlock == c.a.FirstBlock ? 120u : 60u);
        } catch (const EVUZODEEngineError& e) {
          EXPECT_TRUE(e.EngineCode() == VUZODE_MEMOCORRUPT ||
                      e.EngineCode() == VUZODE_KEYORRECDELETED)
              << offset;
        }
      }
      // Growing a value must never take a block another value holds.
      try {
        const TBlobReference grown = c.f.Save(Pattern(300, 9), c.b);
        const std::vector<uint32_t> mine =
            ChainBlocks(c.f.File(), grown.FirstBlock, grown.Revision);
        try {
          const std::vector<uint32_t> theirs =
              ChainBlocks(c.f.File(), c.a.FirstBlock, c.a.Revision);
          for (uint32_t n : mine) EXPECT_EQ(std::count(theirs.begin(), theirs.end(), n), 0);
        } catch (const EVUZODEEngineError&) {
          // a itself was the corrupted value.
        }
      } catch (const EVUZODEEngineError& e) {
        EXPECT_TRUE(e.EngineCode() == VUZODE_MEMOCORRUPT ||
                    e.EngineCode() == VUZODE_KEYORRECDELETED)
            << offset;
      }
    } catch (const EVUZODEEngineError& e) {
      EXPECT_TRUE(e.EngineCode() == VUZODE_OLDVERSION || e.EngineCode() == VUZODE_HEADERCORRUPT)
          << offset << " " << e.EngineCode();
    }
    c.f.File().Close();
  }
}

TEST(BlobCorruption, TruncatedFileReportsTheMissingBlocks) {
  TCorruptible c("truncated.BLB");
  // Cutting into block 7 (free) and 5 (the end of b): a still reads, b does not.
  for (size_t cut : {size_t{1}, size_t{63}, size_t{64 * 2 + 1}, size_t{64 * 3}}) {
    WriteFileBytes(c.f.Name(), c.image);
    ShrinkSize(c.f.Name(), cut);
    c.f.Open();
    EXPECT_EQ(c.f.Load(c.a), Pattern(120, 1)) << cut;
    const uint16_t code = EngineCodeOf([&] { c.f.Load(c.b); });
    EXPECT_EQ(code, cut > 64 ? VUZODE_MEMOCORRUPT : 0) << cut;
    // The free chain's head is gone: allocation reports it rather than a read error.
    EXPECT_EQ(EngineCodeOf([&] { c.f.File().AllocateBlock(); }), VUZODE_MEMOCORRUPT) << cut;
    c.f.File().Close();
  }
}

TEST(BlobCorruption, ChainsThatLoopOrLeaveTheFileAreReported) {
  TCorruptible c("loops.BLB");
  struct Case {
    uint32_t block;
    size_t at;
    int32_t value;
  };
  for (const Case& k :
       {Case{1, kNextAt, 1}, Case{2, kNextAt, 1}, Case{3, kNextAt, 3}, Case{2, kNextAt, 8},
        Case{2, kNextAt, -2}, Case{2, kNextAt, 0}, Case{1, kTotalAt, -5},
        Case{1, kTotalAt, 0x7FFFFFFF}, Case{1, kTotalAt, 46 * 7 + 1}, Case{3, kNextAt, 4}}) {
    WriteFileBytes(c.f.Name(), c.image);
    c.Put(k.block, k.at, k.value);
    c.f.Open();
    EXPECT_EQ(EngineCodeOf([&] { c.f.Load(c.a); }), VUZODE_MEMOCORRUPT)
        << k.block << "/" << k.at << "=" << k.value;
    // Saving and freeing check the old chain alike, and change nothing when it is corrupt.
    EXPECT_EQ(EngineCodeOf([&] { c.f.Save(Pattern(500, 5), c.a); }), VUZODE_MEMOCORRUPT);
    EXPECT_EQ(EngineCodeOf([&] { FreeChain(c.f.File(), c.a.FirstBlock, c.a.Revision, false); }),
              VUZODE_MEMOCORRUPT);
    EXPECT_FALSE(c.f.File().HeaderDirty());
    EXPECT_FALSE(c.f.File().FlushBlocks());
    c.f.File().Close();
  }
  // Repair mode overwrites revisions but still stops at a loop.
  WriteFileBytes(c.f.Name(), c.image);
  c.Put(3, kNextAt, 2);
  c.f.Open();
  EXPECT_EQ(EngineCodeOf([&] { FreeChain(c.f.File(), c.a.FirstBlock, 77, true); }),
            VUZODE_MEMOCORRUPT);
  c.f.File().Close();
}

TEST(BlobCorruption, RepairModeFreesAChainOfForeignRevisions) {
  TCorruptible c("repair.BLB");
  c.f.Open();
  EXPECT_EQ(EngineCodeOf([&] { FreeChain(c.f.File(), c.a.FirstBlock, 77, false); }),
            VUZODE_MEMOCORRUPT);
  FreeChain(c.f.File(), c.a.FirstBlock, 77, true);
  EXPECT_TRUE(CheckBlobChains(c.f.File(), {c.b}).empty());
}

TEST(BlobCorruption, FreeChainThatLoopsOrEntersAValueIsNeverHandedOutTwice) {
  TCorruptible c("free_loop.BLB");
  // 7 -> 7.
  c.Put(7, kNextAt, 7);
  c.f.Open();
  EXPECT_EQ(EngineCodeOf([&] { c.f.File().AllocateBlock(); }), VUZODE_MEMOCORRUPT);
  c.f.File().Close();
  // 7 -> 6 -> 7.
  WriteFileBytes(c.f.Name(), c.image);
  c.Put(6, kNextAt, 7);
  c.f.Open();
  std::set<uint32_t> handed;
  const uint16_t code = EngineCodeOf([&] {
    for (int i = 0; i < 4; ++i)
      EXPECT_TRUE(handed.insert(c.f.File().AllocateBlock().Number()).second);
  });
  EXPECT_EQ(code, VUZODE_MEMOCORRUPT);
  c.f.File().Close();
  // 7 -> 6 -> 2 (inside value a, which was read).
  WriteFileBytes(c.f.Name(), c.image);
  c.Put(6, kNextAt, 2);
  c.f.Open();
  EXPECT_EQ(c.f.Load(c.a), Pattern(120, 1));
  // b grows by 3 blocks: 7 and 6 come off the free chain, then 2 is refused, and b is left whole
  // with 7 and 6 back on the free chain.
  EXPECT_EQ(EngineCodeOf([&] { c.f.Save(Pattern(200, 4), c.b); }), VUZODE_MEMOCORRUPT);
  EXPECT_EQ(c.f.Load(c.b), Pattern(60, 2));
  EXPECT_EQ(c.f.File().FirstFreeBlock(), 7);
  EXPECT_EQ(c.f.Load(c.a), Pattern(120, 1));
  c.f.File().Close();
  // A free link past the block count.
  WriteFileBytes(c.f.Name(), c.image);
  c.Put(7, kNextAt, 99);
  c.f.Open();
  EXPECT_EQ(EngineCodeOf([&] { c.f.File().AllocateBlock(); }), VUZODE_MEMOCORRUPT);
}

TEST(BlobCorruption, CheckFindsLeakedAndSharedBlocks) {
  TCorruptible c("check.BLB");
  c.f.Open();
  EXPECT_TRUE(CheckBlobChains(c.f.File(), {c.a, c.b}).empty());
  // Without b its blocks are in no chain; listing a twice puts its blocks in two chains.
  EXPECT_EQ(CheckBlobChains(c.f.File(), {c.a}).size(), 2u);
  EXPECT_EQ(CheckBlobChains(c.f.File(), {c.a, c.b, c.a}).size(), 3u);
  c.f.File().Close();
  c.Put(6, kNextAt, 2);
  c.f.Open();
  EXPECT_FALSE(CheckBlobChains(c.f.File(), {c.a, c.b}).empty());
}

}  // namespace

namespace {

TEST(BlobCorruption, LengthWithinAnInflatedBlockCountSizesNoBufferByItself) {
  TCorruptible c("inflated.BLB");
  std::vector<uint8_t> bytes = ReadFileBytes(c.f.Name());
  PutI32(bytes.data() + 13, 2000000001);  // the header claims 2e9 blocks
  WriteFileBytes(c.f.Name(), bytes);
  c.Put(1, kTotalAt, 0x7FFFFFF0);
  c.f.Open();
  EXPECT_EQ(EngineCodeOf([&] { c.f.Load(c.a); }), VUZODE_MEMOCORRUPT);
  EXPECT_EQ(c.f.Load(c.b), Pattern(60, 2));
}

}  // namespace
