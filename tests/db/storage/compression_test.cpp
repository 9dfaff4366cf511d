// Compress and Decompress: round trips, zlib level-9 streams, corrupt, truncated and
// over-limit input.
#include "db/storage/compression.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "engine_code.h"

namespace {

constexpr size_t kLimit = 64 << 20;

std::vector<uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

std::vector<uint8_t> Random(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

TEST(Compression, RoundTripsEmptySmallLargeAndIncompressible) {
  std::vector<uint8_t> large;
  for (int i = 0; i < 200000; ++i) large.push_back(static_cast<uint8_t>("kazu table "[i % 11]));
  const std::vector<std::vector<uint8_t>> inputs = {{},
                                                    Bytes("a"),
                                                    Bytes("select * from kazu"),
                                                    large,
                                                    Random(100000, 1),
                                                    Random(255, 2),
                                                    Random(256, 3),
                                                    std::vector<uint8_t>(1 << 20, 0)};
  for (const auto& input : inputs) {
    const std::vector<uint8_t> packed = Compress(input);
    EXPECT_EQ(Decompress(packed, kLimit), input) << input.size();
  }
  EXPECT_LT(Compress(large).size(), large.size() / 50);
}

// The output is a plain zlib stream at level 9: byte for byte what zlib's own one-call
// compression at that level gives, and readable by zlib's own decompression.
TEST(Compression, ProducesZlibLevelNineStreams) {
  for (const auto& input : {Bytes(""), Bytes("hello hello hello"), Random(5000, 4)}) {
    std::vector<uint8_t> expected(compressBound(input.size()));
    uLongf expectedSize = expected.size();
    ASSERT_EQ(compress2(expected.data(), &expectedSize, input.data(), input.size(), 9), Z_OK);
    expected.resize(expectedSize);
    EXPECT_EQ(Compress(input), expected);
  }
}

TEST(Compression, EmptyOrCorruptInputIsAnError) {
  const std::vector<uint8_t> packed = Compress(Bytes("the quick brown fox, the quick brown fox"));
  std::vector<uint8_t> flipped = packed;
  flipped[flipped.size() / 2] ^= 0x55;
  std::vector<uint8_t> badChecksum = packed;
  badChecksum.back() ^= 1;
  const std::vector<uint8_t> truncated(packed.begin(), packed.end() - 5);
  std::vector<uint8_t> trailing = packed;
  trailing.push_back(0);
  const std::vector<std::vector<uint8_t>> bad = {
      {}, {0x78}, Bytes("not compressed at all"), flipped, badChecksum, truncated, trailing};
  for (const auto& input : bad) {
    EXPECT_EQ(EngineCodeOf([&] { Decompress(input, kLimit); }), VUZODE_UNCOMPRESS) << input.size();
  }
}

TEST(Compression, InflatedSizeAboveTheLimitIsAnError) {
  const std::vector<uint8_t> zeros(1 << 20, 0);
  const std::vector<uint8_t> bomb = Compress(zeros);  // about 1 KiB inflating to 1 MiB
  EXPECT_EQ(Decompress(bomb, zeros.size()), zeros);
  EXPECT_EQ(EngineCodeOf([&] { Decompress(bomb, zeros.size() - 1); }), VUZODE_UNCOMPRESS);
  EXPECT_EQ(EngineCodeOf([&] { Decompress(bomb, 1000); }), VUZODE_UNCOMPRESS);
  EXPECT_EQ(Decompress(Compress({}), 0), std::vector<uint8_t>{});
  EXPECT_EQ(EngineCodeOf([] { Decompress(Compress(Bytes("x")), 0); }), VUZODE_UNCOMPRESS);
}

}  // namespace
