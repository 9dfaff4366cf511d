// Comparing and normalising the values of result records. A result record has the layout of
// a table record (the 9-byte header, then per field an indicator byte and the stored value);
// the rows a query collects are kept in that layout until they are written to the result
// table, so grouping, de-duplication and ordering work on the same bytes.
//
// Invariants:
//   (1) A normalised field (NormaliseField) has every byte after a string's terminator zero and
//       a NULL field's value bytes zero, so two equal values have equal bytes: hashing and
//       byte comparison of normalised fields agree with CompareFieldValues == 0 (NOCASE aside).
//   (2) NULL orders before every value, as in an ascending index.
#pragma once

#include <cstdint>

#include "db/storage/data/field_types.h"

struct TCompareOptions {
  bool NoCase = false;
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;
};

// Compares field in the records a and b: negative, 0 or positive.
int CompareFieldValues(const FieldDescriptor& field, const uint8_t* a, const uint8_t* b,
                       const TCompareOptions& options);

// Invariant (1) for field in record.
void NormaliseField(const FieldDescriptor& field, uint8_t* record);

// The value of a numeric, boolean, date or time field's stored bytes as a double.
double StoredNumber(uint8_t type, const uint8_t* value);
// Whether type is an integer kind (small, large and 32-bit integers, word, boolean, date,
// time): CompareFieldValues orders its values as StoredInteger's numbers.
bool IsIntegerKind(uint8_t type);
// The stored bytes of an integer-kind field as a number.
int64_t StoredInteger(uint8_t type, const uint8_t* value);

class TExpToken;

// Writes value into field of record (indicator and stored bytes), converting it through
// scratch when its type differs from the field's; a value that cannot be converted, and an
// empty string, is stored as NULL.
void StoreValue(const FieldDescriptor& field, const TExpToken& value, TExpToken& scratch,
                uint8_t* record);
// Writes value, not NULL and already of field's type, into the cleared slot at (indicator and
// stored bytes): a string is cut to the column, and the empty string stays NULL.
void PutFieldValue(const FieldDescriptor& field, const TExpToken& value, uint8_t* at);
// Copies field source of a source record into field target of a result record.
void CopyField(const FieldDescriptor& source, const uint8_t* from, const FieldDescriptor& target,
               uint8_t* to);
