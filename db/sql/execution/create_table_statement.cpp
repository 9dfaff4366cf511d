// CREATE TABLE: field descriptors from the column definitions in order, the primary key as
// the only index (an empty primary index without one), the text index and the table
// options, handed to the engine's table creation on an exclusive cursor. IF NOT EXISTS makes
// an existing table no error and leaves it as it is.
#include "db/engine/cursor/data_cursor.h"
#include "db/sql/execution/definition_descriptors.h"
#include "db/sql/execution/definition_kinds.h"
#include "db/sql/execution/definition_target.h"
#include "db/sql/execution/statement_headers.h"

void ExecuteCreateTable(TQueryStatement& statement, const TDataQuery& query) {
  const TDefinitionTarget target = DefinitionTargetOf(statement, query);
  if (query.IfNotExists && target.Exists()) return;
  TTableDefinition definition;
  for (const TCreateField& column : query.CreateFields)
    definition.Fields.push_back(
        FieldDescriptorOf(column, static_cast<uint16_t>(definition.Fields.size() + 1)));
  definition.Indexes.push_back(IndexDescriptor{});
  for (const TCreateIndex& key : query.CreateIndexes)
    if (key.PrimaryKey) definition.Indexes.front() = IndexDescriptorOf(key, definition.Fields);
  if (query.HasTextIndex)
    definition.TextIndex = TextIndexDescriptorOf(query.TextIndex, definition.Fields);
  ApplyTableOptions(query, definition, false);
  ExclusiveCursorOn(statement, target)->CreateTable(std::move(definition), false);
}
