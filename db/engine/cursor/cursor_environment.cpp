// TCursorEnvironment (see the header).
#include "db/engine/cursor/cursor_environment.h"

#include <cstring>

#include "db/engine/errors/engine_error.h"
#include "db/sql/expressions/value_conversion.h"

void TCursorEnvironment::FetchColumn(const uint8_t* record, const TExpToken& column,
                                     TExpToken& value) {
  if (column.FieldNo == 0 || column.FieldNo > fields_.size()) {
    RaiseEngineError(VUZODE_INVALIDFIELDNAME, {}, {}, {}, {}, column.ColumnName);
  }
  const FieldDescriptor& field = fields_[column.FieldNo - 1];
  if (field.IsAutoIncrement()) {
    value.IsNull = 0;
    std::memcpy(value.Value(), record + kRowIdOffset, 4);
    return;
  }
  const uint8_t* at = record + field.Offset;
  if (at[0] == 0 || field.Type == kFieldBlob) {
    StoreNull(value, column.ValueType, column.SubType, column.ValueSize());
    return;
  }
  value.IsNull = 0;
  if (field.Type == kFieldString) {
    const size_t room = field.StoredLength > 0 ? field.StoredLength - 1u : 0u;
    const size_t length = strnlen(reinterpret_cast<const char*>(at + 1), room);
    std::memcpy(value.Value(), at + 1, length);
    value.Value()[length] = 0;
    return;
  }
  std::memcpy(value.Value(), at + 1, field.StoredLength);
}

bool TCursorEnvironment::ColumnImage(const TExpToken& column, size_t& offset) {
  if (column.FieldNo == 0 || column.FieldNo > fields_.size()) return false;
  const FieldDescriptor& field = fields_[column.FieldNo - 1];
  if (field.IsAutoIncrement() || field.Type == kFieldBlob || field.Computed) return false;
  offset = field.Offset;
  return true;
}
