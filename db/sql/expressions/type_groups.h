// The groups of value types that the type rules, conversions and evaluation speak of, as masks
// over a "rule type": the field type code, except that a memo BLOB (type 3, subtype 22) is
// kRuleMemo and varbytes count as bytes, and 0 is the untyped NULL constant (and a parameter
// while a tree is checked).
#pragma once

#include <cstdint>

#include "db/sql/expressions/exp_token.h"
#include "db/storage/data/field_types.h"

inline constexpr uint8_t kRuleNone = 0;
inline constexpr uint8_t kRuleMemo = 20;

using TTypeMask = uint32_t;

constexpr TTypeMask Bit(uint8_t ruleType) {
  return TTypeMask{1} << ruleType;
}

inline constexpr TTypeMask kIntegerKinds =
    Bit(kFieldSmallInt) | Bit(kFieldInteger) | Bit(kFieldWord) | Bit(kFieldLargeInt);
inline constexpr TTypeMask kNumeric = kIntegerKinds | Bit(kFieldFloat) | Bit(kFieldBcd);
inline constexpr TTypeMask kDateTimes = Bit(kFieldDate) | Bit(kFieldTime) | Bit(kFieldTimestamp);
inline constexpr TTypeMask kStrings = Bit(kFieldString) | Bit(kRuleMemo);
inline constexpr TTypeMask kOtherBlob = Bit(kFieldBlob);
inline constexpr TTypeMask kBytesKinds = Bit(kFieldBytes);

// The rule type of a type code and subtype.
constexpr uint8_t RuleTypeOf(uint8_t type, uint8_t subType) {
  if (type == kFieldBlob && subType == kSubtypeMemo) return kRuleMemo;
  if (type == kFieldVarBytes) return kFieldBytes;
  return type;
}

// The rule type of a node: 0 for the NULL constant and for a parameter, whatever type they
// carry, since both are accepted wherever a value may stand.
inline uint8_t RuleTypeOf(const TExpToken& node) {
  if (node.NodeClass == kNodeConstant && (node.IsParam || (node.IsNull && node.ValueType == 0)))
    return kRuleNone;
  return RuleTypeOf(node.ValueType, node.SubType);
}

constexpr bool InMask(TTypeMask mask, uint8_t ruleType) {
  return ruleType < 32 && (mask & Bit(ruleType)) != 0;
}
constexpr bool IsIntegerKind(uint8_t type) {
  return InMask(kIntegerKinds, type);
}
constexpr bool IsNumericType(uint8_t type) {
  return InMask(kNumeric, type);
}
constexpr bool IsDateTimeType(uint8_t type) {
  return InMask(kDateTimes, type);
}

// The value size a fixed-width type takes; 0 for the sized ones (string, BLOB, bytes).
constexpr int32_t FixedSizeOf(uint8_t type) {
  switch (type) {
    case kFieldDate:
    case kFieldInteger:
    case kFieldTime:
    case kFieldInt32:
      return 4;
    case kFieldBoolean:
    case kFieldSmallInt:
    case kFieldWord:
      return 2;
    case kFieldFloat:
    case kFieldTimestamp:
    case kFieldLargeInt:
      return 8;
    case kFieldBcd:
      return 34;
    default:
      return 0;
  }
}
