// The table locks between sessions of one process: which locks exclude which, that a failed
// attempt releases what it took, record locks with their retries, change detection, and files
// with the read-only attribute.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <numeric>
#include <vector>

#include "db/storage/files/file_handler.h"
#include "db/storage/files/lock_layout.h"
#include "tests/db/engine/locking/locking_test_util.h"

namespace engine_test {
namespace {

enum class THold { kRead, kQueryRead, kWrite, kTransaction };

void Take(TSessionOn& s, THold hold) {
  switch (hold) {
    case THold::kRead:
      s.Table().BeginRead();
      break;
    case THold::kQueryRead:
      s.Table().BeginQueryRead();
      break;
    case THold::kWrite:
      s.Table().BeginWrite();
      break;
    case THold::kTransaction:
      s.directory->StartTransaction();
      break;
  }
}

void Release(TSessionOn& s, THold hold) {
  switch (hold) {
    case THold::kRead:
      s.Table().EndRead();
      break;
    case THold::kQueryRead:
      s.Table().EndQueryRead();
      break;
    case THold::kWrite:
      s.Table().EndWrite();
      break;
    case THold::kTransaction:
      s.directory->Commit();
      break;
  }
}

TEST(TableLocks, EachLockExcludesExactlyTheLocksItMust) {
  struct TCase {
    THold held;
    THold wanted;
    bool conflicts;
  };
  // Readers share; a writer waits for readers and other writers; a transaction holds only the
  // write byte, so it blocks writers and transactions but never readers.
  const TCase cases[] = {
      {THold::kRead, THold::kRead, false},        {THold::kRead, THold::kQueryRead, false},
      {THold::kRead, THold::kWrite, true},        {THold::kRead, THold::kTransaction, false},
      {THold::kQueryRead, THold::kWrite, true},   {THold::kWrite, THold::kRead, true},
      {THold::kWrite, THold::kQueryRead, true},   {THold::kWrite, THold::kWrite, true},
      {THold::kWrite, THold::kTransaction, true}, {THold::kTransaction, THold::kRead, false},
      {THold::kTransaction, THold::kWrite, true}, {THold::kTransaction, THold::kTransaction, true},
  };
  for (bool withBlob : {false, true}) {
    TScratchFolder folder;
    CreateTable(folder.Path(), "T", PeopleDefinition(withBlob));
    for (const TCase& c : cases) {
      SCOPED_TRACE(testing::Message() << "held " << static_cast<int>(c.held) << " wanted "
                                      << static_cast<int>(c.wanted) << " blob " << withBlob);
      TSessionOn holder(folder.Path(), "T");
      TSessionOn other(folder.Path(), "T");
      EXPECT_EQ(CodeOf([&] { Take(holder, c.held); }), 0);
      EXPECT_EQ(CodeOf([&] { Take(other, c.wanted); }), c.conflicts ? VUZODE_LOCKTIMEOUT : 0);
      // A commit's write lock waits for readers, so the reader of the two lets go first.
      const bool otherFirst = c.wanted != THold::kTransaction;
      auto releaseOther = [&] {
        if (c.conflicts) return;
        EXPECT_EQ(CodeOf([&] { Release(other, c.wanted); }), 0);
      };
      if (otherFirst) releaseOther();
      EXPECT_EQ(CodeOf([&] { Release(holder, c.held); }), 0);
      if (!otherFirst) releaseOther();
      // Once the holder is gone the lock is free, so a failed attempt left nothing behind.
      EXPECT_EQ(CodeOf([&] { Take(other, c.wanted); }), 0);
      EXPECT_EQ(CodeOf([&] { Release(other, c.wanted); }), 0);
    }
  }
}

TEST(TableLocks, ManyReadersAtOnce) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition(true));
  std::vector<std::unique_ptr<TSessionOn>> readers;
  for (int i = 0; i < 12; ++i) {
    readers.push_back(std::make_unique<TSessionOn>(folder.Path(), "T"));
    // Random reader bytes rarely collide; a collision only costs a retry.
    readers.back()->session.SetFileLockAttempts(50);
    EXPECT_EQ(CodeOf([&] { readers.back()->Table().BeginRead(); }), 0) << i;
  }
  for (auto& r : readers) EXPECT_TRUE(r->Table().ReadLockHeld());
  for (auto& r : readers) r->Table().EndRead();
}

// A lock of the table files taken outside any session (a raw handle on one file).
struct TRawHolder {
  TFileHandler file;
  explicit TRawHolder(const std::string& name) {
    file.SetFileName(name);
    file.Open();
  }
};

TEST(TableLocks, AFailureHalfWayReleasesWhatWasTaken) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition(true));
  TSessionOn s(folder.Path(), "T");
  const std::string base = folder.Path() + "/T";
  {
    // The BLOB file's reader range is held: the write lock gets the write byte and the index
    // range, then fails on the BLOB file and must give both back.
    TRawHolder blob(base + ".BLB");
    uint16_t slot = 0;
    ASSERT_TRUE(LockReadSlot(blob.file, slot, 10));
    EXPECT_EQ(CodeOf([&] { s.Table().BeginWrite(); }), VUZODE_LOCKTIMEOUT);
    EXPECT_FALSE(s.Table().WriteLockHeld());
    TRawHolder data(base + ".DAT");
    TRawHolder index(base + ".IDX");
    EXPECT_TRUE(LockTableWriteByte(data.file, 1));
    EXPECT_TRUE(LockWriteSlots(index.file, 1));
    UnlockTableWriteByte(data.file);
    UnlockWriteSlots(index.file);
    UnlockReadSlot(blob.file, slot);
  }
  {
    // The BLOB file is write-locked: the read lock takes an index byte, fails on the BLOB
    // file and gives the byte back.
    TRawHolder blob(base + ".BLB");
    ASSERT_TRUE(LockWriteSlots(blob.file, 1));
    EXPECT_EQ(CodeOf([&] { s.Table().BeginRead(); }), VUZODE_LOCKTIMEOUT);
    EXPECT_FALSE(s.Table().ReadLockHeld());
    TRawHolder index(base + ".IDX");
    EXPECT_TRUE(LockWriteSlots(index.file, 1));
    UnlockWriteSlots(index.file);
    UnlockWriteSlots(blob.file);
  }
  EXPECT_EQ(CodeOf([&] { s.Table().BeginWrite(); }), 0);
  s.Table().EndWrite();
}

TEST(TableLocks, RecordLocksRetryAsManyTimesAsTheSessionSays) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn a(folder.Path(), "T");
  TSessionOn b(folder.Path(), "T");
  AppendPerson(a.Table(), 1, "one");
  AppendPerson(a.Table(), 2, "two");
  for (uint8_t retries : {0, 1, 4}) {
    b.session.SetLockRetryCount(retries);
    a.Table().LockRecord(1);
    const uint32_t before = b.Table().RecordLockWaits();
    EXPECT_EQ(CodeOf([&] { b.Table().LockRecord(1); }), VUZODE_RECLOCKFAILED);
    // retries + 1 attempts, with a wait between each two.
    EXPECT_EQ(b.Table().RecordLockWaits() - before, retries);
    EXPECT_FALSE(b.Table().ReadLockHeld());
    // Another record is free; the lock keeps the read lock for the operation that asked.
    EXPECT_EQ(CodeOf([&] { b.Table().LockRecord(2); }), 0);
    b.Table().EndRead();
    b.Table().UnlockRecord(2);
    a.Table().EndRead();
    a.Table().UnlockRecord(1);
    EXPECT_EQ(CodeOf([&] { b.Table().LockRecord(1); }), 0);
    b.Table().EndRead();
    b.Table().UnlockRecord(1);
  }
  EXPECT_EQ(CodeOf([&] { b.Table().UnlockRecord(1); }), VUZODE_UNLOCKFAILED);
  EXPECT_EQ(CodeOf([&] { b.Table().LockRecord(0); }), VUZODE_RECLOCKFAILED);
}

TEST(TableLocks, RecordUnlocksInsideATransactionWaitForItsEnd) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn a(folder.Path(), "T");
  TSessionOn b(folder.Path(), "T");
  AppendPerson(a.Table(), 1, "one");
  a.directory->StartTransaction();
  a.Table().LockRecord(1);
  // Locking it again inside the transaction answers at once.
  const uint32_t waits = a.Table().RecordLockWaits();
  EXPECT_FALSE(a.Table().LockRecord(1));
  EXPECT_EQ(a.Table().RecordLockWaits(), waits);
  a.Table().UnlockRecord(1);
  EXPECT_TRUE(a.Table().DeferredUnlocks().Test(1));
  EXPECT_EQ(CodeOf([&] { b.Table().LockRecord(1); }), VUZODE_RECLOCKFAILED);
  a.directory->Commit();
  EXPECT_FALSE(a.Table().LockedRecords().Test(1));
  EXPECT_EQ(CodeOf([&] { b.Table().LockRecord(1); }), 0);
  b.Table().EndRead();
  b.Table().UnlockRecord(1);
}

// Deletes the first record of a's cursor order n times.
void DeleteFirst(TSessionOn& a, int n) {
  std::vector<uint8_t> row(a.cursor->RecordSize());
  for (int i = 0; i < n; ++i) {
    ASSERT_TRUE(a.cursor->SetToRecNo(1));
    ASSERT_EQ(a.cursor->GetCurRecord(row.data()), 0);
    a.cursor->DeleteRecord(row.data());
  }
}

// The code of b's attempt on record n; a lock taken goes back at once.
uint16_t TryLock(TSessionOn& b, uint32_t n) {
  const uint16_t code = CodeOf([&] { b.Table().LockRecord(n); });
  b.Table().EndRead();
  if (code == 0) b.Table().UnlockRecord(n);
  return code;
}

TEST(TableLocks, ManyRecordLocksOfATransactionEscalateToTheWholeTable) {
  // a escalates at the lock that finds it holding 8 already; its lock on record 39, taken
  // before the transaction, counts and outlives it. b tries the untouched record 40, and with
  // otherHolds holds record 35 before a's transaction starts, which keeps a from escalating
  // until b lets go.
  struct TCase {
    int deleted;
    bool commit;
    bool otherHolds;
    bool escalated;
  };
  const TCase cases[] = {{5, true, false, false},
                         {7, false, false, false},
                         {8, true, false, true},
                         {20, false, false, true},
                         {20, true, true, false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.deleted << " deleted, commit " << c.commit);
    TScratchFolder folder;
    CreateTable(folder.Path(), "T", PeopleDefinition());
    TSessionOn a(folder.Path(), "T");
    TSessionOn b(folder.Path(), "T");
    a.session.SetRecordLockEscalation(8);
    for (int id = 1; id <= 40; ++id) AppendPerson(a.Table(), id, "p");
    a.Table().LockRecord(39);
    a.Table().EndRead();
    if (c.otherHolds) {
      b.Table().LockRecord(35);
      b.Table().EndRead();
    }
    a.directory->StartTransaction();
    DeleteFirst(a, c.deleted);
    EXPECT_EQ(a.Table().RecordLocksEscalated(), c.escalated);
    EXPECT_EQ(TryLock(b, 40), c.escalated ? VUZODE_RECLOCKFAILED : 0);
    EXPECT_EQ(b.Count(), 40);  // reads go on
    int more = 0;
    if (c.otherHolds) {
      // Once b lets go, a later lock escalates (the attempts come at doubling counts).
      b.Table().UnlockRecord(35);
      while (more < 15 && !a.Table().RecordLocksEscalated()) DeleteFirst(a, 1), ++more;
      EXPECT_TRUE(a.Table().RecordLocksEscalated());
      EXPECT_EQ(TryLock(b, 40), VUZODE_RECLOCKFAILED);
    }
    const int gone = c.commit ? c.deleted + more : 0;
    if (c.commit) {
      a.directory->Commit();
    } else {
      a.directory->Rollback();
    }
    EXPECT_FALSE(a.Table().RecordLocksEscalated());
    EXPECT_EQ(TryLock(b, 40), 0);
    EXPECT_EQ(TryLock(b, 1), 0);
    EXPECT_EQ(TryLock(b, 39), VUZODE_RECLOCKFAILED);
    std::vector<int64_t> ids(40 - gone);
    std::iota(ids.begin(), ids.end(), gone + 1);
    EXPECT_EQ(IdsInKeyOrder(a.Table()), ids);
    a.Table().EndRead();
    EXPECT_EQ(b.Count(), 40 - gone);
    a.Table().UnlockRecord(39);
    EXPECT_EQ(TryLock(b, 39), 0);
  }
}

TEST(TableLocks, ARecordLockKeptPastAnEscalatedTransactionKeepsTheEscalation) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn a(folder.Path(), "T");
  TSessionOn b(folder.Path(), "T");
  a.session.SetRecordLockEscalation(4);
  for (int id = 1; id <= 20; ++id) AppendPerson(a.Table(), id, "p");
  a.directory->StartTransaction();
  DeleteFirst(a, 10);
  ASSERT_TRUE(a.Table().RecordLocksEscalated());
  // Only the escalation covers record 18: it stays until 18 is unlocked.
  a.Table().LockRecord(18);
  a.directory->Commit();
  EXPECT_TRUE(a.Table().RecordLocksEscalated());
  EXPECT_EQ(TryLock(b, 19), VUZODE_RECLOCKFAILED);
  a.Table().UnlockRecord(18);
  EXPECT_FALSE(a.Table().RecordLocksEscalated());
  EXPECT_EQ(TryLock(b, 18), 0);
  EXPECT_EQ(TryLock(b, 19), 0);
  EXPECT_EQ(b.Count(), 10);
}

TEST(TableLocks, ChangesOfAnotherSessionAreSeenWhenALockIsTaken) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn a(folder.Path(), "T");
  TSessionOn b(folder.Path(), "T");
  EXPECT_EQ(b.Count(), 0);
  for (int id = 1; id <= 3; ++id) AppendPerson(a.Table(), id, "p");
  EXPECT_TRUE(b.Table().BeginRead());
  b.Table().EndRead();
  EXPECT_FALSE(b.Table().BeginRead());
  b.Table().EndRead();
  EXPECT_EQ(b.Count(), 3);
  EXPECT_EQ(IdsInKeyOrder(b.Table()), (std::vector<int64_t>{1, 2, 3}));
  // Without strict detection a cache miss looks for changes itself.
  AppendPerson(a.Table(), 4, "p");
  b.Table().DiscardBuffers(false, false);
  EXPECT_EQ(IdsInKeyOrder(b.Table()).size(), 4u);
  b.Table().EndRead();
}

TEST(TableLocks, ReadOnlyFilesAreReadWithoutAnyLock) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  {
    TSessionOn a(folder.Path(), "T");
    AppendPerson(a.Table(), 1, "one");
  }
  for (const char* ext : {".DAT", ".IDX"}) {
    chmod((folder.Path() + "/T" + ext).c_str(), 0444);
  }
  TSessionOn writer(folder.Path(), "T");
  TSessionOn reader(folder.Path(), "T");
  EXPECT_TRUE(reader.Table().ReadOnlyAttribute());
  EXPECT_TRUE(reader.Table().ReadOnly());
  EXPECT_FALSE(reader.Table().TakesLocks());
  writer.Table().BeginWrite();
  EXPECT_EQ(CodeOf([&] { reader.Table().BeginRead(); }), 0);
  EXPECT_FALSE(reader.Table().ReadLockHeld());
  EXPECT_FALSE(reader.Table().LockRecord(1));
  EXPECT_EQ(IdsInKeyOrder(reader.Table()), std::vector<int64_t>{1});
  writer.Table().EndWrite();
  for (const char* ext : {".DAT", ".IDX"}) {
    chmod((folder.Path() + "/T" + ext).c_str(), 0644);
  }
}

}  // namespace
}  // namespace engine_test
