// TStatementRunner: the hook through which the execution layer prepares and runs parsed
// queries. The statement layer parses and stores; binding names to tables and columns,
// planning, executing and closing cursors belong to the layer that implements this interface
// and installs it with SetStatementRunner. Until one is installed a statement can be prepared
// (parsed) but not executed.
#pragma once

class TQueryStatement;
class TDataQuery;
class TDataCursor;

class TStatementRunner {
 public:
  virtual ~TStatementRunner() = default;
  // Prepares one parsed query: called for every query of the statement, the last created
  // first, so sub-queries and UNION members are ready before the queries that use them. Sets
  // the statement's live flags for the master query.
  virtual void PrepareQuery(TQueryStatement& statement, TDataQuery& query) = 0;
  // Executes the prepared queries of the current statement (sub-queries and UNION members
  // first, the master last) and sets the master's RowCount and ExecutionTime. With
  // returnResult set, returns the result cursor of a SELECT (null otherwise), which the caller
  // then owns; with it clear (the later statements of a script) returns null and keeps no
  // result.
  virtual TDataCursor* ExecuteStatement(TQueryStatement& statement, bool returnResult) = 0;
  // Releases what the runner attached to query (its source tables' cursors, its result) before
  // the query is freed.
  virtual void ReleaseQuery(TDataQuery& query) noexcept = 0;
};

// The runner statements created from now on use; null (the default) means none. The execution
// layer installs itself once at engine start-up, before any statement is created.
void SetStatementRunner(TStatementRunner* runner);
TStatementRunner* InstalledStatementRunner();
