// The definition statements (see definition_statements.h).
#include "db/sql/execution/definition_statements.h"

#include <string>

#include "db/sql/execution/sql_failure.h"
#include "db/sql/statements/data_query.h"
#include "db/sql/statements/query_statement.h"
#include "db/sql/statements/sql_keywords.h"

bool IsDefinitionStatement(int kind) {
  return kind == kStatementCreateTable || kind == kStatementAlterTable ||
         kind == kStatementDropTable || kind == kStatementCreateIndex ||
         kind == kStatementDropIndex;
}

void ExecuteDefinitionStatement(TQueryStatement& statement) {
  RaiseEngineError(VUZODE_NOTINITIALIZED, {}, {}, {}, {}, {}, {},
                   std::string("SQL ") + std::string(StatementName(statement.Master()->Kind)) +
                       " statements cannot be executed yet");
}
