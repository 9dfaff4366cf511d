// Key encodings: for every field type, values listed in ascending order must give keys in
// strictly ascending CompareKeys order, nulls first; descending fields and indexes reverse it;
// a locale orders strings by its collation, in every combination of descending field and index.
#include "db/storage/index/index_key.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "db/storage/index/compare_keys.h"
#include "index_test_util.h"

namespace {

using TSetter = std::function<void(std::vector<uint8_t>&, const FieldDescriptor&)>;

struct TTypeCase {
  const char* name;
  uint8_t type;
  uint8_t size;
  std::vector<TSetter> ascending;  // a null is put in front by the test
};

TSetter Int(int64_t v) {
  return [v](std::vector<uint8_t>& r, const FieldDescriptor& f) { SetFieldInteger(r, f, v); };
}
TSetter Float(double v) {
  return [v](std::vector<uint8_t>& r, const FieldDescriptor& f) { SetFieldFloat(r, f, v); };
}
TSetter Text(std::string v) {
  return [v](std::vector<uint8_t>& r, const FieldDescriptor& f) { SetFieldString(r, f, v); };
}
TSetter Raw(std::vector<uint8_t> v) {
  return [v](std::vector<uint8_t>& r, const FieldDescriptor& f) { SetFieldBytes(r, f, v); };
}
// A packed decimal from digits and places: precision, sign and places, digits two per byte.
std::vector<uint8_t> BcdBytes(bool negative, const std::string& digits, int places) {
  std::vector<uint8_t> b(34, 0);
  b[0] = static_cast<uint8_t>(digits.size());
  b[1] = static_cast<uint8_t>((negative ? 0x80 : 0) | places);
  for (size_t i = 0; i < digits.size(); ++i) {
    const uint8_t d = static_cast<uint8_t>(digits[i] - '0');
    b[2 + i / 2] = static_cast<uint8_t>(b[2 + i / 2] | (i % 2 == 0 ? d << 4 : d));
  }
  return b;
}
TSetter Bcd(bool negative, std::string digits, int places) {
  return Raw(BcdBytes(negative, digits, places));
}

std::vector<TTypeCase> Cases() {
  const double inf = std::numeric_limits<double>::infinity();
  return {
      {"string", kFieldString, 12, {Text("A"), Text("AA"), Text("AB"), Text("B"), Text("b")}},
      {"date", kFieldDate, 0, {Int(-5), Int(0), Int(1), Int(738000)}},
      {"boolean", kFieldBoolean, 0, {Int(0), Int(1)}},
      {"smallint", kFieldSmallInt, 0, {Int(-32768), Int(-1), Int(0), Int(1), Int(32767)}},
      {"integer",
       kFieldInteger,
       0,
       {Int(INT32_MIN), Int(-256), Int(-1), Int(0), Int(255), Int(INT32_MAX)}},
      {"float",
       kFieldFloat,
       0,
       {Float(-inf), Float(-1e300), Float(-1.5), Float(-0.5), Float(0), Float(1e-300), Float(0.5),
        Float(2), Float(inf)}},
      {"bcd",
       kFieldBcd,
       0,
       {Bcd(true, "12345", 2), Bcd(true, "000005", 5), Bcd(false, "0", 0), Bcd(false, "000015", 5),
        Bcd(false, "1", 0), Bcd(false, "12345", 2)}},
      {"bytes",
       kFieldBytes,
       3,
       {Raw({0, 0, 1}), Raw({0, 1, 0}), Raw({0x80, 0, 0}), Raw({0xFF, 0xFF, 0xFF})}},
      {"time", kFieldTime, 0, {Int(0), Int(1000), Int(86399999)}},
      {"timestamp", kFieldTimestamp, 0, {Float(-86400000.0), Float(0), Float(63800000000000.0)}},
      {"word", kFieldWord, 0, {Int(0), Int(255), Int(256), Int(65535)}},
      // Type 13 keeps its stored little-endian bytes: its key order is that of the bytes.
      {"int32", kFieldInt32, 0, {Int(0), Int(1), Int(2), Int(3)}},
      {"largeint",
       kFieldLargeInt,
       0,
       {Int(INT64_MIN), Int(-1), Int(0), Int(1LL << 40), Int(INT64_MAX)}},
  };
}

// Keys of null then each value, in a one-field index with the given flags.
std::vector<IndexKey> KeysOf(const TTypeCase& c, bool fieldDescending, bool indexDescending,
                             TKeyLayout& layout, uint16_t language = 0) {
  const std::vector<FieldDescriptor> fields = MakeFields({{c.type, c.size}});
  IndexDescriptor d = MakeIndex("I", {1}, true, kCompressNone, indexDescending, {fieldDescending});
  d.KeyLength = static_cast<uint16_t>(ComputeKeyLength(d, fields));
  layout = MakeKeyLayout(1, d, fields, language, 0);
  std::vector<IndexKey> keys;
  std::vector<uint8_t> record = EmptyRecord(fields, 1);
  keys.emplace_back();
  EncodeKey(layout, record, keys.back());
  for (const TSetter& set : c.ascending) {
    set(record, fields[0]);
    keys.emplace_back();
    EncodeKey(layout, record, keys.back());
  }
  return keys;
}

TEST(IndexKey, EveryTypeOrdersAsItsValuesWithNullFirst) {
  for (const TTypeCase& c : Cases()) {
    for (int flags = 0; flags < 4; ++flags) {
      const bool fieldDesc = flags & 1;
      const bool indexDesc = flags & 2;
      TKeyLayout layout;
      const std::vector<IndexKey> keys = KeysOf(c, fieldDesc, indexDesc, layout);
      // Either flag reverses the order; both together reverse it once.
      const int expected = (fieldDesc || indexDesc) ? 1 : -1;
      for (size_t i = 1; i < keys.size(); ++i) {
        EXPECT_EQ(CompareKeys(layout, keys[i - 1].data(), keys[i].data(), layout.KeyLength),
                  expected)
            << c.name << " flags " << flags << " at " << i;
      }
      if (!indexDesc) {
        // With no locale the order is the plain byte order of the keys.
        for (size_t i = 1; i < keys.size(); ++i) {
          const int r = std::memcmp(keys[i - 1].data(), keys[i].data(), layout.KeyLength);
          EXPECT_EQ(r < 0 ? -1 : 1, expected) << c.name << " bytes at " << i;
        }
      }
    }
  }
}

TEST(IndexKey, EqualValuesGiveEqualKeys) {
  const std::vector<FieldDescriptor> fields = MakeFields({{kFieldFloat, 0}});
  IndexDescriptor d = MakeIndex("I", {1}, true);
  d.KeyLength = 9;
  const TKeyLayout layout = MakeKeyLayout(1, d, fields, 0, 0);
  std::vector<uint8_t> a = EmptyRecord(fields, 1), b = EmptyRecord(fields, 2);
  SetFieldFloat(a, fields[0], 0.0);
  SetFieldFloat(b, fields[0], -0.0);
  IndexKey ka, kb;
  EncodeKey(layout, a, ka);
  EncodeKey(layout, b, kb);
  EXPECT_EQ(ka, kb);
}

TEST(IndexKey, BcdRoundsToTenThousandths) {
  auto value = [](bool negative, std::string digits, int places) {
    return BcdToTenThousandths(BcdBytes(negative, digits, places).data());
  };
  EXPECT_EQ(value(false, "12345", 2), 1234500);
  EXPECT_EQ(value(false, "123456", 5), 12346);  // 1.23456 rounds up
  EXPECT_EQ(value(true, "123454", 5), -12345);
  EXPECT_EQ(value(false, "99999999999999999999", 0), INT64_MAX);
}

TEST(IndexKey, NonUniqueKeysEndInTheRowIdOrderedByInsertion) {
  const std::vector<FieldDescriptor> fields = MakeFields({{kFieldInteger, 0}});
  IndexDescriptor d = MakeIndex("I", {1}, false);
  d.KeyLength = static_cast<uint16_t>(ComputeKeyLength(d, fields));
  ASSERT_EQ(d.KeyLength, 9);
  const TKeyLayout layout = MakeKeyLayout(1, d, fields, 0, 0);
  std::vector<uint8_t> r1 = EmptyRecord(fields, 5), r2 = EmptyRecord(fields, 6);
  SetFieldInteger(r1, fields[0], 7);
  SetFieldInteger(r2, fields[0], 7);
  IndexKey k1, k2;
  EncodeKey(layout, r1, k1);
  EncodeKey(layout, r2, k2);
  EXPECT_LT(CompareKeys(layout, k1.data(), k2.data(), 9), 0);
  EXPECT_EQ(CompareKeys(layout, k1.data(), k2.data(), 5), 0);  // a partial key ignores it
  EXPECT_EQ(DecodeRowIdKey(k2.data() + 5), 6);
}

TEST(IndexKey, LocaleOrdersStringsByCollationAndIgnoresCaseWhenAsked) {
  TTypeCase german{"german", kFieldString, 12, {Text("Affe"), Text("\xC3\x84pfel"), Text("Bahn")}};
  TKeyLayout layout;
  std::vector<IndexKey> keys = KeysOf(german, false, false, layout, 1031);
  for (size_t i = 1; i < keys.size(); ++i) {
    EXPECT_EQ(CompareKeys(layout, keys[i - 1].data(), keys[i].data(), layout.KeyLength), -1) << i;
  }
  // Byte order puts the umlaut last.
  keys = KeysOf(german, false, false, layout, 0);
  EXPECT_EQ(CompareKeys(layout, keys[2].data(), keys[3].data(), layout.KeyLength), 1);
  // Descending field with a locale: reversed by the comparison, the bytes untouched.
  keys = KeysOf(german, true, false, layout, 1031);
  EXPECT_EQ(CompareKeys(layout, keys[1].data(), keys[3].data(), layout.KeyLength), 1);
  EXPECT_EQ(keys[1].Bytes[0], 1);

  const std::vector<FieldDescriptor> fields = MakeFields({{kFieldString, 12}});
  IndexDescriptor d = MakeIndex("I", {1}, true);
  d.CaseInsensitive = true;
  d.KeyLength = 14;
  const TKeyLayout ci = MakeKeyLayout(1, d, fields, 0, 0);
  std::vector<uint8_t> a = EmptyRecord(fields, 1), b = EmptyRecord(fields, 2);
  SetFieldString(a, fields[0], "apfel");
  SetFieldString(b, fields[0], "APFEL");
  IndexKey ka, kb;
  EncodeKey(ci, a, ka);
  EncodeKey(ci, b, kb);
  EXPECT_EQ(ka, kb);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ka.data() + 1)), "APFEL");
}

// With a locale nothing is inverted in the key: the comparison alone must reverse a string
// field's order for a descending field or index (once when both), and the row id suffix only
// for a descending index. The texts are in collation order, which byte order contradicts.
TEST(IndexKey, LocaleOrderOfStringsInEveryDirection) {
  const std::vector<FieldDescriptor> fields = MakeFields({{kFieldString, 12}});
  const std::vector<std::pair<const char*, int32_t>> ascending = {
      {nullptr, 1}, {"Affe", 2}, {"\xC3\x84pfel", 3}, {"bahn", 4}, {"bahn", 5}, {"Zebra", 6}};
  for (int flags = 0; flags < 4; ++flags) {
    const bool fieldDesc = flags & 1;
    const bool indexDesc = flags & 2;
    IndexDescriptor d = MakeIndex("I", {1}, false, kCompressNone, indexDesc, {fieldDesc});
    d.KeyLength = static_cast<uint16_t>(ComputeKeyLength(d, fields));
    const TKeyLayout layout = MakeKeyLayout(1, d, fields, 1031, 0);
    std::vector<IndexKey> keys(ascending.size());
    for (size_t i = 0; i < ascending.size(); ++i) {
      std::vector<uint8_t> record = EmptyRecord(fields, ascending[i].second);
      if (ascending[i].first != nullptr) SetFieldString(record, fields[0], ascending[i].first);
      EncodeKey(layout, record, keys[i]);
    }
    for (size_t i = 1; i < keys.size(); ++i) {
      const bool sameText = ascending[i].first != nullptr && ascending[i - 1].first != nullptr &&
                            std::string(ascending[i].first) == ascending[i - 1].first;
      const bool reversed = indexDesc || (fieldDesc && !sameText);
      EXPECT_EQ(CompareKeys(layout, keys[i - 1].data(), keys[i].data(), layout.KeyLength),
                reversed ? 1 : -1)
          << "flags " << flags << " at " << i;
      EXPECT_EQ(CompareKeys(layout, keys[i].data(), keys[i - 1].data(), layout.KeyLength),
                reversed ? -1 : 1)
          << "flags " << flags << " at " << i;
    }
  }
}

TEST(IndexKey, SystemKeys) {
  IndexKey key;
  EncodeDeletedKey(1, 42, key);
  EXPECT_EQ(key.Length, 5);
  EXPECT_EQ(key.Bytes[0], 1);
  EXPECT_EQ(DecodeRowIdKey(key.data() + 1), 42);
  EncodeTextKey(258, std::string(70, 'W'), 9, key);
  EXPECT_EQ(key.Length, 68);
  EXPECT_EQ(key.Bytes[1], 1);
  EXPECT_EQ(key.Bytes[2], 2);
  EXPECT_EQ(key.Bytes[63], 'W');  // 61 word bytes: 3 .. 63
  EXPECT_EQ(DecodeRowIdKey(key.data() + 64), 9);
}

}  // namespace
