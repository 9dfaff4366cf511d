// Tests of a table's files through a cursor's whole-table operations: the exact file set after
// create, rename, backup and delete, an index file recreated and rebuilt, the password loop of
// encrypted tables, and files carrying the read-only attribute.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/storage/index/btree.h"
#include "tests/db/engine/support/table_support.h"
#include "tests/db/engine/table/people_table.h"

namespace {

using engine_test::CodeOf;
using engine_test::CreatePeople;
using engine_test::IdsInKeyOrder;
using engine_test::TScratchFolder;
using TFiles = std::vector<std::string>;

TDataCursor& Named(TDataCursor& cursor, const std::string& name, bool exclusive = false) {
  cursor.SetTableName(name);
  cursor.SetExclusive(exclusive);
  return cursor;
}

TEST(TableFiles, CreateReopenRenameBackupDelete) {
  TScratchFolder folder;
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
  EXPECT_FALSE(directory.TableExists("PEOPLE", kDiskTable));
  CreatePeople(directory, "PEOPLE", 3, true);
  EXPECT_EQ(folder.Files(), (TFiles{"PEOPLE.BLB", "PEOPLE.DAT", "PEOPLE.IDX"}));
  EXPECT_TRUE(directory.TableExists("people.dat", kDiskTable));

  TDataCursor cursor(directory);
  EXPECT_EQ(CodeOf([&] { Named(cursor, "PEOPLE", true).CreateTable({}, false); }),
            VUZODE_TABLEEXISTS);
  EXPECT_EQ(CodeOf([&] { Named(cursor, "OTHER").CreateTable({}, false); }), VUZODE_NEEDEXCLACCESS);
  cursor.SetReadOnly(true);
  EXPECT_EQ(CodeOf([&] { Named(cursor, "OTHER", true).CreateTable({}, false); }), VUZODE_OSEACCES);
  cursor.SetReadOnly(false);

  // A rename onto a name one of whose files exists moves nothing.
  { std::ofstream stray(folder.Path() + "/folk.IDX"); }
  EXPECT_EQ(CodeOf([&] { Named(cursor, "people").RenameTable("folk"); }), VUZODE_TABLEEXISTS);
  EXPECT_EQ(folder.Files(), (TFiles{"PEOPLE.BLB", "PEOPLE.DAT", "PEOPLE.IDX", "folk.IDX"}));
  std::filesystem::remove(folder.Path() + "/folk.IDX");
  Named(cursor, "people").RenameTable("folk");
  EXPECT_EQ(folder.Files(), (TFiles{"folk.BLB", "folk.DAT", "folk.IDX"}));
  Named(cursor, "FOLK.DAT").OpenCursor();
  EXPECT_EQ(IdsInKeyOrder(*cursor.Table()), (std::vector<int64_t>{1, 2, 3}));
  cursor.CloseCursor();

  // Backups: a second backup of the same name replaces the whole first one, also the BLOB
  // file the newer table does not have.
  ASSERT_EQ(directory.RenameTable("folk", "folk", kDiskTable, true), 0);
  EXPECT_EQ(folder.Files(), (TFiles{"folk.BBK", "folk.DBK", "folk.IBK"}));
  CreatePeople(directory, "folk", 1);
  const auto newest = std::filesystem::file_size(folder.Path() + "/folk.DAT");
  ASSERT_EQ(directory.RenameTable("folk", "folk", kDiskTable, true), 0);
  EXPECT_EQ(folder.Files(), (TFiles{"folk.DBK", "folk.IBK"}));
  EXPECT_EQ(std::filesystem::file_size(folder.Path() + "/folk.DBK"), newest);

  // Overwriting a table starts it empty; deleting it removes its three files.
  CreatePeople(directory, "PEOPLE", 2, true);
  Named(cursor, "PEOPLE", true).CreateTable(engine_test::PeopleDefinition(true), true);
  cursor.OpenCursor();
  EXPECT_TRUE(IdsInKeyOrder(*cursor.Table()).empty());
  cursor.CloseCursor();
  cursor.DeleteTable();
  EXPECT_EQ(folder.Files(), (TFiles{"folk.DBK", "folk.IBK"}));
  EXPECT_FALSE(directory.TableExists("PEOPLE", kDiskTable));
  EXPECT_EQ(CodeOf([&] { cursor.DeleteTable(); }), VUZODE_OSENOENT);
}

TEST(TableFiles, MissingIndexFileIsRecreatedAndRebuilt) {
  for (bool rolledBack : {false, true}) {
    SCOPED_TRACE(rolledBack ? "opened in a transaction that rolls back" : "plain open");
    TScratchFolder folder;
    TDataSession session;
    TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
    CreatePeople(directory, "PEOPLE", 4);
    std::filesystem::remove(folder.Path() + "/PEOPLE.IDX");

    if (rolledBack) directory.StartTransaction();
    TDataCursor cursor(directory);
    Named(cursor, "PEOPLE").OpenCursor();
    TIndexFile& index = cursor.Table()->IndexFile();
    EXPECT_EQ(index.ActiveRecordCount(), 4);
    EXPECT_EQ(TBTree(index, kDeletedSlot).Count(), 4);
    // The definitions went with the file: no secondary index, no primary key.
    EXPECT_EQ(index.Header().SecondaryIndexCount, 0);
    EXPECT_EQ(index.Descriptor(kPrimarySlot).KeyLength, 0);
    cursor.CloseCursor();
    if (rolledBack) directory.Rollback();

    cursor.OpenCursor();
    EXPECT_EQ(cursor.Table()->IndexFile().ActiveRecordCount(), 4);
    EXPECT_EQ(TBTree(cursor.Table()->IndexFile(), kDeletedSlot).Count(), 4);
  }
}

TEST(TableFiles, PasswordLoop) {
  struct TRow {
    bool HasCallback;
    std::vector<std::string> Answers;  // each call adds one; "" gives up
    uint16_t Code;
  } const rows[] = {
      {false, {}, VUZODE_NOTSUFFTABLERIGHTS},
      {true, {""}, VUZODE_NOTSUFFTABLERIGHTS},
      {true, {"secret", ""}, VUZODE_NOTSUFFTABLERIGHTS},  // letter case counts
      {true, {"Secret"}, 0},
      {true, {"Wrong", "Secret"}, 0},
  };
  TScratchFolder folder;
  {
    TDataSession maker;
    CreatePeople(maker.OpenDirectory("data", folder.Path()), "SAFE", 2, true, false, "Secret");
  }
  const TFiles files = folder.Files();
  for (const TRow& row : rows) {
    for (bool open : {true, false}) {
      SCOPED_TRACE(std::to_string(row.Answers.size()) + " answers, " + (open ? "open" : "delete"));
      TDataSession session;
      TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
      TDataCursor cursor(directory);
      Named(cursor, "SAFE");
      size_t calls = 0;
      if (row.HasCallback) {
        cursor.SetPasswordCallback([&](TDataCursor& asking) {
          EXPECT_EQ(&asking, &cursor);
          const std::string answer = calls < row.Answers.size() ? row.Answers[calls] : "";
          ++calls;
          asking.Directory().Session().AddPassword(answer);
          return !answer.empty();
        });
      }
      // Reading a closed table's header, as delete and rename do, asks the same way.
      EXPECT_EQ(CodeOf([&] {
                  if (open) {
                    cursor.OpenCursor();
                  } else {
                    cursor.ReadDataHeader();
                  }
                }),
                row.Code);
      EXPECT_EQ(calls, row.Answers.size());
      EXPECT_EQ(folder.Files(), files);
      if (row.Code == 0 && open) {
        EXPECT_EQ(IdsInKeyOrder(*cursor.Table()), (std::vector<int64_t>{1, 2}));
      }
    }
  }
  TDataSession session;
  TDataCursor cursor(session.OpenDirectory("data", folder.Path()));
  EXPECT_EQ(CodeOf([&] { Named(cursor, "SAFE").DeleteTable(); }), VUZODE_NOTSUFFTABLERIGHTS);
  EXPECT_EQ(folder.Files(), files);
  session.AddPassword("Secret");
  cursor.DeleteTable();
  EXPECT_TRUE(folder.Files().empty());
}

TEST(TableFiles, ReadOnlyAttributeOpensReadOnly) {
  TScratchFolder folder;
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
  CreatePeople(directory, "PEOPLE", 1);
  std::filesystem::permissions(
      folder.Path() + "/PEOPLE.IDX",
      std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  TDataCursor cursor(directory);
  Named(cursor, "PEOPLE", true).OpenCursor();
  EXPECT_TRUE(cursor.Table()->ReadOnlyAttribute());
  EXPECT_TRUE(cursor.ReadOnly());
  EXPECT_EQ(CodeOf([&] { cursor.EmptyTable(); }), VUZODE_OSEACCES);
  cursor.CloseCursor();
  cursor.SetExclusive(false);
  cursor.OpenCursor();
  EXPECT_EQ(IdsInKeyOrder(*cursor.Table()), (std::vector<int64_t>{1}));
}

}  // namespace
