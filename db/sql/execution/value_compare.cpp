// Field comparison by type over result records (see value_compare.h).
#include "db/sql/execution/value_compare.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "db/sql/expressions/exp_token.h"
#include "db/sql/expressions/value_conversion.h"
#include "db/storage/index/index_key.h"
#include "db/storage/locale/locale_compare.h"

namespace {

template <typename T>
T Load(const uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

double StoredNumber(uint8_t type, const uint8_t* value) {
  if (IsIntegerKind(type)) return static_cast<double>(StoredInteger(type, value));
  switch (type) {
    case kFieldFloat:
    case kFieldTimestamp:
      return Load<double>(value);
    case kFieldBcd:
      return static_cast<double>(BcdToTenThousandths(value)) / 10000.0;
    default:
      return 0;
  }
}

bool IsIntegerKind(uint8_t type) {
  switch (type) {
    case kFieldSmallInt:
    case kFieldBoolean:
    case kFieldWord:
    case kFieldDate:
    case kFieldInteger:
    case kFieldTime:
    case kFieldInt32:
    case kFieldLargeInt:
      return true;
    default:
      return false;
  }
}

int64_t StoredInteger(uint8_t type, const uint8_t* value) {
  switch (type) {
    case kFieldSmallInt:
      return Load<int16_t>(value);
    case kFieldBoolean:
    case kFieldWord:
      return Load<uint16_t>(value);
    case kFieldLargeInt:
      return Load<int64_t>(value);
    default:
      return Load<int32_t>(value);
  }
}

int CompareFieldValues(const FieldDescriptor& field, const uint8_t* a, const uint8_t* b,
                       const TCompareOptions& options) {
  const uint8_t* x = a + field.Offset;
  const uint8_t* y = b + field.Offset;
  if (x[0] == 0 || y[0] == 0) return Order<int>(x[0] != 0, y[0] != 0);
  ++x, ++y;
  switch (field.Type) {
    case kFieldString: {
      const size_t room = field.StoredLength > 0 ? field.StoredLength - 1u : 0u;
      const std::string_view s(reinterpret_cast<const char*>(x),
                               strnlen(reinterpret_cast<const char*>(x), room));
      const std::string_view t(reinterpret_cast<const char*>(y),
                               strnlen(reinterpret_cast<const char*>(y), room));
      if (options.LanguageId == 0 && !options.NoCase) return s.compare(t) < 0 ? -1 : s != t;
      return LocaleCompare(options.LanguageId, options.SortId, s, t, options.NoCase);
    }
    case kFieldSmallInt:
      return Order(Load<int16_t>(x), Load<int16_t>(y));
    case kFieldBoolean:
    case kFieldWord:
      return Order(Load<uint16_t>(x), Load<uint16_t>(y));
    case kFieldDate:
    case kFieldInteger:
    case kFieldTime:
    case kFieldInt32:
      return Order(Load<int32_t>(x), Load<int32_t>(y));
    case kFieldLargeInt:
      return Order(Load<int64_t>(x), Load<int64_t>(y));
    case kFieldFloat:
    case kFieldTimestamp:
      return Order(Load<double>(x), Load<double>(y));
    case kFieldBcd:
      return Order(BcdToTenThousandths(x), BcdToTenThousandths(y));
    default: {
      const int c = std::memcmp(x, y, field.StoredLength);
      return c < 0 ? -1 : c > 0;
    }
  }
}

void NormaliseField(const FieldDescriptor& field, uint8_t* record) {
  uint8_t* at = record + field.Offset;
  if (at[0] == 0) {
    std::memset(at + 1, 0, field.StoredLength);
    return;
  }
  if (field.Type != kFieldString) return;
  const size_t room = field.StoredLength > 0 ? field.StoredLength - 1u : 0u;
  const size_t length = strnlen(reinterpret_cast<const char*>(at + 1), room);
  std::memset(at + 1 + length, 0, field.StoredLength - length);
  // An empty string is stored as NULL.
  if (length == 0) at[0] = 0;
}

void StoreValue(const FieldDescriptor& field, const TExpToken& value, TExpToken& scratch,
                uint8_t* record) {
  uint8_t* at = record + field.Offset;
  const TExpToken* from = &value;
  if (!value.IsNull && value.ValueType != field.Type) {
    const int32_t size = field.Type == kFieldString ? field.StoredLength : field.Size;
    if (!ConvertValue(value, scratch, field.Type, field.SubType, size, field.Scale) ||
        scratch.IsNull) {
      std::memset(at, 0, 1u + field.StoredLength);
      return;
    }
    from = &scratch;
  }
  std::memset(at, 0, 1u + field.StoredLength);
  if (from->IsNull) return;
  PutFieldValue(field, *from, at);
}

void PutFieldValue(const FieldDescriptor& field, const TExpToken& value, uint8_t* at) {
  if (field.Type == kFieldString) {
    const std::string_view text = value.StringValue();
    const size_t length = std::min<size_t>(text.size(), field.StoredLength - 1u);
    if (length == 0) return;
    std::memcpy(at + 1, text.data(), length);
  } else {
    std::memcpy(at + 1, value.Value(),
                std::min<size_t>(field.StoredLength, static_cast<size_t>(value.ValueSize())));
  }
  at[0] = 1;
}

void CopyField(const FieldDescriptor& source, const uint8_t* from, const FieldDescriptor& target,
               uint8_t* to) {
  uint8_t* at = to + target.Offset;
  if (source.IsAutoIncrement()) {
    at[0] = 1;
    std::memcpy(at + 1, from + kRowIdOffset, 4);
    return;
  }
  std::memcpy(at, from + source.Offset, 1u + std::min(source.StoredLength, target.StoredLength));
  NormaliseField(target, to);
}
