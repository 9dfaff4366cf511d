// TExpressionParser: the operator levels, predicates, constants and column names (functions
// and data types are in expression_parser_functions.cpp and expression_parser_types.cpp).
#include "db/sql/expressions/expression_parser.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "db/engine/errors/engine_error.h"
#include "db/sql/expressions/exp_clock.h"
#include "db/storage/data/field_types.h"

namespace {

// Keeps the nesting count of the parser right however the level is left.
class TNestingScope {
 public:
  explicit TNestingScope(int& nesting) : nesting_(nesting) { ++nesting_; }
  ~TNestingScope() { --nesting_; }
  TNestingScope(const TNestingScope&) = delete;
  TNestingScope& operator=(const TNestingScope&) = delete;

 private:
  int& nesting_;
};

constexpr size_t kMaxShortString = 255;

// A correlation name reduced to a bare file name: directory part and extension dropped.
std::string BareFileName(std::string_view name) {
  size_t slash = name.find_last_of("\\/:");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name.substr(0, kMaxShortString));
}

void SetBooleanResult(TExpToken* node) {
  node->ValueType = kFieldBoolean;
  node->SetValueSize(2);
}

// The first guess of an arithmetic node's type: its first operand's.
void TakeTypeOf(TExpToken* node, const TExpToken* operand) {
  node->ValueType = operand->ValueType;
  node->SubType = operand->SubType;
  node->Scale = operand->Scale;
  node->SetValueSize(operand->ValueSize());
}

}  // namespace

TExpressionParser::TExpressionParser(TExpressionOwner* owner, TExpTokenStack& pool)
    : owner_(owner), pool_(pool) {
  taken_.reserve(64);
}

template <typename Level>
TExpToken* TExpressionParser::Guarded(Level level) {
  size_t mark = taken_.size();
  try {
    TExpToken* tree = level();
    taken_.resize(mark);  // the caller owns the tree now
    return tree;
  } catch (...) {
    for (size_t i = mark; i < taken_.size(); ++i) pool_.Return(taken_[i]);
    taken_.resize(mark);
    throw;
  }
}

TExpToken* TExpressionParser::ParseOr(uint8_t flags) {
  return Guarded([&] { return DoOr(flags); });
}
TExpToken* TExpressionParser::ParseAnd(uint8_t flags) {
  return Guarded([&] { return DoAnd(flags); });
}
TExpToken* TExpressionParser::ParseNot(uint8_t flags) {
  return Guarded([&] { return DoNot(flags); });
}
TExpToken* TExpressionParser::ParsePredicate(uint8_t flags) {
  return Guarded([&] { return DoPredicate(flags); });
}
TExpToken* TExpressionParser::ParseAdditive(uint8_t flags) {
  return Guarded([&] { return DoAdditive(flags); });
}
TExpToken* TExpressionParser::ParseMultiplicative(uint8_t flags) {
  return Guarded([&] { return DoMultiplicative(flags); });
}
TExpToken* TExpressionParser::ParseUnary(uint8_t flags) {
  return Guarded([&] { return DoUnary(flags); });
}
TExpToken* TExpressionParser::ParsePrimary(uint8_t flags) {
  return Guarded([&] { return DoPrimary(flags); });
}

bool TExpressionParser::ParseDataType(TExpToken& node, uint8_t flags, bool optional) {
  size_t args = node.Args.size();
  bool found = false;
  try {
    Guarded([&] {
      found = DoDataType(node, flags, optional);
      return nullptr;
    });
  } catch (...) {
    node.Args.resize(args);  // the appended arguments went back to the pool
    throw;
  }
  return found;
}

TExpToken* TExpressionParser::ParseFilter(std::string_view text) {
  ErrorCode = VUZODE_INVALIDFILTER;
  ContextName = "filter expression";
  SetText(text);
  NextToken();
  if (TokenIs(kTokenEnd)) Fail("filter expression is empty");
  TExpToken* tree = ParseOr(kParsePredicates);
  if (!TokenIs(kTokenEnd)) {
    // Text after a complete expression ("a = 1 b = 2", "a = b = c") is an error, never cut off.
    ReleaseExpTree(pool_, tree);
    FailFound("End of filter expression expected, instead found '");
  }
  return tree;
}

TExpToken* TExpressionParser::NewNode(uint8_t nodeClass, uint8_t op) {
  TExpToken* node = pool_.Take();
  taken_.push_back(node);
  node->NodeClass = nodeClass;
  node->OpCode = op;
  node->Text = RawToken();
  return node;
}

void TExpressionParser::CheckHeight(TExpToken* node) {
  node->Height = ExpHeightOf(*node);
  if (node->Height > kMaxExpTreeHeight)
    FailIn("Expression too complex (more than " + std::to_string(kMaxExpTreeHeight) +
           " levels of operators)");
}

TExpToken* TExpressionParser::NewBinary(uint8_t op, std::string_view text, TExpToken* left,
                                        TExpToken* right) {
  TExpToken* node = NewNode(kNodeBinary, op);
  node->Text = text;
  node->Left = left;
  node->Right = right;
  CheckHeight(node);
  return node;
}

TExpToken* TExpressionParser::DoOr(uint8_t flags) {
  TExpToken* left = DoAnd(flags);
  while (IsKeyword("OR")) {
    std::string text(RawToken());
    NextToken();
    TExpToken* right = DoAnd(flags);
    left = NewBinary(kOpOr, text, left, right);
    SetBooleanResult(left);
  }
  return left;
}

TExpToken* TExpressionParser::DoAnd(uint8_t flags) {
  TExpToken* left = DoNot(flags);
  while (IsKeyword("AND")) {
    std::string text(RawToken());
    NextToken();
    TExpToken* right = DoNot(flags);
    left = NewBinary(kOpAnd, text, left, right);
    SetBooleanResult(left);
  }
  return left;
}

TExpToken* TExpressionParser::DoNot(uint8_t flags) {
  if (!IsKeyword("NOT")) return DoPredicate(flags);
  TExpToken* node = NewNode(kNodeUnary, kOpNot);
  NextToken();
  node->Left = DoPredicate(flags);
  SetBooleanResult(node);
  CheckHeight(node);
  return node;
}

TExpToken* TExpressionParser::DoPredicate(uint8_t flags) {
  TExpToken* left = DoAdditive(flags);
  uint8_t op = 0;
  std::string text;
  switch (TokenKind()) {
    case '=':
      op = kOpEqual;
      text = "=";
      NextToken();
      break;
    case '<':
      NextToken();
      if (TokenIs('>')) {
        op = kOpNotEqual;
        text = "< >";
        NextToken();
      } else if (TokenIs('=')) {
        op = kOpLessEqual;
        text = "< =";
        NextToken();
      } else {
        op = kOpLess;
        text = "<";
      }
      break;
    case '>':
      NextToken();
      if (TokenIs('=')) {
        op = kOpGreaterEqual;
        text = "> =";
        NextToken();
      } else {
        op = kOpGreater;
        text = ">";
      }
      break;
    default:
      if (IsKeyword("NOT") || IsKeyword("BETWEEN") || IsKeyword("LIKE") || IsKeyword("IN") ||
          IsKeyword("IS")) {
        if (!(flags & kParsePredicates))
          FailIn("Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed");
        return DoExtendedPredicate(left, flags);
      }
      return left;
  }
  TExpToken* right = DoAdditive(flags);
  TExpToken* node = NewBinary(op, text, left, right);
  SetBooleanResult(node);
  return node;
}

TExpToken* TExpressionParser::DoExtendedPredicate(TExpToken* left, uint8_t flags) {
  std::string text(RawToken());
  if (IsKeyword("IS")) {
    NextToken();
    uint8_t op = kOpEqual;
    if (IsKeyword("NOT")) {
      text += ' ';
      text += RawToken();
      op = kOpNotEqual;
      NextToken();
    }
    if (!IsKeyword("NULL")) {
      std::string message =
          "Unknown or unexpected symbol '" + TokenText() + "' found in " + ContextName;
      Fail(message);
    }
    text += ' ';
    text += RawToken();
    TExpToken* null = NewNode(kNodeConstant, 0);
    null->Text = "NULL";
    null->SetNull();
    NextToken();
    TExpToken* node = NewBinary(op, text, left, null);
    SetBooleanResult(node);
    return node;
  }
  bool negated = IsKeyword("NOT");
  if (negated) {
    NextToken();
    if (!IsKeyword("BETWEEN") && !IsKeyword("LIKE") && !IsKeyword("IN")) {
      std::string message = "Unknown or unexpected symbol '" + TokenText() + "' in " + ContextName;
      Fail(message);
    }
    text += ' ';
    text += RawToken();
  }
  TExpToken* node = NewNode(kNodePredicate, 0);
  node->Text = text;
  node->Args.push_back(left);
  SetBooleanResult(node);
  if (IsKeyword("BETWEEN")) {
    node->OpCode = negated ? kOpNotBetween : kOpBetween;
    NextToken();
    node->Args.push_back(DoAdditive(flags));
    if (!IsKeyword("AND"))
      FailFound(negated ? "Expected AND operator in NOT BETWEEN operator, instead found '"
                        : "Expected AND operator in BETWEEN operator, instead found '");
    NextToken();
    node->Args.push_back(DoAdditive(flags));
  } else if (IsKeyword("LIKE")) {
    node->OpCode = negated ? kOpNotLike : kOpLike;
    NextToken();
    node->Args.push_back(DoAdditive(flags));
  } else {  // IN
    NextToken();
    if (!TokenIs('('))
      FailFound(negated ? "Expected left parentheses for NOT IN operator, instead found '"
                        : "Expected left parentheses for IN operator, instead found '");
    NextToken();
    if (IsKeyword("SELECT")) {
      if (!(flags & kParseSubSelects) || !owner_) FailIn("Sub-select queries are not allowed");
      node->OpCode = negated ? kOpNotInSelect : kOpInSelect;
      TExpToken* select = NewNode(kNodeSubSelect, 0);
      select->Text = "SELECT";
      node->Args.push_back(select);
      owner_->ParseSubSelect(*this, select);
      if (!TokenIs(')'))
        FailFound(negated ? "Expected right parentheses for NOT IN operator, instead found '"
                          : "Expected right parentheses for IN operator, instead found '");
    } else {
      node->OpCode = negated ? kOpNotIn : kOpIn;
      node->Args.push_back(DoAdditive(flags));
      while (TokenIs(',')) {
        NextToken();
        node->Args.push_back(DoAdditive(flags));
      }
      if (!TokenIs(')'))
        FailFound(negated ? "Expected right parentheses after NOT IN operator, instead found '"
                          : "Expected right parentheses after IN operator, instead found '");
    }
    NextToken();
  }
  CheckHeight(node);
  return node;
}

TExpToken* TExpressionParser::DoAdditive(uint8_t flags) {
  TExpToken* left = DoMultiplicative(flags);
  for (;;) {
    uint8_t op;
    std::string_view text;
    if (TokenIs('+')) {
      op = kOpAdd;
      text = "+";
    } else if (TokenIs('-')) {
      op = kOpSubtract;
      text = "-";
    } else if (TokenIs('|')) {
      NextToken();
      if (!TokenIs('|'))
        FailFound(
            "Second concatenation symbol '|' expected after first concatentation symbol, "
            "instead found '");
      op = kOpAdd;
      text = "| |";
    } else {
      return left;
    }
    NextToken();
    TExpToken* right = DoMultiplicative(flags);
    TExpToken* node = NewBinary(op, text, left, right);
    TakeTypeOf(node, left);
    left = node;
  }
}

TExpToken* TExpressionParser::DoMultiplicative(uint8_t flags) {
  TExpToken* left = DoUnary(flags);
  while (TokenIs('*') || TokenIs('/')) {
    uint8_t op = TokenIs('*') ? kOpMultiply : kOpDivide;
    std::string text(RawToken());
    NextToken();
    TExpToken* right = DoUnary(flags);
    TExpToken* node = NewBinary(op, text, left, right);
    TakeTypeOf(node, left);
    left = node;
  }
  return left;
}

TExpToken* TExpressionParser::DoUnary(uint8_t flags) {
  if (!TokenIs('+') && !TokenIs('-')) return DoPrimary(flags);
  TExpToken* node = NewNode(kNodeUnary, TokenIs('-') ? kOpNegate : kOpPlusSign);
  NextToken();
  node->Left = DoPrimary(flags);
  TakeTypeOf(node, node->Left);
  CheckHeight(node);
  return node;
}

TExpToken* TExpressionParser::DoPrimary(uint8_t flags) {
  TNestingScope scope(nesting_);
  if (nesting_ > kMaxNesting)
    FailIn("Expression nested too deeply (more than " + std::to_string(kMaxNesting) + " levels)");
  switch (TokenKind()) {
    case '(': {
      NextToken();
      TExpToken* inner = DoOr(flags);
      if (!TokenIs(')')) FailFound("Right parentheses expected, instead found '");
      NextToken();
      return inner;
    }
    case kTokenSymbol:
      return DoSymbol(flags);
    case kTokenBracketed: {
      std::string name = TokenText();
      NextToken();
      return DoColumn(std::move(name), flags);
    }
    case kTokenSingleQuoted:
    case kTokenDoubleQuoted: {
      std::string value = TokenText();
      NextToken();
      if (TokenIs('.')) return DoColumn(std::move(value), flags);
      TExpToken* node = NewNode(kNodeConstant, 0);
      node->Text = value;
      if (value.empty()) {
        node->ValueType = kFieldString;
        node->IsNull = 1;  // the empty string is the NULL constant
      } else {
        node->SetString(value);
      }
      return node;
    }
    case kTokenCharacter:
      return DoCharacter();
    case kTokenInteger:
    case kTokenReal:
      return DoNumber();
    case '*': {
      if (!(flags & kParseAllColumns)) FailIn("* (all columns) symbol is not allowed");
      TExpToken* node = NewNode(kNodeColumn, 0);
      node->ColumnName = "*";
      NextToken();
      return node;
    }
    case '?': {
      if (!(flags & kParseParameters)) FailIn("Parameters are not allowed");
      TExpToken* node = NewNode(kNodeConstant, 0);
      node->IsParam = 1;
      if (owner_) owner_->AddParameter(node);
      NextToken();
      return node;
    }
    default: {
      std::string message =
          "Unknown or unexpected symbol '" + TokenText() + "' found in " + ContextName;
      Fail(message);
    }
  }
}

TExpToken* TExpressionParser::DoSymbol(uint8_t flags) {
  if (TExpToken* function = DoFunction(flags)) return function;
  if (IsKeyword("TRUE") || IsKeyword("FALSE")) {
    TExpToken* node = NewNode(kNodeConstant, 0);
    node->SetBoolean(IsKeyword("TRUE"));
    NextToken();
    return node;
  }
  if (IsKeyword("NULL")) {
    TExpToken* node = NewNode(kNodeConstant, 0);
    node->SetNull();
    NextToken();
    return node;
  }
  if (IsKeyword("CURRENT_DATE")) return DoCurrentMoment(0);
  if (IsKeyword("CURRENT_TIME")) return DoCurrentMoment(1);
  if (IsKeyword("CURRENT_TIMESTAMP")) return DoCurrentMoment(2);
  std::string name = TokenText();
  NextToken();
  if (TokenIs('(')) FailIn("Unknown or unexpected function '" + name + "' found");
  return DoColumn(std::move(name), flags);
}

TExpToken* TExpressionParser::DoCurrentMoment(int which) {
  static constexpr const char* kNames[] = {"CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP"};
  TExpToken* node = NewNode(kNodeConstant, 0);
  TExpMoment now = CurrentMoment();
  if (which == 0) node->SetDate(now.DayNumber);
  if (which == 1) node->SetTime(now.Milliseconds);
  if (which == 2) node->SetTimestamp(now.Timestamp());
  NextToken();
  if (TokenIs('(')) {
    NextToken();
    if (!TokenIs(')'))
      FailFound(std::string("Right parentheses expected after first ") + kNames[which] +
                " function parentheses, instead found '");
    NextToken();
  }
  return node;
}

TExpToken* TExpressionParser::DoColumn(std::string name, uint8_t flags) {
  // The name token has been consumed; "." makes it a correlation name.
  CheckNameLength(name);
  TExpToken* node = NewNode(kNodeColumn, 0);
  if (!TokenIs('.')) {
    node->Text = name;
    node->ColumnName = name.substr(0, kMaxShortString);
    return node;
  }
  NextToken();
  std::string column;
  if (IsSymbolOrString()) {
    column = TokenText();
  } else if (TokenIs('*')) {
    if (!(flags & kParseAllColumns)) FailIn("* (all columns) symbol is not allowed");
    column = "*";
  } else {
    FailFound(
        "Symbol or string expression expected after table correlation name separator '.', "
        "instead found '");
  }
  CheckNameLength(column);
  NextToken();
  node->Text = name + "." + column;
  node->ColumnName = column.substr(0, kMaxShortString);
  node->TableAlias = BareFileName(name);
  return node;
}

void TExpressionParser::CheckNameLength(std::string_view name) {
  if (name.size() > kMaxShortString)
    FailIn("Name longer than 255 characters: '" + std::string(name.substr(0, 32)) + "...'");
}

TExpToken* TExpressionParser::DoCharacter() {
  std::string_view digits = RawToken().substr(1);
  unsigned value = 256;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || value > 255)
    FailIn("Character constants (#) must be within the range of 0 to 255");
  TExpToken* node = NewNode(kNodeConstant, 0);
  char character = static_cast<char>(value);
  node->SetString(std::string_view(&character, 1));
  NextToken();
  return node;
}

TExpToken* TExpressionParser::DoNumber() {
  std::string_view text = RawToken();
  const char* first = text.data();
  const char* last = first + text.size();
  TExpToken* node = NewNode(kNodeConstant, 0);
  if (TokenIs(kTokenInteger)) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(first, last, value);
    if (error == std::errc() && end == last) {
      if (value <= std::numeric_limits<int32_t>::max())
        node->SetInteger(static_cast<int32_t>(value));
      else
        node->SetLargeInt(value);
      NextToken();
      return node;
    }
  }
  double real = 0;
  auto [end, error] = std::from_chars(first, last, real, std::chars_format::general);
  if (error != std::errc() || end != last || !std::isfinite(real))
    FailIn("Constant '" + std::string(text) + "' is not a valid number ");
  node->SetFloat(real);
  NextToken();
  return node;
}
