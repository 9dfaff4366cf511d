// Compilation and running of filter programs. The in-place comparisons mirror CompareForOp
// (evaluate_values.cpp) and the string match of the evaluator for the operand types they
// accept; everything else runs through the evaluator.
#include "db/sql/expressions/filter_program.h"

#include <cstring>

#include "db/sql/expressions/evaluate_values.h"
#include "db/sql/expressions/type_groups.h"
#include "db/sql/expressions/value_conversion.h"
#include "db/storage/data/field_types.h"
#include "db/storage/locale/locale_compare.h"

namespace {

// Types whose values compare as 64-bit integers with each other (NumberOf gives kInteger).
bool IsIntegerNumber(uint8_t type) {
  return type == kFieldBoolean || type == kFieldSmallInt || type == kFieldInteger ||
         type == kFieldWord || type == kFieldInt32 || type == kFieldLargeInt;
}

bool IsIntegerValued(uint8_t type) {
  return IsIntegerNumber(type) || type == kFieldDate || type == kFieldTime;
}

// Two integer-valued types CompareValues orders by their integer values.
bool IntegerComparable(uint8_t a, uint8_t b) {
  if (a == 0 || b == 0) return true;  // the NULL constant: only the NULL rules apply
  if (IsIntegerNumber(a)) return IsIntegerNumber(b);
  return a == b;  // date with date, time with time
}

bool IsNullConstant(const TExpToken& node) {
  return node.NodeClass == kNodeConstant && IsNullValue(node);
}

template <typename T>
T Load(const uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

}  // namespace

TFilterProgram::TFilterProgram(const TExpToken& root, TEvalEnvironment* env, uint16_t sortId,
                               uint16_t languageId, TExpTokenStack& pool)
    : env_(env),
      sort_id_(sortId),
      language_id_(languageId),
      evaluator_(env, sortId, languageId, pool) {
  Compile(root);
}

uint32_t TFilterProgram::Compile(const TExpToken& node) {
  const uint32_t index = static_cast<uint32_t>(steps_.size());
  steps_.emplace_back();
  TStep step;
  step.Node = &node;
  if (node.NodeClass == kNodeBinary && (node.OpCode == kOpAnd || node.OpCode == kOpOr) &&
      node.Left && node.Right) {
    step.Kind = node.OpCode == kOpAnd ? TStep::kAnd : TStep::kOr;
    step.Left = Compile(*node.Left);
    step.Right = Compile(*node.Right);
  } else if (node.NodeClass == kNodeUnary && node.OpCode == kOpNot && node.Left) {
    step.Kind = TStep::kNot;
    step.Left = Compile(*node.Left);
  } else if (node.NodeClass == kNodeBinary && node.OpCode >= kOpEqual &&
             node.OpCode <= kOpLessEqual && CompileComparison(node, step)) {
    ++compiled_terms_;
  } else if (node.NodeClass == kNodeStringMatch && CompileStringMatch(node, step)) {
    ++compiled_terms_;
  } else {
    step.Kind = TStep::kTree;
  }
  steps_[index] = step;
  return index;
}

bool TFilterProgram::IntegerOperand(const TExpToken& node, TOperand& operand) {
  if (node.NodeClass == kNodeConstant && !node.IsParam) {
    if (IsNullValue(node)) {
      operand.Null = true;
      operand.Type = node.ValueType;
      return node.ValueType == 0 || IsIntegerValued(node.ValueType);
    }
    if (!IsIntegerValued(node.ValueType)) return false;
    operand.Type = node.ValueType;
    operand.Integer = IntegerOf(node);
    return true;
  }
  size_t offset = 0;
  if (node.NodeClass == kNodeColumn && IsIntegerValued(node.ValueType) && env_ &&
      env_->ColumnImage(node, offset)) {
    operand.Kind = TOperand::kIntegerColumn;
    operand.Type = node.ValueType;
    operand.Offset = offset;
    return true;
  }
  if (node.NodeClass == kNodeFunction && node.OpCode == kOpLength && node.Args.size() == 1) {
    TOperand text;
    if (!TextOperand(*node.Args[0], text) || text.Kind != TOperand::kTextColumn) return false;
    operand = text;
    operand.Kind = TOperand::kLengthOfText;
    operand.Type = kFieldInteger;
    return true;
  }
  return false;
}

bool TFilterProgram::TextOperand(const TExpToken& node, TOperand& operand) {
  if (node.NodeClass == kNodeConstant && !node.IsParam) {
    if (node.ValueType != kFieldString && !IsNullValue(node)) return false;
    operand.Null = IsNullValue(node);
    operand.Text = TextOf(node);
    return true;
  }
  size_t offset = 0;
  if (node.NodeClass == kNodeColumn && node.ValueType == kFieldString && node.ValueSize() > 0 &&
      env_ && env_->ColumnImage(node, offset)) {
    operand.Kind = TOperand::kTextColumn;
    operand.Offset = offset;
    operand.MaxLength = static_cast<size_t>(node.ValueSize()) - 1;
    return true;
  }
  return false;
}

bool TFilterProgram::CompileComparison(const TExpToken& node, TStep& step) {
  if (!node.Left || !node.Right) return false;
  step.Op = node.OpCode;
  step.NoCase = node.NoCase != 0;
  const TExpToken& left = *node.Left;
  const TExpToken& right = *node.Right;
  // Text when either side is text, as CompareValues decides; the other side must then be text
  // or the NULL constant.
  const bool leftText = left.ValueType == kFieldString;
  const bool rightText = right.ValueType == kFieldString;
  if (leftText || rightText) {
    if ((!leftText && !IsNullConstant(left)) || (!rightText && !IsNullConstant(right)))
      return false;
    step.Kind = TStep::kTextCompare;
    return TextOperand(left, step.A) && TextOperand(right, step.B);
  }
  // A float with another number compares as doubles (CompareNumbers).
  if (left.ValueType == kFieldFloat || right.ValueType == kFieldFloat) {
    step.Kind = TStep::kFloatCompare;
    return FloatOperand(left, step.A) && FloatOperand(right, step.B);
  }
  step.Kind = TStep::kIntegerCompare;
  return IntegerOperand(left, step.A) && IntegerOperand(right, step.B) &&
         IntegerComparable(step.A.Type, step.B.Type);
}

bool TFilterProgram::FloatOperand(const TExpToken& node, TOperand& operand) {
  if (node.NodeClass == kNodeConstant && !node.IsParam) {
    if (IsNullValue(node)) {
      operand.Null = true;
      return true;
    }
    TNumber number;
    if (!NumberOf(node, number)) return false;
    operand.Float = NumberAsDouble(number);
    return true;
  }
  size_t offset = 0;
  if (node.NodeClass == kNodeColumn && node.ValueType == kFieldFloat && env_ &&
      env_->ColumnImage(node, offset)) {
    operand.Kind = TOperand::kFloatColumn;
    operand.Offset = offset;
    return true;
  }
  // Integer columns (not dates or times, which compare as timestamps).
  return IsIntegerNumber(node.ValueType) && node.NodeClass == kNodeColumn &&
         IntegerOperand(node, operand);
}

bool TFilterProgram::CompileStringMatch(const TExpToken& node, TStep& step) {
  const TExpToken* left = node.Left ? node.Left : (node.Args.size() > 0 ? node.Args[0] : nullptr);
  const TExpToken* right =
      node.Right ? node.Right : (node.Args.size() > 1 ? node.Args[1] : nullptr);
  if (!left || !right) return false;
  // Operands of another type than text go through the evaluator's reading of their bytes.
  if ((left->ValueType != kFieldString && !IsNullConstant(*left)) ||
      (right->ValueType != kFieldString && !IsNullConstant(*right)))
    return false;
  step.Kind = TStep::kTextMatch;
  step.NoCase = node.NoCase != 0;
  step.WantEqual = node.OpCode == kOpEqual || node.OpCode == kOpLike;
  step.PartialLength = node.PartialLength > 0 ? static_cast<size_t>(node.PartialLength) : 0;
  return TextOperand(*left, step.A) && TextOperand(*right, step.B);
}

bool TFilterProgram::Run(uint32_t index, const uint8_t* record) {
  const TStep& step = steps_[index];
  switch (step.Kind) {
    case TStep::kAnd:  // right first, as the evaluator does
      return Run(step.Right, record) && Run(step.Left, record);
    case TStep::kOr:
      return Run(step.Right, record) || Run(step.Left, record);
    case TStep::kNot:
      return !Run(step.Left, record);
    case TStep::kIntegerCompare:
      return RunIntegerCompare(step, record);
    case TStep::kFloatCompare:
      return RunFloatCompare(step, record);
    case TStep::kTextCompare:
      return RunTextCompare(step, record);
    case TStep::kTextMatch:
      return RunTextMatch(step, record);
    case TStep::kTree:
      break;
  }
  return evaluator_.Holds(*step.Node, record);
}

TFilterProgram::TRead TFilterProgram::ReadInteger(const uint8_t* record, const TOperand& operand) {
  if (operand.Kind == TOperand::kConstant) return {operand.Integer, operand.Null};
  const uint8_t* at = record + operand.Offset;
  if (at[0] == 0) return {0, true};
  if (operand.Kind == TOperand::kLengthOfText)
    return {static_cast<int64_t>(strnlen(reinterpret_cast<const char*>(at + 1), operand.MaxLength)),
            false};
  switch (operand.Type) {
    case kFieldBoolean:
      return {Load<uint16_t>(at + 1) != 0, false};
    case kFieldSmallInt:
      return {Load<int16_t>(at + 1), false};
    case kFieldWord:
      return {Load<uint16_t>(at + 1), false};
    case kFieldLargeInt:
      return {Load<int64_t>(at + 1), false};
    default:  // date, integer, time, 32-bit integer
      return {Load<int32_t>(at + 1), false};
  }
}

bool TFilterProgram::RunIntegerCompare(const TStep& step, const uint8_t* record) const {
  const TRead a = ReadInteger(record, step.A), b = ReadInteger(record, step.B);
  if (a.Null || b.Null) {
    if (step.Op == kOpEqual) return a.Null && b.Null;
    if (step.Op == kOpNotEqual) return a.Null != b.Null;
    // Orderings: false against exactly one NULL; two NULLs compare equal zero-filled values.
    return a.Null == b.Null && OrderHolds(step.Op, 0);
  }
  return OrderHolds(step.Op, Order(a.Value, b.Value));
}

bool TFilterProgram::RunFloatCompare(const TStep& step, const uint8_t* record) const {
  auto read = [record](const TOperand& operand, double& value) {
    if (operand.Kind == TOperand::kConstant) {
      value = operand.Float;
      return operand.Null;
    }
    if (operand.Kind != TOperand::kFloatColumn) {
      const TRead integer = ReadInteger(record, operand);
      value = static_cast<double>(integer.Value);
      return integer.Null;
    }
    const uint8_t* at = record + operand.Offset;
    if (at[0] == 0) return true;
    value = Load<double>(at + 1);
    return false;
  };
  double a = 0, b = 0;
  const bool aNull = read(step.A, a), bNull = read(step.B, b);
  if (aNull || bNull) {
    if (step.Op == kOpEqual) return aNull && bNull;
    if (step.Op == kOpNotEqual) return aNull != bNull;
    return aNull == bNull && OrderHolds(step.Op, 0);
  }
  return OrderHolds(step.Op, Order(a, b));
}

namespace {

// The text and NULL flag of a text operand in record.
std::string_view TextIn(const uint8_t* record, bool constant, std::string_view text, size_t offset,
                        size_t maxLength, bool& null) {
  if (constant) return text;
  const uint8_t* at = record + offset;
  null = at[0] == 0;
  if (null) return {};
  const char* value = reinterpret_cast<const char*>(at + 1);
  return {value, strnlen(value, maxLength)};
}

}  // namespace

bool TFilterProgram::RunTextCompare(const TStep& step, const uint8_t* record) const {
  bool aNull = step.A.Null, bNull = step.B.Null;
  const std::string_view a = TextIn(record, step.A.Kind == TOperand::kConstant, step.A.Text,
                                    step.A.Offset, step.A.MaxLength, aNull);
  const std::string_view b = TextIn(record, step.B.Kind == TOperand::kConstant, step.B.Text,
                                    step.B.Offset, step.B.MaxLength, bNull);
  if ((aNull || bNull) && (step.Op == kOpEqual || step.Op == kOpNotEqual))
    return step.Op == kOpEqual ? aNull && bNull : aNull != bNull;
  // A NULL text orders as the empty one.
  int order;
  if (language_id_ == 0 && !step.NoCase)
    order = Order(a.compare(b), 0);
  else
    order = LocaleCompare(language_id_, sort_id_, a, b, step.NoCase);
  return OrderHolds(step.Op, order);
}

bool TFilterProgram::RunTextMatch(const TStep& step, const uint8_t* record) const {
  bool aNull = step.A.Null, bNull = step.B.Null;
  std::string_view a = TextIn(record, step.A.Kind == TOperand::kConstant, step.A.Text,
                              step.A.Offset, step.A.MaxLength, aNull);
  std::string_view b = TextIn(record, step.B.Kind == TOperand::kConstant, step.B.Text,
                              step.B.Offset, step.B.MaxLength, bNull);
  bool equal;
  if (aNull || bNull) {
    equal = aNull && bNull;
  } else {
    if (step.PartialLength > 0) {
      a = a.substr(0, step.PartialLength);
      b = b.substr(0, step.PartialLength);
    }
    if (language_id_ == 0 && !step.NoCase)
      equal = a == b;
    else
      equal = LocaleCompare(language_id_, sort_id_, a, b, step.NoCase) == 0;
  }
  return step.WantEqual ? equal : !equal;
}
