// Warm caches: a table closed and opened again takes its record and page caches back only while
// its files are as they were. Each case reads a table, closes it when its last write is settled,
// changes the files (or not) in one way, opens it again and compares what it reads with the
// files' contents read by a fresh session.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "tests/db/engine/support/table_support.h"
#include "tests/db/engine/table/people_table.h"

namespace {

using engine_test::CreatePeople;
using engine_test::TScratchFolder;
using TRows = std::vector<std::pair<int64_t, std::string>>;

// Every (id, name) of the table in record order; the record cache's misses of the read when
// misses is given.
TRows ReadPeople(TDataDirectory& directory, uint64_t* misses = nullptr) {
  TDataCursor cursor(directory);
  cursor.SetTableName("PEOPLE");
  cursor.OpenCursor();
  cursor.SetIndexNumber(kRecordOrder);
  const uint64_t before = cursor.Table()->DataFile().RecordCache()->Misses();
  std::vector<uint8_t> buffer(cursor.RecordSize());
  const TConstRecordImage image(buffer.data(), buffer.size());
  TRows rows;
  cursor.SetToBegin();
  while (cursor.GetNextRecord(buffer.data()) == 0) {
    int64_t id = 0;
    std::string name;
    GetFieldInteger(image, cursor.FieldDescriptors()[0], id);
    GetFieldString(image, cursor.FieldDescriptors()[1], name);
    rows.emplace_back(id, name);
  }
  if (misses) *misses = cursor.Table()->DataFile().RecordCache()->Misses() - before;
  return rows;
}

void Rename(TDataDirectory& directory, int64_t id, const std::string& name) {
  TDataCursor cursor(directory);
  cursor.SetTableName("PEOPLE");
  cursor.OpenCursor();
  std::vector<uint8_t> buffer(cursor.RecordSize());
  const TRecordImage image(buffer.data(), buffer.size());
  SetFieldInteger(image, cursor.FieldDescriptors()[0], id);
  ASSERT_TRUE(cursor.FindKey(buffer.data(), false, buffer.data(), 0, false, 0));
  SetFieldString(image, cursor.FieldDescriptors()[1], name);
  cursor.ModifyRecord(buffer.data());
}

// Lets the files' last write settle, so that a close keeps the caches.
void Settle() {
  usleep(80000);
}

struct TChangeCase {
  const char* name;
  bool keptAndTaken;  // the reopen takes the kept caches
  // Changes the files of folder between the close and the reopen (other is another session).
  void (*change)(const std::string& folder, TDataDirectory& other);
};

const TChangeCase kCases[] = {
    {"nothing changes", true, [](const std::string&, TDataDirectory&) {}},
    {"another session changes a record", false,
     [](const std::string&, TDataDirectory& other) { Rename(other, 2, "changed"); }},
    {"bytes of a record are overwritten in place at once", false,
     [](const std::string& folder, TDataDirectory&) {
       // The start of the last record's name (its last field): the file keeps its length and
       // header, only its time differs.
       std::fstream file(folder + "/PEOPLE.DAT", std::ios::in | std::ios::out | std::ios::binary);
       file.seekp(-20, std::ios::end);
       file.write("XXXX", 4);
     }},
    {"the table is deleted and made anew", false,
     [](const std::string&, TDataDirectory& other) {
       TDataCursor cursor(other);
       cursor.SetTableName("PEOPLE");
       cursor.DeleteTable();
       CreatePeople(other, "PEOPLE", 30);
       Rename(other, 5, "anew");
     }},
};

TEST(WarmCaches, AReopenTakesTheCachesBackOnlyWhileTheFilesAreUnchanged) {
  for (const TChangeCase& c : kCases) {
    SCOPED_TRACE(c.name);
    TScratchFolder folder;
    TDataSession session;
    TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
    CreatePeople(directory, "PEOPLE", 40);
    ASSERT_TRUE(directory.Tables().empty());
    Settle();
    const TRows before = ReadPeople(directory);
    ASSERT_EQ(before.size(), 40u);
    EXPECT_EQ(directory.WarmCaches().Count(), 1u);

    TDataSession otherSession;
    c.change(folder.Path(), otherSession.OpenDirectory("data", folder.Path()));
    uint64_t misses = 0;
    const TRows after = ReadPeople(directory, &misses);
    TDataSession fresh;
    EXPECT_EQ(after, ReadPeople(fresh.OpenDirectory("data", folder.Path())));
    EXPECT_EQ(misses == 0, c.keptAndTaken) << misses << " misses";
    if (c.keptAndTaken) {
      EXPECT_EQ(after, before);
    }
  }
}

TEST(WarmCaches, ACloseRightAfterAWriteKeepsNothing) {
  TScratchFolder folder;
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
  CreatePeople(directory, "PEOPLE", 5);
  Settle();
  Rename(directory, 1, "fresh");
  // The write's time may share the clock tick of a write by someone else right after the
  // close, which then could not be told from it.
  EXPECT_EQ(directory.WarmCaches().Count(), 0u);
  Settle();
  ReadPeople(directory);
  EXPECT_EQ(directory.WarmCaches().Count(), 1u);
}

}  // namespace
