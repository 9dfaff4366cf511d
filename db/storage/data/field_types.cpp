// Type codes and stored lengths of fields (see field_types.h for the table).
#include "db/storage/data/field_types.h"

bool IsValidFieldType(uint8_t type) {
  return (type >= kFieldString && type <= kFieldVarBytes) || type == kFieldLargeInt;
}

bool IsSizedFieldType(uint8_t type) {
  return type == kFieldString || type == kFieldBytes || type == kFieldVarBytes;
}

uint16_t StoredLengthOf(uint8_t type, uint8_t size) {
  switch (type) {
    case kFieldString:
      return static_cast<uint16_t>(size + 1);  // the terminating zero byte
    case kFieldBytes:
    case kFieldVarBytes:
      return size;
    case kFieldDate:
    case kFieldInteger:
    case kFieldTime:
    case kFieldInt32:
      return 4;
    case kFieldBlob:
    case kFieldFloat:
    case kFieldTimestamp:
    case kFieldLargeInt:
      return 8;
    case kFieldBoolean:
    case kFieldSmallInt:
    case kFieldWord:
      return 2;
    case kFieldBcd:
      return static_cast<uint16_t>(kBcdValueSize);
    case kFieldInternal:
      return 10;
    default:
      return 0;
  }
}

uint32_t FieldDescriptor::RecordBytes() const {
  if (IsAutoIncrement() || Computed) return 0;
  return static_cast<uint32_t>(StoredLength) + 1;
}
