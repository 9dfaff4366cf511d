// The statement layer's headers as the execution layer includes them: every file of this
// layer includes the statement headers through this one.
#pragma once

#include "db/sql/statements/data_query.h"
#include "db/sql/statements/query_statement.h"
#include "db/sql/statements/sql_keywords.h"
