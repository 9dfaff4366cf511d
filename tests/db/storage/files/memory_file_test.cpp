// TMemoryFile: positions per handle, reads and writes at and past the end, truncation, seeking,
// capacity and the lock list.
#include "db/storage/files/memory_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/os/os_error.h"

namespace {

class MemoryFileTest : public ::testing::Test {
 protected:
  void SetUp() override { id_ = static_cast<uint32_t>(file_.CreateFile()); }

  void Put(const std::string& bytes) {
    ASSERT_EQ(file_.Write(id_, bytes.data(), static_cast<uint32_t>(bytes.size())),
              static_cast<int64_t>(bytes.size()));
  }
  std::string Get(uint32_t count, uint32_t id = 0) {
    std::string bytes(count, '?');
    const int64_t got = file_.Read(id == 0 ? id_ : id, bytes.data(), count);
    bytes.resize(got < 0 ? 0 : static_cast<size_t>(got));
    return bytes;
  }

  TMemoryFile file_;
  uint32_t id_ = 0;
};

TEST_F(MemoryFileTest, RoundTripWithAPositionPerHandle) {
  ASSERT_EQ(id_, 1u);
  const auto second = static_cast<uint32_t>(file_.OpenFile());
  EXPECT_EQ(second, 2u);
  Put("hello world");
  EXPECT_EQ(file_.GetSize(), 11);
  EXPECT_EQ(Get(5, second), "hello") << "the second handle starts at 0";
  EXPECT_EQ(Get(100, second), " world") << "a read across the end stops there";
  EXPECT_EQ(Get(1, second), "") << "at the end nothing is read";
  EXPECT_EQ(file_.Seek(second, kSeekFromStart, 50), 50);
  EXPECT_EQ(Get(1, second), "") << "beyond the end nothing is read";
  EXPECT_EQ(file_.Seek(id_, kSeekFromCurrent, -5), 6);
  EXPECT_EQ(Get(5), "world");
  file_.CloseHandle(second);
  EXPECT_EQ(file_.FindHandle(second), -1);
  EXPECT_EQ(file_.OpenFile(), 3) << "ids are never reused";
}

TEST_F(MemoryFileTest, SeekingFromTheEndAddsTheOffsetToTheSize) {
  Put("0123456789");
  EXPECT_EQ(file_.Seek(id_, kSeekFromEnd, -3), 7);
  EXPECT_EQ(Get(3), "789");
  EXPECT_EQ(file_.Seek(id_, kSeekFromEnd, 0), 10);
  EXPECT_EQ(file_.Seek(id_, kSeekFromEnd, 5), 15);
}

TEST_F(MemoryFileTest, SeeksToNegativeOrOverflowingPositionsFailAndKeepThePosition) {
  Put("0123456789");
  ASSERT_EQ(file_.Seek(id_, kSeekFromStart, 4), 4);
  EXPECT_EQ(file_.Seek(id_, kSeekFromStart, -1), -1);
  EXPECT_EQ(file_.Seek(id_, kSeekFromEnd, -11), -1);
  EXPECT_EQ(file_.Seek(id_, kSeekFromCurrent, INT64_MAX), -1);
  EXPECT_EQ(file_.Seek(id_, 7, 0), -1) << "unknown origin";
  EXPECT_EQ(file_.Seek(99, kSeekFromStart, 0), -1) << "unknown handle";
  EXPECT_EQ(Get(2), "45");
}

TEST_F(MemoryFileTest, WritingPastTheEndZeroFillsTheGapAndGrowsInPages) {
  ASSERT_EQ(file_.Seek(id_, kSeekFromStart, 5000), 5000);
  Put("x");
  EXPECT_EQ(file_.GetSize(), 5001);
  EXPECT_EQ(file_.Capacity(), 8192u);
  file_.Seek(id_, kSeekFromStart, 0);
  EXPECT_EQ(Get(5001), std::string(5000, '\0') + "x");
}

TEST_F(MemoryFileTest, AppendingPageAfterPageGrowsGeometrically) {
  const std::string page(4096, 'p');
  int growths = 0;
  uint32_t capacity = file_.Capacity();
  for (int i = 0; i < 2000; ++i) {
    Put(page);
    if (file_.Capacity() != capacity) ++growths;
    capacity = file_.Capacity();
    ASSERT_EQ(capacity % 4096, 0u);
    ASSERT_GE(capacity, file_.GetSize());
  }
  EXPECT_LT(growths, 30) << "each growth copies the whole file";
  file_.Seek(id_, kSeekFromStart, 4096 * 1999);
  EXPECT_EQ(Get(4096), page);
}

TEST_F(MemoryFileTest, WritingNothingTruncatesAndAnOldTailNeverReappears) {
  Put(std::string(3000, 'a'));
  file_.Seek(id_, kSeekFromStart, 1000);
  EXPECT_EQ(file_.Write(id_, nullptr, 0), 0);
  EXPECT_EQ(file_.GetSize(), 1000);
  EXPECT_EQ(file_.Capacity(), 4096u) << "capacity is not reduced";
  // Growing again, by a write past the end or by a truncation beyond it, shows zeros.
  file_.Seek(id_, kSeekFromStart, 2000);
  Put("b");
  file_.Seek(id_, kSeekFromStart, 999);
  EXPECT_EQ(Get(1002), "a" + std::string(1000, '\0') + "b");
  file_.Seek(id_, kSeekFromStart, 0);
  file_.Write(id_, nullptr, 0);
  EXPECT_EQ(file_.GetSize(), 0);
  EXPECT_EQ(file_.Capacity(), 0u) << "released entirely at 0";
  file_.Seek(id_, kSeekFromStart, 10);
  file_.Write(id_, nullptr, 0);
  file_.Seek(id_, kSeekFromStart, 0);
  EXPECT_EQ(Get(20), std::string(10, '\0'));
}

TEST_F(MemoryFileTest, AWriteBeyondTheLargestCapacityIsRefusedNotWrapped) {
  file_.Seek(id_, kSeekFromStart, kMaxMemoryFileCapacity);
  platform::SetLastOsError(0);
  EXPECT_EQ(file_.Write(id_, "x", 1), 0);
  EXPECT_EQ(platform::LastOsError(), ENOMEM);
  EXPECT_EQ(file_.GetSize(), 0);
}

TEST_F(MemoryFileTest, CreatingAgainEmptiesTheFile) {
  Put("content");
  const auto id = static_cast<uint32_t>(file_.CreateFile());
  EXPECT_EQ(file_.GetSize(), 0);
  EXPECT_EQ(Get(7, id), "");
}

TEST_F(MemoryFileTest, LocksRefuseAnyOverlapAndReleaseOnlyTheExactRange) {
  ASSERT_TRUE(file_.LockRegion(10, 100));  // bytes 100..109
  EXPECT_FALSE(file_.LockRegion(1, 109)) << "last byte";
  EXPECT_FALSE(file_.LockRegion(2, 99)) << "first byte from below";
  EXPECT_FALSE(file_.LockRegion(100, 50)) << "a range around it";
  EXPECT_FALSE(file_.LockRegion(1, 105)) << "a range inside it";
  EXPECT_TRUE(file_.LockRegion(1, 110)) << "adjacent above";
  EXPECT_TRUE(file_.LockRegion(100, 0)) << "adjacent below";
  EXPECT_FALSE(file_.LockRegion(0, 500)) << "empty range";
  EXPECT_FALSE(file_.LockRegion(1, -1)) << "negative offset";
  EXPECT_FALSE(file_.UnlockRegion(5, 100));
  EXPECT_FALSE(file_.UnlockRegion(10, 101));
  EXPECT_FALSE(file_.UnlockRegion(1, 200)) << "never locked";
  EXPECT_TRUE(file_.UnlockRegion(10, 100));
  EXPECT_FALSE(file_.UnlockRegion(10, 100));
  EXPECT_TRUE(file_.LockRegion(1, 105));
}

}  // namespace
