// ConvertValue across types: one row per conversion, source value -> target type -> the
// target's text (or NULL) and ConvertValue's answer; with the narrowings that must give NULL
// rather than a wrapped value, and the date, time and timestamp texts.
#include "db/sql/expressions/value_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "db/sql/expressions/date_time_text.h"
#include "expression_test_util.h"

namespace {

struct TSourceValue {
  uint8_t Type;
  int64_t Integer = 0;  // integer kinds, boolean, date, time; BCD: ten-thousandths
  double Float = 0;     // float, timestamp
  const char* Text = nullptr;
  uint8_t Scale = 0;
};

TSourceValue Int(uint8_t type, int64_t value) {
  return {type, value};
}
TSourceValue Real(double value) {
  return {kFieldFloat, 0, value};
}
TSourceValue Str(const char* text) {
  return {kFieldString, 0, 0, text};
}
int32_t Day(int year, int month, int day) {
  int32_t dayNumber = 0;
  EXPECT_TRUE(DayNumberFromCivil(year, month, day, dayNumber));
  return dayNumber;
}

TSourceValue Bcd(int64_t tenThousandths, uint8_t scale) {
  return {kFieldBcd, tenThousandths, 0, nullptr, scale};
}

void Fill(const TSourceValue& value, TExpToken& node) {
  switch (value.Type) {
    case kFieldString:
      node.SetString(value.Text);
      break;
    case kFieldFloat:
      node.SetFloat(value.Float);
      break;
    case kFieldTimestamp:
      node.SetTimestamp(value.Float);
      break;
    case kFieldBcd:
      StoreBcd(node, value.Integer, value.Scale);
      break;
    default:
      ASSERT_TRUE(StoreInteger(node, value.Type, value.Integer));
  }
}

struct TCase {
  TSourceValue Source;
  uint8_t Target;
  int32_t Size;
  uint8_t Scale;
  const char* Expected;  // the target's text, "NULL" for a failed conversion
};

std::string Converted(const TCase& c, bool& answer) {
  TExpToken source, target;
  Fill(c.Source, source);
  answer = ConvertValue(source, target, c.Target, 0, c.Size, c.Scale);
  return exptest::ValueString(target);
}

TEST(ConvertValue, Table) {
  const double stamp = JoinTimestamp(Day(2004, 2, 3), (12 * 60 + 30) * 60000 + 5007);
  const TCase kCases[] = {
      // Integer narrowing: out of range is NULL, never the low bits.
      {Int(kFieldInteger, 70000), kFieldSmallInt, 2, 0, "NULL"},
      {Int(kFieldInteger, 70000), kFieldWord, 2, 0, "NULL"},
      {Int(kFieldInteger, 65535), kFieldWord, 2, 0, "65535"},
      {Int(kFieldInteger, -1), kFieldWord, 2, 0, "NULL"},
      {Int(kFieldInteger, -32768), kFieldSmallInt, 2, 0, "-32768"},
      {Int(kFieldInteger, 32768), kFieldSmallInt, 2, 0, "NULL"},
      {Int(kFieldLargeInt, 2147483648LL), kFieldInteger, 4, 0, "NULL"},
      {Int(kFieldLargeInt, -2147483648LL), kFieldInteger, 4, 0, "-2147483648"},
      {Str("70000"), kFieldSmallInt, 2, 0, "NULL"},
      {Str("-7"), kFieldWord, 2, 0, "NULL"},
      // Floats to integers drop the fraction; beyond the range or not finite is NULL.
      {Real(2.9), kFieldInteger, 4, 0, "2"},
      {Real(-2.9), kFieldInteger, 4, 0, "-2"},
      {Real(1e300), kFieldInteger, 4, 0, "NULL"},
      {Real(1e300), kFieldLargeInt, 8, 0, "NULL"},
      {Real(-1e19), kFieldLargeInt, 8, 0, "NULL"},
      {Real(std::numeric_limits<double>::infinity()), kFieldInteger, 4, 0, "NULL"},
      {Real(std::nan("")), kFieldSmallInt, 2, 0, "NULL"},
      {Real(32767.9), kFieldSmallInt, 2, 0, "32767"},
      // BCD holds 64-bit ten-thousandths; beyond that is NULL. Rounding half away from zero.
      {Real(1e15), kFieldBcd, 34, 4, "NULL"},
      {Real(9e14), kFieldBcd, 34, 0, "900000000000000"},
      {Int(kFieldLargeInt, 922337203685477LL), kFieldBcd, 34, 0, "922337203685477"},
      {Int(kFieldLargeInt, 922337203685478LL), kFieldBcd, 34, 0, "NULL"},
      {Int(kFieldLargeInt, -922337203685478LL), kFieldBcd, 34, 0, "NULL"},
      {Real(0.00005), kFieldBcd, 34, 4, "0.0001"},
      {Real(-0.00005), kFieldBcd, 34, 4, "-0.0001"},
      {Bcd(-25000, 2), kFieldInteger, 4, 0, "-2"},
      {Bcd(123456, 4), kFieldFloat, 8, 0, "12.3456"},
      {Str("12.5"), kFieldBcd, 34, 1, "12.5"},
      // Texts to numbers: decimal integer text for integer kinds, "." for fractions.
      {Str("12"), kFieldInteger, 4, 0, "12"},
      {Str("12abc"), kFieldInteger, 4, 0, "NULL"},
      {Str("1.5"), kFieldInteger, 4, 0, "NULL"},
      {Str("1.5"), kFieldFloat, 8, 0, "1.5"},
      {Str("abc"), kFieldFloat, 8, 0, "NULL"},
      {Str("-9223372036854775808"), kFieldLargeInt, 8, 0, "-9223372036854775808"},
      {Str("9223372036854775808"), kFieldLargeInt, 8, 0, "NULL"},
      // Booleans.
      {Str("true"), kFieldBoolean, 2, 0, "TRUE"},
      {Str(" FALSE "), kFieldBoolean, 2, 0, "FALSE"},
      {Str("yes"), kFieldBoolean, 2, 0, "NULL"},
      {Int(kFieldInteger, 5), kFieldBoolean, 2, 0, "TRUE"},
      {Int(kFieldInteger, 0), kFieldBoolean, 2, 0, "FALSE"},
      {Int(kFieldBoolean, 1), kFieldInteger, 4, 0, "1"},
      {Int(kFieldBoolean, 1), kFieldString, 10, 0, "'TRUE'"},
      // Dates: any number of digits, a real calendar date; the text pads the year to 4.
      {Str("2004-2-3"), kFieldDate, 4, 0, "2004-02-03"},
      {Str("2004-02-30"), kFieldDate, 4, 0, "NULL"},
      {Str("2004-02-29"), kFieldDate, 4, 0, "2004-02-29"},
      {Str("2003-02-29"), kFieldDate, 4, 0, "NULL"},
      {Str("5-1-2"), kFieldDate, 4, 0, "0005-01-02"},
      {Str("2004-02"), kFieldDate, 4, 0, "NULL"},
      {Str("2004-2-3"), kFieldString, 21, 0, "'2004-2-3'"},
      // Times: AM/PM, seconds and milliseconds only when present, milliseconds unpadded.
      {Str("12:30 AM"), kFieldTime, 4, 0, "00:30"},
      {Str("12:30 PM"), kFieldTime, 4, 0, "12:30"},
      {Str("1:05 pm"), kFieldTime, 4, 0, "13:05"},
      {Str("12:30:05.007"), kFieldTime, 4, 0, "12:30:05.7"},
      {Str("12:30:00.250"), kFieldTime, 4, 0, "12:30:00.250"},
      {Str("24:00"), kFieldTime, 4, 0, "NULL"},
      {Str("12:60"), kFieldTime, 4, 0, "NULL"},
      {Int(kFieldTime, 45005000), kFieldString, 21, 0, "'12:30:05'"},
      // Timestamps: date and time at the first blank; a lone time on 1899-12-30.
      {Str("2004-2-3 1:05 PM"), kFieldTimestamp, 8, 0, "2004-02-03 13:05"},
      {Str("13:05"), kFieldTimestamp, 8, 0, "1899-12-30 13:05"},
      {Str("2004-02-03"), kFieldTimestamp, 8, 0, "2004-02-03 00:00"},
      {Str("2004-02-30 10:00"), kFieldTimestamp, 8, 0, "NULL"},
      {{kFieldTimestamp, 0, stamp}, kFieldDate, 4, 0, "2004-02-03"},
      {{kFieldTimestamp, 0, stamp}, kFieldTime, 4, 0, "12:30:05.7"},
      {Int(kFieldDate, Day(2004, 2, 3)), kFieldTimestamp, 8, 0, "2004-02-03 00:00"},
      {Int(kFieldTime, 45000000), kFieldTimestamp, 8, 0, "1899-12-30 12:30"},
      // Strings are cut to the target size (zero included).
      {Str("abcdef"), kFieldString, 4, 0, "'abc'"},
      {Int(kFieldInteger, -123456), kFieldString, 4, 0, "'-12'"},
      {Real(3.5), kFieldString, 21, 0, "'3.5'"},
  };
  for (const TCase& c : kCases) {
    bool answer = false;
    const std::string result = Converted(c, answer);
    const std::string what =
        std::string("source type ") + std::to_string(c.Source.Type) + " " +
        (c.Source.Text ? c.Source.Text
                       : std::to_string(c.Source.Integer) + "/" + std::to_string(c.Source.Float)) +
        " -> type " + std::to_string(c.Target);
    EXPECT_EQ(result, c.Expected) << what;
    EXPECT_EQ(answer, std::string(c.Expected) != "NULL") << what;
  }
}

TEST(ConvertValue, NullSourceGivesNullTargetAndSucceeds) {
  for (uint8_t type : {kFieldInteger, kFieldString, kFieldDate, kFieldBcd, kFieldBoolean}) {
    TExpToken source, target;
    source.SetNull();
    EXPECT_TRUE(ConvertValue(source, target, type, 0, 10, 0)) << int(type);
    EXPECT_TRUE(target.IsNull) << int(type);
    EXPECT_EQ(target.ValueType, type);
  }
}

TEST(ConvertValue, BytesTakeTheRawValue) {
  TExpToken source, target;
  source.SetInteger(0x04030201);
  ASSERT_TRUE(ConvertValue(source, target, kFieldBytes, 0, 4, 0));
  ASSERT_EQ(target.ValueSize(), 4);
  EXPECT_EQ(target.Value()[0], 1);
  EXPECT_EQ(target.Value()[3], 4);
  source.SetString("abcdef");
  ASSERT_TRUE(ConvertValue(source, target, kFieldBytes, 0, 3, 0));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(target.Value()), 3), "abc");
}

TEST(ConvertValue, InPlaceConversion) {
  TExpToken node;
  node.SetString("2004-2-3");
  ASSERT_TRUE(ConvertValue(node, node, kFieldDate, 0, 4, 0));
  EXPECT_EQ(exptest::ValueString(node), "2004-02-03");
  node.SetInteger(70000);
  EXPECT_FALSE(ConvertValue(node, node, kFieldSmallInt, 0, 2, 0));
  EXPECT_TRUE(node.IsNull);
}

}  // namespace
