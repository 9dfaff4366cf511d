// TSqlReader: keywords, names, integers, table references and expression contexts.
#include "db/sql/statements/sql_reader.h"

#include <charconv>
#include <string>

#include "db/sql/statements/sql_keywords.h"
#include "db/sql/statements/statement_limits.h"

namespace {

constexpr std::string_view kStatementContext = "SQL statement";

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Restores the context "SQL statement" however the expression is left.
class TContextScope {
 public:
  TContextScope(TExpTokenizer& tokenizer, std::string_view context) : tokenizer_(tokenizer) {
    tokenizer_.ContextName.assign(context);
  }
  ~TContextScope() { tokenizer_.ContextName.assign(kStatementContext); }
  TContextScope(const TContextScope&) = delete;
  TContextScope& operator=(const TContextScope&) = delete;

 private:
  TExpTokenizer& tokenizer_;
};

}  // namespace

bool TSqlReader::IsAny(std::span<const std::string_view> keywords) const {
  return IsAnyKeyword(Parser, keywords);
}

bool TSqlReader::Accept(std::string_view keyword) {
  if (!Parser.IsKeyword(keyword)) return false;
  Parser.NextToken();
  return true;
}

bool TSqlReader::AcceptChar(char c) {
  if (!IsChar(c)) return false;
  Parser.NextToken();
  return true;
}

void TSqlReader::Expect(std::string_view keyword, std::string_view prefix) {
  if (!Accept(keyword)) FailFound(prefix);
}

void TSqlReader::ExpectChar(char c, std::string_view prefix) {
  if (!AcceptChar(c)) FailFound(prefix);
}

void TSqlReader::FailFound(std::string_view prefix) {
  std::string message(prefix);
  message += Parser.TokenText();
  message += '\'';
  Parser.Fail(message);
}

void TSqlReader::CheckCount(size_t size, size_t limit, std::string_view what) {
  if (size < limit) return;
  std::string message = "Too many ";
  message += what;
  message += " (more than ";
  message += std::to_string(limit);
  message += ")";
  Parser.Fail(message);
}

void TSqlReader::CheckName(std::string_view name, std::string_view what) {
  if (name.size() <= kMaxSqlNameLength) return;
  std::string message(what);
  message += " longer than 255 characters: '";
  message += name.substr(0, 32);
  message += "...'";
  Parser.Fail(message);
}

std::string TSqlReader::ReadName(std::string_view prefix, std::string_view what) {
  if (!Parser.IsSymbolOrString()) FailFound(prefix);
  std::string name = Parser.TokenText();
  CheckName(name, what);
  Parser.NextToken();
  return name;
}

std::string TSqlReader::ReadString(std::string_view prefix, std::string_view what) {
  if (!Parser.TokenIs(kTokenSingleQuoted) && !Parser.TokenIs(kTokenDoubleQuoted)) FailFound(prefix);
  return ReadName(prefix, what);
}

int32_t TSqlReader::ReadInteger(std::string_view prefix, int32_t low, int32_t high) {
  if (!Parser.TokenIs(kTokenInteger)) FailFound(prefix);
  std::string_view digits = Parser.RawToken();
  int64_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() || value < low || value > high)
    FailFound(prefix);
  Parser.NextToken();
  return static_cast<int32_t>(value);
}

void TSqlReader::ReadTableReference(TTableReference& table, std::string_view missing,
                                    std::string_view missingPart, bool optionalAfterMemory) {
  table.Memory = false;
  table.Name.clear();
  if (Accept("MEMORY")) {
    table.Memory = true;
    if (optionalAfterMemory && (!Parser.IsSymbolOrString() || Is("FROM"))) return;
    table.Name = ReadName(missingPart, "Table name");
  } else {
    table.Name = ReadName(missing, "Table name");
  }
  if (AcceptChar('\\')) {
    table.Name += '\\';
    table.Name += ReadName(missingPart, "Table name");
    CheckName(table.Name, "Table name");
  }
}

TExpToken* TSqlReader::Expression(TExpLevel level, uint8_t flags, std::string_view context) {
  TContextScope scope(Parser, context);
  switch (level) {
    case TExpLevel::kOr:
      return Parser.ParseOr(flags);
    case TExpLevel::kAdditive:
      return Parser.ParseAdditive(flags);
    case TExpLevel::kUnary:
      return Parser.ParseUnary(flags);
    case TExpLevel::kPrimary:
      break;
  }
  return Parser.ParsePrimary(flags);
}

bool TSqlReader::DataType(TExpToken& node, bool optional) {
  TContextScope scope(Parser, "table column");
  return Parser.ParseDataType(node, 0, optional);
}

void SplitTablePath(std::string_view name, std::string& directory, std::string& table) {
  size_t slash = name.find_last_of("\\/");
  if (slash == std::string_view::npos) {
    directory.clear();
    table.assign(name);
    return;
  }
  directory.assign(name.substr(0, slash));
  std::string_view file = name.substr(slash + 1);
  size_t dot = file.rfind('.');
  if (dot != std::string_view::npos) file = file.substr(0, dot);
  table.assign(file);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}
