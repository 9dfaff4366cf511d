// CheckTypes for columns, constants, unary and two-operand nodes and sub-selects; functions and
// predicates are in type_check_functions.cpp. The rules themselves are tables in
// type_rules.cpp.
#include "db/sql/expressions/type_check.h"

#include "db/engine/errors/engine_error.h"
#include "db/sql/expressions/type_check_internal.h"
#include "db/sql/expressions/type_groups.h"
#include "db/sql/expressions/value_conversion.h"

bool IsStringConstant(const TExpToken& node) {
  return node.NodeClass == kNodeConstant && node.ValueType == kFieldString && !node.IsParam &&
         !node.IsNull;
}

void ApplyShape(TExpToken& node, const TValueShape& shape) {
  node.ValueType = shape.Type;
  node.SubType = shape.SubType;
  node.Scale = shape.Scale;
  node.SetValueSize(shape.Size);
}

void TTypeChecker::Fail(const std::string& message) const {
  RaiseEngineError(options_.ErrorCode, {}, {}, options_.Database, options_.Table, {}, {},
                   std::string_view(message).substr(0, 255));
}

void TTypeChecker::FailIn(std::string_view text) const {
  Fail(std::string(text) + " in " + options_.ContextName);
}

std::string TTypeChecker::Describe(const TExpToken& node) {
  const char* kind = "expression";
  if (node.NodeClass == kNodeColumn)
    kind = "column";
  else if (node.NodeClass == kNodeConstant)
    kind = "constant";
  else if (node.NodeClass == kNodeFunction)
    kind = "function";
  return std::string(kind) + " '" + node.Text + "'";
}

void TTypeChecker::ConvertAgainstDateTime(const TExpToken& typed, TExpToken& other) const {
  if (!IsDateTimeType(RuleTypeOf(typed)) || !IsStringConstant(other)) return;
  const std::string text(other.StringValue());
  if (!ConvertValue(other, other, typed.ValueType, 0, 0, 0))
    FailIn("Date, time, or timestamp expression expected, instead found '" + text + "'");
}

bool TTypeChecker::ConvertToAnyDateTime(TExpToken& constant) const {
  for (uint8_t type : {kFieldDate, kFieldTime, kFieldTimestamp}) {
    TExpToken trial;
    if (ConvertValue(constant, trial, type, 0, 0, 0)) {
      ConvertValue(constant, constant, type, 0, 0, 0);
      return true;
    }
  }
  return false;
}

void TTypeChecker::OfferAsColumn(TExpToken& node) {
  if (!options_.Resolver || !IsStringConstant(node) || node.Text == "*") return;
  // The node is tried as a column under its own text; on a miss everything is put back.
  node.SavedType = node.ValueType;
  node.SavedSubType = node.SubType;
  node.SavedSize = node.ValueSize();
  node.SavedScale = node.Scale;
  const std::string name(node.StringValue());
  std::string savedColumn = node.ColumnName;
  node.ColumnName = name;
  node.NodeClass = kNodeColumn;
  if (options_.Resolver->ResolveColumn(node)) {
    node.Resolved = 1;
    node.IsNull = 0;
    return;
  }
  node.NodeClass = kNodeConstant;
  node.ColumnName = std::move(savedColumn);
  node.ValueType = node.SavedType;
  node.SubType = node.SavedSubType;
  node.Scale = node.SavedScale;
  node.SavedType = node.SavedSubType = node.SavedScale = 0;
  node.SavedSize = 0;
}

void TTypeChecker::CheckColumn(TExpToken& node) {
  if (node.ColumnName == "*") return;
  if (!options_.Resolver || !options_.Resolver->ResolveColumn(node))
    Fail("Invalid column name '" + node.ColumnName + "' or table correlation name '" +
         node.TableAlias + "' specified in " + options_.ContextName);
}

void TTypeChecker::CheckUnary(TExpToken& node, bool namesAllowed) {
  const bool logical = node.OpCode == kOpNot;
  Check(&node, node.Left, namesAllowed, logical);
  const uint8_t operand = RuleTypeOf(*node.Left);
  bool allowed;
  switch (node.OpCode) {
    case kOpNot:
    case kOpIsNull:
    case kOpIsNotNull:
      allowed = operand == kRuleNone || operand == kFieldBoolean;
      break;
    case kOpNegate:
      allowed = operand == kRuleNone ||
                (operand != kFieldWord && (IsNumericType(operand) || IsDateTimeType(operand)));
      break;
    case kOpPlusSign:
      allowed = operand == kRuleNone || IsNumericType(operand) || IsDateTimeType(operand);
      break;
    default:
      allowed = false;
  }
  if (!allowed)
    FailIn("Type mismatch between '" + node.Text + "' operator and '" + node.Left->Text + "'");
  if (node.OpCode == kOpNegate || node.OpCode == kOpPlusSign)
    ApplyShape(
        node, {node.Left->ValueType, node.Left->SubType, node.Left->ValueSize(), node.Left->Scale});
  else
    ApplyShape(node, {kFieldBoolean, 0, 2, 0});
}

void TTypeChecker::CheckBinary(TExpToken& node, bool namesAllowed) {
  const bool logical = node.OpCode == kOpAnd || node.OpCode == kOpOr;
  Check(&node, node.Left, namesAllowed, logical);
  Check(&node, node.Right, namesAllowed, logical);
  ConvertAgainstDateTime(*node.Left, *node.Right);
  ConvertAgainstDateTime(*node.Right, *node.Left);
  if (!BinaryOperandsAllowed(node.OpCode, RuleTypeOf(*node.Left), RuleTypeOf(*node.Right)))
    FailIn("Type mismatch between " + Describe(*node.Left) + " and " + Describe(*node.Right));
  ApplyShape(node, BinaryResultShape(node.OpCode, *node.Left, *node.Right));
}

void TTypeChecker::RewriteBoolean(TExpToken*& slot) {
  TExpTokenStack& pool = options_.Pool ? *options_.Pool : GlobalExpTokenStack();
  TExpToken* column = slot;
  TExpToken* truth = pool.Take();
  TExpToken* comparison = pool.Take();
  truth->NodeClass = kNodeConstant;
  truth->Text = "TRUE";
  truth->SetBoolean(true);
  comparison->NodeClass = kNodeBinary;
  comparison->OpCode = kOpEqual;
  comparison->Text = "=";
  comparison->Left = column;
  comparison->Right = truth;
  comparison->Parent = column->Parent;
  column->Parent = truth->Parent = comparison;
  comparison->Height = ExpHeightOf(*comparison);
  ApplyShape(*comparison, {kFieldBoolean, 0, 2, 0});
  slot = comparison;
}

void TTypeChecker::Check(TExpToken* parent, TExpToken*& slot, bool namesAllowed, bool booleanSlot) {
  TExpToken& node = *slot;
  node.Parent = parent;
  switch (node.NodeClass) {
    case kNodeConstant:
      if (namesAllowed) OfferAsColumn(node);
      break;
    case kNodeColumn:
      CheckColumn(node);
      break;
    case kNodeUnary:
      CheckUnary(node, namesAllowed);
      break;
    case kNodeBinary:
    case kNodeStringMatch:
      CheckBinary(node, namesAllowed);
      break;
    case kNodeSubSelect: {
      const int columns = options_.Resolver ? options_.Resolver->BindSubSelect(node) : -1;
      if (columns < 0) FailIn("Sub-select queries are not allowed");
      if (columns != 1) FailIn("More than 1 column for sub-select  specified");
      break;
    }
    case kNodeFunction:
      CheckFunction(node, namesAllowed);
      break;
    case kNodePredicate:
      CheckPredicate(node, namesAllowed);
      break;
    default:
      FailIn("Internal error: unknown expression node '" + node.Text + "'");
  }
  if (booleanSlot && options_.RewriteBooleanColumns && slot->NodeClass == kNodeColumn &&
      slot->ValueType == kFieldBoolean)
    RewriteBoolean(slot);
}

void CheckTypes(const TTypeCheckOptions& options, TExpToken* parent, TExpToken*& node) {
  TTypeChecker checker(options);
  checker.Check(parent, node, options.StringsMayBeColumns, true);
}
