// START TRANSACTION, COMMIT [FLUSH] and ROLLBACK on the statement's database.
#include <string>

#include "db/engine/session/data_directory.h"
#include "db/sql/execution/change_plan.h"
#include "db/sql/execution/sql_failure.h"

void ExecuteTransactionStatement(TQueryStatement& statement, TDataQuery& query) {
  TDataDirectory* database = statement.Database();
  if (!database) SqlFail("No database is given for the transaction");
  const std::string name = "for database '" + database->DatabaseName() + "'";
  switch (query.Kind) {
    case kStatementStartTransaction:
      if (database->InTransaction()) SqlFail("Transaction already in progress " + name);
      database->StartTransaction();
      return;
    case kStatementCommit:
      if (!database->InTransaction()) SqlFail("Transaction not in progress " + name);
      database->Commit(true, query.Flush);
      return;
    default:
      if (!database->InTransaction()) SqlFail("Transaction not in progress " + name);
      database->Rollback();
  }
}
