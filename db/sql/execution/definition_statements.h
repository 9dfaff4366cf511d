// The definition statements of the execution layer: CREATE TABLE, ALTER TABLE, DROP TABLE,
// CREATE INDEX and DROP INDEX. They build field and index descriptors from the parsed query and
// hand them to the engine's table operations; the target table is left closed.
#pragma once

class TQueryStatement;

// True for the statement kinds handled here.
bool IsDefinitionStatement(int kind);
// Runs the statement's master query; sets its ExecutionTime.
void ExecuteDefinitionStatement(TQueryStatement& statement);
