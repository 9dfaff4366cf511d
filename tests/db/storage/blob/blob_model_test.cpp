// Randomized changes of BLOB values checked against a simple model (a std::map of value id to
// bytes): after every step each value reads back as the model says, and every block of the
// file lies in exactly one value's chain or on the free chain.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "db/storage/blob/blob_check.h"
#include "tests/db/storage/blob/blob_test_util.h"

using namespace blob_test;

namespace {

struct TModelValue {
  std::vector<uint8_t> bytes;
  TBlobReference ref;
};

// A size that often lands on or next to a multiple of the data area.
size_t PickSize(std::mt19937& rng, uint32_t area) {
  switch (rng() % 4) {
    case 0:
      return rng() % 8;
    case 1: {
      const size_t blocks = rng() % 12;
      return blocks * area + (rng() % 3) - 1 + (blocks == 0 ? 1 : 0);
    }
    case 2:
      return rng() % (4 * area);
    default:
      return rng() % (40 * area);
  }
}

void RunModel(uint32_t blockSize, bool encrypted, uint32_t cacheBytes, uint32_t seed) {
  TSmallCacheLink link(cacheBytes);
  TBlobFixture f("model_" + std::to_string(blockSize) + "_" + std::to_string(seed) + ".BLB",
                 blockSize, encrypted, &link);
  const uint32_t area = f.File().DataSize();
  std::mt19937 rng(seed);
  std::map<int, TModelValue> model;
  int next_id = 0;
  for (int step = 0; step < 300; ++step) {
    const uint32_t op = rng() % 10;
    std::string what;
    if (op < 3 || model.empty()) {
      TModelValue v;
      v.bytes = Pattern(PickSize(rng, area), rng());
      v.ref = f.Save(v.bytes);
      model[next_id++] = v;
      what = "insert";
    } else {
      auto it = model.begin();
      std::advance(it, rng() % model.size());
      TModelValue& v = it->second;
      if (op < 6) {
        v.bytes = Pattern(PickSize(rng, area), rng());
        v.ref = f.Save(v.bytes, v.ref);
        what = "resave";
      } else if (op < 8) {
        FreeChain(f.File(), v.ref.FirstBlock, v.ref.Revision, false);
        model.erase(it);
        what = "free";
      } else if (op == 8) {
        f.Reopen();
        what = "reopen";
      } else {
        f.File().FlushBlocks();
        f.File().TrimBlocks();
        what = "flush";
      }
    }
    std::vector<TBlobReference> refs;
    for (const auto& [id, v] : model) {
      ASSERT_EQ(f.Load(v.ref), v.bytes) << "step " << step << " " << what << " id " << id;
      refs.push_back(v.ref);
    }
    const std::vector<std::string> faults = CheckBlobChains(f.File(), refs);
    ASSERT_TRUE(faults.empty()) << "step " << step << " " << what << ": " << faults.front();
  }
  // Reloading from the file alone gives the same picture.
  f.Reopen();
  std::vector<TBlobReference> refs;
  for (const auto& [id, v] : model) {
    EXPECT_EQ(f.Load(v.ref), v.bytes) << id;
    refs.push_back(v.ref);
  }
  EXPECT_TRUE(CheckBlobChains(f.File(), refs).empty());
}

TEST(BlobModel, PlainDefaultBlocks) {
  RunModel(0, false, kDefaultBlobCacheBytes, 1);
}

TEST(BlobModel, EncryptedSmallBlocksWithATinyCache) {
  RunModel(64, true, 64 * 4, 2);
}

TEST(BlobModel, SmallestBlocks) {
  RunModel(19, false, 19 * 32, 3);
}

TEST(BlobModel, ManySeeds) {
  for (uint32_t seed = 10; seed < 16; ++seed)
    RunModel(seed % 2 ? 100 : 512, seed % 3 == 0, 4096, seed);
}

}  // namespace
