// Locks between processes: a second process (engine_helper, spawned) holds or takes the
// table's locks while this one tries its own, changes the table, runs a transaction, or is
// killed while holding locks.
#include <gtest/gtest.h>

#include "tests/db/engine/locking/locking_test_util.h"
#include "tests/db/storage/files/helper_process.h"

namespace engine_test {
namespace {

using files_test::THelperProcess;

std::unique_ptr<THelperProcess> Helper(const TScratchFolder& folder,
                                       std::vector<std::string> args) {
  args.insert(args.begin(), {folder.Path(), "T"});
  return std::make_unique<THelperProcess>(PEBRIO_ENGINE_HELPER, args);
}

class LockProcessTest : public testing::Test {
 protected:
  void SetUp() override { CreateTable(folder_.Path(), "T", PeopleDefinition(true)); }
  TScratchFolder folder_;
};

TEST_F(LockProcessTest, ReadersAndWritersOfTwoProcessesExcludeEachOther) {
  TSessionOn s(folder_.Path(), "T");
  {
    auto writer = Helper(folder_, {"write-lock"});
    ASSERT_EQ(writer->ReadLine(), "ok");
    EXPECT_EQ(CodeOf([&] { s.Table().BeginRead(); }), VUZODE_LOCKTIMEOUT);
    EXPECT_EQ(CodeOf([&] { s.Table().BeginWrite(); }), VUZODE_LOCKTIMEOUT);
  }
  std::vector<std::unique_ptr<THelperProcess>> readers;
  for (int i = 0; i < 3; ++i) {
    readers.push_back(Helper(folder_, {"read-lock", "--attempts", "100"}));
    ASSERT_EQ(readers.back()->ReadLine(), "ok");
  }
  EXPECT_EQ(CodeOf([&] { s.Table().BeginRead(); }), 0);
  s.Table().EndRead();
  EXPECT_EQ(CodeOf([&] { s.Table().BeginWrite(); }), VUZODE_LOCKTIMEOUT);
  readers.clear();
  EXPECT_EQ(CodeOf([&] { s.Table().BeginWrite(); }), 0);
  // Our write lock keeps the other process from reading.
  auto reader = Helper(folder_, {"read-lock", "--attempts", "3"});
  EXPECT_EQ(reader->ReadLine(), "error " + std::to_string(VUZODE_LOCKTIMEOUT));
  s.Table().EndWrite();
}

TEST_F(LockProcessTest, AKilledProcessLeavesNoLockBehind) {
  TSessionOn s(folder_.Path(), "T");
  for (const char* command : {"write-lock", "read-lock"}) {
    auto holder = Helper(folder_, {command});
    ASSERT_EQ(holder->ReadLine(), "ok");
    EXPECT_EQ(CodeOf([&] { s.Table().BeginWrite(); }), VUZODE_LOCKTIMEOUT);
    holder->Kill();
    holder->Wait();
    EXPECT_EQ(CodeOf([&] { s.Table().BeginWrite(); }), 0) << command;
    s.Table().EndWrite();
  }
  AppendPerson(s.Table(), 1, "one");
  auto holder = Helper(folder_, {"lock-record", "1"});
  ASSERT_EQ(holder->ReadLine(), "ok");
  EXPECT_EQ(CodeOf([&] { s.Table().LockRecord(1); }), VUZODE_RECLOCKFAILED);
  EXPECT_EQ(s.Table().RecordLockWaits(), s.session.LockRetryCount());
  holder->Kill();
  holder->Wait();
  EXPECT_EQ(CodeOf([&] { s.Table().LockRecord(1); }), 0);
  s.Table().EndRead();
  s.Table().UnlockRecord(1);
}

TEST_F(LockProcessTest, AnEscalatedTransactionKeepsAnotherProcessFromEveryRecord) {
  TSessionOn s(folder_.Path(), "T");
  s.session.SetRecordLockEscalation(4);
  for (int id = 1; id <= 12; ++id) AppendPerson(s.Table(), id, "p");
  // A record the other process holds keeps the escalation off; the locks go on one by one.
  auto holder = Helper(folder_, {"lock-record", "12"});
  ASSERT_EQ(holder->ReadLine(), "ok");
  s.directory->StartTransaction();
  // Each record is locked and unlocked as a change does (its lock is kept to the end).
  auto change = [&](uint32_t n) {
    s.Table().LockRecord(n);
    s.Table().UnlockRecord(n);
  };
  for (uint32_t n = 1; n <= 6; ++n) change(n);
  EXPECT_FALSE(s.Table().RecordLocksEscalated());
  holder.reset();
  // The next attempt comes at twice the locks of the refused one.
  for (uint32_t n = 7; n <= 10 && !s.Table().RecordLocksEscalated(); ++n) change(n);
  ASSERT_TRUE(s.Table().RecordLocksEscalated());
  // Its default retries take 15 waits of 100 ms.
  auto taker = Helper(folder_, {"lock-record", "11"});
  EXPECT_EQ(taker->ReadLine(), "error " + std::to_string(VUZODE_RECLOCKFAILED));
  s.directory->Commit();
  taker = Helper(folder_, {"lock-record", "11"});
  EXPECT_EQ(taker->ReadLine(), "ok");
}

TEST_F(LockProcessTest, ChangesAndTransactionsOfAnotherProcess) {
  TSessionOn s(folder_.Path(), "T");
  EXPECT_EQ(s.Count(), 0);
  auto appender = Helper(folder_, {"append", "10", "1"});
  ASSERT_EQ(appender->ReadLine(), "done");
  appender->Wait();
  EXPECT_EQ(s.Count(), 10);
  EXPECT_EQ(IdsInKeyOrder(s.Table()).size(), 10u);

  auto transaction = Helper(folder_, {"transaction", "5", "100"});
  ASSERT_EQ(transaction->ReadLine(), "appended");
  EXPECT_EQ(s.Count(), 10);
  EXPECT_EQ(CodeOf([&] { s.Table().BeginWrite(); }), VUZODE_LOCKTIMEOUT);
  transaction->Release();
  ASSERT_EQ(transaction->ReadLine(), "committed");
  transaction->Wait();
  EXPECT_EQ(s.Count(), 15);
  const std::vector<int64_t> ids = IdsInKeyOrder(s.Table());
  ASSERT_EQ(ids.size(), 15u);
  EXPECT_EQ(ids.back(), 104);

  // A transaction killed before its commit leaves nothing and holds nothing.
  auto killed = Helper(folder_, {"transaction", "5", "200"});
  ASSERT_EQ(killed->ReadLine(), "appended");
  killed->Kill();
  killed->Wait();
  EXPECT_EQ(s.Count(), 15);
  EXPECT_EQ(CodeOf([&] { s.Table().BeginWrite(); }), 0);
  s.Table().EndWrite();
}

}  // namespace
}  // namespace engine_test

namespace engine_test {
namespace {

TEST(WorkTables, ANameHeldOrOnDiskIsPassedOver) {
  TScratchFolder folder;
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("work", folder.Path());
  const std::string first = directory.UniqueTableName(kDiskTable);
  // Another process made the first name and holds it open exclusively.
  CreateTable(folder.Path(), first, PeopleDefinition());
  auto holder = std::make_unique<files_test::THelperProcess>(
      PEBRIO_ENGINE_HELPER, std::vector<std::string>{folder.Path(), first, "open-exclusive"});
  ASSERT_EQ(holder->ReadLine(), "ok");
  const std::string made = directory.CreateWorkTable(kDiskTable, PeopleDefinition());
  EXPECT_NE(made, first);
  EXPECT_TRUE(folder.Has(made.substr(0, made.size() - 4) + ".DAT"));
  EXPECT_NE(directory.UniqueTableName(kDiskTable), made);
}

}  // namespace
}  // namespace engine_test
