// The operand and result tables of the expression type rules.
//
// Operands allowed (left type: right types; the NULL constant is allowed on either side
// against a type listed on the left, and against itself):
//   = <>        date, timestamp: date, timestamp | string, memo: string, memo | other BLOB: -
//               boolean: boolean | numeric: numeric | bytes: bytes | time: time
//   < > <= >=   as = without boolean and bytes
//   AND OR      boolean: boolean
//   +           date, time, timestamp: integer kinds | string, memo: string, memo
//               integer kinds: date, time, timestamp, numeric | float, BCD: numeric
//   -           date: date, integer kinds | numeric: numeric | time: time, integer kinds
//               timestamp: date, time, timestamp, integer kinds
//   * /         numeric: numeric
//
// Results of arithmetic:
//   string + string            string, size = sum of sizes - 1
//   string/memo + memo         memo BLOB
//   date +- integer kind       date (days); integer kind + date likewise
//   time/timestamp +- integer  time/timestamp (milliseconds); reversed for +
//   date - date                integer (days); time - time integer (milliseconds)
//   timestamp - date or time   integer (milliseconds); timestamp - timestamp float
//   smallint, integer, word    integer; with largeint largeint; / of integer kinds float
//   anything with float        float; BCD with integer kinds or BCD: BCD at the larger scale
// Money: + and * give money when the right operand is money and the left has no subtype, or
// the left is money and the right numeric; - and / only when the left is money.
#include "db/sql/expressions/type_rules.h"

#include <algorithm>

#include "db/sql/expressions/type_groups.h"

namespace {

struct TOperandRule {
  TTypeMask Left;
  TTypeMask Right;
};

constexpr TTypeMask kDateStamp = Bit(kFieldDate) | Bit(kFieldTimestamp);

constexpr TOperandRule kEqualRules[] = {
    {kDateStamp, kDateStamp},
    {kStrings, kStrings},
    {kOtherBlob, 0},
    {Bit(kFieldBoolean), Bit(kFieldBoolean)},
    {kNumeric, kNumeric},
    {kBytesKinds, kBytesKinds},
    {Bit(kFieldTime), Bit(kFieldTime)},
};
constexpr TOperandRule kOrderRules[] = {
    {kDateStamp, kDateStamp},           {kStrings, kStrings}, {kOtherBlob, 0}, {kNumeric, kNumeric},
    {Bit(kFieldTime), Bit(kFieldTime)},
};
constexpr TOperandRule kLogicRules[] = {{Bit(kFieldBoolean), Bit(kFieldBoolean)}};
constexpr TOperandRule kAddRules[] = {
    {kDateTimes, kIntegerKinds},
    {kStrings, kStrings},
    {kIntegerKinds, kDateTimes | kNumeric},
    {Bit(kFieldFloat) | Bit(kFieldBcd), kNumeric},
};
constexpr TOperandRule kSubtractRules[] = {
    {Bit(kFieldDate), Bit(kFieldDate) | kIntegerKinds},
    {kNumeric, kNumeric},
    {Bit(kFieldTime), Bit(kFieldTime) | kIntegerKinds},
    {Bit(kFieldTimestamp), kDateTimes | kIntegerKinds},
};
constexpr TOperandRule kMultiplyRules[] = {{kNumeric, kNumeric}};

// The NULL constant (kRuleNone) stands on either side against any type that has a row of its
// own, and against another NULL; not against a type the operator takes on neither side
// (boolean < NULL, BLOB + NULL).
template <size_t N>
bool Allowed(const TOperandRule (&rules)[N], uint8_t left, uint8_t right) {
  if (left == kRuleNone && right == kRuleNone) return true;
  const uint8_t typed = left == kRuleNone ? right : left;
  for (const TOperandRule& rule : rules)
    if (InMask(rule.Left, typed))
      return right == kRuleNone || left == kRuleNone || InMask(rule.Right, right);
  return false;
}

int32_t SizeOfType(uint8_t type, int32_t stringSize) {
  if (type == kFieldString || type == kFieldBytes || type == kFieldVarBytes) return stringSize;
  if (type == kFieldBlob) return 8;
  return FixedSizeOf(type);
}

TValueShape Shape(uint8_t type, uint8_t subType = 0, uint8_t scale = 0) {
  return {type, subType, SizeOfType(type, 0), scale};
}

TValueShape ArithmeticShape(uint8_t op, uint8_t l, uint8_t r, const TExpToken& left,
                            const TExpToken& right) {
  if (InMask(kStrings, l)) {  // + only
    if (l == kRuleMemo || r == kRuleMemo) return Shape(kFieldBlob, kSubtypeMemo);
    return {kFieldString, 0, left.ValueSize() + right.ValueSize() - 1, 0};
  }
  if (IsDateTimeType(l) || IsDateTimeType(r)) {
    if (op == kOpSubtract) {
      if (l == kFieldDate && r == kFieldDate) return Shape(kFieldInteger);
      if (l == kFieldTime && r == kFieldTime) return Shape(kFieldInteger);
      if (l == kFieldTimestamp && r == kFieldTimestamp) return Shape(kFieldFloat);
      if (l == kFieldTimestamp && IsDateTimeType(r)) return Shape(kFieldInteger);
      return Shape(l);  // date, time or timestamp minus an integer kind
    }
    return Shape(IsDateTimeType(l) ? l : r);
  }
  uint8_t type;
  if (l == kFieldFloat || r == kFieldFloat)
    type = kFieldFloat;
  else if (l == kFieldBcd || r == kFieldBcd)
    type = kFieldBcd;
  else if (op == kOpDivide)
    type = kFieldFloat;
  else if (l == kFieldLargeInt || r == kFieldLargeInt)
    type = kFieldLargeInt;
  else
    type = kFieldInteger;
  TValueShape shape = Shape(type);
  if (type == kFieldBcd)
    shape.Scale = std::max(l == kFieldBcd ? left.Scale : uint8_t{0},
                           r == kFieldBcd ? right.Scale : uint8_t{0});
  const bool leftMoney = left.SubType == kSubtypeMoney;
  const bool rightMoney = right.SubType == kSubtypeMoney;
  const bool money = (op == kOpAdd || op == kOpMultiply)
                         ? (rightMoney && left.SubType == 0) || (leftMoney && IsNumericType(r))
                         : leftMoney && IsNumericType(r);
  if (money) shape.SubType = kSubtypeMoney;
  return shape;
}

}  // namespace

bool BinaryOperandsAllowed(uint8_t op, uint8_t left, uint8_t right) {
  switch (op) {
    case kOpEqual:
    case kOpNotEqual:
      return Allowed(kEqualRules, left, right);
    case kOpLess:
    case kOpGreater:
    case kOpLessEqual:
    case kOpGreaterEqual:
      return Allowed(kOrderRules, left, right);
    case kOpAnd:
    case kOpOr:
      return Allowed(kLogicRules, left, right);
    case kOpAdd:
      return Allowed(kAddRules, left, right);
    case kOpSubtract:
      return Allowed(kSubtractRules, left, right);
    case kOpMultiply:
    case kOpDivide:
      return Allowed(kMultiplyRules, left, right);
    default:
      return false;
  }
}

TValueShape BinaryResultShape(uint8_t op, const TExpToken& left, const TExpToken& right) {
  if (op >= kOpEqual && op <= kOpLessEqual) return Shape(kFieldBoolean);
  if (op == kOpAnd || op == kOpOr) return Shape(kFieldBoolean);
  const uint8_t l = RuleTypeOf(left);
  const uint8_t r = RuleTypeOf(right);
  if (l == kRuleNone && r == kRuleNone) return {};
  if (l == kRuleNone || r == kRuleNone) {
    const TExpToken& typed = l == kRuleNone ? right : left;
    TValueShape shape{typed.ValueType, typed.SubType, typed.ValueSize(), typed.Scale};
    // Against NULL the arithmetic still yields its kind's type (integer kinds widen, / floats),
    // so take the shape that the typed side would give with itself.
    if (IsNumericType(RuleTypeOf(typed)))
      shape = ArithmeticShape(op, RuleTypeOf(typed), RuleTypeOf(typed), typed, typed);
    if (shape.Type == kFieldBlob) shape.Size = 8;
    return shape;
  }
  return ArithmeticShape(op, l, r, left, right);
}

bool CastAllowed(uint8_t target, uint8_t source) {
  if (source == kRuleNone) return true;
  const TTypeMask kBytes = kBytesKinds;
  TTypeMask allowed = 0;
  switch (target) {
    case kFieldDate:
      allowed = Bit(kFieldString) | Bit(kFieldDate) | kBytes | Bit(kFieldTimestamp);
      break;
    case kFieldBoolean:
      allowed = Bit(kFieldString) | Bit(kFieldBoolean) | Bit(kFieldSmallInt) | Bit(kFieldInteger) |
                Bit(kFieldBcd) | kBytes | Bit(kFieldWord) | Bit(kFieldLargeInt);
      break;
    case kFieldSmallInt:
    case kFieldWord:
      allowed = Bit(kFieldString) | Bit(kFieldBoolean) | kNumeric | kBytes;
      break;
    case kFieldInteger:
    case kFieldFloat:
    case kFieldBcd:
    case kFieldLargeInt:
      allowed = Bit(kFieldString) | kNumeric | kBytes;
      break;
    case kFieldString:
    case kFieldBlob:
    case kFieldBytes:
    case kFieldVarBytes:
      return true;
    case kFieldTime:
      allowed = Bit(kFieldString) | kBytes | Bit(kFieldTime) | Bit(kFieldTimestamp);
      break;
    case kFieldTimestamp:
      allowed =
          Bit(kFieldString) | Bit(kFieldDate) | kBytes | Bit(kFieldTime) | Bit(kFieldTimestamp);
      break;
    default:
      return false;
  }
  return InMask(allowed, source);
}
