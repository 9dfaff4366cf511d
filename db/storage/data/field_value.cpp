// Field value codecs over a record image (see field_value.h and field_types.h).
#include "db/storage/data/field_value.h"

#include <cstring>
#include <limits>

#include "db/engine/errors/engine_error.h"
#include "db/storage/le_codec.h"

namespace {

// Where the value of field starts (after its indicator; the row id for auto-increment), checked
// against the image.
size_t ValueAt(size_t imageSize, const FieldDescriptor& field) {
  if (field.IsAutoIncrement()) {
    if (imageSize < kRecordHeaderSize) {
      RaiseEngineError(VUZODE_FILECORRUPT, {}, {}, {}, {}, field.Name, {}, "record too short");
    }
    return kRowIdOffset;
  }
  const size_t end = size_t{field.Offset} + 1 + StoredLengthOf(field.Type, field.Size);
  if (field.Offset < kRecordHeaderSize || end > imageSize || !IsValidFieldType(field.Type)) {
    RaiseEngineError(VUZODE_FILECORRUPT, {}, {}, {}, {}, field.Name, {}, "field outside record");
  }
  return size_t{field.Offset} + 1;
}

void RequireType(const FieldDescriptor& field, bool suits) {
  if (!suits) RaiseEngineError(VUZODE_INVALIDFLDTYPE, {}, {}, {}, {}, field.Name);
}

bool Present(TConstRecordImage image, const FieldDescriptor& field, size_t at) {
  return field.IsAutoIncrement() || image[at - 1] != 0;
}

// Marks the value present and returns where it goes, zeroing it first.
uint8_t* PrepareValue(TRecordImage image, const FieldDescriptor& field) {
  const size_t at = ValueAt(image.size(), field);
  if (!field.IsAutoIncrement()) {
    image[at - 1] = 1;
    std::memset(image.data() + at, 0, StoredLengthOf(field.Type, field.Size));
  }
  return image.data() + at;
}

bool IsIntegerType(uint8_t type) {
  switch (type) {
    case kFieldDate:
    case kFieldBoolean:
    case kFieldSmallInt:
    case kFieldInteger:
    case kFieldTime:
    case kFieldWord:
    case kFieldInt32:
    case kFieldLargeInt:
      return true;
    default:
      return false;
  }
}

bool IsRawType(uint8_t type) {
  return type == kFieldBcd || type == kFieldBytes || type == kFieldInternal ||
         type == kFieldVarBytes;
}

void RequireRange(const FieldDescriptor& field, int64_t value, int64_t low, int64_t high) {
  if (value < low || value > high) {
    RaiseEngineError(VUZODE_OUTOFRANGE, {}, {}, {}, {}, field.Name);
  }
}

}  // namespace

bool IsFieldNull(TConstRecordImage image, const FieldDescriptor& field) {
  return !Present(image, field, ValueAt(image.size(), field));
}

void SetFieldNull(TRecordImage image, const FieldDescriptor& field) {
  RequireType(field, !field.IsAutoIncrement());
  const size_t at = ValueAt(image.size(), field);
  image[at - 1] = 0;
  std::memset(image.data() + at, 0, StoredLengthOf(field.Type, field.Size));
}

bool GetFieldInteger(TConstRecordImage image, const FieldDescriptor& field, int64_t& value) {
  RequireType(field, IsIntegerType(field.Type));
  const size_t at = ValueAt(image.size(), field);
  if (!Present(image, field, at)) return false;
  const uint8_t* p = image.data() + at;
  switch (field.Type) {
    case kFieldBoolean:
      value = GetU16(p) != 0 ? 1 : 0;
      break;
    case kFieldSmallInt:
      value = GetI16(p);
      break;
    case kFieldWord:
      value = GetU16(p);
      break;
    case kFieldLargeInt:
      value = GetI64(p);
      break;
    default:  // date, integer, time, 32-bit integer
      value = GetI32(p);
      break;
  }
  return true;
}

void SetFieldInteger(TRecordImage image, const FieldDescriptor& field, int64_t value) {
  RequireType(field, IsIntegerType(field.Type));
  switch (field.Type) {
    case kFieldBoolean:
      value = value != 0 ? 1 : 0;
      break;
    case kFieldSmallInt:
      RequireRange(field, value, std::numeric_limits<int16_t>::min(),
                   std::numeric_limits<int16_t>::max());
      break;
    case kFieldWord:
      RequireRange(field, value, 0, std::numeric_limits<uint16_t>::max());
      break;
    case kFieldLargeInt:
      break;
    default:
      RequireRange(field, value, std::numeric_limits<int32_t>::min(),
                   std::numeric_limits<int32_t>::max());
      break;
  }
  uint8_t* p = PrepareValue(image, field);
  switch (field.Type) {
    case kFieldBoolean:
    case kFieldSmallInt:
    case kFieldWord:
      PutU16(p, static_cast<uint16_t>(value));
      break;
    case kFieldLargeInt:
      PutI64(p, value);
      break;
    default:
      PutI32(p, static_cast<int32_t>(value));
      break;
  }
}

bool GetFieldFloat(TConstRecordImage image, const FieldDescriptor& field, double& value) {
  RequireType(field, field.Type == kFieldFloat || field.Type == kFieldTimestamp);
  const size_t at = ValueAt(image.size(), field);
  if (!Present(image, field, at)) return false;
  value = GetF64(image.data() + at);
  return true;
}

void SetFieldFloat(TRecordImage image, const FieldDescriptor& field, double value) {
  RequireType(field, field.Type == kFieldFloat || field.Type == kFieldTimestamp);
  PutF64(PrepareValue(image, field), value);
}

bool GetFieldString(TConstRecordImage image, const FieldDescriptor& field, std::string& value) {
  RequireType(field, field.Type == kFieldString);
  const size_t at = ValueAt(image.size(), field);
  if (!Present(image, field, at)) return false;
  const char* p = reinterpret_cast<const char*>(image.data() + at);
  // The terminating zero may be missing in a damaged file: never read past the declared size.
  value.assign(p, strnlen(p, field.Size));
  return true;
}

void SetFieldString(TRecordImage image, const FieldDescriptor& field, std::string_view value) {
  RequireType(field, field.Type == kFieldString);
  if (value.size() > field.Size) value = value.substr(0, field.Size);
  const size_t zero = value.find('\0');
  if (zero != std::string_view::npos) value = value.substr(0, zero);
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  if (value.empty()) {
    SetFieldNull(image, field);
    return;
  }
  std::memcpy(PrepareValue(image, field), value.data(), value.size());
}

bool GetFieldBytes(TConstRecordImage image, const FieldDescriptor& field,
                   std::vector<uint8_t>& value) {
  RequireType(field, IsRawType(field.Type));
  const size_t at = ValueAt(image.size(), field);
  if (!Present(image, field, at)) return false;
  const uint8_t* p = image.data() + at;
  value.assign(p, p + StoredLengthOf(field.Type, field.Size));
  return true;
}

void SetFieldBytes(TRecordImage image, const FieldDescriptor& field,
                   std::span<const uint8_t> value) {
  RequireType(field, IsRawType(field.Type));
  if (value.size() > StoredLengthOf(field.Type, field.Size)) {
    RaiseEngineError(VUZODE_OUTOFRANGE, {}, {}, {}, {}, field.Name);
  }
  uint8_t* p = PrepareValue(image, field);
  if (!value.empty()) std::memcpy(p, value.data(), value.size());
}

bool GetFieldBlob(TConstRecordImage image, const FieldDescriptor& field, TBlobReference& value) {
  RequireType(field, field.Type == kFieldBlob);
  const size_t at = ValueAt(image.size(), field);
  if (!Present(image, field, at)) return false;
  value.FirstBlock = GetI32(image.data() + at);
  value.Revision = GetI32(image.data() + at + 4);
  return true;
}

void SetFieldBlob(TRecordImage image, const FieldDescriptor& field, const TBlobReference& value) {
  RequireType(field, field.Type == kFieldBlob);
  uint8_t* p = PrepareValue(image, field);
  PutI32(p, value.FirstBlock);
  PutI32(p + 4, value.Revision);
}
