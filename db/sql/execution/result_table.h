// Canned results: the table a query's rows are written to, and the session setting that
// decides where it lives.
//
// Without INTO, a result of at most CannedResultMemoryLimit bytes (rows x record size) is a
// table in the session's in-memory database, and a larger one a table in its private
// directory; both are temporary: their cursor deletes them when it closes. INTO MEMORY puts
// the result in memory whatever its size; INTO name makes a lasting table of that name in the
// statement's database (replacing one of that name).
#pragma once

#include <cstdint>
#include <memory>

#include "db/sql/execution/query_plan.h"

class TQueryStatement;
class TDataSession;

inline constexpr uint64_t kDefaultCannedResultMemoryLimit = 16u << 20;  // 16 MiB

// The limit of session (kDefaultCannedResultMemoryLimit until set).
uint64_t CannedResultMemoryLimit(const TDataSession& session);
void SetCannedResultMemoryLimit(const TDataSession& session, uint64_t bytes);
// Forgets the setting of a session that goes away.
void ForgetCannedResultSettings(const TDataSession& session);

// Creates the result table of query, writes plan's rows into it and answers its open cursor,
// positioned before the first row. The rows of a temporary result in memory (not INTO MEMORY)
// stay pending in the cursor until an operation needs the table (TDataCursor::SetPendingRows).
std::unique_ptr<TDataCursor> MakeResultCursor(TQueryStatement& statement, TDataQuery& query,
                                              TQueryPlan& plan);
