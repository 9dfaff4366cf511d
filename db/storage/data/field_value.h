// Reading and writing one field's value in a record image, little-endian, as field_types.h lays
// the types out. These are the only functions that touch a field's bytes.
//
// Every function first checks that the descriptor's bytes lie inside the image (raising
// VUZODE_FILECORRUPT otherwise) and that the descriptor's type suits the call (raising
// VUZODE_INVALIDFLDTYPE otherwise), so a bad descriptor can never reach outside the buffer.
// Getters return false for a null value and leave the output untouched. An auto-increment field
// is the row id at offset 5: it has no indicator and is never null.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/storage/data/field_types.h"

using TRecordImage = std::span<uint8_t>;
using TConstRecordImage = std::span<const uint8_t>;

// The first block and revision of a BLOB field.
struct TBlobReference {
  int32_t FirstBlock = 0;
  int32_t Revision = 0;
};

bool IsFieldNull(TConstRecordImage image, const FieldDescriptor& field);
// Indicator 0 and zero value bytes. An auto-increment field cannot be null: VUZODE_INVALIDFLDTYPE.
void SetFieldNull(TRecordImage image, const FieldDescriptor& field);

// Integer-valued types: 2 date (day number), 4 boolean (0/1), 5, 6, 10 time (ms), 12, 13, 18.
bool GetFieldInteger(TConstRecordImage image, const FieldDescriptor& field, int64_t& value);
// Raises VUZODE_OUTOFRANGE when value does not fit the type (a boolean takes any value, stored as
// 0 or 1).
void SetFieldInteger(TRecordImage image, const FieldDescriptor& field, int64_t value);

// Types 7 (float, money) and 11 (timestamp: day number * 86400000 + ms).
bool GetFieldFloat(TConstRecordImage image, const FieldDescriptor& field, double& value);
void SetFieldFloat(TRecordImage image, const FieldDescriptor& field, double value);

// Type 1. The stored text ends at its first zero byte (or its declared size).
bool GetFieldString(TConstRecordImage image, const FieldDescriptor& field, std::string& value);
// Trailing blanks are removed; the text is cut to the declared size; what remains empty is
// stored as null.
void SetFieldString(TRecordImage image, const FieldDescriptor& field, std::string_view value);

// Types 8 (the 34 bytes of the packed decimal), 9, 14 and 15: the stored bytes.
bool GetFieldBytes(TConstRecordImage image, const FieldDescriptor& field,
                   std::vector<uint8_t>& value);
// Raises VUZODE_OUTOFRANGE when value is longer than the stored length; a shorter value is
// followed by zeros.
void SetFieldBytes(TRecordImage image, const FieldDescriptor& field,
                   std::span<const uint8_t> value);

// Type 3.
bool GetFieldBlob(TConstRecordImage image, const FieldDescriptor& field, TBlobReference& value);
void SetFieldBlob(TRecordImage image, const FieldDescriptor& field, const TBlobReference& value);
