// QueryText: a parsed statement in a compact one-line form for table-driven tests. Each query of
// the statement, in list order (master first), prints as its kind and then only the parts that
// differ from a fresh query, separated by blanks; queries are separated by " | ". Trees print
// in the form of ExpTreeText.
//   SELECT DISTINCT cols=[a, t.b=x, COUNT:*=COUNT(*), {a + 1}] from=[t, u AS x]
//          joins=[LEFT x ON (= t.a x.a)] where=(> a 1) group=[a, 2] order=[a DESC] top=5
// A select-list item prints as [aggregate:][alias.]column or {expression text}, followed by
// "=result name" when that is not the column name.
#pragma once

#include <string>

#include "db/sql/statements/query_statement.h"

std::string QueryText(const TDataQuery& query);
std::string StatementText(const TQueryStatement& statement);
