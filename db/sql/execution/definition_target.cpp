// The target table of a definition statement (see definition_target.h).
#include "db/sql/execution/definition_target.h"

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/sql/execution/sql_failure.h"
#include "db/sql/execution/statement_headers.h"
#include "db/sql/execution/work_directories.h"
#include "db/sql/statements/sql_reader.h"

bool TDefinitionTarget::Exists() const {
  return Directory->TableExists(Name, Kind);
}

TDefinitionTarget DefinitionTargetOf(TQueryStatement& statement, const TDataQuery& query) {
  TDefinitionTarget target;
  std::string folder;
  SplitTablePath(query.TargetTable, folder, target.Name);
  if (!statement.Database())
    SqlFail("No database is given for the table '" + query.TargetTable + "'");
  TDataSession& session = statement.Database()->Session();
  target.Memory = query.Memory;
  if (target.Memory)
    target.Directory = &MemoryDirectoryOf(session);
  else if (folder.empty())
    target.Directory = statement.Database();
  else
    target.Directory = &FolderDirectoryOf(session, folder);
  target.Memory = target.Memory || target.Directory->Path().empty();
  target.Kind = target.Memory ? kMemoryTable : kDiskTable;
  return target;
}

std::unique_ptr<TDataCursor> ExclusiveCursorOn(TQueryStatement& statement,
                                               const TDefinitionTarget& target) {
  auto cursor = std::make_unique<TDataCursor>(*target.Directory);
  cursor->SetTableName(target.Name);
  cursor->SetInMemory(target.Memory);
  cursor->SetExclusive(true);
  const TStatementCallbacks& callbacks = statement.Callbacks;
  if (callbacks.Password) {
    cursor->SetPasswordCallback([&callbacks](TDataCursor& asking) {
      return callbacks.Password(callbacks.PasswordData, &asking) != 0;
    });
  }
  return cursor;
}
