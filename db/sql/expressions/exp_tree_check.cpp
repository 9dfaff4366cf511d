// ExpTreeShapeFault: the shape check of trees read from outside (see the header's table).
#include "db/sql/expressions/exp_tree_check.h"

#include <limits>

#include "db/sql/expressions/type_groups.h"
#include "db/storage/data/field_types.h"

namespace {

constexpr size_t kMany = std::numeric_limits<size_t>::max();

bool IsComparison(uint8_t op) {
  return op >= kOpEqual && op <= kOpLessEqual;
}

// Bytes of a non-null constant of a fixed-width type; 0 for types whose size varies. An
// internal value is a constant of its own fixed size, though no column type takes it.
int32_t FixedWidthOf(uint8_t type) {
  return type == kFieldInternal ? 10 : FixedSizeOf(type);
}

std::string ConstantFault(const TExpToken& node) {
  if (node.IsNull || node.IsParam || node.ValueType == 0) return {};
  int32_t width = FixedWidthOf(node.ValueType);
  if (width != 0)
    return node.ValueSize() == width
               ? std::string()
               : "constant of type " + std::to_string(node.ValueType) + " with a value of " +
                     std::to_string(node.ValueSize()) + " bytes";
  bool terminated = node.ValueType == kFieldString ||
                    (node.ValueType == kFieldBlob && node.SubType == kSubtypeMemo);
  if (terminated && (node.ValueSize() < 1 || node.Value()[node.ValueSize() - 1] != 0))
    return "text constant without its terminating zero";
  return {};
}

std::string NodeFault(const TExpToken& node) {
  if (node.Child) return "node with a third link";
  for (const TExpToken* arg : node.Args)
    if (!arg) return "missing argument";
  if (!IsValidFieldType(node.ValueType) && node.ValueType != 0)
    return "unknown value type " + std::to_string(node.ValueType);
  bool operands = node.Left || node.Right;
  size_t minimum = 0, maximum = 0;
  switch (node.NodeClass) {
    case kNodeUnary:
      if (node.OpCode != kOpIsNull && node.OpCode != kOpIsNotNull && node.OpCode != kOpNot &&
          node.OpCode != kOpNegate && node.OpCode != kOpPlusSign)
        break;
      if (!node.Left || node.Right || !node.Args.empty())
        return "unary operator without one operand";
      return {};
    case kNodeBinary:
      if (!IsComparison(node.OpCode) && node.OpCode != kOpAnd && node.OpCode != kOpOr &&
          (node.OpCode < kOpAdd || node.OpCode > kOpDivide))
        break;
      if (!node.Left || !node.Right || !node.Args.empty()) return "operator without two operands";
      return {};
    case kNodeStringMatch:
      if (node.OpCode != kOpEqual && node.OpCode != kOpNotEqual && node.OpCode != kOpLike &&
          node.OpCode != kOpNotLike)
        break;
      if (node.Args.empty() ? !(node.Left && node.Right) : (operands || node.Args.size() != 2))
        return "string match without two operands";
      return {};
    case kNodeColumn:
    case kNodeConstant:
      if (operands || !node.Args.empty()) return "value with operands";
      return node.NodeClass == kNodeConstant ? ConstantFault(node) : std::string();
    case kNodeFunction:
    case kNodePredicate:
      if (!ExpArgumentRange(node.NodeClass, node.OpCode, minimum, maximum)) break;
      if (operands) return "function with operand links";
      if (node.Args.size() < minimum || node.Args.size() > maximum)
        return "function or predicate with " + std::to_string(node.Args.size()) + " arguments";
      return {};
    case kNodeSubSelect:
      return "sub-select";
    default:
      return "unknown node class " + std::to_string(node.NodeClass);
  }
  return "unknown operator " + std::to_string(node.OpCode) + " of node class " +
         std::to_string(node.NodeClass);
}

}  // namespace

bool ExpArgumentRange(uint8_t cls, uint8_t op, size_t& minimum, size_t& maximum) {
  minimum = maximum = 0;
  if (cls == kNodePredicate) {
    if (op == kOpBetween || op == kOpNotBetween) minimum = maximum = 3;
    if (op == kOpLike || op == kOpNotLike) minimum = maximum = 2;
    if (op == kOpIn || op == kOpNotIn) minimum = 2, maximum = kMany;
    return maximum != 0;
  }
  if (cls != kNodeFunction) return false;
  if ((op >= kOpSum && op <= kOpAvg) || op == kOpUpper || op == kOpLower || op == kOpLength ||
      op == kOpAbs || (op >= kOpExtractYear && op <= kOpExtractSecond) || op == kOpLastAutoInc ||
      op == kOpIdentCurrent)
    minimum = maximum = 1;
  else if (op == kOpSubstring)
    minimum = 2, maximum = 3;
  else if (op == kOpReplace || op == kOpIf || op == kOpIfNull)
    minimum = maximum = 3;
  else if (op == kOpPos || op == kOpOccurs || op == kOpTextSearch || op == kOpTextOccurs ||
           (op >= kOpTrimLeading && op <= kOpTrimBoth))
    minimum = maximum = 2;
  else if (op == kOpCast)
    minimum = 1, maximum = 3;
  else if (op == kOpRound)
    minimum = 1, maximum = 2;
  else if (op == kOpCoalesce)
    minimum = 1, maximum = kMany;
  return maximum != 0;
}

std::string ExpTreeShapeFault(const TExpToken* root) {
  if (!root) return "empty tree";
  std::string fault = NodeFault(*root);
  if (!fault.empty()) return fault;
  for (const TExpToken* below : {root->Left, root->Right})
    if (below && !(fault = ExpTreeShapeFault(below)).empty()) return fault;
  for (const TExpToken* arg : root->Args)
    if (!(fault = ExpTreeShapeFault(arg)).empty()) return fault;
  return {};
}
