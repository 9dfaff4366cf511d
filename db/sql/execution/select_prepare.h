// Preparing a SELECT: opening its source tables, binding and typing the select list, naming
// the result columns, binding GROUP BY, ORDER BY and HAVING to them, deciding whether the
// result can be live, and planning where each condition is checked (join_planning.cpp).
#pragma once

#include "db/sql/execution/query_plan.h"
#include "db/sql/execution/source_binding.h"

class TQueryStatement;
class TDataDirectory;

// The directory a source table is opened in: its own, the in-memory database, a folder its
// name gives, else the statement's database.
TDataDirectory& SourceDirectoryOf(TQueryStatement& statement, const TSourceTable& table);

// Prepares query into plan. lookup answers the plans of the statement's other queries, which
// are prepared before this one. Raises VUZODE_SQLPARSE with the messages of the SQL dialect;
// the errors of opening the tables pass through.
void PrepareSelect(TQueryStatement& statement, TDataQuery& query, TQueryPlan& plan,
                   const TPlanLookup& lookup);

// Steps of PrepareSelect, in their own files.
// select_list.cpp: the result columns, their types, names and record layout.
void BindSelectList(TDataQuery& query, TQueryPlan& plan, TSourceResolver& resolver);
// clause_binding.cpp: GROUP BY, ORDER BY, HAVING, and the live test.
void BindResultClauses(TDataQuery& query, TQueryPlan& plan);
bool DecideLive(TQueryStatement& statement, TDataQuery& query, TQueryPlan& plan);
// join_planning.cpp: WHERE and ON conditions to cursor filters, join levels and the residue.
// The index of source whose first field is field and that can serve "field = value" (not
// case-insensitive; for text, without a locale); -1 when none.
int SeekIndexFor(const TSourceState& source, uint16_t field);
void PlanConditions(TDataQuery& query, TQueryPlan& plan, TSourceResolver& resolver);
