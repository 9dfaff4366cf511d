// Transactions over a directory's tables: isolation from other sessions until the commit,
// rollback of records, keys and BLOB values, commits at an interval, failed starts and commits,
// and a transaction too large for any cache.
#include <gtest/gtest.h>

#include <filesystem>

#include "db/storage/blob/blob_chain.h"
#include "platform/os/fault_injection.h"
#include "tests/db/engine/locking/locking_test_util.h"

namespace engine_test {
namespace {

// The BLOB value of field 3 of record n, as this session reads it.
std::string NoteOf(TDataTable& table, uint32_t n) {
  TRecord record;
  do {
    record = table.DataFile().FetchRecord(n);
  } while (!record.Valid());
  TBlobReference ref;
  const bool present = GetFieldBlob(record.Image(), table.DataFile().Descriptor(3), ref);
  table.DataFile().Unpin(record);
  std::string note;
  if (present && ref.FirstBlock != 0) {
    const std::vector<uint8_t> bytes = LoadChain(table.BlobFile(), ref.FirstBlock, ref.Revision);
    note.assign(bytes.begin(), bytes.end());
  }
  table.EndRead();  // the read operation is over
  return note;
}

// Stores note as the BLOB value of field 3 of record n (at the storage layer, write-locked).
void SetNote(TDataTable& table, uint32_t n, const std::string& note) {
  table.BeginWrite();
  TRecord record;
  do {
    record = table.DataFile().FetchRecord(n);
  } while (!record.Valid());
  const FieldDescriptor& field = table.DataFile().Descriptor(3);
  TBlobReference ref;
  GetFieldBlob(record.Image(), field, ref);
  const int32_t revision = table.DataFile().NextBlobRevision();
  ref.FirstBlock =
      SaveChain(table.BlobFile(), ref.FirstBlock, ref.Revision, revision,
                reinterpret_cast<const uint8_t*>(note.data()), static_cast<int32_t>(note.size()));
  ref.Revision = revision;
  SetFieldBlob(record.MutableImage(), field, ref);
  table.DataFile().MarkHeaderChanged();
  table.DataFile().Unpin(record);
  if (!table.InTransaction()) table.FlushBuffers();
  table.EndWrite();
}

TEST(Transactions, OtherSessionsSeeTheOldStateUntilTheCommit) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn a(folder.Path(), "T");
  TSessionOn b(folder.Path(), "T");
  AppendPerson(a.Table(), 1, "before");
  a.directory->StartTransaction();
  EXPECT_TRUE(a.directory->InTransaction());
  for (int id = 2; id <= 6; ++id) AppendPerson(a.Table(), id, "inside");
  EXPECT_EQ(b.Count(), 1);
  EXPECT_EQ(IdsInKeyOrder(b.Table()), std::vector<int64_t>{1});
  // Writers wait for the transaction; readers do not.
  EXPECT_EQ(CodeOf([&] { b.Table().BeginWrite(); }), VUZODE_LOCKTIMEOUT);
  a.directory->Commit();
  EXPECT_FALSE(a.directory->InTransaction());
  EXPECT_EQ(b.Count(), 6);
  EXPECT_EQ(IdsInKeyOrder(b.Table()), (std::vector<int64_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(CodeOf([&] { b.Table().BeginWrite(); }), 0);
  b.Table().EndWrite();
}

TEST(Transactions, RollbackRestoresRecordsKeysAndBlobValues) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition(true));
  TSessionOn a(folder.Path(), "T");
  TSessionOn b(folder.Path(), "T");
  AppendPerson(a.Table(), 10, "ten");
  AppendPerson(a.Table(), 20, "twenty");
  SetNote(a.Table(), 1, std::string(3000, 'x'));
  a.directory->StartTransaction();
  AppendPerson(a.Table(), 5, "five");
  SetNote(a.Table(), 1, "changed");
  SetNote(a.Table(), 2, std::string(700, 'y'));
  EXPECT_EQ(NoteOf(a.Table(), 1), "changed");
  a.directory->Rollback();
  EXPECT_FALSE(a.directory->InTransaction());
  for (TSessionOn* s : {&a, &b}) {
    EXPECT_EQ(s->Count(), 2);
    EXPECT_EQ(IdsInKeyOrder(s->Table()), (std::vector<int64_t>{10, 20}));
    EXPECT_EQ(NoteOf(s->Table(), 1), std::string(3000, 'x'));
    EXPECT_EQ(NoteOf(s->Table(), 2), "");
  }
  // Nothing of the rolled-back transaction reaches the files later.
  AppendPerson(a.Table(), 30, "thirty");
  TSessionOn c(folder.Path(), "T");
  EXPECT_EQ(IdsInKeyOrder(c.Table()), (std::vector<int64_t>{10, 20, 30}));
}

TEST(Transactions, ACommitAtAnIntervalKeepsTheTransaction) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn a(folder.Path(), "T");
  TSessionOn b(folder.Path(), "T");
  a.directory->StartTransaction();
  AppendPerson(a.Table(), 1, "first batch");
  a.directory->Commit(false);
  EXPECT_TRUE(a.directory->InTransaction());
  EXPECT_TRUE(a.Table().InTransaction());
  EXPECT_EQ(b.Count(), 1);
  EXPECT_EQ(CodeOf([&] { b.Table().BeginWrite(); }), VUZODE_LOCKTIMEOUT);
  AppendPerson(a.Table(), 2, "second batch");
  EXPECT_EQ(b.Count(), 1);
  a.directory->Commit(true);
  EXPECT_FALSE(a.directory->InTransaction());
  EXPECT_EQ(b.Count(), 2);
  EXPECT_EQ(CodeOf([&] { b.Table().BeginWrite(); }), 0);
  b.Table().EndWrite();
}

TEST(Transactions, AFailedStartReleasesOnlyWhatItHeld) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn a(folder.Path(), "T");
  TSessionOn b(folder.Path(), "T");
  TSessionOn c(folder.Path(), "T");
  a.directory->StartTransaction();
  EXPECT_EQ(CodeOf([&] { b.directory->StartTransaction(); }), VUZODE_LOCKTIMEOUT);
  EXPECT_FALSE(b.directory->InTransaction());
  EXPECT_FALSE(b.Table().InTransaction());
  // a still holds its transaction lock.
  EXPECT_EQ(CodeOf([&] { c.Table().BeginWrite(); }), VUZODE_LOCKTIMEOUT);
  a.directory->Commit();
  EXPECT_EQ(CodeOf([&] { b.directory->StartTransaction(); }), 0);
  b.directory->Rollback();
}

TEST(Transactions, AFailedCommitIsNeverWrittenLater) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn a(folder.Path(), "T");
  AppendPerson(a.Table(), 1, "kept");
  a.directory->StartTransaction();
  for (int id = 2; id <= 4; ++id) AppendPerson(a.Table(), id, "lost");
  {
    platform::TFileFaultPlan plan;
    plan.path_filter = folder.Path();
    plan.fail_write_at = 1;
    plan.write_error = EIO;
    platform::TScopedFileFaults faults(plan);
    EXPECT_EQ(CodeOf([&] { a.directory->Commit(); }), VUZODE_WRITEERR);
  }
  EXPECT_FALSE(a.directory->InTransaction());
  EXPECT_EQ(IdsInKeyOrder(a.Table()), std::vector<int64_t>{1});
  // The next change writes through; the failed transaction's buffers must not go with it.
  AppendPerson(a.Table(), 9, "after");
  TSessionOn b(folder.Path(), "T");
  EXPECT_EQ(IdsInKeyOrder(b.Table()), (std::vector<int64_t>{1, 9}));
  EXPECT_EQ(b.Count(), 2);
  EXPECT_EQ(CodeOf([&] { b.Table().BeginWrite(); }), 0);
  b.Table().EndWrite();
}

TEST(Transactions, ALargeTransactionStaysInMemoryUntilTheCommit) {
  const int64_t count = HeavyTestSize("PEBRIO_LARGE_TRANSACTION", 200000);
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn a(folder.Path(), "T");
  TSessionOn b(folder.Path(), "T");
  const std::string dat = folder.Path() + "/T.DAT";
  const std::string idx = folder.Path() + "/T.IDX";
  const auto datSize = std::filesystem::file_size(dat);
  const auto idxSize = std::filesystem::file_size(idx);
  const int32_t datCounter = b.Table().DataFile().ChangeCount();
  a.directory->StartTransaction();
  for (int64_t id = 0; id < count; ++id) AppendPerson(a.Table(), count - id, "name");
  EXPECT_EQ(std::filesystem::file_size(dat), datSize);
  EXPECT_EQ(std::filesystem::file_size(idx), idxSize);
  EXPECT_EQ(b.Count(), 0);
  EXPECT_EQ(b.Table().DataFile().ChangeCount(), datCounter);
  a.directory->Commit();
  EXPECT_EQ(b.Count(), count);
  const std::vector<int64_t> ids = IdsInKeyOrder(b.Table());
  ASSERT_EQ(static_cast<int64_t>(ids.size()), count);
  for (int64_t i = 0; i < count; ++i) ASSERT_EQ(ids[i], i + 1);
}

}  // namespace
}  // namespace engine_test
