// The keyword lists of the statement parser and the statement names.
#include "db/sql/statements/sql_keywords.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 12> kStatementNames = {
    "SELECT",      "INSERT",     "UPDATE",       "DELETE",     "CREATE TABLE",
    "ALTER TABLE", "DROP TABLE", "CREATE INDEX", "DROP INDEX", "START TRANSACTION",
    "ROLLBACK",    "COMMIT"};

// FULL stops a correlation name too: taken as one, it would turn "a FULL JOIN b" silently into
// an inner join instead of reaching the message that full joins are not supported.
constexpr std::string_view kSourceStops[] = {
    "LEFT", "RIGHT", "INNER", "JOIN",      "WHERE",    "ORDER",          "GROUP", "HAVING",
    "TOP",  "RANGE", "WITH",  "ENCRYPTED", "LANGUAGE", "NOJOINOPTIMIZE", "UNION", "FULL"};
constexpr std::string_view kChangeStops[] = {
    "LEFT",     "RIGHT",          "INNER", "JOIN",  "WHERE",     "ORDER",
    "GROUP",    "HAVING",         "TOP",   "RANGE", "WITH",      "ENCRYPTED",
    "LANGUAGE", "NOJOINOPTIMIZE", "UNION", "FULL",  "NOAUTOINC", "COMMIT"};
// A joined table's bare correlation name is not ON, nor any word that would start the next
// clause: "a JOIN b WHERE" reports the missing ON at WHERE.
constexpr std::string_view kJoinStops[] = {
    "ON",     "LEFT",      "RIGHT", "INNER", "JOIN",      "WHERE",    "ORDER",          "GROUP",
    "HAVING", "TOP",       "RANGE", "WITH",  "ENCRYPTED", "LANGUAGE", "NOJOINOPTIMIZE", "UNION",
    "FULL",   "NOAUTOINC", "COMMIT"};
constexpr std::string_view kListEnds[] = {
    "CONSTRAINT", "PRIMARY", "UNIQUE",      "ASC",  "ASCENDING", "DESC",      "DESCENDING",
    "NOCASE",     "TEXT",    "DESCRIPTION", "BLOB", "LANGUAGE",  "ENCRYPTED", "USER"};
constexpr std::string_view kKeyStarts[] = {"CONSTRAINT", "PRIMARY", "UNIQUE",     "ASC",
                                           "ASCENDING",  "DESC",    "DESCENDING", "NOCASE"};
constexpr std::string_view kRedefineStops[] = {
    "AT",       "DESCRIPTION", "NOT",  "DEFAULT",  "MIN",       "MINIMUM", "MAX",  "MAXIMUM",
    "CHARCASE", "TEXT",        "BLOB", "LANGUAGE", "ENCRYPTED", "USER",    "LAST", "NOBACKUP"};

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

}  // namespace

const std::span<const std::string_view> kSourceAliasStops = kSourceStops;
const std::span<const std::string_view> kChangeAliasStops = kChangeStops;
const std::span<const std::string_view> kJoinAliasStops = kJoinStops;
const std::span<const std::string_view> kColumnListEnds = kListEnds;
const std::span<const std::string_view> kPrimaryKeyStarts = kKeyStarts;
const std::span<const std::string_view> kRedefineEnds = kRedefineStops;

std::string_view StatementName(uint8_t kind) {
  if (kind < kStatementSelect || kind > kStatementCommit) return {};
  return kStatementNames[kind - 1];
}

bool IsAnyKeyword(const TExpTokenizer& tokenizer, std::span<const std::string_view> words) {
  if (!tokenizer.TokenIs(kTokenSymbol)) return false;
  std::string_view token = tokenizer.RawToken();
  for (std::string_view word : words) {
    if (word.size() != token.size()) continue;
    size_t i = 0;
    while (i < word.size() && AsciiUpper(token[i]) == word[i]) ++i;
    if (i == word.size()) return true;
  }
  return false;
}
