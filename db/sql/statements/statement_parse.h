// The statement grammar, one function per statement or shared clause; internal to the
// statement layer. Each starts at the current token, fills query and leaves the first token
// it cannot use current. All raise VUZODE_SQLPARSE through the reader.
#pragma once

#include <span>
#include <string_view>

#include "db/sql/statements/data_query.h"
#include "db/sql/statements/sql_reader.h"

// SELECT (select_parse.cpp). The SELECT keyword is current; parenthesised tells that a "("
// before it has been consumed. aliasStops are the words a bare correlation name may not be.
// A query that is no UNION member reads the UNION chain that follows it.
void ParseSelect(TSqlReader& reader, TDataQuery& query, bool parenthesised,
                 std::span<const std::string_view> aliasStops);
// Reads the SELECT at the current token, "(" SELECT included, as query's body; raises "SELECT
// keyword expected" when neither is there.
void ParseSelectSource(TSqlReader& reader, TDataQuery& query,
                       std::span<const std::string_view> aliasStops);

// FROM lists with joins (source_tables_parse.cpp), after the FROM keyword. missing is the
// prefix raised when a table name is missing. With matchFirst set, the first reference must be
// the table already in SourceTables[0] (UPDATE ... FROM) and is not added again.
void ParseFromList(TSqlReader& reader, TDataQuery& query,
                   std::span<const std::string_view> aliasStops, bool matchFirst);
// Adds the table of reference to query, with correlation (empty: the table name).
TSourceTable& AddSourceTable(TSqlReader& reader, TDataQuery& query,
                             const TTableReference& reference, std::string correlation);
// Reads AS name, or a bare name that is none of stops; returns the empty text when neither.
std::string ReadCorrelationName(TSqlReader& reader, std::span<const std::string_view> stops);
// WHERE condition, when WHERE is current.
void ParseWhere(TSqlReader& reader, TDataQuery& query);
// LANGUAGE 'name' [SORT 'name'] and ENCRYPTED WITH 'password', each when current.
void ParseLanguage(TSqlReader& reader, TDataQuery& query);
void ParseEncryption(TSqlReader& reader, TDataQuery& query);

// Data changes (data_change_parse.cpp), after their first keyword.
void ParseInsert(TSqlReader& reader, TDataQuery& query);
void ParseUpdate(TSqlReader& reader, TDataQuery& query);
void ParseDelete(TSqlReader& reader, TDataQuery& query);

// Definitions (table_definition_parse.cpp, index_definition_parse.cpp), after their keywords.
void ParseCreateTable(TSqlReader& reader, TDataQuery& query);
void ParseAlterTable(TSqlReader& reader, TDataQuery& query);
void ParseDropTable(TSqlReader& reader, TDataQuery& query);
// CREATE [UNIQUE] [ASC | DESC] [NOCASE] INDEX, with the token after CREATE current.
void ParseCreateIndex(TSqlReader& reader, TDataQuery& query);
void ParseDropIndex(TSqlReader& reader, TDataQuery& query);

// Shared by the definitions (column_definition_parse.cpp).
// A column definition: name, data type (optional when typeOptional), and for ALTER the
// renaming second name; then the trailing options (AT only when alter).
void ParseColumnDefinition(TSqlReader& reader, TDataQuery& query, TCreateField& field,
                           bool typeOptional, bool alter);
// ALTER TABLE ... DROP [COLUMN] name, after COLUMN.
void ParseDroppedColumn(TSqlReader& reader, TDataQuery& query, TCreateField& field);
// [UNIQUE] [ASC | ASCENDING | DESC | DESCENDING] [NOCASE]
void ParseIndexModifiers(TSqlReader& reader, TCreateIndex& index);
// [CONSTRAINT name] [modifiers] PRIMARY KEY ( columns ) [COMPRESS ...]
void ParsePrimaryKey(TSqlReader& reader, TCreateIndex& index);
// ( column {, column} ) with the given parenthesis messages.
void ParseIndexColumns(TSqlReader& reader, TCreateIndex& index, std::string_view leftMissing,
                       std::string_view rightMissing);
// COMPRESS FULL | DUPBYTE | TRAILBYTE | NONE, when COMPRESS is current.
void ParseCompression(TSqlReader& reader, TCreateIndex& index);
// The table options of CREATE and ALTER TABLE, each optional, in their fixed order
// (table_options_parse.cpp).
void ParseTableOptions(TSqlReader& reader, TDataQuery& query);
