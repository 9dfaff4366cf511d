// Tests of TDataSession and TDataDirectory: directory sharing by path, the working and private
// directories, passwords, progress steps and unique table names.
#include "db/engine/session/data_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/session/data_directory.h"
#include "platform/os/path.h"
#include "tests/db/engine/support/table_support.h"

namespace {

using engine_test::TScratchFolder;

TEST(DataSession, DirectoriesAreSharedByNormalizedPath) {
  struct TCase {
    const char* Database;
    const char* Folder;
    const char* Path;  // expected path; "*" for the working directory
  } const cases[] = {
      {"data", "data", "data\\"},
      {"other", "  data  ", "data\\"},  // same path, same directory whatever the name
      {"data", "DATA\\", "data\\"},
      {"data", "Data/", "data\\"},
      {"memory", "", ""},  // the in-memory database has no path
      {"MEMORY", " ", ""},
      {"Memory", " mem ", "mem\\"},
      {"data", "", "*"},
      {"kazu", "", "*"},
  };
  TDataSession session;
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Database) + " on '" + c.Folder + "'");
    const std::string expected = c.Path == std::string("*") ? session.WorkingDirectory() : c.Path;
    TDataDirectory& directory = session.OpenDirectory(c.Database, c.Folder);
    EXPECT_TRUE(platform::SameFileName(directory.Path(), expected)) << directory.Path();
  }
  // One directory per distinct path, counted once per open.
  ASSERT_EQ(session.Directories().size(), 4u);
  EXPECT_EQ(session.Directories()[0]->UseCount(), 4);
  EXPECT_EQ(session.Directories()[0]->DatabaseName(), "data");
  EXPECT_EQ(session.Directories()[1]->UseCount(), 2);
  EXPECT_EQ(session.Directories()[1]->Path(), "");

  TDataDirectory* data = session.Directories()[0].get();
  for (int i = 0; i < 3; ++i) session.CloseDirectory(data);
  ASSERT_EQ(session.Directories().size(), 4u);
  EXPECT_EQ(data->UseCount(), 1);
  session.CloseDirectory(data);
  EXPECT_EQ(session.Directories().size(), 3u);
}

TEST(DataSession, WorkingDirectoryIsCapturedAtConstruction) {
  TScratchFolder elsewhere;
  const std::filesystem::path original = std::filesystem::current_path();
  TDataSession session;
  std::filesystem::current_path(elsewhere.Path());
  TDataDirectory& directory = session.OpenDirectory("data", "");
  const std::string path = directory.Path();
  TDataSession later;
  std::filesystem::current_path(original);
  EXPECT_TRUE(platform::SameFileName(path, original.string() + "/")) << path;
  EXPECT_TRUE(platform::SameFileName(later.WorkingDirectory(), elsewhere.Path() + "/"));
}

TEST(DataSession, PrivateDirectoryFallsBackToTheWorkingDirectory) {
  TDataSession session;
  EXPECT_TRUE(platform::SameFileName(session.GetPrivateDir(),
                                     std::filesystem::temp_directory_path().string() + "/"));
  session.SetPrivateDir("  /var/tmp/work ");
  EXPECT_EQ(session.GetPrivateDir(), "/var/tmp/work\\");
  session.SetPrivateDir("");
  EXPECT_EQ(session.GetPrivateDir(), session.WorkingDirectory());
}

TEST(DataSession, PasswordsCompareExactly) {
  TDataSession session;
  session.AddPassword("Secret");
  session.AddPassword("Secret");
  session.AddPassword("");
  EXPECT_EQ(session.PasswordCount(), 1u);
  session.AddPassword("SECRET");
  EXPECT_EQ(session.PasswordCount(), 2u);
  EXPECT_TRUE(session.HasPassword("SECRET"));
  EXPECT_FALSE(session.HasPassword("secret"));
  session.RemovePassword("Secret");
  EXPECT_FALSE(session.HasPassword("Secret"));
  EXPECT_TRUE(session.HasPassword("SECRET"));
  session.RemoveAllPasswords();
  EXPECT_EQ(session.PasswordCount(), 0u);
}

TEST(DataSession, ProgressPercentStep) {
  const std::pair<uint16_t, uint16_t> cases[] = {{20, 5}, {0, 100}, {3, 33}, {1, 100}, {200, 0}};
  TDataSession session;
  EXPECT_EQ(session.ProgressSteps(), 20);
  for (auto [steps, percent] : cases) {
    session.SetProgressSteps(steps);
    EXPECT_EQ(session.ProgressPercentStep(), percent) << steps << " steps";
  }
}

TEST(DataDirectory, UniqueTableNameSkipsTakenNames) {
  TScratchFolder folder;
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
  const std::string first = directory.UniqueTableName(kDiskTable);
  ASSERT_GE(first.size(), 6u);
  const std::string base = first.substr(0, first.size() - 5);
  EXPECT_LE(base.size(), 5u);
  EXPECT_EQ(base.find_first_not_of("0123456789"), std::string::npos) << first;
  EXPECT_EQ(first, base + "0.DAT");

  TDataCursor cursor(directory);
  cursor.SetTableName(first);
  cursor.SetExclusive(true);
  cursor.CreateTable(engine_test::PeopleDefinition(), false);
  EXPECT_EQ(directory.UniqueTableName(kDiskTable), base + "1.DAT");
  // The other kind has names of its own; a taken name is found whatever its spelling.
  EXPECT_EQ(directory.UniqueTableName(kMemoryTable), first);
  EXPECT_TRUE(directory.TableExists(" " + base + "0.dat ", kDiskTable));
}

}  // namespace
