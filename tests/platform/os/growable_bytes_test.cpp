// TGrowableBytes: whatever sequence of growths, shrinks and releases, the bytes written below
// the size stay as written (growth remaps, never copies into a zeroed area), and an area taken
// over from one released earlier is as usable as a new one.
#include "platform/os/growable_bytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

TEST(GrowableBytes, GrowthKeepsTheBytesBelowTheSizeAndReleasedAreasAreReused) {
  std::mt19937 random(77);
  for (int area = 0; area < 3; ++area) {
    platform::TGrowableBytes bytes;
    std::vector<uint8_t> model;
    for (int step = 0; step < 60; ++step) {
      // Mostly appends of up to 1 MiB (crossing the 2 MiB steps), sometimes a cut or a clear.
      const int op = static_cast<int>(random() % 10);
      if (op == 0) {
        bytes.Clear();
        model.clear();
      } else if (op == 1 && !model.empty()) {
        const size_t size = random() % model.size();
        ASSERT_TRUE(bytes.Resize(size));
        model.resize(size);
      } else {
        const size_t at = model.size();
        const size_t added = 1 + random() % (1u << 20);
        ASSERT_TRUE(bytes.Resize(at + added));
        model.resize(at + added);
        for (size_t i = at; i < at + added; i += 997) model[i] = static_cast<uint8_t>(random());
        std::memcpy(bytes.Data() + at, model.data() + at, added);
      }
      ASSERT_EQ(bytes.Size(), model.size());
      ASSERT_LE(bytes.Size(), bytes.Capacity());
      ASSERT_EQ(bytes.Capacity() % (size_t{2} << 20), 0u);
      ASSERT_TRUE(model.empty() || std::memcmp(bytes.Data(), model.data(), model.size()) == 0)
          << "step " << step;
    }
    bytes.Release();
    EXPECT_EQ(bytes.Data(), nullptr);
    EXPECT_EQ(bytes.Capacity(), 0u);
  }
}

}  // namespace
