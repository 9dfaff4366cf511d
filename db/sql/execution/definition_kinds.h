// The definition statements one by one, as ExecuteDefinitionStatement hands them out: each
// runs one parsed query of its kind and leaves its target table closed.
#pragma once

#include "db/engine/table/index_definitions.h"

class TDataQuery;
class TQueryStatement;

void ExecuteCreateTable(TQueryStatement& statement, const TDataQuery& query);
void ExecuteAlterTable(TQueryStatement& statement, const TDataQuery& query);
void ExecuteDropTable(TQueryStatement& statement, const TDataQuery& query);
void ExecuteCreateIndex(TQueryStatement& statement, const TDataQuery& query);
void ExecuteDropIndex(TQueryStatement& statement, const TDataQuery& query);

// The statement's progress callback as the engine's: answers false once the host asks to
// stop, and sets stopped then. Empty when the host gave none.
TPercentCallback StatementProgress(TQueryStatement& statement, bool& stopped);
