// Round trips of BLOB values through the file: sizes around block boundaries, growing,
// shrinking, freeing and reusing blocks, revisions, encryption, close and reopen; the header
// and the block transfers.
#include "db/storage/blob/blob_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "db/storage/blob/blob_buffer.h"
#include "db/storage/blob/blob_chain.h"
#include "db/storage/blob/blob_check.h"
#include "db/storage/blob/blob_header.h"
#include "db/storage/le_codec.h"
#include "tests/db/storage/blob/blob_test_util.h"

using namespace blob_test;

namespace {

class BlobRoundTrip : public ::testing::TestWithParam<std::tuple<uint32_t, bool>> {};

TEST_P(BlobRoundTrip, ValuesAroundBlockBoundariesSurviveReopen) {
  const auto [block_size, encrypted] = GetParam();
  TBlobFixture f("round_trip_" + std::to_string(block_size) + (encrypted ? "_e.BLB" : ".BLB"),
                 block_size, encrypted);
  const size_t d = f.File().DataSize();
  const std::vector<size_t> sizes = {1, d - 1, d, d + 1, 2 * d - 1, 2 * d, 2 * d + 1, 17 * d + 3};
  std::vector<TBlobReference> refs;
  uint32_t blocks = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    refs.push_back(f.Save(Pattern(sizes[i], static_cast<uint32_t>(i))));
    blocks += static_cast<uint32_t>((sizes[i] + d - 1) / d);
    EXPECT_EQ(f.File().BlockCount(), blocks) << "size " << sizes[i];
  }
  f.Reopen();
  for (size_t i = 0; i < sizes.size(); ++i) {
    EXPECT_EQ(f.Load(refs[i]), Pattern(sizes[i], static_cast<uint32_t>(i))) << sizes[i];
  }
  EXPECT_TRUE(CheckBlobChains(f.File(), refs).empty());
}

INSTANTIATE_TEST_SUITE_P(SizesAndScrambling, BlobRoundTrip,
                         ::testing::Combine(::testing::Values(0u, 19u, 64u, 512u, 4096u),
                                            ::testing::Bool()));

TEST(BlobFile, DefaultBlockCarries494BytesPerBlock) {
  TBlobFixture f("default_block.BLB", 0, false);
  EXPECT_EQ(f.File().BlockSize(), 512u);
  f.Save(Pattern(494, 1));
  EXPECT_EQ(f.File().BlockCount(), 1u);
  f.Save(Pattern(495, 2));
  EXPECT_EQ(f.File().BlockCount(), 3u);
}

TEST(BlobFile, EncryptedFileHidesTheValueAndNeedsTheFlagToRead) {
  const std::vector<uint8_t> text(600, 'A');
  TBlobFixture plain("scramble_plain.BLB", 64, false);
  TBlobFixture secret("scramble_secret.BLB", 64, true);
  const TBlobReference p = plain.Save(text);
  const TBlobReference s = secret.Save(text);
  plain.Close();
  secret.Close();
  const std::vector<uint8_t> pb = ReadFileBytes(plain.Name());
  const std::vector<uint8_t> sb = ReadFileBytes(secret.Name());
  ASSERT_EQ(pb.size(), sb.size());
  EXPECT_NE(std::search(pb.begin(), pb.end(), text.begin(), text.begin() + 40), pb.end());
  EXPECT_EQ(std::search(sb.begin(), sb.end(), text.begin(), text.begin() + 40), sb.end());
  // The header is one unit: the version byte is scrambled too.
  EXPECT_EQ(pb[8], kBlobFormatVersion);
  EXPECT_NE(sb[8], kBlobFormatVersion);
  // Each block's data area starts its own key stream: blocks with equal plain data are equal.
  EXPECT_TRUE(
      std::equal(sb.begin() + 512 + 64 + 18, sb.begin() + 512 + 128, sb.begin() + 512 + 18));
  secret.Open();
  EXPECT_EQ(secret.Load(s), text);
  plain.Open();
  EXPECT_EQ(plain.Load(p), text);
}

TEST(BlobFile, ShrinkingReusesTheFirstBlocksAndFreesTheRest) {
  TBlobFixture f("shrink.BLB", 64, false);
  const uint32_t d = f.File().DataSize();
  TBlobReference v = f.Save(Pattern(4 * d, 1));
  const std::vector<uint32_t> before = ChainBlocks(f.File(), v.FirstBlock, v.Revision);
  v = f.Save(Pattern(d + 1, 2), v);
  const std::vector<uint32_t> after = ChainBlocks(f.File(), v.FirstBlock, v.Revision);
  EXPECT_EQ(after, std::vector<uint32_t>(before.begin(), before.begin() + 2));
  EXPECT_EQ(f.File().BlockCount(), 4u);
  // The surplus went onto the free chain in chain order: the last freed is the head.
  EXPECT_EQ(f.File().FirstFreeBlock(), static_cast<int32_t>(before[3]));
  EXPECT_TRUE(CheckBlobChains(f.File(), {v}).empty());
  f.Reopen();
  EXPECT_EQ(f.Load(v), Pattern(d + 1, 2));
  EXPECT_TRUE(CheckBlobChains(f.File(), {v}).empty());
}

TEST(BlobFile, GrowingTakesFreeBlocksBeforeNewOnes) {
  TBlobFixture f("grow.BLB", 64, true);
  const uint32_t d = f.File().DataSize();
  const TBlobReference a = f.Save(Pattern(3 * d, 1));
  TBlobReference b = f.Save(Pattern(d, 2));
  FreeChain(f.File(), a.FirstBlock, a.Revision, false);
  b = f.Save(Pattern(5 * d, 3), b);
  EXPECT_EQ(f.File().BlockCount(), 5u);  // its own, the 3 freed, then 1 new
  EXPECT_EQ(ChainBlocks(f.File(), b.FirstBlock, b.Revision),
            (std::vector<uint32_t>{4, 3, 2, 1, 5}));
  EXPECT_EQ(f.File().FirstFreeBlock(), 0);
  f.Reopen();
  EXPECT_EQ(f.Load(b), Pattern(5 * d, 3));
}

TEST(BlobFile, FreedBlocksComeBackInReverseOrderOfFreeing) {
  TBlobFixture f("free_order.BLB", 64, false);
  const uint32_t d = f.File().DataSize();
  const TBlobReference v = f.Save(Pattern(3 * d, 1));
  FreeChain(f.File(), v.FirstBlock, v.Revision, false);
  f.Reopen();
  std::vector<uint32_t> got;
  for (int i = 0; i < 4; ++i) got.push_back(f.File().AllocateBlock().Number());
  EXPECT_EQ(got, (std::vector<uint32_t>{3, 2, 1, 4}));
}

TEST(BlobFile, SavingAgainStampsANewRevisionThatOldReadersMiss) {
  TBlobFixture f("revision.BLB", 64, false);
  const TBlobReference old = f.Save(Pattern(200, 1));
  const TBlobReference now = f.Save(Pattern(150, 2), old);
  EXPECT_EQ(now.FirstBlock, old.FirstBlock);
  EXPECT_EQ(EngineCodeOf([&] { f.Load(old); }), VUZODE_KEYORRECDELETED);
  // A writer holding the old revision must not overwrite the newer value either.
  EXPECT_EQ(EngineCodeOf([&] { f.Save(Pattern(10, 3), old); }), VUZODE_KEYORRECDELETED);
  EXPECT_EQ(f.Load(now), Pattern(150, 2));
}

TEST(BlobFile, EmptyValueOwnsNoBlockAndEmptyingFreesTheChain) {
  TBlobFixture f("empty.BLB", 64, false);
  EXPECT_EQ(f.Save({}).FirstBlock, 0);
  EXPECT_TRUE(f.Load({0, 0}).empty());
  TBlobReference v = f.Save(Pattern(100, 1));
  v = f.Save({}, v);
  EXPECT_EQ(v.FirstBlock, 0);
  // Every block is back on the free chain, none leaked.
  EXPECT_TRUE(CheckBlobChains(f.File(), {}).empty());
}

TEST(BlobBuffer, LoadEditSaveAndFreeThroughTheBuffer) {
  TBlobFixture f("buffer.BLB", 64, false);
  TBlobBuffer buffer(f.File(), 7, 3, {0, 0});
  buffer.LoadValue();
  EXPECT_TRUE(buffer.Bytes().empty());
  const std::vector<uint8_t> bytes = Pattern(300, 4);
  buffer.SetBytes(bytes.data(), bytes.size());
  EXPECT_TRUE(buffer.Modified());
  buffer.SaveValue(f.NextRevision());
  EXPECT_FALSE(buffer.Modified());
  TBlobBuffer again(f.File(), 7, 3, buffer.Reference());
  again.LoadValue();
  EXPECT_EQ(again.Bytes(), bytes);
  again.KeepCopy();
  again.SetLength(10);
  again.SaveValue(f.NextRevision());
  EXPECT_EQ(again.SavedBytes(), bytes);
  EXPECT_EQ(f.Load(again.Reference()), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10));
  again.FreeValue(false);
  EXPECT_EQ(again.FirstBlock(), 0);
  EXPECT_TRUE(CheckBlobChains(f.File(), {}).empty());
  again.IncrementOpenCount();
  again.DecrementOpenCount();
  again.DecrementOpenCount();
  EXPECT_EQ(again.OpenCount(), 0);
}

TEST(BlobFile, HeaderRoundTripsAndCountsChanges) {
  TBlobFixture f("header.BLB", 64, true);
  f.Save(Pattern(100, 1));
  f.Close();
  f.Open();
  EXPECT_EQ(f.File().BlockCount(), 3u);
  EXPECT_EQ(f.File().Header().FormatVersion, kBlobFormatVersion);
  const int32_t count = f.File().ChangeCount();
  EXPECT_FALSE(f.File().RereadHeader());
  // Another user's write: a second handle on the same file.
  TBlobFile other;
  other.SetFileName(f.Name());
  other.SetInMemory(true);
  other.SetBlockSize(64);
  other.SetEncrypted(true);
  other.Open();
  other.EmptyFile();
  other.WriteHeader(false);
  EXPECT_TRUE(f.File().RereadHeader());
  EXPECT_EQ(f.File().ChangeCount(), count + 1);
  EXPECT_EQ(f.File().BlockCount(), 0u);
  EXPECT_EQ(EngineCodeOf([&] { f.File().FetchBlock(1); }), VUZODE_MEMOCORRUPT);
  f.File().VerifyStructure();
}

TEST(BlobFile, OpenChecksVersionAndCounters) {
  TBlobFixture f("header_check.BLB", 64, false);
  f.Save(Pattern(100, 1));
  f.Close();
  const std::vector<uint8_t> good = ReadFileBytes(f.Name());
  auto with = [&](size_t at, int32_t value) {
    f.File().Close();
    std::vector<uint8_t> bytes = good;
    PutI32(bytes.data() + at, value);
    WriteFileBytes(f.Name(), bytes);
    return EngineCodeOf([&] { f.Open(); });
  };
  std::vector<uint8_t> old = good;
  old[8] = 4;
  WriteFileBytes(f.Name(), old);
  EXPECT_EQ(EngineCodeOf([&] { f.Open(); }), VUZODE_OLDVERSION);
  EXPECT_FALSE(f.File().Opened());
  EXPECT_EQ(with(9, 4), VUZODE_HEADERCORRUPT);   // first free block past the end
  EXPECT_EQ(with(9, -1), VUZODE_HEADERCORRUPT);  // negative
  EXPECT_EQ(with(13, 0), VUZODE_HEADERCORRUPT);  // block count below zero
  EXPECT_EQ(with(13, 2000000002), VUZODE_HEADERCORRUPT);
  EXPECT_EQ(with(9, 0), 0);
  // A header claiming more blocks than the file holds opens, fails the full check and reports
  // the missing block as corrupt.
  EXPECT_EQ(with(13, 9), 0);
  EXPECT_EQ(EngineCodeOf([&] { f.File().VerifyStructure(); }), VUZODE_HEADERCORRUPT);
  EXPECT_EQ(EngineCodeOf([&] { f.File().FetchBlock(8); }), VUZODE_MEMOCORRUPT);
  f.File().Close();
  WriteFileBytes(f.Name(), std::vector<uint8_t>(good.begin(), good.begin() + 100));
  EXPECT_EQ(EngineCodeOf([&] { f.Open(); }), VUZODE_READERR);
}

TEST(BlobFile, BlockSizesThatCannotHoldAHeaderAndAByteAreRefused) {
  for (uint32_t size : {1u, 17u, 18u, kMaxBlobBlockSize + 1, 0xFFFFFFFFu}) {
    TBlobFile file;
    file.SetFileName("bad_block_size.BLB");
    file.SetInMemory(true);
    file.SetBlockSize(size);
    EXPECT_EQ(EngineCodeOf([&] { file.CreateFile(); }), VUZODE_MEMOCORRUPT) << size;
  }
  TBlobFixture f("bad_block_size_open.BLB", 64, false);
  f.Close();
  TBlobFile file;
  file.SetFileName(f.Name());
  file.SetInMemory(true);
  file.SetBlockSize(18);
  EXPECT_EQ(EngineCodeOf([&] { file.Open(); }), VUZODE_MEMOCORRUPT);
  EXPECT_FALSE(file.Opened());
}

TEST(Block, TransfersStayInsideTheDataArea) {
  TBlobFixture f("block_io.BLB", 64, false);
  TBlock block = f.File().AllocateBlock();
  const uint32_t d = block.DataSize();
  ASSERT_EQ(d, 46u);
  const std::vector<uint8_t> bytes = Pattern(d, 1);
  std::vector<uint8_t> out(d + 8, 0xEE);
  EXPECT_EQ(EngineCodeOf([&] { block.Write(0, d + 1, bytes.data()); }), VUZODE_INVALIDBLOBLEN);
  EXPECT_EQ(EngineCodeOf([&] { block.Write(1, d, bytes.data()); }), VUZODE_INVALIDBLOBLEN);
  block.Write(0, 10, bytes.data());
  EXPECT_EQ(block.BytesUsed(), 10);
  EXPECT_EQ(EngineCodeOf([&] { block.Read(d, 1, out.data()); }), VUZODE_INVALIDBLOBLEN);
  EXPECT_EQ(EngineCodeOf([&] { block.Read(0xFFFFFFFFu, 2, out.data()); }), VUZODE_INVALIDBLOBLEN);
  // Reads stop at the used bytes, also from an offset.
  EXPECT_EQ(block.Read(4, 20, out.data()), 6u);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 6, bytes.begin() + 4));
  EXPECT_EQ(out[6], 0xEE);
  EXPECT_EQ(block.Read(12, 5, out.data()), 0u);
  block.SetBytesUsed(static_cast<uint16_t>(d + 1));
  EXPECT_EQ(EngineCodeOf([&] { block.Read(0, 1, out.data()); }), VUZODE_MEMOCORRUPT);
}

TEST(Block, SettersMarkDirtyOnlyOnChange) {
  TBlobFixture f("block_dirty.BLB", 64, false);
  { f.File().AllocateBlock(); }
  f.File().FlushBlocks();
  TBlock block = f.File().FetchBlock(1);
  ASSERT_FALSE(block.Dirty());
  EXPECT_EQ(block.PinCount(), 1);
  block.SetNextBlock(0);
  block.SetOwnerRevision(0);
  EXPECT_FALSE(block.Dirty());
  block.SetTotalLength(5);
  EXPECT_TRUE(block.Dirty());
}

TEST(BlobFile, EmptyFileDropsEveryBlock) {
  TBlobFixture f("empty_file.BLB", 64, false);
  f.Save(Pattern(500, 1));
  f.File().EmptyFile();
  EXPECT_EQ(f.File().BlockCount(), 0u);
  EXPECT_EQ(f.File().FirstFreeBlock(), 0);
  f.Reopen();
  EXPECT_EQ(f.File().GetFileSize(), 512);
  const TBlobReference v = f.Save(Pattern(50, 2));
  EXPECT_EQ(v.FirstBlock, 1);
}

}  // namespace
