// Field value encodings in a record image, checked against bytes worked out by hand.
#include "db/storage/data/field_value.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "tests/db/storage/data/data_file_test_util.h"
#include "tests/db/storage/engine_code.h"

namespace {

std::vector<uint8_t> ValueBytes(const std::vector<uint8_t>& image, const FieldDescriptor& d) {
  return {image.begin() + d.Offset, image.begin() + d.Offset + 1 + d.StoredLength};
}

using Bytes = std::vector<uint8_t>;

TEST(FieldValue, IntegerTypesAreLittleEndianAfterTheIndicator) {
  std::vector<uint8_t> image(64);
  const FieldDescriptor small = Field("S", kFieldSmallInt, 9);
  SetFieldInteger(image, small, -2);
  EXPECT_EQ(ValueBytes(image, small), (Bytes{1, 0xFE, 0xFF}));
  const FieldDescriptor word = Field("W", kFieldWord, 9);
  SetFieldInteger(image, word, 0xABCD);
  EXPECT_EQ(ValueBytes(image, word), (Bytes{1, 0xCD, 0xAB}));
  const FieldDescriptor integer = Field("I", kFieldInteger, 9);
  SetFieldInteger(image, integer, 0x01020304);
  EXPECT_EQ(ValueBytes(image, integer), (Bytes{1, 4, 3, 2, 1}));
  const FieldDescriptor date = Field("D", kFieldDate, 9);
  SetFieldInteger(image, date, 693594);  // 1899-12-30 = 0x000A955A
  EXPECT_EQ(ValueBytes(image, date), (Bytes{1, 0x5A, 0x95, 0x0A, 0}));
  const FieldDescriptor big = Field("L", kFieldLargeInt, 9);
  SetFieldInteger(image, big, -1LL << 40);
  EXPECT_EQ(ValueBytes(image, big), (Bytes{1, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF}));
  int64_t value = 0;
  ASSERT_TRUE(GetFieldInteger(image, big, value));
  EXPECT_EQ(value, -1LL << 40);
  const FieldDescriptor flag = Field("B", kFieldBoolean, 9);
  SetFieldInteger(image, flag, 7);  // any true value is stored as 1
  EXPECT_EQ(ValueBytes(image, flag), (Bytes{1, 1, 0}));
}

TEST(FieldValue, FloatsAndTimestampsAreIeeeDoubles) {
  std::vector<uint8_t> image(32);
  const FieldDescriptor money = Field("M", kFieldFloat, 9);
  SetFieldFloat(image, money, 1.0);
  EXPECT_EQ(ValueBytes(image, money), (Bytes{1, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
  const FieldDescriptor stamp = Field("T", kFieldTimestamp, 9);
  SetFieldFloat(image, stamp, -2.5);
  double value = 0;
  ASSERT_TRUE(GetFieldFloat(image, stamp, value));
  EXPECT_EQ(value, -2.5);
}

TEST(FieldValue, StringsDropTrailingBlanksAndEmptyIsNull) {
  std::vector<uint8_t> image(32, 0xEE);
  const FieldDescriptor s = Field("S", kFieldString, 9, 4);
  SetFieldString(image, s, "ab  ");
  EXPECT_EQ(ValueBytes(image, s), (Bytes{1, 'a', 'b', 0, 0, 0}));
  SetFieldString(image, s, "abcdefg");  // cut to the declared size
  std::string text;
  ASSERT_TRUE(GetFieldString(image, s, text));
  EXPECT_EQ(text, "abcd");
  SetFieldString(image, s, "   ");
  EXPECT_TRUE(IsFieldNull(image, s));
  EXPECT_EQ(ValueBytes(image, s), (Bytes{0, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(GetFieldString(image, s, text));
  EXPECT_EQ(text, "abcd");  // untouched for null
}

TEST(FieldValue, DamagedStringWithoutTerminatorStopsAtItsSize) {
  std::vector<uint8_t> image(9 + 1 + 5 + 8, 'x');
  const FieldDescriptor s = Field("S", kFieldString, 9, 4);
  image[9] = 1;
  std::string text;
  ASSERT_TRUE(GetFieldString(image, s, text));
  EXPECT_EQ(text, "xxxx");
}

TEST(FieldValue, AutoIncrementIsTheRowIdAndNeverNull) {
  std::vector<uint8_t> image(16);
  FieldDescriptor id = Field("ID", kFieldInteger, kRowIdOffset);
  id.SubType = kSubtypeAutoIncrement;
  image[5] = 0x2A;
  int64_t value = 0;
  EXPECT_FALSE(IsFieldNull(image, id));
  ASSERT_TRUE(GetFieldInteger(image, id, value));
  EXPECT_EQ(value, 42);
  SetFieldInteger(image, id, 0x0102);
  EXPECT_EQ(image[4], 0);  // the record number is untouched
  EXPECT_EQ(image[5], 2);
  EXPECT_EQ(image[6], 1);
  EXPECT_EQ(EngineCodeOf([&] { SetFieldNull(image, id); }), VUZODE_INVALIDFLDTYPE);
}

TEST(FieldValue, BytesBcdAndBlobReferences) {
  std::vector<uint8_t> image(64);
  const FieldDescriptor raw = Field("R", kFieldBytes, 9, 3);
  const uint8_t two[] = {7, 8};
  SetFieldBytes(image, raw, two);
  EXPECT_EQ(ValueBytes(image, raw), (Bytes{1, 7, 8, 0}));
  const uint8_t four[] = {1, 2, 3, 4};
  EXPECT_EQ(EngineCodeOf([&] { SetFieldBytes(image, raw, four); }), VUZODE_OUTOFRANGE);
  const FieldDescriptor bcd = Field("N", kFieldBcd, 9);
  std::vector<uint8_t> packed(34, 0x11);
  SetFieldBytes(image, bcd, packed);
  std::vector<uint8_t> back;
  ASSERT_TRUE(GetFieldBytes(image, bcd, back));
  EXPECT_EQ(back, packed);
  const FieldDescriptor blob = Field("B", kFieldBlob, 9);
  SetFieldBlob(image, blob, {0x10, -1});
  EXPECT_EQ(ValueBytes(image, blob), (Bytes{1, 0x10, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(FieldValue, RefusesValuesOutOfRangeAndWrongTypes) {
  std::vector<uint8_t> image(32);
  EXPECT_EQ(EngineCodeOf([&] { SetFieldInteger(image, Field("S", kFieldSmallInt, 9), 32768); }),
            VUZODE_OUTOFRANGE);
  EXPECT_EQ(EngineCodeOf([&] { SetFieldInteger(image, Field("W", kFieldWord, 9), -1); }),
            VUZODE_OUTOFRANGE);
  EXPECT_EQ(EngineCodeOf([&] { SetFieldInteger(image, Field("I", kFieldInteger, 9), 1LL << 31); }),
            VUZODE_OUTOFRANGE);
  EXPECT_EQ(EngineCodeOf([&] { SetFieldFloat(image, Field("I", kFieldInteger, 9), 1.0); }),
            VUZODE_INVALIDFLDTYPE);
  std::string text;
  EXPECT_EQ(EngineCodeOf([&] { GetFieldString(image, Field("I", kFieldInteger, 9), text); }),
            VUZODE_INVALIDFLDTYPE);
}

TEST(FieldValue, DescriptorOutsideTheRecordIsCorruptNotACrash) {
  std::vector<uint8_t> image(20);
  int64_t value = 0;
  EXPECT_EQ(EngineCodeOf([&] { GetFieldInteger(image, Field("L", kFieldLargeInt, 12), value); }),
            VUZODE_FILECORRUPT);  // 12 + 1 + 8 > 20
  EXPECT_EQ(EngineCodeOf([&] { GetFieldInteger(image, Field("L", kFieldLargeInt, 11), value); }),
            0);  // exactly fits
  EXPECT_EQ(EngineCodeOf([&] { IsFieldNull(image, Field("S", kFieldSmallInt, 3)); }),
            VUZODE_FILECORRUPT);  // inside the record header
  EXPECT_EQ(EngineCodeOf([&] { IsFieldNull(image, Field("X", 16, 9)); }), VUZODE_FILECORRUPT);
}

}  // namespace
