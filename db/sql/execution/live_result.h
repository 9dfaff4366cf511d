// Live results: the source table's own cursor handed to the caller, with the WHERE condition
// as its view and the index that serves ORDER BY active. A WHERE made only of comparisons
// between one indexed column and values (equalities of any type; orderings of an integer
// column) becomes a key range on that index instead of a filter, so a point lookup or a range
// reads index pages for its own keys and builds no filter over the table.
#pragma once

#include <memory>

#include "db/sql/execution/query_plan.h"

class TExpTokenStack;

// Gives away the plan's source cursor as the result and opens a new one for the plan. With
// markLive the result is marked as a live result, unless a key range serves its WHERE.
std::unique_ptr<TDataCursor> MakeLiveResult(TQueryPlan& plan, TExpTokenStack& pool, bool markLive);
// When the WHERE of plan, a query of one table whose conditions are all cursor filters, is a
// key range on one index, makes that index current on the table's cursor and sets the range
// there instead of installing the filters, and answers true: the cursor's view then holds
// exactly the qualifying rows. The caller resets the range when done.
bool ApplyWhereKeyRange(TQueryPlan& plan, TExpTokenStack& pool);
// Opens again every source cursor a live result took, and refreshes the others (which may
// have been opened long ago) so that they see other users' changes.
void EnsureSourcesOpen(TQueryPlan& plan);
