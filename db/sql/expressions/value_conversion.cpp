// Value readers and writers by type, and ConvertValue (see value_conversion.h).
#include "db/sql/expressions/value_conversion.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "db/sql/expressions/bcd_value.h"
#include "db/sql/expressions/date_time_text.h"
#include "db/sql/expressions/type_groups.h"

namespace {

template <typename T>
T Read(const TExpToken& node) {
  T value;
  std::memcpy(&value, node.Value(), sizeof value);
  return value;
}

template <typename T>
void Write(TExpToken& node, uint8_t type, T value) {
  node.SetValueSize(sizeof value);
  std::memcpy(node.Value(), &value, sizeof value);
  node.ValueType = type;
  node.SubType = 0;
  node.Scale = 0;
  node.IsNull = 0;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

bool IntegerFromText(std::string_view text, int64_t& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool FloatFromText(std::string_view text, double& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

// A double's integer part when it lies inside int64 (the cast is undefined otherwise).
bool TruncateDouble(double value, int64_t& result) {
  if (!std::isfinite(value)) return false;
  const double whole = std::trunc(value);
  // 2^63 is exactly representable; every double below it converts without overflow.
  if (whole < -9223372036854775808.0 || whole >= 9223372036854775808.0) return false;
  result = static_cast<int64_t>(whole);
  return true;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return true;
}

// The source value, copied out so that the target may be the source node.
struct TSource {
  uint8_t Type = 0;
  uint8_t SubType = 0;
  uint8_t Scale = 0;
  std::string Bytes;  // raw value bytes (strings and memos without the zero)
};

TSource Snapshot(const TExpToken& node) {
  TSource source;
  source.Type = node.ValueType;
  source.SubType = node.SubType;
  source.Scale = node.Scale;
  const bool text = node.ValueType == kFieldString ||
                    (node.ValueType == kFieldBlob && node.SubType == kSubtypeMemo);
  if (text) {
    source.Bytes = std::string(node.StringValue());
  } else {
    const int32_t size = std::min(node.ValueSize(), node.ValueCapacity());
    source.Bytes.assign(reinterpret_cast<const char*>(node.Value()), static_cast<size_t>(size));
  }
  return source;
}

// A scratch node that views a snapshot as a typed value (readers above want a node).
class TSnapshotNode {
 public:
  explicit TSnapshotNode(const TSource& source) {
    node_.SetValueSize(static_cast<int32_t>(source.Bytes.size()) + 1);
    if (!source.Bytes.empty()) std::memcpy(node_.Value(), source.Bytes.data(), source.Bytes.size());
    node_.ValueType = source.Type;
    node_.SubType = source.SubType;
    node_.Scale = source.Scale;
  }
  const TExpToken& Node() const { return node_; }

 private:
  TExpToken node_;
};

bool IsTextType(uint8_t type, uint8_t subType) {
  return type == kFieldString || (type == kFieldBlob && subType == kSubtypeMemo);
}

void StoreText(TExpToken& target, uint8_t type, uint8_t subType, int32_t size,
               std::string_view text) {
  if (type == kFieldString) {
    if (size > 0 && text.size() > static_cast<size_t>(size - 1)) text = text.substr(0, size - 1);
    target.SetString(text);
  } else {  // BLOB: a memo keeps its terminating zero, other BLOBs are the bare bytes
    const bool memo = subType == kSubtypeMemo;
    target.SetValueSize(static_cast<int32_t>(text.size()) + (memo ? 1 : 0));
    target.ReserveValue(static_cast<int32_t>(text.size()) + 1);
    if (!text.empty()) std::memcpy(target.Value(), text.data(), text.size());
    target.Value()[text.size()] = 0;
    target.IsNull = 0;
  }
  target.ValueType = type;
  target.SubType = subType;
  target.Scale = 0;
}

bool ToInteger(const TSource& source, const TExpToken& view, int64_t& value) {
  if (IsTextType(source.Type, source.SubType)) return IntegerFromText(source.Bytes, value);
  TNumber number;
  if (source.Type == kFieldBoolean || IsNumericType(source.Type)) {
    if (!NumberOf(view, number)) return false;
    switch (number.Kind) {
      case TNumber::kInteger:
        value = number.Integer;
        return true;
      case TNumber::kFloat:
        return TruncateDouble(number.Float, value);
      case TNumber::kBcd:
        value = number.Integer / kBcdOne;
        return true;
    }
  }
  return false;
}

bool ToFloat(const TSource& source, const TExpToken& view, double& value) {
  if (IsTextType(source.Type, source.SubType)) return FloatFromText(source.Bytes, value);
  TNumber number;
  if ((source.Type == kFieldBoolean || IsNumericType(source.Type)) && NumberOf(view, number)) {
    value = NumberAsDouble(number);
    return true;
  }
  return false;
}

bool ToBcd(const TSource& source, const TExpToken& view, int64_t& value) {
  if (IsTextType(source.Type, source.SubType)) return TenThousandthsFromText(source.Bytes, value);
  TNumber number;
  if (!(source.Type == kFieldBoolean || IsNumericType(source.Type)) || !NumberOf(view, number))
    return false;
  switch (number.Kind) {
    case TNumber::kInteger:
      return !__builtin_mul_overflow(number.Integer, kBcdOne, &value);
    case TNumber::kFloat:
      return TruncateDouble(std::round(number.Float * kBcdOne), value);
    case TNumber::kBcd:
      value = number.Integer;
      return true;
  }
  return false;
}

bool ToDayNumber(const TSource& source, const TExpToken& view, int32_t& day) {
  if (IsTextType(source.Type, source.SubType)) return ParseDateText(source.Bytes, day);
  if (source.Type == kFieldDate) {
    day = static_cast<int32_t>(IntegerOf(view));
    return true;
  }
  int32_t ms = 0;
  if (source.Type == kFieldTimestamp) return SplitTimestamp(Read<double>(view), day, ms);
  return false;
}

bool ToMilliseconds(const TSource& source, const TExpToken& view, int32_t& ms) {
  if (IsTextType(source.Type, source.SubType)) return ParseTimeText(source.Bytes, ms);
  if (source.Type == kFieldTime) {
    ms = static_cast<int32_t>(IntegerOf(view));
    return ms >= 0 && ms < kDayMilliseconds;
  }
  int32_t day = 0;
  if (source.Type == kFieldTimestamp) return SplitTimestamp(Read<double>(view), day, ms);
  return false;
}

bool ToTimestamp(const TSource& source, const TExpToken& view, double& timestamp) {
  if (IsTextType(source.Type, source.SubType)) return ParseTimestampText(source.Bytes, timestamp);
  switch (source.Type) {
    case kFieldDate:
      timestamp = JoinTimestamp(static_cast<int32_t>(IntegerOf(view)), 0);
      return true;
    case kFieldTime:
      timestamp = JoinTimestamp(kTimeBaseDay, static_cast<int32_t>(IntegerOf(view)));
      return true;
    case kFieldTimestamp: {
      int32_t day = 0, ms = 0;
      timestamp = Read<double>(view);
      return SplitTimestamp(timestamp, day, ms);
    }
    default:
      return false;
  }
}

bool ToBoolean(const TSource& source, const TExpToken& view, bool& value) {
  if (IsTextType(source.Type, source.SubType)) {
    const std::string_view text = Trim(source.Bytes);
    if (EqualsIgnoringCase(text, "TRUE"))
      value = true;
    else if (EqualsIgnoringCase(text, "FALSE"))
      value = false;
    else
      return false;
    return true;
  }
  TNumber number;
  if ((source.Type == kFieldBoolean || IsNumericType(source.Type)) && NumberOf(view, number)) {
    value = number.Kind == TNumber::kFloat ? number.Float != 0 : number.Integer != 0;
    return true;
  }
  return false;
}

// Raw bytes of a bytes source read as a fixed-width type: only an exact fit is a value.
bool FromRawBytes(const TSource& source, TExpToken& target, uint8_t type) {
  const int32_t width = FixedSizeOf(type);
  if (width == 0 || source.Bytes.size() != static_cast<size_t>(width)) return false;
  target.SetValueSize(width);
  std::memcpy(target.Value(), source.Bytes.data(), static_cast<size_t>(width));
  target.ValueType = type;
  target.IsNull = 0;
  if (type == kFieldBcd) {
    int64_t check = 0;
    if (!BcdToTenThousandths(target.Value(), check)) return false;
  }
  return true;
}

bool Convert(const TSource& source, TExpToken& target, uint8_t type, uint8_t subType, int32_t size,
             uint8_t scale) {
  TSnapshotNode snapshot(source);
  const TExpToken& view = snapshot.Node();
  const bool fromBytes = source.Type == kFieldBytes || source.Type == kFieldVarBytes;
  if (fromBytes && type != kFieldString && type != kFieldBlob && type != kFieldBytes &&
      type != kFieldVarBytes)
    return FromRawBytes(source, target, type);
  switch (type) {
    case kFieldString:
    case kFieldBlob: {
      std::string text;
      if (IsTextType(source.Type, source.SubType) || fromBytes || source.Type == kFieldBlob)
        text = source.Bytes;
      else if (!ValueText(view, text))
        return false;
      StoreText(target, type, subType, size, text);
      return true;
    }
    case kFieldBytes:
    case kFieldVarBytes: {
      std::string bytes = source.Bytes;
      if (size > 0) bytes.resize(static_cast<size_t>(size), '\0');
      target.SetValueSize(static_cast<int32_t>(bytes.size()));
      if (!bytes.empty()) std::memcpy(target.Value(), bytes.data(), bytes.size());
      target.ValueType = type;
      target.IsNull = 0;
      return true;
    }
    case kFieldBoolean: {
      bool value = false;
      if (!ToBoolean(source, view, value)) return false;
      return StoreInteger(target, type, value ? 1 : 0);
    }
    case kFieldSmallInt:
    case kFieldInteger:
    case kFieldWord:
    case kFieldInt32:
    case kFieldLargeInt: {
      int64_t value = 0;
      return ToInteger(source, view, value) && StoreInteger(target, type, value);
    }
    case kFieldFloat: {
      double value = 0;
      if (!ToFloat(source, view, value)) return false;
      Write(target, type, value);
      return true;
    }
    case kFieldBcd: {
      int64_t value = 0;
      if (!ToBcd(source, view, value)) return false;
      StoreBcd(target, value, scale);
      return true;
    }
    case kFieldDate: {
      int32_t day = 0;
      return ToDayNumber(source, view, day) && StoreInteger(target, type, day);
    }
    case kFieldTime: {
      int32_t ms = 0;
      return ToMilliseconds(source, view, ms) && StoreInteger(target, type, ms);
    }
    case kFieldTimestamp: {
      double timestamp = 0;
      if (!ToTimestamp(source, view, timestamp)) return false;
      Write(target, type, timestamp);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

int64_t IntegerOf(const TExpToken& node) {
  switch (node.ValueType) {
    case kFieldBoolean:
      return Read<uint16_t>(node) != 0;
    case kFieldSmallInt:
      return Read<int16_t>(node);
    case kFieldWord:
      return Read<uint16_t>(node);
    case kFieldLargeInt:
      return Read<int64_t>(node);
    default:  // date, integer, time, 32-bit integer
      return Read<int32_t>(node);
  }
}

bool NumberOf(const TExpToken& node, TNumber& number) {
  switch (node.ValueType) {
    case kFieldFloat:
      number.Kind = TNumber::kFloat;
      number.Float = Read<double>(node);
      return true;
    case kFieldBcd:
      number.Kind = TNumber::kBcd;
      return BcdToTenThousandths(node.Value(), number.Integer);
    case kFieldBoolean:
    case kFieldSmallInt:
    case kFieldInteger:
    case kFieldWord:
    case kFieldInt32:
    case kFieldLargeInt:
      number.Kind = TNumber::kInteger;
      number.Integer = IntegerOf(node);
      return true;
    default:
      return false;
  }
}

double NumberAsDouble(const TNumber& number) {
  switch (number.Kind) {
    case TNumber::kInteger:
      return static_cast<double>(number.Integer);
    case TNumber::kFloat:
      return number.Float;
    case TNumber::kBcd:
      return static_cast<double>(number.Integer) / kBcdOne;
  }
  return 0;
}

bool StoreInteger(TExpToken& node, uint8_t type, int64_t value) {
  switch (type) {
    case kFieldBoolean:
      Write<uint16_t>(node, type, value != 0);
      return true;
    case kFieldSmallInt:
      if (value < INT16_MIN || value > INT16_MAX) return false;
      Write(node, type, static_cast<int16_t>(value));
      return true;
    case kFieldWord:
      if (value < 0 || value > UINT16_MAX) return false;
      Write(node, type, static_cast<uint16_t>(value));
      return true;
    case kFieldLargeInt:
      Write(node, type, value);
      return true;
    case kFieldDate:
      if (value < 1 || value > kLastDayNumber) return false;
      Write(node, type, static_cast<int32_t>(value));
      return true;
    case kFieldTime:
      if (value < 0 || value >= kDayMilliseconds) return false;
      Write(node, type, static_cast<int32_t>(value));
      return true;
    case kFieldInteger:
    case kFieldInt32:
      if (value < INT32_MIN || value > INT32_MAX) return false;
      Write(node, type, static_cast<int32_t>(value));
      return true;
    default:
      return false;
  }
}

void StoreBcd(TExpToken& node, int64_t tenThousandths, uint8_t scale) {
  node.SetValueSize(34);
  BcdFromTenThousandths(tenThousandths, scale, node.Value());
  node.ValueType = kFieldBcd;
  node.SubType = 0;
  node.Scale = scale > 4 ? 4 : scale;
  node.IsNull = 0;
}

void StoreNull(TExpToken& node, uint8_t type, uint8_t subType, int32_t size) {
  const int32_t width = FixedSizeOf(type);
  const int32_t bytes = width ? width : std::max(size, 0);
  node.SetValueSize(bytes);
  std::memset(node.Value(), 0, static_cast<size_t>(std::max(bytes, 1)));
  node.ValueType = type;
  node.SubType = subType;
  node.IsNull = 1;
}

bool ValueText(const TExpToken& node, std::string& text) {
  TNumber number;
  switch (node.ValueType) {
    case kFieldString:
      text = node.StringValue();
      return true;
    case kFieldBlob:
      if (node.SubType == kSubtypeMemo)
        text = node.StringValue();
      else
        text.assign(reinterpret_cast<const char*>(node.Value()), node.ValueSize());
      return true;
    case kFieldBoolean:
      text = IntegerOf(node) ? "TRUE" : "FALSE";
      return true;
    case kFieldDate: {
      const int64_t day = IntegerOf(node);
      if (day < 1 || day > kLastDayNumber) return false;
      text = FormatDate(static_cast<int32_t>(day));
      return true;
    }
    case kFieldTime: {
      const int64_t ms = IntegerOf(node);
      if (ms < 0 || ms >= kDayMilliseconds) return false;
      text = FormatTime(static_cast<int32_t>(ms));
      return true;
    }
    case kFieldTimestamp: {
      int32_t day = 0, ms = 0;
      if (!SplitTimestamp(Read<double>(node), day, ms)) return false;
      text = FormatTimestamp(day, ms);
      return true;
    }
    case kFieldFloat: {
      char buffer[64];
      const double value = Read<double>(node);
      if (!std::isfinite(value)) return false;
      auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
      if (error != std::errc()) return false;
      text.assign(buffer, end);
      return true;
    }
    case kFieldBcd:
      if (!NumberOf(node, number)) return false;
      text = TenThousandthsToText(number.Integer, node.Scale);
      return true;
    case kFieldBytes:
    case kFieldVarBytes:
      text.assign(reinterpret_cast<const char*>(node.Value()), node.ValueSize());
      return true;
    default:
      if (!NumberOf(node, number)) return false;
      text = std::to_string(number.Integer);
      return true;
  }
}

bool ConvertValue(const TExpToken& source, TExpToken& target, uint8_t type, uint8_t subType,
                  int32_t size, uint8_t scale) {
  if (source.IsNull || source.ValueType == 0) {
    StoreNull(target, type, subType, size);
    return true;
  }
  const TSource snapshot = Snapshot(source);
  if (snapshot.Type == type && type != kFieldBcd && !IsTextType(type, subType) &&
      type != kFieldBytes && type != kFieldVarBytes && type != kFieldBlob) {
    if (&source != &target) {
      target.SetValueSize(source.ValueSize());
      std::memcpy(target.Value(), source.Value(), static_cast<size_t>(source.ValueSize()));
    }
    target.ValueType = type;
    target.SubType = subType;
    target.Scale = scale;
    target.IsNull = 0;
    return true;
  }
  if (!Convert(snapshot, target, type, subType, size, scale)) {
    StoreNull(target, type, subType, size);
    return false;
  }
  target.SubType = subType;
  if (type != kFieldBcd) target.Scale = scale;
  return true;
}
