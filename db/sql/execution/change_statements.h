// The data-changing statements of the execution layer: INSERT (VALUES or a SELECT), UPDATE and
// DELETE, and the transaction statements START TRANSACTION, COMMIT and ROLLBACK. The select
// runner hands these kinds here at prepare, execute and release; their state lives in the
// runner's plans like a SELECT's.
#pragma once

class TSelectRunner;
class TQueryStatement;
class TDataQuery;

// True for the statement kinds handled here.
bool IsChangeStatement(int kind);
// Binds the target table, columns and values of an INSERT, UPDATE or DELETE (the transaction
// statements need nothing).
void PrepareChangeQuery(TSelectRunner& runner, TQueryStatement& statement, TDataQuery& query);
// Runs the statement's master query; sets its RowCount (rows affected) and ExecutionTime.
void ExecuteChangeStatement(TSelectRunner& runner, TQueryStatement& statement);
// Releases what PrepareChangeQuery attached to query.
void ReleaseChangeQuery(TSelectRunner& runner, TDataQuery& query) noexcept;
