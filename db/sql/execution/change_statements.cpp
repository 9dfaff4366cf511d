// The data-changing and transaction statements (see change_statements.h).
#include "db/sql/execution/change_statements.h"

#include <string>

#include "db/sql/execution/select_runner.h"
#include "db/sql/execution/sql_failure.h"
#include "db/sql/statements/data_query.h"
#include "db/sql/statements/query_statement.h"
#include "db/sql/statements/sql_keywords.h"

bool IsChangeStatement(int kind) {
  return kind == kStatementInsert || kind == kStatementUpdate || kind == kStatementDelete ||
         kind == kStatementStartTransaction || kind == kStatementCommit ||
         kind == kStatementRollback;
}

void PrepareChangeQuery(TSelectRunner&, TQueryStatement&, TDataQuery&) {}

void ExecuteChangeStatement(TSelectRunner&, TQueryStatement& statement) {
  RaiseEngineError(VUZODE_NOTINITIALIZED, {}, {}, {}, {}, {}, {},
                   std::string("SQL ") + std::string(StatementName(statement.Master()->Kind)) +
                       " statements cannot be executed yet");
}

void ReleaseChangeQuery(TSelectRunner&, TDataQuery&) noexcept {}
