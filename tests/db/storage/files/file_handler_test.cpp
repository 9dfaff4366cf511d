// TFileHandler on disk and memory files: round trips, the codes it raises, and faults injected
// into the OS file layer.
#include "db/storage/files/file_handler.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "db/engine/errors/engine_error.h"
#include "db/storage/files/file_list.h"
#include "db/storage/files/lock_layout.h"
#include "platform/os/fault_injection.h"
#include "tests/db/storage/files/test_support.h"

namespace {

// The error an action raises; an exception with code 0 when it raises none.
template <class Action>
EVUZODEEngineError ErrorOf(Action&& action) {
  try {
    action();
  } catch (const EVUZODEEngineError& error) {
    return error;
  }
  return EVUZODEEngineError(0);
}

class FileHandlerTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.Path().empty());
    file_.SetInMemory(GetParam());
    file_.SetFileName(dir_ / "kazu.DAT");
  }
  void TearDown() override {
    file_.Close();
    if (GetParam()) FileList().DeleteFile(dir_ / "kazu.DAT", true);
  }

  files_test::TTempDir dir_;
  TFileHandler file_;
};

TEST_P(FileHandlerTest, CreateWriteCloseOpenReadRoundTrip) {
  EXPECT_EQ(ErrorOf([&] { file_.Open(); }).EngineCode(), VUZODE_OSENOENT);
  EXPECT_EQ(ErrorOf([&] { file_.Open(); }).ContextTable(), dir_ / "kazu.DAT");
  file_.CreateFile();
  EXPECT_TRUE(file_.Opened());
  const std::string data = files_test::Pattern(10000);
  file_.Seek(0);
  file_.Write(data.data(), static_cast<uint32_t>(data.size()));
  file_.Flush();
  file_.Close();
  EXPECT_FALSE(file_.Opened());
  EXPECT_EQ(file_.File(), nullptr);

  file_.Open();
  file_.Open();  // no effect when opened
  EXPECT_EQ(file_.GetFileSize(), 10000);
  std::string back(10000, '\0');
  file_.BeginAccess();
  EXPECT_EQ(file_.Seek(1234), 1234);
  EXPECT_EQ(file_.Read(back.data(), 100, false), 100u);
  file_.EndAccess();
  EXPECT_EQ(back.substr(0, 100), data.substr(1234, 100));
  file_.Seek(9990);
  EXPECT_EQ(file_.Read(back.data(), 100, true), 10u) << "a short read where allowed";
  file_.Seek(9990);
  const EVUZODEEngineError error = ErrorOf([&] { file_.Read(back.data(), 100, false); });
  EXPECT_EQ(error.EngineCode(), VUZODE_READERR);
  EXPECT_EQ(error.OsErrorNumber(), 0) << "the end of the file is no OS error";
  // A write of nothing cuts the file at the position.
  file_.Seek(500);
  file_.Write(nullptr, 0);
  EXPECT_EQ(file_.GetFileSize(), 500);
}

TEST_P(FileHandlerTest, RenameAndDeleteAreRefusedWhileOpenAndWorkAfterwards) {
  file_.CreateFile();
  EXPECT_EQ(ErrorOf([&] { file_.RenameFile(dir_ / "new.DAT"); }).EngineCode(), VUZODE_OSEACCES);
  EXPECT_EQ(ErrorOf([&] { file_.DeleteFile(); }).EngineCode(), VUZODE_OSEACCES);
  EXPECT_EQ(ErrorOf([&] { file_.CreateFile(); }).EngineCode(), VUZODE_OSEACCES)
      << "creating over the handler's own open file";
  file_.Close();
  file_.RenameFile(dir_ / "new.DAT");
  EXPECT_EQ(file_.FileName(), dir_ / "new.DAT");
  EXPECT_TRUE(file_.FileExists());
  file_.DeleteFile();
  EXPECT_FALSE(file_.FileExists());
  file_.SetFileName(dir_ / "kazu.DAT");
}

TEST_P(FileHandlerTest, WithoutAFileSeeksAndSizesAreZeroAndTransfersFail) {
  char byte = 0;
  EXPECT_EQ(file_.Seek(10), 0);
  EXPECT_EQ(file_.GetFileSize(), 0);
  EXPECT_FALSE(file_.LockRegion(1, 0));
  EXPECT_EQ(ErrorOf([&] { file_.Read(&byte, 1, false); }).EngineCode(), VUZODE_READERR);
  EXPECT_EQ(ErrorOf([&] { file_.Write(&byte, 1); }).EngineCode(), VUZODE_WRITEERR);
  file_.Flush();
}

TEST_P(FileHandlerTest, ANegativePositionIsRefused) {
  file_.CreateFile();
  EXPECT_EQ(ErrorOf([&] { file_.Seek(-1); }).EngineCode(), VUZODE_OSUNKNOWN);
}

TEST_P(FileHandlerTest, HoldersOfOneFileConflictOnTheLockLayout) {
  file_.CreateFile();
  file_.Close();
  file_.Open();
  TFileHandler other;
  other.SetInMemory(GetParam());
  other.SetFileName(dir_ / "KAZU.dat");
  other.Open();
  EXPECT_EQ(RecordLockOffset(1), 0xFFFFFFFD);
  ASSERT_TRUE(LockRecord(file_, 1));
  EXPECT_FALSE(LockRecord(other, 1));
  EXPECT_TRUE(LockRecord(other, 2));
  EXPECT_FALSE(LockRecord(other, 0));
  // Record bytes lie inside the slot area: on one file they stand for a data file's records,
  // on an index file for read slots. Release them before using the file as an index file.
  EXPECT_TRUE(UnlockRecord(file_, 1));
  EXPECT_FALSE(UnlockRecord(file_, 1));
  EXPECT_TRUE(UnlockRecord(other, 2));

  uint16_t slot_a = 0;
  uint16_t slot_b = 0;
  ASSERT_TRUE(LockReadSlot(file_, slot_a, 100));
  ASSERT_TRUE(LockReadSlot(other, slot_b, 100)) << "readers never block each other";
  EXPECT_FALSE(LockWriteSlots(other, 2)) << "a reader blocks a writer";
  EXPECT_TRUE(UnlockReadSlot(file_, slot_a));
  EXPECT_TRUE(UnlockReadSlot(other, slot_b));
  ASSERT_TRUE(LockWriteSlots(file_, 1));
  uint16_t slot_c = 0;
  EXPECT_FALSE(LockReadSlot(other, slot_c, 3)) << "a writer blocks every reader";
  EXPECT_TRUE(UnlockWriteSlots(file_));
  ASSERT_TRUE(LockTableWriteByte(other, 1));
  EXPECT_FALSE(LockTableWriteByte(file_, 2));
  EXPECT_TRUE(UnlockTableWriteByte(other));
}

INSTANTIATE_TEST_SUITE_P(Kinds, FileHandlerTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Memory" : "Disk"; });

class FileFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.Path().empty());
    file_.SetFileName(dir_ / "faulty.DAT");
    file_.CreateFile();
    plan_.path_filter = "faulty.DAT";
  }

  files_test::TTempDir dir_;
  TFileHandler file_;
  platform::TFileFaultPlan plan_;
  char buffer_[64] = {};
};

TEST_F(FileFaultTest, AFailedReadRaisesReadErrorWithTheOsNumber) {
  file_.Write("abcdefgh", 8);
  plan_.fail_read_at = 2;
  plan_.read_error = EIO;
  platform::TScopedFileFaults faults(plan_);
  file_.Seek(0);
  EXPECT_EQ(file_.Read(buffer_, 4, false), 4u);
  const EVUZODEEngineError error = ErrorOf([&] { file_.Read(buffer_, 4, true); });
  EXPECT_EQ(error.EngineCode(), VUZODE_READERR) << "even where short reads are allowed";
  EXPECT_EQ(error.OsErrorNumber(), EIO);
  EXPECT_EQ(plan_.reads, 2u);
}

TEST_F(FileFaultTest, FailedFullAndShortWritesRaiseWriteError) {
  plan_.fail_write_at = 1;
  plan_.write_error = EIO;
  plan_.short_write_at = 2;
  plan_.short_write_bytes = 3;
  plan_.disk_full_from = 4;
  platform::TScopedFileFaults faults(plan_);
  EXPECT_EQ(ErrorOf([&] { file_.Write("abcdefgh", 8); }).OsErrorNumber(), EIO);
  file_.Seek(0);
  const EVUZODEEngineError short_write = ErrorOf([&] { file_.Write("abcdefgh", 8); });
  EXPECT_EQ(short_write.EngineCode(), VUZODE_WRITEERR);
  EXPECT_EQ(short_write.OsErrorNumber(), ENOSPC);
  EXPECT_EQ(file_.GetFileSize(), 3) << "the short write stored its first bytes";
  file_.Write("ok", 2);
  const EVUZODEEngineError full = ErrorOf([&] { file_.Write("abcdefgh", 8); });
  EXPECT_EQ(full.EngineCode(), VUZODE_WRITEERR);
  EXPECT_EQ(full.OsErrorNumber(), ENOSPC);
  EXPECT_EQ(full.ContextTable(), dir_ / "faulty.DAT");
}

TEST_F(FileFaultTest, AFailedFlushRaisesWriteError) {
  plan_.fail_flush_at = 1;
  plan_.flush_error = EIO;
  platform::TScopedFileFaults faults(plan_);
  EXPECT_EQ(ErrorOf([&] { file_.Flush(); }).EngineCode(), VUZODE_WRITEERR);
  EXPECT_EQ(ErrorOf([&] { file_.Flush(); }).EngineCode(), 0);
}

TEST_F(FileFaultTest, FailedOpensRaiseTheMappedOsCodeAndLeaveNoRegistryEntry) {
  file_.Close();
  const size_t before = FileList().Count();
  plan_.fail_open_at = 1;
  plan_.fail_open_count = 2;  // the open and its read-only retry
  plan_.open_error = EMFILE;
  {
    platform::TScopedFileFaults faults(plan_);
    const EVUZODEEngineError error = ErrorOf([&] { file_.Open(); });
    EXPECT_EQ(error.EngineCode(), VUZODE_OSEMFILE);
    EXPECT_EQ(error.OsErrorNumber(), EMFILE);
    EXPECT_EQ(FileList().Count(), before);
    EXPECT_FALSE(file_.Opened());
  }
  plan_.opens = 0;
  plan_.open_error = ENODEV;
  {
    platform::TScopedFileFaults faults(plan_);
    EXPECT_EQ(ErrorOf([&] { file_.CreateFile(); }).EngineCode(), VUZODE_OSENODEV);
    EXPECT_EQ(FileList().Count(), before);
  }
  file_.Open();
  EXPECT_TRUE(file_.Opened());
}

TEST_F(FileFaultTest, AnOpenRefusedForWritingIsRetriedForReading) {
  file_.Close();
  plan_.fail_open_at = 1;
  plan_.open_error = EACCES;
  platform::TScopedFileFaults faults(plan_);
  file_.Open();
  EXPECT_TRUE(file_.ReadOnly());
  EXPECT_FALSE(file_.ReadOnlyAttribute());
  EXPECT_EQ(plan_.opens, 2u);
  EXPECT_EQ(ErrorOf([&] { file_.Write("x", 1); }).EngineCode(), VUZODE_WRITEERR);
}

TEST_F(FileFaultTest, OtherFilesAreNotCounted) {
  plan_.fail_write_at = 1;
  plan_.write_error = EIO;
  platform::TScopedFileFaults faults(plan_);
  TFileHandler other;
  other.SetFileName(dir_ / "healthy.DAT");
  other.CreateFile();
  other.Write("fine", 4);
  EXPECT_EQ(plan_.writes, 0u);
}

}  // namespace
