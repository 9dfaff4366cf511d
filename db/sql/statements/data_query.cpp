// TDataQuery: the dispatch on a statement's first keywords and the end of a statement.
//
//   | Start                                        | Kind | Parsed by               |
//   |----------------------------------------------|------|-------------------------|
//   | SELECT, or "(" SELECT                        | 1    | ParseSelect             |
//   | INSERT / UPDATE / DELETE                     | 2-4  | data_change_parse.cpp   |
//   | CREATE TABLE / ALTER TABLE / DROP TABLE      | 5-7  | table_definition_parse  |
//   | CREATE [UNIQUE] [ASC|DESC] [NOCASE] INDEX    | 8    | index_definition_parse  |
//   | DROP INDEX                                   | 9    | index_definition_parse  |
//   | START TRANSACTION / ROLLBACK [WORK] /        | 10-12| here                    |
//   |   COMMIT [WORK] [FLUSH]                      |      |                         |
#include "db/sql/statements/data_query.h"

#include <new>
#include <string>
#include <utility>

#include "db/sql/statements/query_statement.h"
#include "db/sql/statements/sql_keywords.h"
#include "db/sql/statements/statement_limits.h"
#include "db/sql/statements/statement_parse.h"

namespace {

constexpr std::string_view kCreateIndexStarts[] = {"INDEX", "UNIQUE",     "ASC",   "ASCENDING",
                                                   "DESC",  "DESCENDING", "NOCASE"};

void ParseMaster(TSqlReader& reader, TDataQuery& query) {
  if (reader.AcceptChar('(')) {
    if (!reader.Is("SELECT")) reader.FailFound("SELECT keyword expected, instead found '");
    query.Kind = kStatementSelect;
    ParseSelect(reader, query, true, kSourceAliasStops);
  } else if (reader.Is("SELECT")) {
    query.Kind = kStatementSelect;
    ParseSelect(reader, query, false, kSourceAliasStops);
  } else if (reader.Accept("INSERT")) {
    query.Kind = kStatementInsert;
    query.LiveAllowed = true;
    ParseInsert(reader, query);
  } else if (reader.Accept("UPDATE")) {
    query.Kind = kStatementUpdate;
    query.LiveAllowed = true;
    ParseUpdate(reader, query);
  } else if (reader.Accept("DELETE")) {
    query.Kind = kStatementDelete;
    query.LiveAllowed = true;
    ParseDelete(reader, query);
  } else if (reader.Accept("CREATE")) {
    if (reader.Accept("TABLE")) {
      query.Kind = kStatementCreateTable;
      ParseCreateTable(reader, query);
    } else if (reader.IsAny(kCreateIndexStarts)) {
      query.Kind = kStatementCreateIndex;
      ParseCreateIndex(reader, query);
    } else {
      reader.FailFound(
          "TABLE, INDEX, UNIQUE, ASC, ASCENDING, DESC, DESCENDING, or NOCASE keyword expected, "
          "instead found '");
    }
  } else if (reader.Accept("ALTER")) {
    reader.Expect("TABLE", "TABLE keyword expected, instead found '");
    query.Kind = kStatementAlterTable;
    ParseAlterTable(reader, query);
  } else if (reader.Accept("DROP")) {
    if (reader.Accept("TABLE")) {
      query.Kind = kStatementDropTable;
      ParseDropTable(reader, query);
    } else if (reader.Accept("INDEX")) {
      query.Kind = kStatementDropIndex;
      ParseDropIndex(reader, query);
    } else {
      reader.FailFound("TABLE or INDEX keyword expected, instead found '");
    }
  } else if (reader.Accept("START")) {
    reader.Expect("TRANSACTION", "TRANSACTION keyword expected, instead found '");
    query.Kind = kStatementStartTransaction;
  } else if (reader.Accept("ROLLBACK")) {
    reader.Accept("WORK");
    query.Kind = kStatementRollback;
  } else if (reader.Accept("COMMIT")) {
    reader.Accept("WORK");
    query.Flush = reader.Accept("FLUSH");
    query.Kind = kStatementCommit;
  } else {
    reader.FailFound(
        "SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead "
        "found '");
  }
}

}  // namespace

TDataQuery::TDataQuery(TQueryStatement& statement) : Statement(statement) {}

void TDataQuery::Parse(bool subQuery, bool unionMember, TDataQuery* master) {
  if (Executed) return;
  TSqlReader reader(Statement.Parser(), Statement);
  if (subQuery || unionMember) {
    Kind = kStatementSelect;
    IsSubQuery = subQuery;
    UnionMember = unionMember;
    UnionMaster = master;
    LiveAllowed = true;
    ParseSelectSource(reader, *this, kSourceAliasStops);
    return;
  }
  ParseMaster(reader, *this);
  // The statement ends at ";" (the rest of the text is the next statement) or at the end.
  if (reader.AcceptChar(';')) return;
  if (!reader.Parser.TokenIs(kTokenEnd)) {
    std::string message = "End of ";
    message += StatementName(Kind);
    message += " statement expected, instead found '";
    reader.FailFound(message);
  }
}

TSourceTable& TDataQuery::AddSourceTable() {
  if (SourceTables.size() >= kMaxSourceTables)
    Statement.Parser().Fail("Too many source tables in one query (more than " +
                            std::to_string(kMaxSourceTables) + ")");
  auto table = std::make_unique<TSourceTable>();
  table->Owner = this;
  table->TableNumber = static_cast<int16_t>(SourceTables.size() + 1);
  SourceTables.push_back(std::move(table));
  return *SourceTables.back();
}

void TDataQuery::Recycle() noexcept {
  // The lists move out, the query is built anew in place (every field at its initial value),
  // and the lists come back emptied: their elements, trees included, are released by clear().
  auto orderBy = std::move(OrderBy);
  auto groupBy = std::move(GroupBy);
  auto sourceTables = std::move(SourceTables);
  auto joins = std::move(Joins);
  auto resultFields = std::move(ResultFields);
  auto updateFields = std::move(UpdateFields);
  auto updateValues = std::move(UpdateValues);
  auto createFields = std::move(CreateFields);
  auto createIndexes = std::move(CreateIndexes);
  auto stopWords = std::move(StopWords);
  TQueryStatement& statement = Statement;
  this->~TDataQuery();
  new (this) TDataQuery(statement);
  auto reuse = [](auto& list, auto& kept) {
    kept.clear();
    list = std::move(kept);
  };
  reuse(OrderBy, orderBy);
  reuse(GroupBy, groupBy);
  reuse(SourceTables, sourceTables);
  reuse(Joins, joins);
  reuse(ResultFields, resultFields);
  reuse(UpdateFields, updateFields);
  reuse(UpdateValues, updateValues);
  reuse(CreateFields, createFields);
  reuse(CreateIndexes, createIndexes);
  reuse(StopWords, stopWords);
}
