// CREATE INDEX and DROP INDEX on an exclusively opened table. CREATE INDEX looks its columns
// up among the table's fields and adds the index with its keys (with IF NOT EXISTS nothing
// happens when an index of that name exists). DROP INDEX table.PRIMARY (any letter case)
// deletes the primary index, any other name that secondary index; with IF EXISTS a missing
// one is no error.
#include "db/engine/cursor/data_cursor.h"
#include "db/engine/table/index_definitions.h"
#include "db/sql/execution/definition_descriptors.h"
#include "db/sql/execution/definition_kinds.h"
#include "db/sql/execution/definition_target.h"
#include "db/sql/execution/source_binding.h"
#include "db/sql/execution/sql_failure.h"
#include "db/sql/execution/statement_headers.h"
#include "db/storage/index/index_file.h"
#include "db/storage/index/index_header.h"

void ExecuteCreateIndex(TQueryStatement& statement, const TDataQuery& query) {
  if (query.CreateIndexes.empty()) SqlFail("CREATE INDEX statement defines no index");
  const TCreateIndex& definition = query.CreateIndexes.front();
  auto cursor = ExclusiveCursorOn(statement, DefinitionTargetOf(statement, query));
  cursor->OpenCursor();
  if (query.IfNotExists && cursor->Table()->IndexFile().FindIndexName(definition.IndexName)) {
    cursor->CloseCursor();
    return;
  }
  const IndexDescriptor index = IndexDescriptorOf(definition, cursor->FieldDescriptors());
  bool stopped = false;
  // The index is built to the end whatever the host answers: it is whole or not there.
  AddIndex(*cursor, index, false, StatementProgress(statement, stopped));
  cursor->CloseCursor();
}

void ExecuteDropIndex(TQueryStatement& statement, const TDataQuery& query) {
  auto cursor = ExclusiveCursorOn(statement, DefinitionTargetOf(statement, query));
  cursor->OpenCursor();
  const TIndexFile& file = cursor->Table()->IndexFile();
  const bool primary = SameSqlName(query.IndexName, "PRIMARY");
  const bool exists = primary
                          ? !file.NoPrimaryIndex() && file.Descriptor(kPrimarySlot).FieldCount > 0
                          : file.FindIndexName(query.IndexName);
  // Without IF EXISTS a primary index that is not there is an error, as a secondary one is
  // (removing the empty slot would report a change that did not happen).
  if (primary && !exists && !query.IfExists) {
    cursor->Table()->Raise(VUZODE_INVALIDINDEXNAME, {}, query.IndexName);
  }
  if (exists || !query.IfExists) DeleteIndex(*cursor, primary ? "" : query.IndexName, true);
  cursor->CloseCursor();
}
