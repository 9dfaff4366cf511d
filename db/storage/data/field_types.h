// Field types of a table and the field descriptor: the type and subtype codes every layer of the
// engine cites (cursors, filters, expressions, SQL, components), the stored length of each type,
// and FieldDescriptor, the decoded form of one 768-byte descriptor block of a data file.
//
// Every field of a record is an indicator byte (1 value present, 0 null) followed by its value in
// the stored length below; an auto-increment field is the exception: it is the record's row id
// (4 bytes at record offset 5), has no indicator and is never null.
//
//   | Code | Kind             | Stored length | Value (little-endian) |
//   |------|------------------|---------------|----------------------------------------------------|
//   |  1   | string           | size + 1      | characters, zero byte; blanks trimmed; "" is null |
//   |  2   | date             | 4             | signed 32 day number, 0001-01-01 = day 1 | |  3   |
//   BLOB             | 8             | signed 32 first block, signed 32 revision          | |  4 |
//   boolean          | 2             | unsigned 16, 0 false, 1 true                       | |  5 |
//   small integer    | 2             | signed 16                                          | |  6 |
//   integer          | 4             | signed 32 (subtype 29: auto-increment, see above)  | |  7 |
//   float            | 8             | IEEE 754 double (subtype 21: money)                | |  8 |
//   BCD              | 34            | precision, sign-and-places, 32 digit bytes         | |  9 |
//   bytes            | size          | raw bytes                                          | | 10 |
//   time             | 4             | signed 32 milliseconds since midnight              | | 11 |
//   timestamp        | 8             | double: day number * 86400000 + ms of the day      | | 12 |
//   word             | 2             | unsigned 16                                        | | 13 |
//   32-bit integer   | 4             | signed 32                                          | | 14 |
//   (internal)       | 10            | raw bytes                                          | | 15 |
//   variable bytes   | size          | raw bytes                                          | | 18 |
//   large integer    | 8             | signed 64                                          |
//
// No other code is valid; a data file holding one is corrupt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Type codes (descriptor byte 84).
inline constexpr uint8_t kFieldString = 1;
inline constexpr uint8_t kFieldDate = 2;
inline constexpr uint8_t kFieldBlob = 3;
inline constexpr uint8_t kFieldBoolean = 4;
inline constexpr uint8_t kFieldSmallInt = 5;
inline constexpr uint8_t kFieldInteger = 6;
inline constexpr uint8_t kFieldFloat = 7;
inline constexpr uint8_t kFieldBcd = 8;
inline constexpr uint8_t kFieldBytes = 9;
inline constexpr uint8_t kFieldTime = 10;
inline constexpr uint8_t kFieldTimestamp = 11;
inline constexpr uint8_t kFieldWord = 12;
inline constexpr uint8_t kFieldInt32 = 13;
inline constexpr uint8_t kFieldInternal = 14;
inline constexpr uint8_t kFieldVarBytes = 15;
inline constexpr uint8_t kFieldLargeInt = 18;

// Subtype codes (descriptor byte 85); 0 when none.
inline constexpr uint8_t kSubtypeNone = 0;
inline constexpr uint8_t kSubtypeMoney = 21;          // of type 7
inline constexpr uint8_t kSubtypeMemo = 22;           // of type 3
inline constexpr uint8_t kSubtypeBinary = 23;         // of type 3
inline constexpr uint8_t kSubtypeFormattedMemo = 24;  // of type 3
inline constexpr uint8_t kSubtypeBinary25 = 25;       // of type 3, shown as a plain BLOB
inline constexpr uint8_t kSubtypeGraphic = 26;        // of type 3
inline constexpr uint8_t kSubtypeBinary27 = 27;       // of type 3, shown as a plain BLOB
inline constexpr uint8_t kSubtypeTypedBinary = 28;    // of type 3
inline constexpr uint8_t kSubtypeAutoIncrement = 29;  // of type 6
inline constexpr uint8_t kSubtypeFixedChar = 31;      // of type 1

// Character case of string values (descriptor byte 93).
inline constexpr uint8_t kCaseAsGiven = 0;
inline constexpr uint8_t kCaseLower = 1;
inline constexpr uint8_t kCaseUpper = 2;

// Sizes of the format.
inline constexpr size_t kFieldDescriptorSize = 768;
inline constexpr size_t kMaxFieldCount = 1024;
inline constexpr size_t kMaxBlobFieldCount = 128;
inline constexpr size_t kMaxFieldNameLength = 30;
inline constexpr size_t kMaxFieldTextLength = 50;   // description, minimum, maximum, default
inline constexpr uint8_t kMaxSizedFieldSize = 250;  // size of types 1, 9 and 15
inline constexpr uint8_t kMaxBcdScale = 4;
inline constexpr size_t kBcdValueSize = 34;
inline constexpr size_t kRecordHeaderSize = 9;  // status, number or link, row id
inline constexpr size_t kRowIdOffset = 5;       // where an auto-increment field lives
inline constexpr size_t kMaxRecordSize = 65535;

// True for the codes listed above.
bool IsValidFieldType(uint8_t type);
// True for types 1, 9 and 15, whose size is declared (1 to 250); every other type has size 0.
bool IsSizedFieldType(uint8_t type);
// The stored length of a value of type (with the declared size for sized types); 0 for an
// invalid type. Never more than 251.
uint16_t StoredLengthOf(uint8_t type, uint8_t size);

// One field descriptor, decoded. Byte offsets of the 768-byte block (field_descriptor.cpp holds
// the codec and its layout table):
//   0 FieldNumber, 2 Name, 33 Description, 84 Type, 85 SubType, 86 Size, 87 Scale,
//   88 StoredLength, 89 scale copy, 90 Offset, 92 Required, 93 CharCase, 94 MinValue,
//   145 MaxValue, 196 DefaultValue, 247 Computed, 248..767 unused (written as zeros).
struct FieldDescriptor {
  uint16_t FieldNumber = 0;  // 1-based, equal to the descriptor's position
  std::string Name;          // 1 to 30 characters
  std::string Description;   // at most 50 characters
  uint8_t Type = 0;          // one of the type codes above; never 0 in a valid table
  uint8_t SubType = 0;       // one of the subtype codes, 0 when none
  uint8_t Size = 0;          // declared size for sized types, else 0
  uint8_t Scale = 0;         // decimal places of type 8 (0 to 4), else 0
  uint8_t StoredLength = 0;  // bytes of the value, without the indicator byte
  uint16_t Offset = 0;       // offset of the indicator byte in the record (5 for auto-increment)
  bool Required = false;     // a value must be present
  uint8_t CharCase = kCaseAsGiven;
  std::string MinValue;  // literal texts of the field's type, empty when none
  std::string MaxValue;
  std::string DefaultValue;
  bool Computed = false;  // byte 247: takes no room in the record (set only in memory)

  // An integer field of subtype 29: the record's row id.
  bool IsAutoIncrement() const { return Type == kFieldInteger && SubType == kSubtypeAutoIncrement; }
  // Bytes the field takes in the record: stored length + 1, or 0 for auto-increment and computed
  // fields.
  uint32_t RecordBytes() const;
};

// Writes descriptor into the 768 bytes at block. Texts longer than their room are cut (name to
// 30, the others to 50 characters); bytes 248..767 are zeroed. Byte 89 receives Scale.
void EncodeFieldDescriptor(const FieldDescriptor& descriptor, uint8_t* block);

// Reads the 768 bytes at block into descriptor. Returns false, leaving descriptor unspecified,
// when a length byte of a text exceeds the text's room (a corrupt block); every other value is
// taken as stored and must be checked by the caller (type, size, offset).
bool DecodeFieldDescriptor(const uint8_t* block, FieldDescriptor& descriptor);
