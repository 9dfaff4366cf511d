// TSelectRunner: the statement runner of the execution layer (statement_runner.h). It keeps a
// plan per prepared SELECT (query_plan.h), runs the sub-selects of a statement before the
// queries that use them, and produces the master query's result: live (the source table's
// cursor) when the query allows it, else canned (a result table filled with the rows).
//
// SELECT statements are run here; data changes and definitions go to change_statements.h and
// definition_statements.h. One runner serves every session; its plans are keyed by query, and each
// query is used by one thread at a time.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>

#include "db/sql/execution/query_plan.h"
#include "db/sql/statements/statement_runner.h"

class TSelectRunner : public TStatementRunner {
 public:
  void PrepareQuery(TQueryStatement& statement, TDataQuery& query) override;
  TDataCursor* ExecuteStatement(TQueryStatement& statement, bool returnResult) override;
  void ReleaseQuery(TDataQuery& query) noexcept override;

  // The plan of a prepared query, or null.
  TQueryPlan* PlanOf(const TDataQuery* query);
  // Runs the IN sub-selects of statement, the innermost first, into their value sets; skip (a
  // sub-query that is no IN sub-select, such as the source of INSERT ... SELECT) is left out.
  void RunSubSelects(TQueryStatement& statement, const TDataQuery* skip);
  // Runs the SELECT of plan and the UNION members after it into plan's Rows, finished.
  void RunQueryRows(TQueryPlan& plan) { RunChain(plan, -1); }

 private:
  // Collects the rows of the query of plan (grouped, not yet ordered or cut).
  void CollectRows(TQueryPlan& plan, int64_t earlyLimit);
  // The finished rows of query and the UNION members that follow it.
  void RunChain(TQueryPlan& plan, int32_t maxRows);

  std::mutex guard_;
  std::unordered_map<const TDataQuery*, std::unique_ptr<TQueryPlan>> plans_;
};

// The process-wide runner, installed with SetStatementRunner by InstallSelectRunner.
TSelectRunner& SelectRunner();
void InstallSelectRunner();
