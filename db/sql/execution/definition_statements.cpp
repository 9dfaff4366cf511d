// The definition statements (see definition_statements.h): the dispatch by kind, the
// execution time, and the statement's progress callback in the engine's form.
#include "db/sql/execution/definition_statements.h"

#include <chrono>

#include "db/sql/execution/definition_kinds.h"
#include "db/sql/execution/statement_headers.h"

bool IsDefinitionStatement(int kind) {
  return kind == kStatementCreateTable || kind == kStatementAlterTable ||
         kind == kStatementDropTable || kind == kStatementCreateIndex ||
         kind == kStatementDropIndex;
}

void ExecuteDefinitionStatement(TQueryStatement& statement) {
  TDataQuery& query = *statement.Master();
  const auto start = std::chrono::steady_clock::now();
  switch (query.Kind) {
    case kStatementCreateTable:
      ExecuteCreateTable(statement, query);
      break;
    case kStatementAlterTable:
      ExecuteAlterTable(statement, query);
      break;
    case kStatementDropTable:
      ExecuteDropTable(statement, query);
      break;
    case kStatementCreateIndex:
      ExecuteCreateIndex(statement, query);
      break;
    case kStatementDropIndex:
      ExecuteDropIndex(statement, query);
      break;
    default:
      break;
  }
  query.RowCount = 0;
  query.ExecutionTime =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TPercentCallback StatementProgress(TQueryStatement& statement, bool& stopped) {
  const TStatementCallbacks& callbacks = statement.Callbacks;
  if (!callbacks.Progress) return {};
  return [&callbacks, &stopped](int percent) {
    bool abort = false;
    callbacks.Progress(callbacks.ProgressData, percent, abort);
    if (abort) stopped = true;
    return !abort;
  };
}
