// A reader without strict change detection takes no lock between its operations, and its small
// index cache holds part of the trees as they were. While another session changes the table
// under it, every operation must end without error, each record must be the one its key names,
// and a walk must give the table as it was up to some key and as it is after that key (the
// point where a cache miss found the change).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/db/engine/locking/locking_test_util.h"

namespace engine_test {
namespace {

std::string NameOf(int64_t id) {
  return "n" + std::to_string(id * 7919 % 100000);
}

std::vector<uint8_t> Row(TDataCursor& c, int64_t id) {
  std::vector<uint8_t> row(c.RecordSize(), 0);
  SetFieldInteger(TRecordImage(row.data(), row.size()), c.FieldDescriptors()[0], id);
  SetFieldString(TRecordImage(row.data(), row.size()), c.FieldDescriptors()[1], NameOf(id));
  return row;
}

// The id of a row read by the reader; fails the test when its name is not the id's.
int64_t IdOf(TDataCursor& c, const std::vector<uint8_t>& row) {
  int64_t id = 0;
  GetFieldInteger(TConstRecordImage(row.data(), row.size()), c.FieldDescriptors()[0], id);
  std::string name;
  GetFieldString(TConstRecordImage(row.data(), row.size()), c.FieldDescriptors()[1], name);
  EXPECT_EQ(name, NameOf(id)) << "record " << id;
  return id;
}

// Whether walk is before's ids up to some key k and after's ids past k, for a k that is -inf or
// an id of the walk.
bool SplitsBetween(const std::vector<int64_t>& walk, const std::set<int64_t>& before,
                   const std::set<int64_t>& after) {
  const std::vector<int64_t> old(before.begin(), before.end()), now(after.begin(), after.end());
  // The walk's last `common` ids are now's last ones.
  size_t common = 0;
  while (common < walk.size() && common < now.size() &&
         walk[walk.size() - 1 - common] == now[now.size() - 1 - common]) {
    ++common;
  }
  for (size_t i = 0; i <= walk.size(); ++i) {
    // walk[0, i) must be old's ids up to k = walk[i - 1], that is old's first i.
    if (i > 0 && (i > old.size() || old[i - 1] != walk[i - 1])) return false;
    const size_t past =
        i == 0 ? 0
               : static_cast<size_t>(std::upper_bound(now.begin(), now.end(), walk[i - 1]) -
                                     now.begin());
    if (walk.size() - i == now.size() - past && walk.size() - i <= common) return true;
  }
  return false;
}

TEST(ReaderUnderChanges, EveryReadEndsOnAWholeTreeWhileAnotherSessionChangesIt) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn writer(folder.Path(), "T");
  TSessionOn reader(folder.Path(), "T");
  reader.cursor->CloseCursor();
  // Eight index pages, so that almost every leaf a walk or a seek needs is a miss, and every
  // record cached, so that no record's miss finds the change first.
  reader.session.SetBufferSettings(64 << 20, 1 << 20, 8 * 4096, reader.session.BlobBufferBytes(),
                                   reader.session.BlobBufferCount());
  reader.cursor->OpenCursor();
  TDataCursor& w = *writer.cursor;
  TDataCursor& r = *reader.cursor;

  std::mt19937 random(5);
  std::set<int64_t> ids;
  auto change = [&](int inserts, int deletes) {
    writer.directory->StartTransaction();
    for (int i = 0; i < inserts; ++i) {
      const int64_t id = static_cast<int64_t>(random() % 1000000);
      if (!ids.insert(id).second) continue;
      w.AppendRecord(Row(w, id).data(), false);
    }
    for (int i = 0; i < deletes && !ids.empty(); ++i) {
      auto at = ids.begin();
      std::advance(at, random() % ids.size());
      std::vector<uint8_t> row(w.RecordSize());
      ASSERT_TRUE(w.FindKey(Row(w, *at).data(), false, row.data(), 0, false, 1));
      w.DeleteRecord(row.data(), false);
      ids.erase(at);
    }
    writer.directory->Commit();
  };
  change(6000, 0);

  const int64_t rounds = HeavyTestSize("PEBRIO_READER_ROUNDS", 24);
  std::vector<uint8_t> row(r.RecordSize());
  for (int64_t round = 0; round < rounds; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    r.SetIndexNumber(round % 2 == 0 ? 0 : 1);
    // A walk that the writer's change meets half-way.
    const std::set<int64_t> before = ids;
    std::vector<int64_t> walk;
    r.SetToBegin();
    const size_t stop = random() % (before.size() + 1);
    while (walk.size() < stop && r.GetNextRecord(row.data()) == 0) walk.push_back(IdOf(r, row));
    change(static_cast<int>(random() % 1500), static_cast<int>(random() % 1500));
    while (r.GetNextRecord(row.data()) == 0) walk.push_back(IdOf(r, row));
    if (round % 2 == 0) {
      EXPECT_TRUE(std::is_sorted(walk.begin(), walk.end()));
      EXPECT_TRUE(SplitsBetween(walk, before, ids)) << walk.size() << " records walked";
    } else {
      // By name the ids come in no order; each is there once, in one state or the other.
      std::set<int64_t> seen(walk.begin(), walk.end());
      EXPECT_EQ(seen.size(), walk.size());
      for (int64_t id : walk) EXPECT_TRUE(before.count(id) + ids.count(id) > 0) << id;
    }

    // Seeks and counts after a change the reader has not met yet: the state before or after.
    const std::set<int64_t> previous = ids;
    r.SetIndexNumber(0);
    change(static_cast<int>(random() % 800), static_cast<int>(random() % 800));
    const uint32_t count = r.RecordCount();
    EXPECT_TRUE(count == previous.size() || count == ids.size()) << count;
    for (int probe = 0; probe < 50; ++probe) {
      const int64_t id = static_cast<int64_t>(random() % 1000000);
      const bool found = r.FindKey(Row(r, id).data(), false, row.data(), 0, false, 1);
      if (found) {
        EXPECT_EQ(IdOf(r, row), id);
      }
      EXPECT_TRUE(found == (ids.count(id) > 0) || found == (previous.count(id) > 0)) << id;
    }
    const uint32_t place = static_cast<uint32_t>(random() % (ids.size() + 1));
    if (r.SetToRecNo(place)) {
      ASSERT_EQ(r.GetCurRecord(row.data()), 0);
      IdOf(r, row);
    }
  }
  // Once the reader follows the last change, it reads exactly the writer's table.
  r.Refresh();
  r.SetIndexNumber(0);
  std::vector<int64_t> last;
  r.SetToBegin();
  while (r.GetNextRecord(row.data()) == 0) last.push_back(IdOf(r, row));
  EXPECT_EQ(last, std::vector<int64_t>(ids.begin(), ids.end()));
}

// A delete that repositions reads outside a read bracket; the read lock a cache miss takes
// there is given back, so another session's writer does not wait for this session's next read.
TEST(ReaderUnderChanges, PositioningAfterADeleteKeepsNoReadLock) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn a(folder.Path(), "T");
  TSessionOn b(folder.Path(), "T");
  TDataCursor& c = *a.cursor;
  // Key 8 follows key 7 but lies far away in the file: reaching it after 7's delete misses.
  a.directory->StartTransaction();
  for (int64_t id = 1; id <= 3000; ++id) {
    if (id != 8) c.AppendRecord(Row(c, id).data(), false);
  }
  a.directory->Commit();
  c.AppendRecord(Row(c, 8).data(), false);
  std::vector<uint8_t> row(c.RecordSize());
  ASSERT_TRUE(c.FindKey(Row(c, 7).data(), false, row.data(), 0, false, 1));
  a.Table().DiscardBuffers(false, false);
  c.DeleteRecord(row.data());
  EXPECT_FALSE(a.Table().ReadLockHeld());
  EXPECT_EQ(CodeOf([&] { b.cursor->AppendRecord(Row(*b.cursor, 5000).data(), false); }), 0);
  ASSERT_EQ(c.GetCurRecord(row.data()), 0);
  EXPECT_EQ(IdOf(c, row), 8);
}

// An exclusive cursor follows what its clone changed before it reads a block.
TEST(ReaderUnderChanges, AnExclusiveCursorSeesItsClonesDelete) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TDataSession session;
  TDataCursor c(session.OpenDirectory("test", folder.Path()));
  c.SetTableName("T");
  c.SetExclusive(true);
  c.OpenCursor();
  for (int64_t id = 1; id <= 10; ++id) c.AppendRecord(Row(c, id).data(), false);
  c.SetIndexNumber(kRecordOrder);
  c.SetToBegin();
  std::unique_ptr<TDataCursor> clone = c.CloneCursor();
  std::vector<uint8_t> row(c.RecordSize() * 10);
  ASSERT_TRUE(clone->FindKey(Row(*clone, 5).data(), false, row.data(), 0, false, 1));
  clone->DeleteRecord(row.data());
  uint32_t count = 10;
  c.ReadRecordBlock(count, row.data());
  ASSERT_EQ(count, 9u);
  for (uint32_t i = 0; i < count; ++i) {
    const std::vector<uint8_t> one(row.begin() + i * c.RecordSize(),
                                   row.begin() + (i + 1) * c.RecordSize());
    EXPECT_NE(IdOf(c, one), 5);
  }
}

}  // namespace
}  // namespace engine_test
