// TExpressionParser: the function syntax. Every function is a node of class 10 with its
// arguments in Args, "(" after the keyword and ")" after the arguments; the messages name the
// function. Argument levels follow the function table (A additive, P primary, O or).
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "db/sql/expressions/expression_parser.h"
#include "db/storage/data/field_types.h"

namespace {

enum class TSyntax {
  kAggregate,   // NAME ( x )                      x: A, needs kParseAggregates
  kOne,         // NAME ( x )                      x: A
  kSubstring,   // SUBSTRING ( s FROM i [FOR n] )  all A
  kReplace,     // REPLACE ( a WITH b IN s )       all A
  kSearchIn,    // POS / OCCURS ( a IN s )         all A
  kCast,        // CAST ( x AS type )
  kTrim,        // TRIM ( LEADING|TRAILING|BOTH c FROM s )   c: P, s: A
  kExtract,     // EXTRACT ( part FROM d )         d: A
  kRound,       // ROUND ( x [TO n] )              x: A, n: P
  kIf,          // IF / IFNULL ( c THEN a ELSE b ) c: O, a, b: A
  kCoalesce,    // COALESCE ( a {, a} )            A
  kTextSearch,  // TEXTSEARCH / TEXTOCCURS ( words IN column )  words: A, column: P
  kTable,       // LASTAUTOINC / IDENT_CURRENT ( table )        P
};

struct TFunction {
  const char* Name;
  uint8_t Op;
  TSyntax Syntax;
  uint8_t ResultType;  // 0: decided by the type checks (or the argument's, for ABS and ROUND)
  bool Plural;         // "function arguments" in the right-parenthesis message
};

constexpr TFunction kFunctions[] = {
    {"SUM", kOpSum, TSyntax::kAggregate, 0, false},
    {"RUNSUM", kOpRunSum, TSyntax::kAggregate, 0, false},
    {"COUNT", kOpCount, TSyntax::kAggregate, 0, false},
    {"MIN", kOpMin, TSyntax::kAggregate, 0, false},
    {"MAX", kOpMax, TSyntax::kAggregate, 0, false},
    {"AVG", kOpAvg, TSyntax::kAggregate, 0, false},
    {"LOWER", kOpLower, TSyntax::kOne, kFieldString, false},
    {"UPPER", kOpUpper, TSyntax::kOne, kFieldString, false},
    {"LENGTH", kOpLength, TSyntax::kOne, kFieldInteger, false},
    {"SUBSTRING", kOpSubstring, TSyntax::kSubstring, kFieldString, true},
    {"REPLACE", kOpReplace, TSyntax::kReplace, kFieldString, true},
    {"POS", kOpPos, TSyntax::kSearchIn, kFieldInteger, true},
    {"OCCURS", kOpOccurs, TSyntax::kSearchIn, kFieldInteger, true},
    {"CAST", kOpCast, TSyntax::kCast, 0, true},
    {"TRIM", kOpTrimBoth, TSyntax::kTrim, kFieldString, true},
    {"EXTRACT", kOpExtractYear, TSyntax::kExtract, kFieldInteger, true},
    {"ABS", kOpAbs, TSyntax::kOne, 0, false},
    {"ROUND", kOpRound, TSyntax::kRound, 0, true},
    {"IF", kOpIf, TSyntax::kIf, 0, true},
    {"IFNULL", kOpIfNull, TSyntax::kIf, 0, true},
    {"COALESCE", kOpCoalesce, TSyntax::kCoalesce, 0, false},
    {"TEXTSEARCH", kOpTextSearch, TSyntax::kTextSearch, kFieldBoolean, false},
    {"TEXTOCCURS", kOpTextOccurs, TSyntax::kTextSearch, kFieldWord, false},
    {"LASTAUTOINC", kOpLastAutoInc, TSyntax::kTable, kFieldInteger, false},
    {"IDENT_CURRENT", kOpIdentCurrent, TSyntax::kTable, kFieldInteger, false},
};

// EXTRACT parts in the order of their codes, from kOpExtractYear.
constexpr const char* kExtractParts[] = {"YEAR",      "MONTH", "WEEK",   "DAY",   "DAYOFWEEK",
                                         "DAYOFYEAR", "HOUR",  "MINUTE", "SECOND"};

}  // namespace

void TExpressionParser::Expect(bool present, std::initializer_list<std::string_view> prefix) {
  if (present) {
    NextToken();
    return;
  }
  std::string message;
  for (std::string_view piece : prefix) message += piece;
  FailFound(message);
}

TExpToken* TExpressionParser::DoFunction(uint8_t flags) {
  const TFunction* function = nullptr;
  for (const TFunction& candidate : kFunctions)
    if (IsKeyword(candidate.Name)) {
      function = &candidate;
      break;
    }
  if (!function) return nullptr;

  const std::string_view name = function->Name;
  const bool aggregate = function->Syntax == TSyntax::kAggregate;
  if (aggregate && !(flags & kParseAggregates)) FailIn("Aggregate functions are not allowed");
  TExpToken* node = NewNode(kNodeFunction, function->Op);
  node->ValueType = function->ResultType;
  NextToken();
  if (aggregate)
    Expect(TokenIs('('),
           {"Left parentheses expected after aggregate function '", name, "', instead found '"});
  else
    Expect(TokenIs('('), {"Left parentheses expected after ", name, " keyword, instead found '"});

  std::vector<TExpToken*>& args = node->Args;
  constexpr std::string_view kArgument = " function argument, instead found '";
  switch (function->Syntax) {
    case TSyntax::kAggregate:
      if (function->Op == kOpCount && (flags & kParseCountStar) && TokenIs('*')) {
        TExpToken* all = NewNode(kNodeColumn, 0);
        all->ColumnName = "*";
        NextToken();
        args.push_back(all);
        break;
      }
      args.push_back(DoAdditive(flags));
      break;
    case TSyntax::kOne:
      args.push_back(DoAdditive(flags));
      break;
    case TSyntax::kSubstring:
      args.push_back(DoAdditive(flags));
      Expect(IsKeyword("FROM"), {"FROM keyword expected after first SUBSTRING", kArgument});
      args.push_back(DoAdditive(flags));
      if (IsKeyword("FOR")) {
        NextToken();
        args.push_back(DoAdditive(flags));
      }
      break;
    case TSyntax::kReplace:
      args.push_back(DoAdditive(flags));
      Expect(IsKeyword("WITH"), {"WITH keyword expected after first REPLACE", kArgument});
      args.push_back(DoAdditive(flags));
      Expect(IsKeyword("IN"), {"IN keyword expected after second REPLACE", kArgument});
      args.push_back(DoAdditive(flags));
      break;
    case TSyntax::kSearchIn:
      args.push_back(DoAdditive(flags));
      Expect(IsKeyword("IN"), {"IN keyword expected after first ", name, kArgument});
      args.push_back(DoAdditive(flags));
      break;
    case TSyntax::kCast:
      args.push_back(DoAdditive(flags));
      Expect(IsKeyword("AS"), {"AS keyword expected after first CAST", kArgument});
      DoDataType(*node, flags, false);
      break;
    case TSyntax::kTrim:
      if (IsKeyword("LEADING"))
        node->OpCode = kOpTrimLeading;
      else if (IsKeyword("TRAILING"))
        node->OpCode = kOpTrimTrailing;
      else if (IsKeyword("BOTH"))
        node->OpCode = kOpTrimBoth;
      else
        FailFound(
            "LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found '");
      NextToken();
      args.push_back(DoPrimary(flags));
      Expect(IsKeyword("FROM"), {"FROM keyword expected after second TRIM", kArgument});
      args.push_back(DoAdditive(flags));
      break;
    case TSyntax::kExtract: {
      bool known = false;
      for (uint8_t part = 0; part < std::size(kExtractParts); ++part)
        if (IsKeyword(kExtractParts[part])) {
          node->OpCode = static_cast<uint8_t>(kOpExtractYear + part);
          known = true;
        }
      if (!known)
        FailFound(
            "YEAR, MONTH, WEEK, DAY, DAYOFWEEK, DAYOFYEAR, HOUR, MINUTE, or SECOND keyword "
            "expected after EXTRACT keyword, instead found '");
      NextToken();
      Expect(IsKeyword("FROM"), {"FROM keyword expected after second EXTRACT", kArgument});
      args.push_back(DoAdditive(flags));
      break;
    }
    case TSyntax::kRound:
      args.push_back(DoAdditive(flags));
      if (IsKeyword("TO")) {
        NextToken();
        args.push_back(DoPrimary(flags));
      }
      break;
    case TSyntax::kIf:
      // IF's condition may hold predicates whatever the context allows; IFNULL's operand not.
      args.push_back(DoOr(function->Op == kOpIf ? (flags | kParsePredicates) : flags));
      Expect(IsKeyword("THEN") || TokenIs(','),
             {"THEN keyword or comma expected after first ", name, kArgument});
      args.push_back(DoAdditive(flags));
      Expect(IsKeyword("ELSE") || TokenIs(','),
             {"ELSE keyword or comma expected after second ", name, kArgument});
      args.push_back(DoAdditive(flags));
      break;
    case TSyntax::kCoalesce:
      args.push_back(DoAdditive(flags));
      while (TokenIs(',')) {
        NextToken();
        args.push_back(DoAdditive(flags));
      }
      break;
    case TSyntax::kTextSearch:
      args.push_back(DoAdditive(flags));
      Expect(IsKeyword("IN"), {"IN keyword expected after first ", name, kArgument});
      args.push_back(DoPrimary(flags));
      break;
    case TSyntax::kTable:
      args.push_back(DoPrimary(flags));
      break;
  }
  if (aggregate)
    Expect(TokenIs(')'), {"Right parentheses expected after aggregate ", name,
                          " function argument, instead found '"});
  else if (function->Syntax == TSyntax::kCoalesce)
    Expect(TokenIs(')'),
           {"Expected right parentheses after COALESCE expression arguments, instead found '"});
  else
    Expect(TokenIs(')'),
           {"Right parentheses expected after ", name,
            function->Plural ? " function arguments" : " function argument", ", instead found '"});
  if (function->Op == kOpAbs || function->Op == kOpRound) {
    const TExpToken* operand = args[0];
    node->ValueType = operand->ValueType;
    node->SubType = operand->SubType;
    node->Scale = operand->Scale;
    node->SetValueSize(operand->ValueSize());
  }
  CheckHeight(node);
  return node;
}
