// UPDATE and DELETE: the qualifying rows are found first, then changed.
//
// The walk (WHERE as cursor filters, the joins of UPDATE ... FROM and DELETE as a SELECT's)
// collects the row ids of the target records that qualify, each once however many joined rows
// reach it, and evaluates an UPDATE's values on the first joined row that reaches it (so they
// see the record's old values). Only then are the records changed, in row-id order, through
// the plan's Writer (found by row id, which no change but a NOAUTOINC one moves). A SET that moves
// the key being walked therefore neither skips nor revisits a row, and a value its column cannot
// hold fails the statement before any record is changed. A WHERE that is a key range on one index
// of a lone target reads that range alone.
#include <algorithm>
#include <cstring>
#include <numeric>
#include <unordered_set>

#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/sql/execution/change_plan.h"
#include "db/sql/execution/change_transaction.h"
#include "db/sql/execution/live_result.h"
#include "db/sql/execution/row_walker.h"
#include "db/sql/execution/select_runner.h"

namespace {

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

// Changes the record of pending row r through the writer; false when it is gone.
bool ChangeRecord(TChangePlan& plan, const TPendingRows& pending, size_t r, TRowValues& values) {
  TDataCursor& writer = *plan.Writer;
  uint8_t* buffer = plan.Record.data();
  std::memset(buffer, 0, plan.Record.size());
  std::memcpy(buffer + kRowIdOffset, &pending.Records[r], 4);
  // The statement runs in a transaction, whose lock keeps every other writer out until it ends:
  // the record read here is the record written, and ModifyRecord takes the record lock its
  // protocol asks for. (A lock taken here would be kept to the transaction's end, one byte
  // range per record.)
  if (!writer.FindKey(buffer, false, buffer, 0, false, 0)) return false;
  if (plan.Query->Kind == kStatementDelete) {
    writer.DeleteRecord(buffer, true);
    return true;
  }
  try {
    UnpackValues(plan, pending, r, values);
    ApplyAssignments(plan, writer, values, buffer);
    writer.ModifyRecord(buffer, true, true);
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

  // Row-id order is the order of the writer's index, and of appended records in the file.
  std::vector<size_t> order(pending.Records.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return pending.Records[a] < pending.Records[b]; });
  TChangeTransaction transaction(*plan.Target->Directory, query, plan.Writer->RecordSize());
  TRowValues values;
  try {
    for (size_t r : order)
      if (ChangeRecord(plan, pending, r, values)) transaction.RowDone();
    transaction.Finish();
  } catch (...) {
    transaction.Fail();
  }
}
