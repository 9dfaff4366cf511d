// PrepareSelect: opens the source tables and runs the binding and planning steps in order
// (see select_prepare.h).
#include "db/sql/execution/select_prepare.h"

#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/sql/execution/sql_failure.h"
#include "db/sql/execution/work_directories.h"

TDataDirectory& SourceDirectoryOf(TQueryStatement& statement, const TSourceTable& table) {
  if (table.Database) return *table.Database;
  if (!statement.Database())
    SqlFail("No database is given for the table '" + table.TableName + "'");
  TDataSession& session = statement.Database()->Session();
  if (table.InMemory) return MemoryDirectoryOf(session);
  if (table.DatabaseName.empty()) return *statement.Database();
  return FolderDirectoryOf(session, table.DatabaseName);
}

namespace {

void OpenSources(TQueryStatement& statement, TDataQuery& query, TQueryPlan& plan) {
  plan.Sources.clear();
  for (const auto& table : query.SourceTables) {
    auto source = std::make_unique<TSourceState>();
    source->Table = table.get();
    source->Number = table->TableNumber - 1;
    source->Directory = &SourceDirectoryOf(statement, *table);
    source->ReadOnly = !query.LiveAllowed;
    source->Cursor = std::make_unique<TDataCursor>(*source->Directory);
    source->Cursor->SetTableName(table->TableName);
    source->Cursor->SetInMemory(table->InMemory);
    source->Cursor->SetReadOnly(!query.LiveAllowed);
    source->Cursor->OpenCursor();
    source->Buffer.assign(source->Cursor->RecordSize(), 0);
    source->Environment = std::make_unique<TCursorEnvironment>(source->Cursor->FieldDescriptors());
    table->Cursor = source->Cursor.get();
    source->Fresh = true;
    plan.Sources.push_back(std::move(source));
  }
  if (plan.Sources.empty()) SqlFail("FROM clause names no table");
  const TDataFileHeader header = plan.Sources.front()->Cursor->ReadDataHeader();
  plan.LanguageId =
      query.LanguageGiven ? query.LanguageId : static_cast<uint16_t>(header.LanguageId);
  plan.SortId = query.SortGiven ? query.SortId : static_cast<uint16_t>(header.SortId);
}

}  // namespace

void PrepareSelect(TQueryStatement& statement, TDataQuery& query, TQueryPlan& plan,
                   const TPlanLookup& lookup) {
  plan.Query = &query;
  if (query.Distinct && query.HasGroupBy) query.Distinct = false;
  OpenSources(statement, query, plan);
  TSourceResolver resolver(plan, lookup);
  BindSelectList(query, plan, resolver);
  BindResultClauses(query, plan);
  plan.Live = DecideLive(statement, query, plan);
  // A canned row holds a BLOB column's reference into the source table's BLOB file, which
  // means nothing in the result table's: such results are refused rather than made wrong.
  if (!plan.Live)
    for (const FieldDescriptor& field : plan.Fields)
      if (field.Type == kFieldBlob)
        SqlFail("BLOB column '" + field.Name +
                "' cannot be copied into a result table; request a live result");
  PlanConditions(query, plan, resolver);
}
