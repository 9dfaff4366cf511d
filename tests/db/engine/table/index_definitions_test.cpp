// Tests of AddIndex and DeleteIndex: a unique index over duplicates refused with every record
// kept, the key length limit, names found in any letter case, the primary index removed, and
// a deleted tree's pages all on its free chain.
#include "db/engine/table/index_definitions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "db/storage/index/btree.h"
#include "db/storage/index/index_header.h"
#include "tests/db/engine/table/restructure_support.h"

namespace {

using engine_test::CodeOf;
using engine_test::MakeField;
using engine_test::MakeIndexDefinition;
using engine_test::PeopleRows;
using engine_test::TPeopleBed;
using TRows = std::vector<std::string>;

TEST(AddIndex, BuildsOrRefusesWithoutLosingRecords) {
  struct TCase {
    const char* what;
    IndexDescriptor index;
    bool duplicate;  // a seventh record repeats the name "p3"
    uint16_t code;
    TRows indexes;
  };
  const std::vector<TCase> cases = {
      {"unique over distinct names",
       MakeIndexDefinition("uname", {2}, true),
       false,
       0,
       {"BYNAME", "uname"}},
      {"unique over a repeated name",
       MakeIndexDefinition("UNAME", {2}, true),
       true,
       VUZODE_KEYVIOL,
       {"BYNAME"}},
      {"non-unique over a repeated name",
       MakeIndexDefinition("NNAME", {2, 1}, false),
       true,
       0,
       {"BYNAME", "NNAME"}},
      {"name taken",
       MakeIndexDefinition("byname", {1}, false),
       false,
       VUZODE_INDEXEXISTS,
       {"BYNAME"}},
      {"no field", MakeIndexDefinition("NONE", {}, false), false, VUZODE_INVALIDKEY, {"BYNAME"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TPeopleBed bed(6);
    TRows rows = PeopleRows(6);
    {
      auto cursor = bed.Cursor();
      cursor->OpenCursor();
      if (c.duplicate) {
        engine_test::AppendPerson(*cursor->Table(), 7, "p3");
        rows.push_back("7|p3");
      }
      EXPECT_EQ(CodeOf([&] { AddIndex(*cursor, c.index); }), c.code);
      EXPECT_EQ(CheckTable(*cursor->Table()), TRows{});
    }
    const engine_test::TTableLook look = bed.Look();
    EXPECT_EQ(look.Rows, rows);
    EXPECT_EQ(look.Indexes, c.indexes);
    EXPECT_EQ(look.Problems, TRows{});
  }
}

TEST(AddIndex, KeyOf522BytesFitsAnd523DoesNot) {
  // Two strings of 250 and a third whose size brings a unique key to 522, then 523.
  std::vector<FieldDescriptor> fields = {MakeField(1, "A", kFieldString, 250),
                                         MakeField(2, "B", kFieldString, 250),
                                         MakeField(3, "C", kFieldString, 1)};
  const IndexDescriptor three = MakeIndexDefinition("WIDE", {1, 2, 3}, true);
  for (uint32_t wanted : {522u, 523u}) {
    SCOPED_TRACE(wanted);
    while (ComputeKeyLength(three, fields) < wanted) ++fields[2].Size;
    ASSERT_EQ(ComputeKeyLength(three, fields), wanted);
    engine_test::TScratchFolder folder;
    TDataSession session;
    TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
    TTableDefinition definition;
    definition.Fields = fields;
    TDataCursor cursor(directory);
    cursor.SetTableName("W");
    cursor.SetExclusive(true);
    cursor.CreateTable(definition, false);
    cursor.OpenCursor();
    EXPECT_EQ(CodeOf([&] { AddIndex(cursor, three); }), wanted == 522 ? 0 : VUZODE_INVALIDKEY);
  }
}

// The pages of slot's tree, counted by walking it.
int TreePages(TIndexFile& index, int slot, int32_t n) {
  TPage* page = index.FetchPage(slot, n);
  if (page->IsLeaf()) return 1;
  std::vector<int32_t> children;
  for (int i = 0; i < page->Count(); ++i) children.push_back(page->Reference(i));
  int total = 1;
  for (int32_t child : children) total += TreePages(index, slot, child);
  return total;
}

int FreeChainLength(TIndexFile& index, int slot) {
  int length = 0;
  for (int32_t n = index.Descriptor(slot).FirstFreePage; n != 0; ++length) {
    n = index.FetchPage(slot, n)->Right;
  }
  return length;
}

TEST(DeleteIndex, FreesEveryPageAndFindsNamesInAnyCase) {
  TPeopleBed bed(3000);
  auto cursor = bed.Cursor();
  cursor->OpenCursor();
  TIndexFile& index = cursor->Table()->IndexFile();
  const int pages = TreePages(index, 1, index.Descriptor(1).RootPage);
  ASSERT_GT(pages, 3) << "the tree must have inner pages";
  cursor->SetIndexName("BYNAME");
  DeleteIndex(*cursor, " byName ", false);
  EXPECT_EQ(index.Descriptor(1).RootPage, 0);
  EXPECT_EQ(FreeChainLength(index, 1), pages);
  EXPECT_EQ(index.Header().SecondaryIndexCount, 1);
  EXPECT_EQ(cursor->IndexNumber(), 0);
  const int rowIdChain = FreeChainLength(index, kDeletedSlot);
  DeleteIndex(*cursor, "BYNAME", true);
  EXPECT_EQ(index.Header().SecondaryIndexCount, 0);
  EXPECT_EQ(FreeChainLength(index, kDeletedSlot), rowIdChain + pages)
      << "the pages of a slot that went away stay on a live chain";
  EXPECT_EQ(CodeOf([&] { DeleteIndex(*cursor, "BYNAME", true); }), VUZODE_INVALIDINDEXNAME);
  // The empty name is the primary index: the cursor then reads in record order.
  DeleteIndex(*cursor, "", true);
  EXPECT_TRUE(index.NoPrimaryIndex());
  EXPECT_EQ(cursor->IndexNumber(), kRecordOrder);
  EXPECT_EQ(CheckTable(*cursor->Table()), TRows{});
  cursor->CloseCursor();
  EXPECT_EQ(bed.Look().Rows, PeopleRows(3000));
}

}  // namespace
