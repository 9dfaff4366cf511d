// ExpTreeText: the compact form of a tree (see the header for its grammar).
#include "db/sql/expressions/exp_tree_text.h"

#include <charconv>
#include <string_view>

namespace {

struct TOpName {
  uint8_t Op;
  const char* Name;
};

constexpr TOpName kOpNames[] = {
    {kOpIsNull, "IS NULL"},
    {kOpIsNotNull, "IS NOT NULL"},
    {kOpEqual, "="},
    {kOpNotEqual, "<>"},
    {kOpGreater, ">"},
    {kOpLess, "<"},
    {kOpGreaterEqual, ">="},
    {kOpLessEqual, "<="},
    {kOpNot, "NOT"},
    {kOpAnd, "AND"},
    {kOpOr, "OR"},
    {kOpNegate, "-"},
    {kOpPlusSign, "+"},
    {kOpAdd, "+"},
    {kOpSubtract, "-"},
    {kOpMultiply, "*"},
    {kOpDivide, "/"},
    {kOpSum, "SUM"},
    {kOpRunSum, "RUNSUM"},
    {kOpCount, "COUNT"},
    {kOpMin, "MIN"},
    {kOpMax, "MAX"},
    {kOpAvg, "AVG"},
    {kOpLike, "LIKE"},
    {kOpIn, "IN"},
    {kOpInSelect, "IN"},
    {kOpUpper, "UPPER"},
    {kOpLower, "LOWER"},
    {kOpBetween, "BETWEEN"},
    {kOpNotBetween, "NOT BETWEEN"},
    {kOpNotLike, "NOT LIKE"},
    {kOpNotIn, "NOT IN"},
    {kOpNotInSelect, "NOT IN"},
    {kOpSubstring, "SUBSTRING"},
    {kOpReplace, "REPLACE"},
    {kOpPos, "POS"},
    {kOpOccurs, "OCCURS"},
    {kOpTrimLeading, "TRIM_LEADING"},
    {kOpTrimTrailing, "TRIM_TRAILING"},
    {kOpTrimBoth, "TRIM_BOTH"},
    {kOpLength, "LENGTH"},
    {kOpCast, "CAST"},
    {55, "EXTRACT_YEAR"},
    {56, "EXTRACT_MONTH"},
    {57, "EXTRACT_WEEK"},
    {58, "EXTRACT_DAY"},
    {59, "EXTRACT_DAYOFWEEK"},
    {60, "EXTRACT_DAYOFYEAR"},
    {61, "EXTRACT_HOUR"},
    {62, "EXTRACT_MINUTE"},
    {63, "EXTRACT_SECOND"},
    {kOpIf, "IF"},
    {kOpCoalesce, "COALESCE"},
    {kOpIfNull, "IFNULL"},
    {kOpAbs, "ABS"},
    {kOpRound, "ROUND"},
    {kOpTextSearch, "TEXTSEARCH"},
    {kOpTextOccurs, "TEXTOCCURS"},
    {kOpLastAutoInc, "LASTAUTOINC"},
    {kOpIdentCurrent, "IDENT_CURRENT"},
};

void AppendDouble(std::string& out, double value) {
  char buffer[40];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (error == std::errc()) out.append(buffer, end);
}

void AppendConstant(std::string& out, const TExpToken& node) {
  if (node.IsParam) {
    out += '?';
    return;
  }
  if (node.IsNull) {
    out += "NULL";
    if (node.ValueType != 0) out += ":" + std::to_string(node.ValueType);
    return;
  }
  switch (node.ValueType) {
    case 1:
      out += '\'';
      for (char c : node.StringValue()) {
        if (c == '\'') out += '\'';
        out += c;
      }
      out += '\'';
      return;
    case 2:
      out += "date:" + std::to_string(node.IntegerValue());
      return;
    case 4:
      out += node.SmallIntValue() ? "TRUE" : "FALSE";
      return;
    case 6:
      out += std::to_string(node.IntegerValue());
      return;
    case 7:
      AppendDouble(out, node.FloatValue());
      out += 'f';
      return;
    case 10:
      out += "time:" + std::to_string(node.IntegerValue());
      return;
    case 11:
      out += "timestamp:";
      AppendDouble(out, node.FloatValue());
      return;
    case 18:
      out += std::to_string(node.LargeIntValue()) + "L";
      return;
    default:
      out += "type" + std::to_string(node.ValueType) + ":" + std::to_string(node.ValueSize());
  }
}

void AppendTree(std::string& out, const TExpToken* node) {
  if (!node) {
    out += "<nil>";
    return;
  }
  switch (node->NodeClass) {
    case kNodeColumn:
      if (!node->TableAlias.empty()) out += node->TableAlias + ".";
      out += node->ColumnName;
      return;
    case kNodeConstant:
      AppendConstant(out, *node);
      return;
    case kNodeSubSelect:
      out += "SELECT";
      return;
    default:
      break;
  }
  out += '(';
  out += ExpOpName(node->OpCode);
  for (const TExpToken* operand : {node->Left, node->Right, node->Child})
    if (operand) {
      out += ' ';
      AppendTree(out, operand);
    }
  for (size_t i = 0; i < node->Args.size(); ++i) {
    if (node->OpCode == kOpCast && i == 1) out += " AS";
    out += ' ';
    AppendTree(out, node->Args[i]);
  }
  if (node->OpCode == kOpCast) {
    if (node->Args.size() <= 1) out += " AS";
    out += " " + std::to_string(node->ValueType) + "/" + std::to_string(node->SubType);
  }
  out += ')';
}

}  // namespace

std::string ExpOpName(uint8_t op) {
  for (const TOpName& entry : kOpNames)
    if (entry.Op == op) return entry.Name;
  return "op" + std::to_string(op);
}

std::string ExpTreeText(const TExpToken* root) {
  std::string out;
  AppendTree(out, root);
  return out;
}
