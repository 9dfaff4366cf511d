// Tests of the directory's table registry as cursors use it: one shared table per name and
// kind, opens refused while another cursor, session or process holds the table, failed opens
// that leave no entry, handle or file behind, and in-memory tables.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/storage/files/file_list.h"
#include "tests/db/engine/support/table_support.h"
#include "tests/db/engine/table/people_table.h"
#include "tests/db/storage/files/helper_process.h"

namespace {

using engine_test::CodeOf;
using engine_test::CreatePeople;
using engine_test::TScratchFolder;

void Overwrite(const std::string& file, std::streamoff offset, const std::string& bytes) {
  std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
  stream.seekp(offset);
  stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::unique_ptr<TDataCursor> Cursor(TDataDirectory& directory, const std::string& name,
                                    bool exclusive = false) {
  auto cursor = std::make_unique<TDataCursor>(directory);
  cursor->SetTableName(name);
  cursor->SetExclusive(exclusive);
  return cursor;
}

TEST(TableRegistry, CursorsShareOneTableUntilTheLastCloses) {
  TScratchFolder folder;
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
  CreatePeople(directory, "PEOPLE", 2, true);
  const size_t baseline = FileList().Count();
  EXPECT_TRUE(directory.Tables().empty());

  auto a = Cursor(directory, "PEOPLE");
  auto b = Cursor(directory, " people.dat ");
  a->OpenCursor();
  b->OpenCursor();
  ASSERT_EQ(directory.Tables().size(), 1u);
  EXPECT_EQ(b->Table(), a->Table());
  EXPECT_EQ(a->Table()->OpenCount(), 2);
  EXPECT_EQ(FileList().Count(), baseline + 3);
  a->CloseCursor();
  ASSERT_EQ(directory.Tables().size(), 1u);
  EXPECT_TRUE(directory.Tables()[0]->FilesOpen());
  EXPECT_EQ(engine_test::IdsInKeyOrder(*b->Table()), (std::vector<int64_t>{1, 2}));
  b->CloseCursor();
  EXPECT_TRUE(directory.Tables().empty());
  EXPECT_EQ(FileList().Count(), baseline);
}

TEST(TableRegistry, ConflictingOpensAreRefused) {
  struct TRow {
    bool FirstExclusive, SecondExclusive, Sharing;
    uint16_t Code;
  } const rows[] = {
      {false, false, false, 0},
      {false, true, false, VUZODE_OSEACCES},
      {true, false, false, VUZODE_OSEACCES},
      {true, true, false, VUZODE_OSEACCES},
      {true, true, true, 0},  // a clone of the exclusive cursor
  };
  TScratchFolder folder;
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
  CreatePeople(directory, "PEOPLE", 1);
  for (const TRow& row : rows) {
    SCOPED_TRACE(std::to_string(row.FirstExclusive) + std::to_string(row.SecondExclusive) +
                 std::to_string(row.Sharing));
    auto first = Cursor(directory, "PEOPLE", row.FirstExclusive);
    first->OpenCursor();
    auto second = Cursor(directory, "people", row.SecondExclusive);
    second->SetSharesExclusiveTable(row.Sharing);
    EXPECT_EQ(CodeOf([&] { second->OpenCursor(); }), row.Code);
    EXPECT_EQ(first->Table()->OpenCount(), row.Code == 0 ? 2 : 1);
    EXPECT_FALSE(second->Opened() && row.Code != 0);
  }
  EXPECT_TRUE(directory.Tables().empty());

  // A clone shares its exclusive table; another session of this process is refused by the
  // file layer and keeps no entry.
  auto holder = Cursor(directory, "PEOPLE", true);
  holder->OpenCursor();
  std::unique_ptr<TDataCursor> clone = holder->CloneCursor();
  EXPECT_EQ(clone->Table(), holder->Table());
  EXPECT_EQ(holder->Table()->OpenCount(), 2);
  TDataSession other;
  TDataDirectory& otherDirectory = other.OpenDirectory("data", folder.Path());
  EXPECT_EQ(CodeOf([&] { Cursor(otherDirectory, "PEOPLE")->OpenCursor(); }), VUZODE_OSEACCES);
  EXPECT_TRUE(otherDirectory.Tables().empty());
  // Whole-table operations wait for the last cursor.
  EXPECT_EQ(CodeOf([&] { Cursor(directory, "PEOPLE")->DeleteTable(); }), VUZODE_OSEACCES);
  EXPECT_EQ(CodeOf([&] { Cursor(directory, "PEOPLE")->RenameTable("FOLK"); }), VUZODE_OSEACCES);
  EXPECT_EQ(CodeOf([&] { holder->DeleteTable(); }), VUZODE_TABLEOPEN);
  EXPECT_EQ(CodeOf([&] {
              Cursor(directory, "PEOPLE", true)->CreateTable(engine_test::PeopleDefinition(), true);
            }),
            VUZODE_OSEACCES);
  clone.reset();
  holder.reset();
  EXPECT_EQ(folder.Files(), (std::vector<std::string>{"PEOPLE.DAT", "PEOPLE.IDX"}));
  EXPECT_TRUE(directory.Tables().empty());
}

TEST(TableRegistry, AnotherProcessHoldingTheTableExclusively) {
  TScratchFolder folder;
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
  CreatePeople(directory, "PEOPLE", 1);
  const size_t baseline = FileList().Count();
  const std::vector<std::string> files = folder.Files();
  {
    files_test::THelperProcess helper(PEBRIO_ENGINE_HELPER,
                                      {folder.Path(), "PEOPLE", "open-exclusive"});
    ASSERT_EQ(helper.ReadLine(), "ok");
    for (bool exclusive : {false, true}) {
      EXPECT_EQ(CodeOf([&] { Cursor(directory, "PEOPLE", exclusive)->OpenCursor(); }),
                VUZODE_OSEACCES);
    }
    EXPECT_EQ(CodeOf([&] { Cursor(directory, "PEOPLE")->DeleteTable(); }), VUZODE_OSEACCES);
    EXPECT_EQ(
        CodeOf([&] {
          Cursor(directory, "PEOPLE", true)->CreateTable(engine_test::PeopleDefinition(), true);
        }),
        VUZODE_OSEACCES);
    EXPECT_TRUE(directory.Tables().empty());
    EXPECT_EQ(FileList().Count(), baseline);
    EXPECT_EQ(folder.Files(), files);
  }
  // And the other way round.
  auto holder = Cursor(directory, "PEOPLE", true);
  holder->OpenCursor();
  files_test::THelperProcess helper(PEBRIO_ENGINE_HELPER, {folder.Path(), "PEOPLE", "open"});
  EXPECT_EQ(helper.ReadLine(), "error 11013");
}

TEST(TableRegistry, FailedOpenLeavesNothingBehind) {
  struct TRow {
    const char* What;
    const char* Removed;  // extensions of the files removed
    const char* Patched;  // extension of the file given Bytes at Offset
    int Offset;
    std::string Bytes;
    bool Encrypted;
    uint16_t Code;
  };
  // clang-format off
  const TRow rows[] = {
    {"missing table",          "DAT",     "",    0,  "",                false, VUZODE_OSENOENT},
    {"data header version",    "",        "DAT", 8,  "\x04",            false, VUZODE_OLDVERSION},
    {"data header row count",  "",        "DAT", 13, {"\x7f\0\0\0", 4}, false, VUZODE_HEADERCORRUPT},
    {"index header",           "",        "IDX", 13, "\xff",            false, VUZODE_HEADERCORRUPT},
    {"missing BLOB file",      "BLB",     "",    0,  "",                false, VUZODE_OSENOENT},
    {"missing BLOB and index", "BLB IDX", "",    0,  "",                false, VUZODE_OSENOENT},
    {"no password",            "",        "",    0,  "",                true,  VUZODE_NOTSUFFTABLERIGHTS},
    {"no password, no index",  "IDX",     "",    0,  "",                true,  VUZODE_NOTSUFFTABLERIGHTS},
  };
  // clang-format on
  TScratchFolder folder;
  int number = 0;
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.What);
    const std::string name = "T" + std::to_string(number++);
    {
      TDataSession maker;
      CreatePeople(maker.OpenDirectory("data", folder.Path()), name, 3, !row.Encrypted, false,
                   row.Encrypted ? "Secret" : "");
    }
    const std::string base = folder.Path() + "/" + name + ".";
    std::istringstream removed(row.Removed);
    for (std::string extension; removed >> extension;) std::filesystem::remove(base + extension);
    if (*row.Patched != '\0') Overwrite(base + row.Patched, row.Offset, row.Bytes);
    const std::vector<std::string> files = folder.Files();
    const size_t baseline = FileList().Count();
    TDataSession session;
    TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
    auto cursor = Cursor(directory, name);
    cursor->SetPasswordCallback([](TDataCursor&) { return false; });
    EXPECT_EQ(CodeOf([&] { cursor->OpenCursor(); }), row.Code);
    EXPECT_FALSE(cursor->Opened());
    EXPECT_TRUE(directory.Tables().empty());
    EXPECT_EQ(FileList().Count(), baseline);
    EXPECT_EQ(folder.Files(), files);
    if (row.Encrypted) {
      // With the password the table opens, with all its records counted.
      session.AddPassword("Secret");
      cursor->OpenCursor();
      EXPECT_EQ(cursor->Table()->IndexFile().ActiveRecordCount(), 3);
      cursor->CloseCursor();
    }
    // A damaged or incomplete table can still be deleted, whole.
    const uint16_t deleteCode = folder.Has(name + ".DAT") ? 0 : VUZODE_OSENOENT;
    EXPECT_EQ(CodeOf([&] { cursor->DeleteTable(); }), deleteCode);
    for (const std::string& file : folder.Files()) {
      EXPECT_FALSE(deleteCode == 0 && file.starts_with(name + "."));
    }
  }
}

TEST(TableRegistry, InMemoryTablesOutliveTheirCursors) {
  TScratchFolder folder;
  const size_t baseline = FileList().Count();
  {
    TDataSession session;
    TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
    CreatePeople(directory, "MEM", 3, true, true);
    EXPECT_TRUE(directory.TableExists("mem", kMemoryTable));
    EXPECT_FALSE(directory.TableExists("mem", kDiskTable));
    // A disk table of the same name is another entry.
    CreatePeople(directory, "MEM", 1);
    auto memory = Cursor(directory, "MEM");
    memory->SetInMemory(true);
    memory->OpenCursor();
    auto disk = Cursor(directory, "MEM");
    disk->OpenCursor();
    EXPECT_EQ(directory.Tables().size(), 2u);
    EXPECT_EQ(engine_test::IdsInKeyOrder(*memory->Table()), (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(engine_test::IdsInKeyOrder(*disk->Table()), (std::vector<int64_t>{1}));
  }
  EXPECT_EQ(folder.Files(), (std::vector<std::string>{"MEM.DAT", "MEM.IDX"}));
  // The memory files stay registered after every cursor and session is gone.
  EXPECT_EQ(FileList().Count(), baseline + 3);
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
  auto cursor = Cursor(directory, "mem.dat");
  cursor->SetInMemory(true);
  cursor->OpenCursor();
  EXPECT_EQ(engine_test::IdsInKeyOrder(*cursor->Table()), (std::vector<int64_t>{1, 2, 3}));
  cursor->CloseCursor();
  cursor->DeleteTable();
  EXPECT_FALSE(directory.TableExists("MEM", kMemoryTable));
  EXPECT_EQ(FileList().Count(), baseline);
}

}  // namespace
