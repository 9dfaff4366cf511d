// Copies between files: content, progress reports, truncation of a longer target, and failures
// met half-way.
#include "db/storage/files/file_copy.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/storage/files/file_handler.h"
#include "db/storage/files/file_list.h"
#include "platform/os/fault_injection.h"
#include "tests/db/storage/files/test_support.h"

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

void RecordPercent(void* userData, int percent) {
  static_cast<std::vector<int>*>(userData)->push_back(percent);
}

void Interrupt(void*, int) {
  throw std::runtime_error("cancelled");
}

class FileCopyTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.Path().empty());
    source_.SetInMemory(GetParam());
    source_.SetFileName(dir_ / "source.DAT");
    source_.CreateFile();
  }
  void TearDown() override {
    source_.Close();
    if (GetParam()) {
      for (const char* name : {"source.DAT", "copy.DAT", "long.DAT"}) {
        FileList().DeleteFile(dir_ / name, true);
      }
    }
  }
  void Fill(TFileHandler& file, const std::string& bytes) {
    file.Seek(0);
    file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  }
  std::string Content(const std::string& name) {
    TFileHandler file;
    file.SetInMemory(GetParam());
    file.SetFileName(dir_ / name);
    file.Open();
    std::string bytes(static_cast<size_t>(file.GetFileSize()), '\0');
    file.Seek(0);
    file.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), false);
    return bytes;
  }

  files_test::TTempDir dir_;
  TFileHandler source_;
};

TEST_P(FileCopyTest, SaveCopiesEverythingAndReportsRisingPercentagesUpTo100) {
  const std::string data = files_test::Pattern(5 * kCopyChunkSize + 123);
  Fill(source_, data);
  std::vector<int> percents;
  source_.SaveToFile(dir_ / "copy.DAT", 30, RecordPercent, &percents);
  EXPECT_EQ(Content("copy.DAT"), data);
  EXPECT_EQ(percents, (std::vector<int>{39, 79})) << "only after a rise of 30 or more";
  percents.clear();
  // A source of whole chunks ends with an empty read, which reports nothing more.
  source_.Seek(4 * kCopyChunkSize);
  source_.Write(nullptr, 0);
  source_.SaveToFile(dir_ / "copy.DAT", 0, RecordPercent, &percents);
  EXPECT_EQ(percents, (std::vector<int>{25, 50, 75, 100}));
  EXPECT_EQ(Content("copy.DAT"), data.substr(0, 4 * kCopyChunkSize));
}

TEST_P(FileCopyTest, CopyingAnEmptyFileReadsNothingAndReportsNothing) {
  std::vector<int> percents;
  source_.SaveToFile(dir_ / "copy.DAT", 0, RecordPercent, &percents);
  EXPECT_TRUE(percents.empty());
  EXPECT_EQ(Content("copy.DAT"), "");
}

TEST_P(FileCopyTest, LoadingOverALongerFileLeavesNoOldTail) {
  Fill(source_, "short");
  TFileHandler target;
  target.SetInMemory(GetParam());
  target.SetFileName(dir_ / "long.DAT");
  target.CreateFile();
  Fill(target, std::string(100000, 'x'));
  source_.Close();
  target.LoadFromFile(dir_ / "source.DAT", 10, nullptr, nullptr);
  EXPECT_EQ(target.GetFileSize(), 5);
  target.Close();
  EXPECT_EQ(Content("long.DAT"), "short");
}

TEST_P(FileCopyTest, TheSourceOfALoadMustBeFreeForExclusiveUse) {
  TFileHandler target;
  target.SetInMemory(GetParam());
  target.SetFileName(dir_ / "long.DAT");
  target.CreateFile();
  EXPECT_EQ(CodeOf([&] { target.LoadFromFile(dir_ / "source.DAT", 10, nullptr, nullptr); }),
            VUZODE_OSEACCES);
  EXPECT_EQ(CodeOf([&] { target.LoadFromFile(dir_ / "none.DAT", 10, nullptr, nullptr); }),
            VUZODE_OSENOENT);
  EXPECT_EQ(CodeOf([&] { source_.SaveToFile(dir_ / "source.DAT", 10, nullptr, nullptr); }),
            VUZODE_OSEACCES)
      << "a file cannot be copied onto itself";
}

TEST_P(FileCopyTest, ACallbackThatRaisesLeavesNoHandleBehind) {
  Fill(source_, files_test::Pattern(3 * kCopyChunkSize));
  EXPECT_THROW(source_.SaveToFile(dir_ / "copy.DAT", 0, Interrupt, nullptr), std::runtime_error);
  TFileHandler copy;
  copy.SetInMemory(GetParam());
  copy.SetFileName(dir_ / "copy.DAT");
  copy.SetExclusive(true);
  EXPECT_EQ(CodeOf([&] { copy.Open(); }), 0) << "the copy's handle was closed";
  copy.Close();
  // The source's guard was left: another thread can take it.
  bool entered = false;
  std::thread other([&] {
    source_.BeginAccess();
    entered = true;
    source_.EndAccess();
  });
  other.join();
  EXPECT_TRUE(entered);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FileCopyTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Memory" : "Disk"; });

class FileCopyFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.Path().empty());
    source_.SetFileName(dir_ / "source.DAT");
    source_.CreateFile();
    const std::string data = files_test::Pattern(4 * kCopyChunkSize);
    source_.Write(data.data(), static_cast<uint32_t>(data.size()));
  }

  files_test::TTempDir dir_;
  TFileHandler source_;
  platform::TFileFaultPlan plan_;
};

TEST_F(FileCopyFaultTest, AReadFailingHalfWayIsReportedNotTakenForTheEnd) {
  plan_.path_filter = "source.DAT";
  plan_.fail_read_at = 3;
  plan_.read_error = EIO;
  platform::TScopedFileFaults faults(plan_);
  try {
    source_.SaveToFile(dir_ / "copy.DAT", 0, nullptr, nullptr);
    ADD_FAILURE() << "the copy reported success";
  } catch (const EVUZODEEngineError& error) {
    EXPECT_EQ(error.EngineCode(), VUZODE_READERR);
    EXPECT_EQ(error.OsErrorNumber(), EIO);
  }
}

TEST_F(FileCopyFaultTest, AShortWriteHalfWayIsReported) {
  plan_.path_filter = "copy.DAT";
  plan_.short_write_at = 2;
  plan_.short_write_bytes = 100;
  platform::TScopedFileFaults faults(plan_);
  try {
    source_.SaveToFile(dir_ / "copy.DAT", 0, nullptr, nullptr);
    ADD_FAILURE() << "the copy reported success";
  } catch (const EVUZODEEngineError& error) {
    EXPECT_EQ(error.EngineCode(), VUZODE_WRITEERR);
    EXPECT_EQ(error.OsErrorNumber(), ENOSPC);
  }
}

TEST_F(FileCopyFaultTest, ALoadFailingToWriteIsReported) {
  source_.Close();
  TFileHandler target;
  target.SetFileName(dir_ / "target.DAT");
  target.CreateFile();
  plan_.path_filter = "target.DAT";
  plan_.disk_full_from = 1;
  platform::TScopedFileFaults faults(plan_);
  EXPECT_EQ(CodeOf([&] { target.LoadFromFile(dir_ / "source.DAT", 0, nullptr, nullptr); }),
            VUZODE_WRITEERR);
}

}  // namespace
