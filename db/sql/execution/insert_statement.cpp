// INSERT: one row of VALUES, appended on its own (no transaction of its own), or the rows of a
// SELECT, collected whole before the first is appended (so a SELECT over the target reads none
// of the statement's own rows) and appended in the statement's transaction.
#include <cstring>
#include <vector>

#include "db/sql/execution/change_plan.h"
#include "db/sql/execution/change_transaction.h"
#include "db/sql/execution/row_walker.h"
#include "db/sql/execution/select_runner.h"

namespace {

// Appends values as a new record of the target; the BLOB values opened for it are let go when
// the append fails.
void AppendRow(const TChangePlan& plan, TRowValues& values) {
  TDataCursor& cursor = *plan.Target->Cursor;
  try {
    ApplyAssignments(plan, cursor, values, values.Image.data());
    cursor.AppendRecord(values.Image.data(), false);
  } catch (...) {
    cursor.FreeAllBlobs(false);
    throw;
  }
}

}  // namespace

void ExecuteInsert(TSelectRunner& runner, TChangePlan& plan) {
  TDataQuery& query = *plan.Query;
  TExpTokenStack& pool = ThreadExpTokenPool();
  TJoinEnvironment environment([&runner](const TDataQuery* q) { return runner.PlanOf(q); });
  TExpEvaluator evaluator(&environment, plan.Select.SortId, plan.Select.LanguageId, pool);
  TRowValues values;
  values.Image.swap(plan.Record);
  struct TGiveBack {
    TChangePlan& Plan;
    TRowValues& Values;
    ~TGiveBack() { Plan.Record.swap(Values.Image); }
  } giveBack{plan, values};
  // Every row starts from the columns' defaults.
  std::vector<uint8_t> blank(values.Image.size(), 0);
  PutDefaults(plan, blank.data());
  if (!plan.Source) {
    std::memcpy(values.Image.data(), blank.data(), blank.size());
    EvaluateAssignments(plan, evaluator, nullptr, values);
    AppendRow(plan, values);
    query.RowCount = 1;
    return;
  }
  TQueryPlan& source = *plan.Source;
  runner.RunQueryRows(source);
  TProgressReporter progress;
  if (&query == query.Statement.Master()) {
    progress.Callback = query.Statement.Callbacks.Progress;
    progress.UserData = query.Statement.Callbacks.ProgressData;
    progress.Total = static_cast<uint32_t>(source.RowCount());
  }
  TChangeTransaction transaction(*plan.Target->Directory, query, plan.Target->Cursor->RecordSize());
  try {
    for (size_t r = 0; r < source.RowCount(); ++r) {
      std::memcpy(values.Image.data(), blank.data(), blank.size());
      EvaluateAssignments(plan, evaluator, source.Rows.data() + r * source.RecordSize, values);
      AppendRow(plan, values);
      transaction.RowDone();
      if (!progress.Advance()) break;
    }
    progress.Finish();
    transaction.Finish();
  } catch (...) {
    source.Rows.clear();
    transaction.Fail();
  }
  source.Rows.clear();
  source.Rows.shrink_to_fit();
}
