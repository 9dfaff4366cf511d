// Comparison and arithmetic over value nodes (see evaluate_values.h). Integer arithmetic is
// done in 64 bits with overflow checks, so a result that leaves its type is NULL rather than a
// wrapped number; division by zero is NULL for every numeric type.
#include "db/sql/expressions/evaluate_values.h"

#include <cmath>
#include <cstring>
#include <string>

#include "db/sql/expressions/bcd_value.h"
#include "db/sql/expressions/date_time_text.h"
#include "db/sql/expressions/type_groups.h"
#include "db/sql/expressions/value_conversion.h"
#include "db/storage/locale/locale_compare.h"

namespace {

template <typename T>
T Read(const TExpToken& node) {
  T value;
  std::memcpy(&value, node.Value(), sizeof value);
  return value;
}

bool IsText(const TExpToken& value) {
  return value.ValueType == kFieldString ||
         (value.ValueType == kFieldBlob && value.SubType == kSubtypeMemo);
}

int CompareNumbers(const TNumber& a, const TNumber& b) {
  if (a.Kind == TNumber::kFloat || b.Kind == TNumber::kFloat)
    return Order(NumberAsDouble(a), NumberAsDouble(b));
  if (a.Kind == b.Kind) return Order(a.Integer, b.Integer);
  // One BCD (ten-thousandths) and one integer: compare exactly in 128 bits.
  const __int128 left =
      a.Kind == TNumber::kBcd ? a.Integer : static_cast<__int128>(a.Integer) * kBcdOne;
  const __int128 right =
      b.Kind == TNumber::kBcd ? b.Integer : static_cast<__int128>(b.Integer) * kBcdOne;
  return Order(left, right);
}

// A date, time or timestamp as a timestamp double.
double AsTimestamp(const TExpToken& value) {
  if (value.ValueType == kFieldTimestamp) return Read<double>(value);
  if (value.ValueType == kFieldDate) return JoinTimestamp(Read<int32_t>(value), 0);
  return JoinTimestamp(kTimeBaseDay, Read<int32_t>(value));
}

void SetNull(const TExpToken& node, TExpToken& out) {
  StoreNull(out, node.ValueType, node.SubType, node.ValueSize());
  out.Scale = node.Scale;
}

void Finish(const TExpToken& node, TExpToken& out) {
  out.SubType = node.SubType;
  if (node.ValueType != kFieldBcd) out.Scale = node.Scale;
}

// Integer arithmetic in 64 bits; false on overflow or division by zero.
bool IntegerOp(uint8_t op, int64_t a, int64_t b, int64_t& result) {
  switch (op) {
    case kOpAdd:
      return !__builtin_add_overflow(a, b, &result);
    case kOpSubtract:
      return !__builtin_sub_overflow(a, b, &result);
    case kOpMultiply:
      return !__builtin_mul_overflow(a, b, &result);
    default:
      return false;
  }
}

// BCD arithmetic on ten-thousandths; false on overflow or division by zero.
bool BcdOp(uint8_t op, int64_t a, int64_t b, int64_t& result) {
  __int128 wide;
  switch (op) {
    case kOpAdd:
    case kOpSubtract:
      return IntegerOp(op, a, b, result);
    case kOpMultiply:
      wide = static_cast<__int128>(a) * b;
      wide = (wide + (wide < 0 ? -kBcdOne / 2 : kBcdOne / 2)) / kBcdOne;
      break;
    case kOpDivide: {
      if (b == 0) return false;
      const __int128 scaled = static_cast<__int128>(a) * kBcdOne;
      wide = scaled / b;
      const __int128 rest = scaled % b;
      // Round half away from zero: compare twice the remainder with the divisor.
      const __int128 twice = (rest < 0 ? -rest : rest) * 2;
      if (twice >= (b < 0 ? -static_cast<__int128>(b) : b))
        wide += (scaled < 0) != (b < 0) ? -1 : 1;
      break;
    }
    default:
      return false;
  }
  if (wide > INT64_MAX || wide < INT64_MIN) return false;
  result = static_cast<int64_t>(wide);
  return true;
}

void TextConcat(const TExpToken& node, const TExpToken& left, const TExpToken& right,
                TExpToken& out) {
  const std::string_view a = TextOf(left), b = TextOf(right);
  if (a.empty() && b.empty()) {  // the empty text is the NULL string
    SetNull(node, out);
    return;
  }
  const bool memo = node.ValueType == kFieldBlob;
  const size_t length = a.size() + b.size();
  out.SetValueSize(static_cast<int32_t>(length + 1));
  // a or b may live in out itself only if out were an operand slot; the evaluator never
  // passes an operand as out, so copying in place is safe.
  if (!a.empty()) std::memcpy(out.Value(), a.data(), a.size());
  if (!b.empty()) std::memcpy(out.Value() + a.size(), b.data(), b.size());
  out.Value()[length] = 0;
  out.ValueType = memo ? kFieldBlob : kFieldString;
  out.SubType = memo ? kSubtypeMemo : 0;
  out.IsNull = 0;
}

void DateTimeArithmetic(const TExpToken& node, const TExpToken& left, const TExpToken& right,
                        TExpToken& out) {
  const uint8_t l = left.ValueType, r = right.ValueType;
  bool ok = false;
  if (node.ValueType == kFieldDate) {  // date +- days
    const bool dateLeft = l == kFieldDate;
    const int64_t day = IntegerOf(dateLeft ? left : right);
    const int64_t days = IntegerOf(dateLeft ? right : left);
    int64_t result = 0;
    ok = IntegerOp(node.OpCode, day, days, result) && StoreInteger(out, kFieldDate, result);
  } else if (node.ValueType == kFieldTime) {  // time +- milliseconds, around the clock
    const bool timeLeft = l == kFieldTime;
    const int64_t ms = IntegerOf(timeLeft ? left : right);
    const int64_t delta = IntegerOf(timeLeft ? right : left);
    int64_t result = 0;
    ok = IntegerOp(node.OpCode, ms, delta, result);
    if (ok) {
      result %= kDayMilliseconds;
      if (result < 0) result += kDayMilliseconds;
      ok = StoreInteger(out, kFieldTime, result);
    }
  } else if (node.ValueType == kFieldTimestamp) {  // timestamp +- milliseconds
    const bool stampLeft = l == kFieldTimestamp;
    const double stamp = Read<double>(stampLeft ? left : right);
    const double delta = static_cast<double>(IntegerOf(stampLeft ? right : left));
    const double result = node.OpCode == kOpAdd ? stamp + delta : stamp - delta;
    int32_t day = 0, ms = 0;
    ok = SplitTimestamp(result, day, ms);
    if (ok) {
      out.SetTimestamp(result);
    }
  } else if (node.ValueType == kFieldFloat) {  // timestamp - timestamp: milliseconds
    out.SetFloat(AsTimestamp(left) - AsTimestamp(right));
    ok = true;
  } else {  // date - date in days, time - time and timestamp - date/time in milliseconds
    int64_t result = 0;
    if (l == kFieldDate || (l == kFieldTime && r == kFieldTime)) {
      ok = IntegerOp(kOpSubtract, IntegerOf(left), IntegerOf(right), result);
    } else {
      const double difference = AsTimestamp(left) - AsTimestamp(right);
      ok = std::fabs(difference) < 9e18;
      if (ok) result = static_cast<int64_t>(difference);
    }
    ok = ok && StoreInteger(out, node.ValueType, result);
  }
  if (!ok) SetNull(node, out);
}

}  // namespace

std::string_view TextOf(const TExpToken& value) {
  if (value.IsNull) return {};
  return value.StringValue();
}

bool IsNullValue(const TExpToken& value) {
  return value.IsNull || value.ValueType == 0;
}

int CompareValues(const TExpToken& left, const TExpToken& right, TCollation collation, bool noCase,
                  bool& comparable) {
  comparable = true;
  if (IsText(left) || IsText(right)) {
    const std::string_view a = TextOf(left), b = TextOf(right);
    if (collation.LanguageId == 0 && !noCase) return Order(a.compare(b), 0);
    return LocaleCompare(collation.LanguageId, collation.SortId, a, b, noCase);
  }
  const uint8_t l = left.ValueType, r = right.ValueType;
  if (IsDateTimeType(l) || IsDateTimeType(r)) {
    if (l == r && l != kFieldTimestamp) return Order(Read<int32_t>(left), Read<int32_t>(right));
    return Order(AsTimestamp(left), AsTimestamp(right));
  }
  if (l == kFieldBytes || l == kFieldVarBytes || l == kFieldBlob) {
    const size_t a = static_cast<size_t>(left.ValueSize()),
                 b = static_cast<size_t>(right.ValueSize());
    const int order = std::memcmp(left.Value(), right.Value(), std::min(a, b));
    return order != 0 ? Order(order, 0) : Order(a, b);
  }
  TNumber a, b;
  if (!NumberOf(left, a) || !NumberOf(right, b)) {
    comparable = false;
    return 0;
  }
  return CompareNumbers(a, b);
}

bool CompareForOp(uint8_t op, const TExpToken& left, const TExpToken& right, TCollation collation,
                  bool noCase) {
  const bool leftNull = IsNullValue(left), rightNull = IsNullValue(right);
  int order = 0;
  bool comparable = true;
  if (leftNull || rightNull) {
    if (op == kOpEqual) return leftNull && rightNull;
    if (op == kOpNotEqual) return leftNull != rightNull;
    const bool text = IsText(left) || IsText(right);
    if (!text && leftNull != rightNull) return false;
    // A NULL string is the empty text; two other NULLs compare their zero-filled values.
    if (text) order = CompareValues(left, right, collation, noCase, comparable);
  } else {
    order = CompareValues(left, right, collation, noCase, comparable);
    if (!comparable) return false;
  }
  return OrderHolds(op, order);
}

bool OrderHolds(uint8_t op, int order) {
  switch (op) {
    case kOpEqual:
      return order == 0;
    case kOpNotEqual:
      return order != 0;
    case kOpLess:
      return order < 0;
    case kOpGreater:
      return order > 0;
    case kOpLessEqual:
      return order <= 0;
    case kOpGreaterEqual:
      return order >= 0;
    default:
      return false;
  }
}

void Arithmetic(const TExpToken& node, const TExpToken& left, const TExpToken& right,
                TExpToken& out) {
  if (node.ValueType == kFieldString || node.ValueType == kFieldBlob) {
    TextConcat(node, left, right, out);
    return;
  }
  if (IsNullValue(left) || IsNullValue(right)) {
    SetNull(node, out);
    return;
  }
  if (IsDateTimeType(left.ValueType) || IsDateTimeType(right.ValueType)) {
    DateTimeArithmetic(node, left, right, out);
    return;
  }
  TNumber a, b;
  if (!NumberOf(left, a) || !NumberOf(right, b)) {
    SetNull(node, out);
    return;
  }
  const uint8_t op = node.OpCode;
  bool ok = true;
  switch (node.ValueType) {
    case kFieldFloat: {
      const double x = NumberAsDouble(a), y = NumberAsDouble(b);
      double result = 0;
      if (op == kOpAdd)
        result = x + y;
      else if (op == kOpSubtract)
        result = x - y;
      else if (op == kOpMultiply)
        result = x * y;
      else if (y == 0)
        ok = false;
      else
        result = x / y;
      ok = ok && std::isfinite(result);
      if (ok) out.SetFloat(result);
      break;
    }
    case kFieldBcd: {
      int64_t x = a.Integer, y = b.Integer, result = 0;
      if (a.Kind == TNumber::kInteger) ok = !__builtin_mul_overflow(a.Integer, kBcdOne, &x);
      if (b.Kind == TNumber::kInteger) ok = ok && !__builtin_mul_overflow(b.Integer, kBcdOne, &y);
      ok = ok && BcdOp(op, x, y, result) && RoundTenThousandths(result, node.Scale, result);
      if (ok) StoreBcd(out, result, node.Scale);
      break;
    }
    default: {  // integer kinds
      int64_t result = 0;
      ok = IntegerOp(op, a.Integer, b.Integer, result) && StoreInteger(out, node.ValueType, result);
    }
  }
  if (!ok) {
    SetNull(node, out);
    return;
  }
  Finish(node, out);
}

void Negate(const TExpToken& node, const TExpToken& value, TExpToken& out) {
  if (IsNullValue(value)) {
    SetNull(node, out);
    return;
  }
  const bool minus = node.OpCode == kOpNegate;
  bool ok = true;
  switch (value.ValueType) {
    case kFieldFloat:
      out.SetFloat(minus ? -Read<double>(value) : Read<double>(value));
      break;
    case kFieldTimestamp:
      out.SetTimestamp(minus ? -Read<double>(value) : Read<double>(value));
      break;
    case kFieldBcd: {
      TNumber number;
      ok = NumberOf(value, number) && number.Integer != INT64_MIN;
      if (ok) StoreBcd(out, minus ? -number.Integer : number.Integer, value.Scale);
      break;
    }
    default: {
      const int64_t integer = IntegerOf(value);
      ok = integer != INT64_MIN && StoreInteger(out, value.ValueType, minus ? -integer : integer);
    }
  }
  if (!ok) {
    SetNull(node, out);
    return;
  }
  Finish(node, out);
}
