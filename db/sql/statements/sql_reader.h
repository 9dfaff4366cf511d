// TSqlReader: the statement parser's side of the shared tokenizer and expression parser. It
// reads keywords, names, integers and table references, runs the expression levels in their
// contexts, and raises the statement-level messages.
//
// Statement-level messages are the prefix, the offending token's text and "'" (no context
// name), raised as VUZODE_SQLPARSE through the tokenizer's Fail; expressions raise their own
// messages ending in their context name. After an expression the context is "SQL statement"
// again.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "db/sql/expressions/expression_parser.h"

class TQueryStatement;

// Entry levels of the expression parser a statement uses.
enum class TExpLevel { kOr, kAdditive, kUnary, kPrimary };

// [MEMORY] name ["\" name] as written: Name holds both parts joined with "\".
struct TTableReference {
  bool Memory = false;
  std::string Name;
};

class TSqlReader {
 public:
  TSqlReader(TExpressionParser& parser, TQueryStatement& statement)
      : Parser(parser), Statement(statement) {}

  TExpressionParser& Parser;
  TQueryStatement& Statement;

  bool Is(std::string_view keyword) const { return Parser.IsKeyword(keyword); }
  bool IsAny(std::span<const std::string_view> keywords) const;
  bool IsChar(char c) const { return Parser.TokenIs(static_cast<uint8_t>(c)); }
  void Next() { Parser.NextToken(); }
  // Consumes the keyword or the character when it is current.
  bool Accept(std::string_view keyword);
  bool AcceptChar(char c);
  // Consumes the keyword or the character, or raises prefix + token + "'".
  void Expect(std::string_view keyword, std::string_view prefix);
  void ExpectChar(char c, std::string_view prefix);
  // The end of the text or ";": nothing more belongs to the statement.
  bool AtStatementEnd() const { return Parser.TokenIs(kTokenEnd) || IsChar(';'); }

  [[noreturn]] void Fail(std::string_view message) { Parser.Fail(message); }
  // Raises prefix + the current token's text + "'".
  [[noreturn]] void FailFound(std::string_view prefix);

  // Raises "Too many <what> (more than <limit>)" when size has reached limit: called before
  // adding an item to a list.
  void CheckCount(size_t size, size_t limit, std::string_view what);
  // Raises when name is longer than kMaxSqlNameLength; what names the kind of name.
  void CheckName(std::string_view name, std::string_view what);
  // Reads a symbol, bracketed name or quoted string as a name, or raises FailFound(prefix).
  std::string ReadName(std::string_view prefix, std::string_view what);
  // Reads a single- or double-quoted string of at most 255 characters, or raises
  // FailFound(prefix).
  std::string ReadString(std::string_view prefix, std::string_view what);
  // Reads an integer token whose value is within [low, high], or raises FailFound(prefix).
  int32_t ReadInteger(std::string_view prefix, int32_t low, int32_t high);
  // Reads [MEMORY] name ["\" name]. missing is the prefix raised when the first name is not
  // there; missingPart when the name after MEMORY or "\" is not there. With optionalAfterMemory
  // MEMORY alone is a complete reference (INTO MEMORY), unless a name other than FROM follows.
  void ReadTableReference(TTableReference& table, std::string_view missing,
                          std::string_view missingPart, bool optionalAfterMemory = false);

  // Runs one expression level with flags in context, then restores "SQL statement". The tree
  // belongs to the caller.
  TExpToken* Expression(TExpLevel level, uint8_t flags, std::string_view context);
  // Reads a data type into node in the context "table column". With optional set, a word that
  // names no type is left current and false is returned.
  bool DataType(TExpToken& node, bool optional);
};

// Splits a table name that holds a path into its directory and its bare file name without
// extension; a name without a path is the table name as it is and directory is empty.
void SplitTablePath(std::string_view name, std::string& directory, std::string& table);

// Names compare without regard to ASCII letter case, like keywords.
bool SameName(std::string_view a, std::string_view b);
