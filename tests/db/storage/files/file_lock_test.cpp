// Byte-range locks and sharing between processes and between holders in one process, proven with
// a separately spawned helper process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "db/engine/errors/engine_error.h"
#include "db/storage/files/file_handler.h"
#include "db/storage/files/lock_layout.h"
#include "platform/os/file.h"
#include "tests/db/storage/files/helper_process.h"
#include "tests/db/storage/files/test_support.h"

namespace {

using files_test::RunHelper;
using files_test::THelperProcess;

const std::string kHeld = "0";
const std::string kFree = "1";

std::string TryLockElsewhere(const std::string& path, int64_t offset, int64_t length = 1) {
  return RunHelper({"lock", path, std::to_string(offset), std::to_string(length)});
}

template <class Action>
uint16_t CodeOf(Action&& action) {
  try {
    action();
  } catch (const EVUZODEEngineError& error) {
    return error.EngineCode();
  }
  return 0;
}

class FileLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.Path().empty());
    path_ = dir_ / "kazu.DAT";
    files_test::WriteBytes(path_, "data");
    file_.SetFileName(path_);
    file_.Open();
  }

  files_test::TTempDir dir_;
  std::string path_;
  TFileHandler file_;
};

TEST_F(FileLockTest, ByteHeldHereCannotBeTakenByAnotherProcessUntilUnlocked) {
  ASSERT_TRUE(file_.LockRegion(1, kTableWriteByte));
  EXPECT_EQ(TryLockElsewhere(path_, kTableWriteByte), kHeld);
  EXPECT_EQ(TryLockElsewhere(path_, kTableWriteByte - 1), kFree) << "the neighbour byte is free";
  ASSERT_TRUE(file_.UnlockRegion(1, kTableWriteByte));
  EXPECT_EQ(TryLockElsewhere(path_, kTableWriteByte), kFree);
}

TEST_F(FileLockTest, ByteHeldByAnotherProcessIsFreeAfterItUnlocksOrDies) {
  {
    THelperProcess holder({"hold-lock", path_, std::to_string(RecordLockOffset(1)), "1"});
    ASSERT_TRUE(holder.Started());
    ASSERT_EQ(holder.ReadLine(), kFree);
    EXPECT_FALSE(file_.LockRegion(1, RecordLockOffset(1)));
    EXPECT_TRUE(file_.LockRegion(1, RecordLockOffset(2)));
    holder.Release();
    EXPECT_EQ(holder.Wait(), 0);
  }
  EXPECT_TRUE(file_.LockRegion(1, RecordLockOffset(1)));
  ASSERT_TRUE(file_.UnlockRegion(1, RecordLockOffset(1)));

  THelperProcess crasher({"hold-lock", path_, std::to_string(RecordLockOffset(1)), "1"});
  ASSERT_EQ(crasher.ReadLine(), kFree);
  EXPECT_FALSE(file_.LockRegion(1, RecordLockOffset(1)));
  crasher.Kill();
  crasher.Wait();
  EXPECT_TRUE(file_.LockRegion(1, RecordLockOffset(1)));
}

TEST_F(FileLockTest, TwoHoldersInOneProcessConflict) {
  // Two handlers share one file object and its one descriptor.
  TFileHandler second;
  second.SetFileName(path_);
  second.Open();
  ASSERT_EQ(second.File(), file_.File());
  ASSERT_TRUE(file_.LockRegion(kWriteLockLength, kWriteLockOffset));
  EXPECT_FALSE(second.LockRegion(1, ReadSlotOffset(77))) << "a read slot inside the write lock";
  EXPECT_FALSE(second.LockRegion(kWriteLockLength, kWriteLockOffset));

  // Two descriptors of the same file in this process conflict as well.
  platform::TOsFile a;
  platform::TOsFile b;
  ASSERT_TRUE(a.Open(path_, platform::TFileAccess::ReadWrite, false, false));
  ASSERT_TRUE(b.Open(path_, platform::TFileAccess::ReadWrite, false, false));
  ASSERT_TRUE(a.LockRange(100, 10));
  EXPECT_FALSE(b.LockRange(109, 1));
  EXPECT_FALSE(b.LockRange(90, 11));
  EXPECT_TRUE(b.LockRange(110, 1));
  EXPECT_FALSE(b.UnlockRange(100, 10)) << "only its holder releases a range";
  a.Close();
  EXPECT_TRUE(b.LockRange(100, 10)) << "closing a descriptor releases its ranges";
}

TEST_F(FileLockTest, UnlockNeedsTheExactRange) {
  ASSERT_TRUE(file_.LockRegion(10, 1000));
  EXPECT_FALSE(file_.UnlockRegion(5, 1000));
  EXPECT_FALSE(file_.UnlockRegion(10, 1001));
  EXPECT_FALSE(file_.UnlockRegion(1, 1005));
  EXPECT_EQ(TryLockElsewhere(path_, 1000), kHeld);
  EXPECT_EQ(TryLockElsewhere(path_, 1009), kHeld) << "a failed partial unlock split nothing";
  EXPECT_TRUE(file_.UnlockRegion(10, 1000));
  EXPECT_FALSE(file_.UnlockRegion(10, 1000)) << "released once";
  EXPECT_EQ(TryLockElsewhere(path_, 1005), kFree);
}

TEST_F(FileLockTest, ClosingAnUnrelatedDescriptorOfTheFileKeepsEveryLock) {
  ASSERT_TRUE(file_.LockRegion(1, kTableWriteByte));
  ASSERT_TRUE(file_.LockRegion(1, RecordLockOffset(3)));
  const int raw = open(path_.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(raw, 0);
  close(raw);
  {
    platform::TOsFile other;
    ASSERT_TRUE(other.Open(path_, platform::TFileAccess::Read, false, false));
  }
  EXPECT_EQ(TryLockElsewhere(path_, kTableWriteByte), kHeld);
  EXPECT_EQ(TryLockElsewhere(path_, RecordLockOffset(3)), kHeld);
}

TEST_F(FileLockTest, LockRangesTouchingTheSharingBytesAreRefused) {
  platform::TOsFile os;
  ASSERT_TRUE(os.Open(path_, platform::TFileAccess::ReadWrite, false, false));
  EXPECT_FALSE(os.LockRange(platform::kOpenSentinelOffset, 1));
  EXPECT_FALSE(os.LockRange(kTableWriteByte, 2));
  EXPECT_FALSE(os.LockRange(0, 0));
  EXPECT_FALSE(os.LockRange(-1, 1));
}

TEST_F(FileLockTest, ExclusiveOpenHereRefusesOtherProcesses) {
  const std::string denied = std::to_string(VUZODE_OSEACCES);
  file_.Close();
  file_.SetExclusive(true);
  file_.Open();
  EXPECT_EQ(RunHelper({"open", path_, "0"}), denied);
  EXPECT_EQ(RunHelper({"open", path_, "1"}), denied);
  EXPECT_EQ(RunHelper({"delete", path_}), denied);
  EXPECT_EQ(RunHelper({"rename", path_, dir_ / "other.DAT"}), denied);
  EXPECT_EQ(RunHelper({"create", path_}), denied);
  EXPECT_EQ(RunHelper({"open", dir_ / "missing.DAT", "0"}), std::to_string(VUZODE_OSENOENT));
  file_.Close();
  EXPECT_EQ(files_test::ReadBytes(path_), "data") << "the refused create truncated nothing";
  EXPECT_EQ(RunHelper({"open", path_, "1"}), "0");
  EXPECT_EQ(RunHelper({"rename", path_, dir_ / "other.DAT"}), "0");
  EXPECT_EQ(RunHelper({"delete", dir_ / "OTHER.dat"}), "0") << "names resolve case-insensitively";
}

TEST_F(FileLockTest, SharedOpenElsewhereRefusesExclusiveUseHere) {
  file_.Close();
  THelperProcess holder({"hold-open", path_, "0"});
  ASSERT_EQ(holder.ReadLine(), "0");
  TFileHandler shared;
  shared.SetFileName(path_);
  EXPECT_EQ(CodeOf([&] { shared.Open(); }), 0) << "shared opens coexist";
  shared.Close();
  TFileHandler exclusive;
  exclusive.SetFileName(path_);
  exclusive.SetExclusive(true);
  EXPECT_EQ(CodeOf([&] { exclusive.Open(); }), VUZODE_OSEACCES);
  EXPECT_EQ(CodeOf([&] { exclusive.DeleteFile(); }), VUZODE_OSEACCES);
  EXPECT_EQ(CodeOf([&] { exclusive.CreateFile(); }), VUZODE_OSEACCES);
  EXPECT_EQ(files_test::ReadBytes(path_), "data");
  holder.Release();
  holder.Wait();
  EXPECT_EQ(CodeOf([&] { exclusive.Open(); }), 0);
}

}  // namespace
