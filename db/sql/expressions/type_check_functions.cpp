// CheckTypes for functions (class 10) and extended predicates (class 12). Argument positions
// follow the parser: SUBSTRING (s, from, for), REPLACE (search, with, in), POS and OCCURS
// (search, in), TRIM (character, from), CAST (operand, type arguments...), ROUND (x, to),
// IF (condition, then, else), IFNULL (x, then, else), TEXTSEARCH (words, column), predicates
// (left, values...).
#include <algorithm>

#include "db/sql/expressions/exp_tree_text.h"
#include "db/sql/expressions/type_check_internal.h"
#include "db/sql/expressions/type_groups.h"

namespace {

bool IsStringLike(const TExpToken& node) {
  return InMask(kStrings, RuleTypeOf(node));
}
bool IsStringOrNone(const TExpToken& node) {
  return RuleTypeOf(node) == kRuleNone || IsStringLike(node);
}
bool IsIntegerConstant(const TExpToken* node) {
  return node && node->NodeClass == kNodeConstant && !node->IsParam && !node->IsNull &&
         (node->ValueType == kFieldInteger || node->ValueType == kFieldLargeInt ||
          node->ValueType == kFieldSmallInt || node->ValueType == kFieldWord);
}
int64_t ConstantInteger(const TExpToken& node) {
  return node.ValueType == kFieldLargeInt  ? node.LargeIntValue()
         : node.ValueType == kFieldInteger ? node.IntegerValue()
                                           : node.SmallIntValue();
}

std::string UpperName(const TExpToken& node) {
  std::string name = ExpOpName(node.OpCode);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return name;
}

}  // namespace

void TTypeChecker::CheckFunction(TExpToken& node, bool namesAllowed) {
  std::vector<TExpToken*>& args = node.Args;
  const std::string name = UpperName(node);
  auto check = [&](size_t index, bool names) {
    if (index < args.size() && args[index]) Check(&node, args[index], names, false);
  };
  auto arg = [&](size_t index) -> TExpToken* {
    return index < args.size() ? args[index] : nullptr;
  };
  auto rule = [&](size_t index) { return arg(index) ? RuleTypeOf(*arg(index)) : kRuleNone; };
  TExpToken* first = arg(0);
  switch (node.OpCode) {
    case kOpSum:
    case kOpRunSum: {
      check(0, namesAllowed);
      if (!IsNumericType(rule(0)))
        FailIn(name + " aggregate function must contain a numeric expression");
      uint8_t type = first->ValueType;
      if (type == kFieldSmallInt || type == kFieldWord)
        type = kFieldInteger;
      else if (type == kFieldInteger)
        type = kFieldLargeInt;
      ApplyShape(node, {type, type == first->ValueType ? first->SubType : uint8_t{0},
                        FixedSizeOf(type), first->Scale});
      return;
    }
    case kOpCount:
      check(0, namesAllowed);
      ApplyShape(node, {kFieldInteger, 0, 4, 0});
      return;
    case kOpMin:
    case kOpMax:
    case kOpAvg: {
      check(0, namesAllowed);
      if (!IsNumericType(rule(0)) && !IsDateTimeType(rule(0)))
        FailIn(name +
               " aggregate function must contain a numeric, date, time, or timestamp expression");
      uint8_t type = first->ValueType;
      uint8_t subType = first->SubType == kSubtypeAutoIncrement ? 0 : first->SubType;
      if (node.OpCode == kOpAvg && IsIntegerKind(type)) type = kFieldFloat, subType = 0;
      ApplyShape(node, {type, subType, FixedSizeOf(type), first->Scale});
      return;
    }
    case kOpUpper:
    case kOpLower:
      check(0, namesAllowed);
      if (!IsStringOrNone(*first))
        FailIn("Type mismatch between " + name + " function and function argument");
      ApplyShape(node, {first->ValueType ? first->ValueType : kFieldString, first->SubType,
                        first->ValueSize(), 0});
      return;
    case kOpLength:
      check(0, namesAllowed);
      if (!IsStringOrNone(*first))
        FailIn("Type mismatch between LENGTH function and function argument");
      ApplyShape(node, {kFieldInteger, 0, 4, 0});
      return;
    case kOpSubstring:
      check(0, namesAllowed);
      check(1, false);
      check(2, false);
      if (!IsStringOrNone(*first))
        FailIn("Expression argument of SUBSTRING function must be a string or memo");
      if (rule(1) != kRuleNone && !IsIntegerKind(rule(1)))
        FailIn("FROM argument of SUBSTRING function must be an integer value");
      if (arg(2) && rule(2) != kRuleNone && !IsIntegerKind(rule(2)))
        FailIn("FOR argument of SUBSTRING function must be an integer value");
      ApplyShape(node, {first->ValueType ? first->ValueType : kFieldString, first->SubType,
                        first->ValueSize(), 0});
      return;
    case kOpReplace:
      check(0, false);
      check(1, false);
      check(2, namesAllowed);
      if (!IsStringOrNone(*arg(2)))
        FailIn("IN argument of REPLACE function must be a string or memo");
      if (!IsStringOrNone(*arg(0)))
        FailIn("Type mismatch between REPLACE function and search string argument");
      if (!IsStringOrNone(*arg(1)))
        FailIn("Type mismatch between REPLACE function and WITH string argument");
      ApplyShape(node, {arg(2)->ValueType ? arg(2)->ValueType : kFieldString, arg(2)->SubType,
                        arg(2)->ValueSize(), 0});
      return;
    case kOpPos:
    case kOpOccurs:
      check(0, false);
      check(1, namesAllowed);
      if (!IsStringOrNone(*arg(1)))
        FailIn("Type mismatch between " + name + " function and IN argument");
      if (!IsStringOrNone(*arg(0)))
        FailIn("Type mismatch between " + name + " function and search string argument");
      ApplyShape(node, {kFieldInteger, 0, 4, 0});
      return;
    case kOpTrimLeading:
    case kOpTrimTrailing:
    case kOpTrimBoth:
      check(0, namesAllowed);
      check(1, namesAllowed);
      if (!IsStringOrNone(*arg(1)))
        FailIn("FROM argument of TRIM function must be a string or memo");
      if (!IsStringConstant(*arg(0)) || arg(0)->StringValue().size() != 1)
        FailIn("Trim character argument of TRIM function must be a single character constant");
      ApplyShape(node, {arg(1)->ValueType ? arg(1)->ValueType : kFieldString, arg(1)->SubType,
                        arg(1)->ValueSize(), 0});
      return;
    case kOpCast:
      check(0, namesAllowed);
      CheckCast(node);
      return;
    case kOpAbs:
      check(0, namesAllowed);
      if (rule(0) != kRuleNone && !IsNumericType(rule(0)))
        FailIn(
            "Expression argument of ABS function must be an integer, floating-point, or BCD "
            "type");
      ApplyShape(node, {first->ValueType, first->SubType, first->ValueSize(), first->Scale});
      return;
    case kOpRound:
      check(0, namesAllowed);
      if (rule(0) != kRuleNone && rule(0) != kFieldFloat && rule(0) != kFieldBcd)
        FailIn("Expression argument of ROUND function must be a floating-point or BCD type");
      if (arg(1)) {
        check(1, false);
        if (!IsIntegerConstant(arg(1)))
          FailIn("Decimal places argument of ROUND function must be an integer constant");
        const int64_t places = ConstantInteger(*arg(1));
        if (places < 0 || places > 32)
          FailIn(
              "Decimal places argument of ROUND function must be an integer constant between "
              "0 and 32");
      }
      ApplyShape(node, {first->ValueType, first->SubType, first->ValueSize(), first->Scale});
      return;
    case kOpIf:
      check(0, false);
      check(1, true);
      check(2, true);
      if (rule(0) != kRuleNone && rule(0) != kFieldBoolean)
        FailIn("First expression argument of IF function must be a boolean type");
      CheckCommonType(node, name, 1);
      return;
    case kOpIfNull:
      check(0, namesAllowed);
      check(1, true);
      check(2, true);
      CheckCommonType(node, name, 1);
      return;
    case kOpCoalesce:
      for (size_t i = 0; i < args.size(); ++i) check(i, false);
      CheckCommonType(node, name, 0);
      return;
    case kOpTextSearch:
    case kOpTextOccurs: {
      check(0, false);
      check(1, true);
      if (!IsStringOrNone(*arg(0)))
        FailIn("Type mismatch between " + name + " function and search text function argument");
      if (!IsStringConstant(*arg(0)))
        FailIn(name + " search text function argument must be a string constant");
      if (arg(1)->NodeClass != kNodeColumn)
        FailIn(name + " function column argument must be a valid column name");
      if (!IsStringLike(*arg(1)))
        FailIn("Type mismatch between " + name + " function and column function argument");
      if (node.OpCode == kOpTextSearch)
        ApplyShape(node, {kFieldBoolean, 0, 2, 0});
      else
        ApplyShape(node, {kFieldInteger, 0, 4, 0});
      return;
    }
    case kOpLastAutoInc:
    case kOpIdentCurrent:
      check(0, false);
      if (!IsStringOrNone(*arg(0)))
        FailIn("Type mismatch between " + name + " function and table name function argument");
      if (!IsStringConstant(*arg(0)))
        FailIn(name + " table name function argument must be a string constant");
      ApplyShape(node, {kFieldInteger, 0, 4, 0});
      return;
    default:
      if (node.OpCode >= kOpExtractYear && node.OpCode <= kOpExtractSecond) {
        check(0, namesAllowed);
        if (IsStringConstant(*first) && !ConvertToAnyDateTime(*first))
          FailIn("FROM argument of EXTRACT function must be a date, time, or timestamp");
        if (rule(0) != kRuleNone && !IsDateTimeType(rule(0)))
          FailIn("FROM argument of EXTRACT function must be a date, time, or timestamp");
        ApplyShape(node, {kFieldInteger, 0, 4, 0});
        return;
      }
      FailIn("Unknown function '" + node.Text + "'");
  }
}

void TTypeChecker::CheckCast(TExpToken& node) {
  const TExpToken& operand = *node.Args[0];
  const TExpToken* first = node.Args.size() > 1 ? node.Args[1] : nullptr;
  const TExpToken* second = node.Args.size() > 2 ? node.Args[2] : nullptr;
  if (!CastAllowed(node.ValueType, RuleTypeOf(operand)))
    FailIn("Type mismatch between " + Describe(operand) + " and AS argument");
  int32_t size = FixedSizeOf(node.ValueType);
  uint8_t scale = 0;
  switch (node.ValueType) {
    case kFieldString:
    case kFieldBytes:
    case kFieldVarBytes: {
      if (!first) {
        size = RuleTypeOf(operand) == kRuleNone ? 10 : operand.ValueSize();
        break;
      }
      if (!IsIntegerConstant(first)) FailIn("Length argument must be an integer");
      const int64_t length = ConstantInteger(*first);
      if (length < 1 || length > 250)
        FailIn("Length argument must be an integer greater than 0 and less than or equal to 250");
      size = static_cast<int32_t>(length) + (node.ValueType == kFieldString ? 1 : 0);
      break;
    }
    case kFieldBcd:
      if (second) {
        if (!IsIntegerConstant(second)) FailIn("Scale argument must be an integer");
        const int64_t places = ConstantInteger(*second);
        if (places < 0 || places > 4)
          Fail(
              "Scale argument must be an integer less than or equal to 4 but greater than or "
              "equal to 0 for the BCD data type " +
              Context());
        scale = static_cast<uint8_t>(places);
      }
      break;
    case kFieldBlob:
      size = 8;
      if (first) {
        if (!IsIntegerConstant(first)) FailIn("First BLOB type argument must be an integer");
        if (!IsIntegerConstant(second)) FailIn("BLOB type argument must be an integer");
        const int64_t blobType = ConstantInteger(*second);
        if (blobType != 1 && blobType != 2 && blobType != 3 && blobType != 5 && blobType != 7)
          FailIn("BLOB type argument must be an integer with a value of 1,2,3,5, or 7");
        node.SubType = static_cast<uint8_t>(21 + blobType);
      }
      break;
    default:
      break;
  }
  node.Scale = scale;
  node.SetValueSize(size);
}

void TTypeChecker::CheckCommonType(TExpToken& node, const std::string& name, size_t from) {
  const TExpToken* typed = nullptr;
  bool anyBlob = false;
  int32_t largest = 0;
  for (size_t i = from; i < node.Args.size(); ++i) {
    const TExpToken& value = *node.Args[i];
    if (RuleTypeOf(value) != kRuleNone && !typed) typed = &value;
    if (value.ValueType == kFieldBlob) anyBlob = true;
    largest = std::max(largest, value.ValueSize());
    if (i + 1 < node.Args.size() &&
        !BinaryOperandsAllowed(kOpEqual, RuleTypeOf(value), RuleTypeOf(*node.Args[i + 1])))
      FailIn("Type mismatch between " + name + " expression arguments");
  }
  if (!typed)
    Fail("At least one of the " + name + " expression arguments in " + Context() +
         " must be a non-NULL value");
  const TExpToken& lead = *node.Args[from];
  const TExpToken& shape = RuleTypeOf(lead) == kRuleNone ? *typed : lead;
  int32_t size = shape.ValueSize();
  if (shape.ValueType == kFieldString && !anyBlob) size = largest;
  ApplyShape(node, {shape.ValueType, shape.SubType, size, shape.Scale});
}

void TTypeChecker::CheckPredicate(TExpToken& node, bool namesAllowed) {
  std::vector<TExpToken*>& args = node.Args;
  const std::string name = UpperName(node);
  Check(&node, args[0], namesAllowed, false);
  const TExpToken& left = *args[0];
  auto mismatch = [&](const TExpToken& operand) {
    FailIn("Type mismatch between " + name + " operator and expression '" + operand.Text + "'");
  };
  switch (node.OpCode) {
    case kOpLike:
    case kOpNotLike:
      Check(&node, args[1], false, false);
      if (!IsStringOrNone(left)) mismatch(left);
      if (!IsStringOrNone(*args[1])) mismatch(*args[1]);
      break;
    case kOpInSelect:
    case kOpNotInSelect:
      Check(&node, args[1], false, false);
      if (!BinaryOperandsAllowed(kOpEqual, RuleTypeOf(left), RuleTypeOf(*args[1])))
        mismatch(*args[1]);
      break;
    default:  // IN and BETWEEN with their negations
      for (size_t i = 1; i < args.size(); ++i) {
        Check(&node, args[i], false, false);
        ConvertAgainstDateTime(left, *args[i]);
        if (!BinaryOperandsAllowed(kOpEqual, RuleTypeOf(left), RuleTypeOf(*args[i])))
          mismatch(*args[i]);
      }
  }
  ApplyShape(node, {kFieldBoolean, 0, 2, 0});
}
