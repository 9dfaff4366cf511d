// The keyword vocabulary of the statement parser: the words that end a list or may not stand as
// a bare correlation name, and the statement names used in messages. Keywords are symbols
// compared without regard to ASCII letter case; none is reserved outside the places listed
// here, so a table or column may be named after any of them where a name is expected.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "db/sql/expressions/exp_tokenizer.h"

// Statement kinds (TDataQuery::Kind).
enum : uint8_t {
  kStatementSelect = 1,
  kStatementInsert = 2,
  kStatementUpdate = 3,
  kStatementDelete = 4,
  kStatementCreateTable = 5,
  kStatementAlterTable = 6,
  kStatementDropTable = 7,
  kStatementCreateIndex = 8,
  kStatementDropIndex = 9,
  kStatementStartTransaction = 10,
  kStatementRollback = 11,
  kStatementCommit = 12,
};

// "SELECT", "CREATE TABLE", ... for kinds 1 to 12; the empty text for any other value.
std::string_view StatementName(uint8_t kind);

// Whether the current token is one of words.
bool IsAnyKeyword(const TExpTokenizer& tokenizer, std::span<const std::string_view> words);

// Words after a source table that start the next clause instead of naming the table: a bare
// correlation name is none of them.
extern const std::span<const std::string_view> kSourceAliasStops;
// The same, also stopping at NOAUTOINC and COMMIT: the tables of data-change statements.
extern const std::span<const std::string_view> kChangeAliasStops;
// The same, also stopping at ON: the joined tables.
extern const std::span<const std::string_view> kJoinAliasStops;
// Words that end the column definitions of CREATE TABLE.
extern const std::span<const std::string_view> kColumnListEnds;
// Words that start a primary key definition.
extern const std::span<const std::string_view> kPrimaryKeyStarts;
// The options that may follow a column definition, and the table options after ALTER TABLE's
// actions: after REDEFINE's first name, any of them ends the action instead of naming the
// column anew.
extern const std::span<const std::string_view> kRedefineEnds;
