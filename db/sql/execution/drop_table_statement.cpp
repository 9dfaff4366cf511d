// DROP TABLE: deletes the target table's files through a closed, exclusive cursor (which
// checks the table's password first); with IF EXISTS a missing table is no error.
#include "db/engine/cursor/data_cursor.h"
#include "db/sql/execution/definition_kinds.h"
#include "db/sql/execution/definition_target.h"
#include "db/sql/execution/statement_headers.h"

void ExecuteDropTable(TQueryStatement& statement, const TDataQuery& query) {
  const TDefinitionTarget target = DefinitionTargetOf(statement, query);
  if (query.IfExists && !target.Exists()) return;
  ExclusiveCursorOn(statement, target)->DeleteTable();
}
