// UPDATE and DELETE: the qualifying rows are found first, then changed.
//
// The walk (WHERE as cursor filters, the joins of UPDATE ... FROM and DELETE as a SELECT's)
// collects the row ids of the target records that qualify, each once however many joined rows
// reach it, and evaluates an UPDATE's values on the first joined row that reaches it (so they
// see the record's old values). Only then are the records changed, in row-id order, through
// the plan's Writer (found by row id, which no change but a NOAUTOINC one moves: first at the
// record number where the walk found it, then through the row-id index). A SET that moves
// the key being walked therefore neither skips nor revisits a row, and a value its column cannot
// hold fails the statement before any record is changed. A WHERE that is a key range on one index
// of a lone target reads that range alone.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/sql/execution/change_plan.h"
#include "db/sql/execution/change_transaction.h"
#include "db/sql/execution/live_result.h"
#include "db/sql/execution/row_walker.h"
#include "db/sql/execution/select_runner.h"

namespace {

// The records a DELETE removes in one change.
constexpr int64_t kDeleteBatch = 4096;

TProgressReporter ProgressOf(TDataQuery& query) {
  TProgressReporter progress;
  if (&query != query.Statement.Master()) return progress;
  progress.Callback = query.Statement.Callbacks.Progress;
  progress.UserData = query.Statement.Callbacks.ProgressData;
  if (query.Statement.Database())
    progress.Step = query.Statement.Database()->Session().ProgressPercentStep();
  return progress;
}

// The target records that qualify, by row id, with an UPDATE's values.
void Collect(TChangePlan& plan, TExpEvaluator& evaluator, TProgressReporter& progress,
             TPendingRows& pending) {
  TQueryPlan& select = plan.Select;
  TSourceState& target = *plan.Target;
  const bool update = plan.Query->Kind == kStatementUpdate;
  const bool joined = select.Sources.size() > 1;
  std::unordered_set<uint32_t> seen;
  TRowValues values;
  auto take = [&] {
    if (target.NullRow) return true;
    uint32_t rowId = 0;
    std::memcpy(&rowId, target.Buffer.data() + kRowIdOffset, 4);
    if (joined && !seen.insert(rowId).second) return true;
    pending.Records.push_back(rowId);
    // An active record's header holds its own number: where the change looks first.
    uint32_t number = 0;
    if (target.Buffer[0] == kRecordActive) std::memcpy(&number, target.Buffer.data() + 1, 4);
    pending.Numbers.push_back(number);
    if (update) {
      EvaluateAssignments(plan, evaluator, nullptr, values);
      PackValues(plan, values, pending);
    }
    return true;
  };
  TExpTokenStack& pool = ThreadExpTokenPool();
  // A WHERE that is a key range reads the range's keys alone.
  if (ApplyWhereKeyRange(select, pool)) {
    TDataCursor& cursor = *target.Cursor;
    try {
      progress.Total = cursor.RecordCount();
      cursor.SetToBegin();
      while (cursor.GetNextRecord(target.Buffer.data()) == 0)
        if (!take() || !progress.Advance()) break;
      progress.Finish();
    } catch (...) {
      cursor.ResetRange();
      throw;
    }
    cursor.ResetRange();
    return;
  }
  TRowWalker walker(select, evaluator, pool, &progress);
  walker.Walk(take);
}

// The record number of pending row r, read into the plan's record; 0 when it is gone.
uint32_t FindRecord(TChangePlan& plan, const TPendingRows& pending, size_t r) {
  TDataCursor& writer = *plan.Writer;
  uint8_t* buffer = plan.Record.data();
  const int32_t rowId = static_cast<int32_t>(pending.Records[r]);
  // The statement runs in a transaction, whose lock keeps every other writer out until it ends:
  // the record read here is the record written, and the change takes the record lock its
  // protocol asks for. (A lock taken here would be kept to the transaction's end, one byte
  // range per record.) The record is looked for where it was found, and by its row id when it
  // is not there; the writer keeps no position from change to change.
  const uint32_t at = pending.Numbers[r];
  if (at != 0 && writer.ReadRecordAt(at, rowId, buffer)) return at;
  std::memset(buffer, 0, plan.Record.size());
  std::memcpy(buffer + kRowIdOffset, &rowId, 4);
  if (!writer.FindKey(buffer, false, buffer, 0, false, 0)) return 0;
  return writer.CurrentRecordNumber();
}

// Changes the record of pending row r through the writer; false when it is gone.
bool ChangeRecord(TChangePlan& plan, const TPendingRows& pending, size_t r, TRowValues& values) {
  TDataCursor& writer = *plan.Writer;
  uint8_t* buffer = plan.Record.data();
  const uint32_t number = FindRecord(plan, pending, r);
  if (number == 0) return false;
  try {
    UnpackValues(plan, pending, r, values);
    ApplyAssignments(plan, writer, values, buffer);
    writer.ModifyRecordAt(number, buffer);
  } catch (...) {
    writer.FreeAllBlobs(false);
    try {
      writer.CancelRecord();
    } catch (const EVUZODEEngineError&) {
      // The change's own error is the one reported.
    }
    throw;
  }
  return true;
}

}  // namespace

void ExecuteUpdateOrDelete(TSelectRunner& runner, TChangePlan& plan) {
  TDataQuery& query = *plan.Query;
  TQueryPlan& select = plan.Select;
  query.RowCount = 0;
  EnsureSourcesOpen(select);
  plan.Writer->Refresh();
  TJoinEnvironment environment([&runner](const TDataQuery* q) { return runner.PlanOf(q); });
  TExpEvaluator evaluator(&environment, select.SortId, select.LanguageId, ThreadExpTokenPool());
  TProgressReporter progress = ProgressOf(query);
  TPendingRows pending;
  try {
    Collect(plan, evaluator, progress, pending);
  } catch (...) {
    TRowWalker::DropFilters(select);
    throw;
  }
  TRowWalker::DropFilters(select);

  // Row-id order is the order of the writer's index, and of appended records in the file. A row
  // id and its place sort as one number, which keeps equal ones in the order collected.
  std::vector<uint64_t> keyed(pending.Records.size());
  for (size_t r = 0; r < keyed.size(); ++r) keyed[r] = uint64_t{pending.Records[r]} << 32 | r;
  std::sort(keyed.begin(), keyed.end());
  std::vector<size_t> order(keyed.size());
  for (size_t i = 0; i < keyed.size(); ++i) order[i] = static_cast<uint32_t>(keyed[i]);
  TChangeTransaction transaction(*plan.Target->Directory, query, plan.Writer->RecordSize());
  TRowValues values;
  const bool deleting = query.Kind == kStatementDelete;
  // A DELETE goes in batches, each one change of the writer that is whole or not at all, and
  // never past the next interval commit.
  std::vector<uint32_t> batch;
  auto deleteBatch = [&] {
    plan.Writer->DeleteRecordsAt(batch);
    for (size_t k = 0; k < batch.size(); ++k) transaction.RowDone();
    batch.clear();
  };
  try {
    // The records a few rows ahead are brought into the processor's cache meanwhile.
    constexpr size_t kAhead = 8;
    for (size_t i = 0; i < order.size(); ++i) {
      if (i + kAhead < order.size() && pending.Numbers[order[i + kAhead]] != 0)
        plan.Writer->PrefetchRecordAt(pending.Numbers[order[i + kAhead]]);
      if (!deleting) {
        if (ChangeRecord(plan, pending, order[i], values)) transaction.RowDone();
        continue;
      }
      // A record is deleted once, however often it was collected.
      if (i > 0 && pending.Records[order[i]] == pending.Records[order[i - 1]]) continue;
      if (const uint32_t number = FindRecord(plan, pending, order[i])) batch.push_back(number);
      if (static_cast<int64_t>(batch.size()) >=
          std::min<int64_t>(kDeleteBatch, transaction.RowsBeforeCommit())) {
        deleteBatch();
      }
    }
    if (!batch.empty()) deleteBatch();
    transaction.Finish();
  } catch (...) {
    transaction.Fail();
  }
}
