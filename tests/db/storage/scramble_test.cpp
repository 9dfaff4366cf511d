// Scrambling of encrypted tables: reference bytes worked out by hand, round trips and the
// units that restart the key.
#include "db/storage/scramble.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> Scrambled(std::vector<uint8_t> bytes, TScrambleKey key) {
  Scramble(bytes.data(), bytes.size(), key);
  return bytes;
}

// Worked out by hand: byte i is XORed with (first + i) ^ (second - i).
TEST(Scramble, ReferenceBytes) {
  EXPECT_EQ(Scrambled({0, 0, 0, 0}, kRecordKey), (std::vector<uint8_t>{0x76, 0x70, 0x76, 0x74}));
  EXPECT_EQ(Scrambled({0, 0, 0, 0}, kHeaderTextKey),
            (std::vector<uint8_t>{0x9B, 0x9B, 0x93, 0x93}));
  EXPECT_EQ(Scrambled({'k', 'a', 'z', 'u'}, kRecordKey),
            (std::vector<uint8_t>{'k' ^ 0x76, 'a' ^ 0x70, 'z' ^ 0x76, 'u' ^ 0x74}));
  // Both key bytes wrap: 0xFF + 1 = 0x00 and 0x00 - 1 = 0xFF.
  EXPECT_EQ(Scrambled({0, 0, 0, 0}, {0xFF, 0x01}), (std::vector<uint8_t>{0xFE, 0x00, 0xFE, 0xFC}));
}

TEST(Scramble, TwiceRestoresTheBytesAndEachUnitRestartsTheKey) {
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  const std::vector<uint8_t> original = bytes;
  Scramble(bytes.data(), bytes.size(), kRecordKey);
  EXPECT_NE(bytes, original);
  Scramble(bytes.data(), bytes.size(), kRecordKey);
  EXPECT_EQ(bytes, original);
  // Two 4-byte units scrambled separately both start with the same key stream.
  std::vector<uint8_t> units(8, 0);
  Scramble(units.data(), 4, kRecordKey);
  Scramble(units.data() + 4, 4, kRecordKey);
  EXPECT_EQ(units, (std::vector<uint8_t>{0x76, 0x70, 0x76, 0x74, 0x76, 0x70, 0x76, 0x74}));
}

TEST(Scramble, LengthsWithZeroLow16BitsAreLeftAsTheyAre) {
  std::vector<uint8_t> bytes(65536, 0x5A);
  Scramble(bytes.data(), bytes.size(), kRecordKey);
  EXPECT_EQ(bytes, std::vector<uint8_t>(65536, 0x5A));
  Scramble(bytes.data(), 0, kRecordKey);
  EXPECT_EQ(bytes, std::vector<uint8_t>(65536, 0x5A));
}

// 65537 bytes are all scrambled. The key stream is 0 only where the two key bytes meet
// (0x6B + i == 0x1D - i mod 256, i.e. i mod 128 == 0x59); every other byte changes.
TEST(Scramble, LengthAboveAMultipleOf65536IsScrambledThroughout) {
  std::vector<uint8_t> bytes(65537, 0);
  Scramble(bytes.data(), bytes.size(), kRecordKey);
  for (size_t i = 0; i < bytes.size(); ++i) {
    ASSERT_EQ(bytes[i] == 0, i % 128 == 0x59) << i;
    ASSERT_EQ(bytes[i], bytes[i % 256]) << i;  // the key stream repeats every 256 bytes
  }
}

}  // namespace
