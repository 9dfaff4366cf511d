// TFileList: one shared object per kind and name, handle counting, exclusivity, the life of
// memory and disk files, renames and deletes, and UniqueFileName.
#include "db/storage/files/file_list.h"

#include <gtest/gtest.h>

#include <string>

#include "db/engine/errors/engine_error_codes.h"
#include "db/storage/files/unique_file_name.h"
#include "platform/os/os_error.h"
#include "tests/db/storage/files/test_support.h"

namespace {

class FileListTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.Path().empty()); }
  void TearDown() override {
    // Memory files live as long as the process; leave none behind for the next test.
    for (const std::string& name : memory_names_) FileList().DeleteFile(name, true);
  }

  std::string Memory(const std::string& name) {
    memory_names_.push_back(dir_ / name);
    return dir_ / name;
  }
  int64_t Open(const std::string& name, bool inMemory, bool exclusive, TAbstractFile*& file) {
    bool read_only = false;
    bool read_only_attribute = false;
    return FileList().OpenFile(name, inMemory, false, exclusive, read_only, read_only_attribute,
                               file);
  }

  files_test::TTempDir dir_;
  std::vector<std::string> memory_names_;
};

TEST_F(FileListTest, OpensOfOneNameShareOneObjectWhateverCaseBlanksOrSeparators) {
  const std::string path = dir_ / "Kazu.DAT";
  files_test::WriteBytes(path, "abc");
  const size_t before = FileList().Count();
  TAbstractFile* first = nullptr;
  TAbstractFile* second = nullptr;
  EXPECT_EQ(Open(path, false, false, first), 1);
  const std::string other_spelling = "  " + dir_.Path() + "\\KAZU.dat ";
  EXPECT_EQ(Open(other_spelling, false, false, second), 2);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->OpenCount(), 2);
  EXPECT_EQ(FileList().Count(), before + 1);
  EXPECT_EQ(FileList().CloseFile(first, false, 1), 0);
  EXPECT_EQ(FileList().Count(), before + 1) << "one handle is still open";
  EXPECT_EQ(FileList().CloseFile(first, false, 2), 0);
  EXPECT_EQ(FileList().Count(), before) << "a disk file goes with its last handle";
  EXPECT_EQ(FileList().CloseFile(first, false, 2), -VUZODE_OSENOENT);
}

TEST_F(FileListTest, ExclusiveUseConflictsWithEveryOtherHandle) {
  const std::string path = dir_ / "t.DAT";
  files_test::WriteBytes(path, "abc");
  TAbstractFile* shared = nullptr;
  TAbstractFile* other = nullptr;
  ASSERT_EQ(Open(path, false, false, shared), 1);
  platform::SetLastOsError(0);
  EXPECT_EQ(Open(path, false, true, other), -VUZODE_OSEACCES);
  EXPECT_NE(platform::LastOsError(), 0) << "the failure carries an OS error number";
  FileList().CloseFile(shared, false, 1);

  TAbstractFile* exclusive = nullptr;
  ASSERT_EQ(Open(path, false, true, exclusive), 1);
  EXPECT_EQ(Open(path, false, false, other), -VUZODE_OSEACCES);
  EXPECT_EQ(FileList().CreateFile(path, false, false, other), -VUZODE_OSEACCES);
  EXPECT_EQ(FileList().RenameFile(path, false, dir_ / "u.DAT"), -VUZODE_OSEACCES);
  EXPECT_EQ(FileList().DeleteFile(path, false), -VUZODE_OSEACCES);
  FileList().CloseFile(exclusive, false, 1);
  EXPECT_EQ(FileList().RenameFile(path, false, dir_ / "u.DAT"), 0);
  EXPECT_FALSE(FileList().FileExists(path, false));
  EXPECT_TRUE(FileList().FileExists(dir_ / "U.dat", false));
}

TEST_F(FileListTest, AMemoryFileKeepsItsContentAfterItsLastCloseUntilDeleted) {
  const std::string name = Memory("mem.DAT");
  TAbstractFile* file = nullptr;
  EXPECT_EQ(Open(name, true, false, file), -VUZODE_OSENOENT) << "no such memory file yet";
  ASSERT_EQ(FileList().CreateFile(name, true, false, file), 1);
  ASSERT_EQ(file->Write(1, "kept", 4), 4);
  EXPECT_EQ(FileList().CloseFile(file, true, 1), 0);
  EXPECT_TRUE(FileList().FileExists(name, true));
  EXPECT_FALSE(FileList().FileExists(name, false)) << "the kinds are different files";

  TAbstractFile* again = nullptr;
  const int64_t id = Open(" " + name + " ", true, false, again);
  ASSERT_GT(id, 0);
  EXPECT_EQ(again, file);
  char bytes[4] = {};
  EXPECT_EQ(again->Read(static_cast<uint32_t>(id), bytes, 4), 4);
  EXPECT_EQ(std::string(bytes, 4), "kept");
  EXPECT_EQ(FileList().DeleteFile(name, true), -VUZODE_OSEACCES);
  FileList().CloseFile(again, true, static_cast<uint32_t>(id));
  EXPECT_EQ(FileList().DeleteFile(name, true), 0);
  EXPECT_FALSE(FileList().FileExists(name, true));
  EXPECT_EQ(FileList().DeleteFile(name, true), -VUZODE_OSENOENT);
}

TEST_F(FileListTest, RenamesNeverReplaceAnExistingFile) {
  const std::string a = Memory("a.mem");
  const std::string b = Memory("b.mem");
  TAbstractFile* file = nullptr;
  ASSERT_GT(FileList().CreateFile(a, true, false, file), 0);
  FileList().CloseFile(file, true, 1);
  ASSERT_GT(FileList().CreateFile(b, true, false, file), 0);
  FileList().CloseFile(file, true, 1);
  EXPECT_EQ(FileList().RenameFile(a, true, b), -VUZODE_OSUNKNOWN);
  EXPECT_EQ(FileList().RenameFile(a, true, dir_ / "A.MEM"), 0) << "only the case changes";

  files_test::WriteBytes(dir_ / "x.DAT", "x");
  files_test::WriteBytes(dir_ / "y.DAT", "y");
  EXPECT_EQ(FileList().RenameFile(dir_ / "x.DAT", false, dir_ / "Y.dat"), -VUZODE_OSUNKNOWN);
  EXPECT_EQ(files_test::ReadBytes(dir_ / "y.DAT"), "y");
  EXPECT_EQ(FileList().RenameFile(dir_ / "x.DAT", false, dir_ / "X.dat"), 0);
  EXPECT_EQ(files_test::ReadBytes(dir_ / "X.dat"), "x");
  EXPECT_EQ(FileList().RenameFile(dir_ / "gone.DAT", false, dir_ / "z"), -VUZODE_OSENOENT);
  EXPECT_EQ(FileList().DeleteFile(dir_ / "gone.DAT", false), -VUZODE_OSENOENT);
}

TEST_F(FileListTest, DirectoriesAreNotFiles) {
  EXPECT_FALSE(FileList().FileExists(dir_.Path(), false));
  TAbstractFile* file = nullptr;
  EXPECT_EQ(Open(dir_.Path(), false, false, file), -VUZODE_OSEACCES);
  EXPECT_EQ(FileList().DeleteFile(dir_.Path(), false), -VUZODE_OSEACCES);
}

TEST_F(FileListTest, ATemporaryFileOpenedDisappearsAtItsLastCloseOneCreatedStays) {
  const std::string created = dir_ / "sort1.tmp";
  TAbstractFile* file = nullptr;
  ASSERT_EQ(FileList().CreateFile(created, false, true, file), 1);
  FileList().CloseFile(file, false, 1);
  EXPECT_TRUE(FileList().FileExists(created, false));

  bool read_only = false;
  bool read_only_attribute = false;
  ASSERT_EQ(FileList().OpenFile(created, false, true, false, read_only, read_only_attribute, file),
            1);
  FileList().CloseFile(file, false, 1);
  EXPECT_FALSE(FileList().FileExists(created, false));
}

TEST_F(FileListTest, CreatingEmptiesAnExistingFileAndReportsItWritable) {
  const std::string path = dir_ / "c.DAT";
  files_test::WriteBytes(path, "old content");
  TAbstractFile* file = nullptr;
  ASSERT_EQ(FileList().CreateFile(path, false, false, file), 1);
  EXPECT_EQ(file->GetSize(), 0);
  EXPECT_TRUE(file->Exclusive());
  FileList().CloseFile(file, false, 1);
  EXPECT_EQ(files_test::ReadBytes(path), "");
}

TEST_F(FileListTest, UniqueFileNamesSkipNamesInUseOfTheirKind) {
  const std::string first = UniqueFileName(dir_.Path(), ".tmp", false);
  EXPECT_EQ(first.rfind(dir_.Path() + "/", 0), 0u);
  EXPECT_EQ(first.substr(first.size() - 5), "0.tmp");
  files_test::WriteBytes(first, "");
  const std::string second = UniqueFileName(dir_.Path() + "/", ".tmp", false);
  EXPECT_NE(second, first);
  EXPECT_EQ(second.substr(second.size() - 5), "1.tmp");
  EXPECT_EQ(UniqueFileName(dir_.Path(), ".tmp", true), first) << "no memory file has that name";
  const std::string backslashed = UniqueFileName(dir_.Path() + "\\", ".tmp", false);
  EXPECT_TRUE(
      FileList().FileExists(backslashed.substr(0, backslashed.size() - 5) + "0.tmp", false));
}

}  // namespace
