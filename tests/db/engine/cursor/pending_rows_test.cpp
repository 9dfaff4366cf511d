// Pending rows: a result cursor that serves its rows from memory against one whose table took
// the same rows at once (appends and a refresh, as results were always made). Random row sets,
// none and one row among them, in memory and on disk, walked by random sequences of the served
// reads; operations that need the table (a bookmark round trip, a filter, record changes, a
// clone, a locked read, a rolled back transaction, the table itself) come in at random points,
// after which both cursors must still agree on every answer, record image and position.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "tests/db/engine/locking/locking_test_util.h"

namespace engine_test {
namespace {

// An exclusive temporary table, created and opened as a result table is.
std::unique_ptr<TDataCursor> OpenResult(TDataDirectory& directory, bool memory,
                                        const std::string& name) {
  TTableDefinition d;
  d.Fields = {MakeField(1, "N", kFieldInteger), MakeField(2, "S", kFieldString, 11),
              MakeField(3, "F", kFieldFloat)};
  auto c = std::make_unique<TDataCursor>(directory);
  c->SetInMemory(memory);
  c->SetExclusive(true);
  c->SetTableName(name);
  c->CreateTable(d, true);
  c->SetTemporary(true);
  c->SetResultCursor(true);
  c->OpenCursor();
  return c;
}

// One operation on a cursor: its answer, and what it read into the buffer.
using TStep = std::function<int64_t(TDataCursor&, std::vector<uint8_t>&)>;

class PendingRowsTest : public testing::Test {
 protected:
  // Random bytes everywhere (the header too, which the table rewrites); N a small integer or
  // NULL for the filter.
  std::vector<uint8_t> Row() {
    std::vector<uint8_t> row(a_->RecordSize());
    for (uint8_t& b : row) b = static_cast<uint8_t>(random_());
    TRecordImage image(row.data(), row.size());
    if (random_() % 8 == 0) {
      SetFieldNull(image, a_->FieldDescriptors()[0]);
    } else {
      SetFieldInteger(image, a_->FieldDescriptors()[0], static_cast<int64_t>(random_() % 20));
    }
    return row;
  }

  // Runs step on both cursors and compares answers (or raised codes), buffers and positions.
  void Both(const std::string& what, const TStep& step) {
    std::vector<uint8_t> bufferA(a_->RecordSize() * 8, 0xEE), bufferB = bufferA;
    int64_t answerA = 0, answerB = 0;
    const uint16_t codeA = CodeOf([&] { answerA = step(*a_, bufferA); });
    const uint16_t codeB = CodeOf([&] { answerB = step(*b_, bufferB); });
    trace_ += what + " ";
    ASSERT_EQ(codeA, codeB) << trace_;
    ASSERT_EQ(answerA, answerB) << trace_;
    ASSERT_EQ(bufferA, bufferB) << trace_;
    ASSERT_EQ(a_->AtBof(), b_->AtBof()) << trace_;
    ASSERT_EQ(a_->AtEof(), b_->AtEof()) << trace_;
    ASSERT_EQ(a_->CurrentRecordNumber(), b_->CurrentRecordNumber()) << trace_;
    ASSERT_EQ(a_->RecordNumber(), b_->RecordNumber()) << trace_;
  }

  // A served read, chosen at random.
  void ServedStep(uint32_t rows) {
    const uint32_t n = static_cast<uint32_t>(random_() % (rows + 3));
    const uint32_t block = static_cast<uint32_t>(random_() % 9);
    const std::pair<std::string, TStep> steps[] = {
        {"begin", [](TDataCursor& c, auto&) { return c.SetToBegin(), 0; }},
        {"end", [](TDataCursor& c, auto&) { return c.SetToEnd(), 0; }},
        {"next", [](TDataCursor& c, auto& b) { return c.GetNextRecord(b.data()); }},
        {"prior", [](TDataCursor& c, auto& b) { return c.GetPriorRecord(b.data()); }},
        {"next unread", [](TDataCursor& c, auto&) { return c.GetNextRecord(nullptr); }},
        {"prior unread", [](TDataCursor& c, auto&) { return c.GetPriorRecord(nullptr); }},
        {"current", [](TDataCursor& c, auto& b) { return c.GetCurRecord(b.data()); }},
        {"count", [](TDataCursor& c, auto&) { return c.RecordCount(); }},
        {"recno " + std::to_string(n), [n](TDataCursor& c, auto&) { return c.SetToRecNo(n); }},
        {"block",
         [block](TDataCursor& c, auto& b) {
           uint32_t count = block;
           return c.ReadRecordBlock(count, b.data()) * 100 + count;
         }},
    };
    const auto& [name, step] = steps[random_() % std::size(steps)];
    Both(name, step);
  }

  // An operation that needs the table, chosen at random.
  void TableStep() {
    const std::vector<uint8_t> row = Row();
    const bool reposition = random_() % 2 == 0;
    const std::pair<std::string, TStep> steps[] = {
        // Without a current record, back to whatever the buffer's bytes name.
        {"bookmark",
         [](TDataCursor& c, auto& b) {
           const bool had = c.GetBookmark(b.data());
           c.SetToEnd();
           return had * 2 + c.SetToBookmark(b.data(), true);
         }},
        {filters_ ? "unfilter" : "filter",
         [filtered = filters_](TDataCursor& c, auto&) {
           filtered ? c.DropFilter(nullptr) : c.ActivateFilter(c.AddFilter("N > 9", {}));
           return 0;
         }},
        {"append",
         [&](TDataCursor& c, auto&) { return c.AppendRecord(row.data(), reposition), 0; }},
        {"modify",
         [&](TDataCursor& c, auto&) { return c.ModifyRecord(row.data(), true, reposition), 0; }},
        {"delete", [&](TDataCursor& c, auto&) { return c.DeleteRecord(nullptr, reposition), 0; }},
        {"locked", [](TDataCursor& c, auto& b) { return c.GetCurRecord(b.data(), true); }},
        {"table",
         [](TDataCursor& c, auto&) {
           return c.Table()->DataFile().RecordCount() * 1000 +
                  c.Table()->IndexFile().ActiveRecordCount();
         }},
        // Every row read back through a clone, which shares the table.
        {"clone",
         [](TDataCursor& c, auto& b) {
           std::unique_ptr<TDataCursor> clone = c.CloneCursor();
           std::vector<uint8_t> row(c.RecordSize());
           b.clear();
           clone->SetToBegin();
           while (clone->GetNextRecord(row.data()) == 0) b.insert(b.end(), row.begin(), row.end());
           return 0;
         }},
        // The rows are the table's before a transaction starts: its rollback keeps them.
        {"rolled back",
         [this](TDataCursor& c, auto&) {
           directory_->StartTransaction();
           c.Table();
           directory_->Rollback();
           c.Refresh();
           return c.RecordCount();
         }},
    };
    const size_t pick = random_() % std::size(steps);
    if (pick == 1) filters_ = !filters_;
    Both(steps[pick].first, steps[pick].second);
  }

  std::mt19937 random_{20261210};
  TDataDirectory* directory_ = nullptr;
  std::unique_ptr<TDataCursor> a_, b_;
  bool filters_ = false;
  std::string trace_;
};

TEST_F(PendingRowsTest, ServedReadsMatchTheTableBeforeAndAfterItTakesTheRows) {
  TScratchFolder folder;
  TDataSession session;
  TDataDirectory& memory = session.OpenDirectory("Memory", "");
  TDataDirectory& disk = session.OpenDirectory("test", folder.Path());
  const int64_t rounds = HeavyTestSize("PEBRIO_PENDING_ROWS_ROUNDS", 400);
  int materialized = 0;
  for (int64_t round = 0; round < rounds && !HasFatalFailure(); ++round) {
    const bool inMemory = round % 3 != 0;
    directory_ = inMemory ? &memory : &disk;
    const uint32_t pick = static_cast<uint32_t>(random_() % 10);
    const uint32_t rows = pick < 2   ? pick
                          : pick < 8 ? 2 + static_cast<uint32_t>(random_() % 30)
                                     : static_cast<uint32_t>(random_() % 3000);
    a_ = OpenResult(*directory_, inMemory, "PENDING");
    b_ = OpenResult(*directory_, inMemory, "APPENDED");
    filters_ = false;
    trace_ = "rows " + std::to_string(rows) + (inMemory ? " memory: " : " disk: ");
    std::vector<uint8_t> all;
    for (uint32_t i = 0; i < rows; ++i) {
      const std::vector<uint8_t> row = Row();
      all.insert(all.end(), row.begin(), row.end());
      b_->AppendRecord(row.data(), false);
    }
    b_->Refresh();
    b_->SetToBegin();
    a_->SetPendingRows(all, rows);
    ASSERT_TRUE(a_->HasPendingRows());
    const int steps = static_cast<int>(random_() % 40);
    for (int step = 0; step < steps && !HasFatalFailure(); ++step) {
      if (random_() % 10 != 0) {
        ServedStep(rows);
        continue;
      }
      materialized += a_->HasPendingRows();
      TableStep();
      ASSERT_FALSE(a_->HasPendingRows()) << trace_;
    }
    a_.reset();
    b_.reset();
    // Temporary tables go with their cursors, rows pending or not.
    EXPECT_EQ(folder.Files(), std::vector<std::string>{}) << trace_;
  }
  EXPECT_GT(materialized, rounds / 10);
}

}  // namespace
}  // namespace engine_test
