// Deleting records in batches by number: the same tables as deleting them one at a time, and a
// batch that fails changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "db/engine/table/table_check.h"
#include "platform/os/fault_injection.h"
#include "tests/db/engine/locking/locking_test_util.h"

namespace engine_test {
namespace {

// ID primary key, NAME with its non-unique index (few names, so equal keys abound) and in the
// text index.
TTableDefinition Definition() {
  TTableDefinition d = PeopleDefinition();
  d.TextIndex.FieldCount = 1;
  d.TextIndex.FieldNumbers[0] = 2;
  return d;
}

std::vector<uint8_t> Row(TDataCursor& c, int64_t id, const std::string& name) {
  std::vector<uint8_t> row(c.RecordSize(), 0);
  SetFieldInteger(TRecordImage(row.data(), row.size()), c.FieldDescriptors()[0], id);
  SetFieldString(TRecordImage(row.data(), row.size()), c.FieldDescriptors()[1], name);
  return row;
}

// Every record as the cursor's index gives them: record number, row id and fields.
std::vector<std::vector<uint8_t>> Walk(TDataCursor& c, int index) {
  c.SetIndexNumber(index);
  std::vector<std::vector<uint8_t>> rows;
  std::vector<uint8_t> row(c.RecordSize());
  c.SetToBegin();
  while (c.GetNextRecord(row.data()) == 0) rows.push_back(row);
  return rows;
}

uint32_t NumberOf(TDataCursor& c, int64_t id) {
  c.SetIndexNumber(0);
  std::vector<uint8_t> probe = Row(c, id, "");
  EXPECT_TRUE(c.FindKey(probe.data(), false, nullptr, 0, false, 1));
  return c.CurrentRecordNumber();
}

TEST(BatchDelete, MatchesDeletingOneAtATime) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "A", Definition());
  CreateTable(folder.Path(), "B", Definition());
  TSessionOn a(folder.Path(), "A"), b(folder.Path(), "B");
  // a's batches in a transaction pass its escalation figure and escalate before they lock.
  a.session.SetRecordLockEscalation(100);
  std::mt19937 random(11);
  const char* names[] = {"pear", "plum", "fig", "apple pie", "quince"};
  std::vector<int64_t> ids;
  int64_t next = 1;
  const int64_t rounds = HeavyTestSize("PEBRIO_BATCH_DELETE_ROUNDS", 40);
  for (int64_t round = 0; round < rounds; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    const bool transaction = round % 2 == 1;
    if (transaction) {
      a.directory->StartTransaction();
      b.directory->StartTransaction();
    }
    // Appends take the slots earlier deletes freed, in the order they were freed.
    const int appends = static_cast<int>(random() % 400);
    for (int i = 0; i < appends; ++i, ++next) {
      const std::string name = names[random() % 5];
      a.cursor->AppendRecord(Row(*a.cursor, next * 7 % 100003, name).data(), false);
      b.cursor->AppendRecord(Row(*b.cursor, next * 7 % 100003, name).data(), false);
      ids.push_back(next * 7 % 100003);
    }
    // A random share of the records, in random order: single records, runs of a leaf and
    // leaves emptied whole.
    std::shuffle(ids.begin(), ids.end(), random);
    const size_t count = std::min(ids.size(), static_cast<size_t>(random() % 600));
    std::vector<uint32_t> numbers;
    for (size_t i = 0; i < count; ++i) numbers.push_back(NumberOf(*a.cursor, ids[i]));
    a.cursor->DeleteRecordsAt(numbers);
    for (uint32_t n : numbers) b.cursor->DeleteRecordAt(n);
    ids.erase(ids.begin(), ids.begin() + static_cast<ptrdiff_t>(count));
    if (transaction) {
      a.directory->Commit();
      b.directory->Commit();
    }
    a.cursor->Refresh();
    b.cursor->Refresh();
    for (int index : {0, 1, kRowIdIndex, kRecordOrder}) {
      ASSERT_EQ(Walk(*a.cursor, index), Walk(*b.cursor, index)) << "index " << index;
    }
    ASSERT_EQ(a.cursor->RecordCount(), ids.size());
    ASSERT_EQ(CheckTable(a.Table()), std::vector<std::string>{});
  }
  // The escalations ended with their transactions: another session locks a record of A.
  TSessionOn other(folder.Path(), "A");
  other.cursor->AppendRecord(Row(*other.cursor, 999999, "last").data());
  std::vector<uint8_t> row(other.cursor->RecordSize());
  ASSERT_EQ(other.cursor->GetCurRecord(row.data()), 0);
  EXPECT_EQ(other.cursor->GetCurRecord(row.data(), true), 0);
}

TEST(BatchDelete, ABatchThatFailsChangesNothing) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "A", Definition());
  TSessionOn a(folder.Path(), "A"), other(folder.Path(), "A");
  // In the transaction the batch tries to escalate first, is refused, and locks one by one.
  a.session.SetRecordLockEscalation(50);
  for (int64_t id = 1; id <= 600; ++id)
    a.cursor->AppendRecord(Row(*a.cursor, id, id % 2 ? "odd one" : "even one").data());
  std::vector<uint32_t> numbers;
  for (int64_t id = 5; id <= 600; id += 3) numbers.push_back(NumberOf(*a.cursor, id));
  const auto before = Walk(*a.cursor, 1);
  // Another session holds the lock of a record near the batch's end.
  const uint32_t heldNumber = NumberOf(*other.cursor, 590);
  std::vector<uint8_t> held(other.cursor->RecordSize());
  ASSERT_EQ(other.cursor->GetCurRecord(held.data()), 0);
  ASSERT_EQ(other.cursor->GetCurRecord(held.data(), true), 0);
  ASSERT_NE(std::find(numbers.begin(), numbers.end(), heldNumber), numbers.end());
  for (const bool transaction : {false, true}) {
    SCOPED_TRACE(testing::Message() << "transaction " << transaction);
    if (transaction) a.directory->StartTransaction();
    EXPECT_EQ(CodeOf([&] { a.cursor->DeleteRecordsAt(numbers); }), VUZODE_RECLOCKFAILED);
    if (transaction) a.directory->Rollback();
    a.cursor->Refresh();
    EXPECT_EQ(Walk(*a.cursor, 1), before);
    EXPECT_EQ(CheckTable(a.Table()), std::vector<std::string>{});
  }
  // The locks the failed batch took are gone: the other session locks the first record.
  other.cursor->CancelRecord();
  NumberOf(*other.cursor, 5);
  ASSERT_EQ(other.cursor->GetCurRecord(held.data()), 0);
  EXPECT_EQ(other.cursor->GetCurRecord(held.data(), true), 0);
  other.cursor->CancelRecord();
  a.cursor->DeleteRecordsAt(numbers);
  EXPECT_EQ(a.cursor->RecordCount(), 600u - numbers.size());
  EXPECT_EQ(CheckTable(a.Table()), std::vector<std::string>{});
}

// Every read the batch makes fails once, in turn, with caches too small to hold the table: each
// failure leaves every key and record as it was, in a transaction and outside one.
TEST(BatchDelete, AFailedReadAtAnyStepLeavesNoTrace) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "A", Definition());
  TSessionOn a(folder.Path(), "A");
  a.session.SetBufferSettings(512, 4, 4 * 4096, 512, 4);
  for (int64_t id = 1; id <= 400; ++id)
    a.cursor->AppendRecord(Row(*a.cursor, id, id % 3 ? "some name" : "another").data());
  for (const bool transaction : {false, true}) {
    std::vector<uint32_t> numbers;
    for (int64_t id = transaction ? 4 : 3; id <= 400; id += 27)
      numbers.push_back(NumberOf(*a.cursor, id));
    const auto before = Walk(*a.cursor, 1);
    for (uint64_t step = 1;; ++step) {
      SCOPED_TRACE(testing::Message() << "transaction " << transaction << " read " << step);
      ASSERT_LT(step, 1000u);
      a.Table().DiscardBuffers(true, false);
      if (transaction) a.directory->StartTransaction();
      platform::TFileFaultPlan plan;
      FailReadAt(plan, folder.Path(), step);
      uint16_t code = 0;
      {
        platform::TScopedFileFaults faults(plan);
        code = CodeOf([&] { a.cursor->DeleteRecordsAt(numbers); });
      }
      if (code != 0) {
        ASSERT_TRUE(Walk(*a.cursor, 1) == before) << "code " << code;
        ASSERT_EQ(CheckTable(a.Table()), std::vector<std::string>{});
        if (transaction) a.directory->Rollback();
        continue;
      }
      // It got through every read: the batch is whole.
      if (transaction) a.directory->Commit();
      EXPECT_EQ(a.cursor->RecordCount(), before.size() - numbers.size());
      EXPECT_EQ(CheckTable(a.Table()), std::vector<std::string>{});
      break;
    }
  }
}

}  // namespace
}  // namespace engine_test
