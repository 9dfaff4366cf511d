// TQueryStatement::BindParameters: the host's parameter values into the "?" nodes. The values
// are laid out like a record of the descriptors' fields:
//
//   | At descriptor.Offset | Size                    | Holds                                |
//   |----------------------|-------------------------|--------------------------------------|
//   | +0                   | 1                       | indicator: 0 NULL, else a value      |
//   | +1                   | StoredLength            | the value (every type but BLOB)      |
//   | +1                   | 4                       | BLOB: content length (native order)  |
//   | +5                   | pointer                 | BLOB: the content                    |
//
// A memo's content gets a terminating zero (value size = length + 1). Every descriptor is
// checked against the buffer before anything is read from it.
#include <cstring>
#include <limits>
#include <string>

#include "db/sql/statements/query_statement.h"
#include "db/storage/data/field_types.h"

void TQueryStatement::BindParameters(std::span<const FieldDescriptor> descriptors,
                                     std::span<const uint8_t> values) {
  if (descriptors.size() != parameters_.size())
    parser_.Fail(std::to_string(descriptors.size()) + " parameter values given for " +
                 std::to_string(parameters_.size()) + " parameters");
  for (size_t i = 0; i < descriptors.size(); ++i) {
    const FieldDescriptor& descriptor = descriptors[i];
    TExpToken& node = *parameters_[i];
    const std::string number = std::to_string(i + 1);
    if (!IsValidFieldType(descriptor.Type))
      parser_.Fail("Invalid data type given for parameter " + number);
    const bool blob = descriptor.Type == kFieldBlob;
    const size_t size = 1 + (blob ? 4 + sizeof(const uint8_t*) : descriptor.StoredLength);
    if (descriptor.Offset > values.size() || size > values.size() - descriptor.Offset)
      parser_.Fail("The value of parameter " + number + " lies outside the parameter values");
    const uint8_t* at = values.data() + descriptor.Offset;
    node.ValueType = descriptor.Type;
    node.SubType = descriptor.SubType;
    node.Scale = blob ? 0 : descriptor.Scale;
    node.IsNull = at[0] == 0 ? 1 : 0;
    if (!blob) {
      node.SetValueSize(descriptor.StoredLength);
      std::memcpy(node.Value(), at + 1, descriptor.StoredLength);
      continue;
    }
    uint32_t length = 0;
    const uint8_t* content = nullptr;
    std::memcpy(&length, at + 1, 4);
    std::memcpy(&content, at + 5, sizeof content);
    const bool memo = descriptor.SubType == kSubtypeMemo;
    if (length > static_cast<uint32_t>(std::numeric_limits<int32_t>::max() - 1) ||
        (length > 0 && content == nullptr))
      parser_.Fail("Invalid BLOB value given for parameter " + number);
    node.SetValueSize(static_cast<int32_t>(length + (memo ? 1 : 0)));
    if (length > 0) std::memcpy(node.Value(), content, length);
    if (memo) node.Value()[length] = 0;
  }
}
