// CheckTypes through the parser: the operand matrices of every two-operand operator and of
// CAST, one column of each type against one of each type, each cell either the result type or
// the exact type-mismatch message; then result sizes, scales and money subtypes.
#include "db/sql/expressions/type_check.h"

#include <gtest/gtest.h>

#include <string>

#include "expression_test_util.h"

namespace {

// One column of each type, in the order of the matrices' cells.
constexpr const char* kColumns[] = {"i",    "sm",  "w", "l", "f",  "bc", "s",
                                    "memo", "pic", "d", "t", "ts", "b",  "by"};
constexpr size_t kColumnCount = sizeof kColumns / sizeof kColumns[0];

// The letter of a checked node's type: I integer, L largeint, F float, N BCD, S string,
// M memo, D date, T time, P timestamp, B boolean, Y bytes, W word, H smallint, O other BLOB.
char TypeLetter(const TExpToken& node) {
  switch (node.ValueType) {
    case kFieldInteger:
      return 'I';
    case kFieldLargeInt:
      return 'L';
    case kFieldFloat:
      return 'F';
    case kFieldBcd:
      return 'N';
    case kFieldString:
      return 'S';
    case kFieldBlob:
      return node.SubType == kSubtypeMemo ? 'M' : 'O';
    case kFieldDate:
      return 'D';
    case kFieldTime:
      return 'T';
    case kFieldTimestamp:
      return 'P';
    case kFieldBoolean:
      return 'B';
    case kFieldBytes:
      return 'Y';
    case kFieldWord:
      return 'W';
    case kFieldSmallInt:
      return 'H';
    default:
      return '?';
  }
}

// The checked root's type letter, or "error: " + the message.
std::string Checked(const std::string& text, const TExpToken** shape = nullptr) {
  exptest::TRow row;
  try {
    TExpToken* tree = exptest::ParseChecked(text, row, false, false);
    std::string result(1, TypeLetter(*tree));
    static TExpToken copy;
    if (shape) {
      copy.ValueType = tree->ValueType;
      copy.SubType = tree->SubType;
      copy.Scale = tree->Scale;
      copy.SetValueSize(tree->ValueSize());
      *shape = &copy;
    }
    ReleaseExpTree(GlobalExpTokenStack(), tree);
    return result;
  } catch (const EVUZODEEngineError& error) {
    return "error: " + error.ContextDetail();
  }
}

struct TMatrix {
  const char* Op;
  const char* Rows[kColumnCount];  // per left column, one cell per right column; '.' refused
};

// Cells in the order of kColumns: i sm w l f bc s memo pic d t ts b by.
const TMatrix kMatrices[] = {
    {"+",
     {"IIILFN...DTP..", "IIILFN...DTP..", "IIILFN...DTP..", "LLLLFN...DTP..", "FFFFFF........",
      "NNNNFN........", "......SM......", "......MM......", "..............", "DDDD..........",
      "TTTT..........", "PPPP..........", "..............", ".............."}},
    {"-",
     {"IIILFN........", "IIILFN........", "IIILFN........", "LLLLFN........", "FFFFFF........",
      "NNNNFN........", "..............", "..............", "..............", "DDDD.....I....",
      "TTTT......I...", "PPPP.....IIF..", "..............", ".............."}},
    {"*",
     {"IIILFN........", "IIILFN........", "IIILFN........", "LLLLFN........", "FFFFFF........",
      "NNNNFN........", "..............", "..............", "..............", "..............",
      "..............", "..............", "..............", ".............."}},
    {"/",
     {"FFFFFN........", "FFFFFN........", "FFFFFN........", "FFFFFN........", "FFFFFF........",
      "NNNNFN........", "..............", "..............", "..............", "..............",
      "..............", "..............", "..............", ".............."}},
    {"=",
     {"BBBBBB........", "BBBBBB........", "BBBBBB........", "BBBBBB........", "BBBBBB........",
      "BBBBBB........", "......BB......", "......BB......", "..............", ".........B.B..",
      "..........B...", ".........B.B..", "............B.", ".............B"}},
    {"<>",
     {"BBBBBB........", "BBBBBB........", "BBBBBB........", "BBBBBB........", "BBBBBB........",
      "BBBBBB........", "......BB......", "......BB......", "..............", ".........B.B..",
      "..........B...", ".........B.B..", "............B.", ".............B"}},
    {"<",
     {"BBBBBB........", "BBBBBB........", "BBBBBB........", "BBBBBB........", "BBBBBB........",
      "BBBBBB........", "......BB......", "......BB......", "..............", ".........B.B..",
      "..........B...", ".........B.B..", "..............", ".............."}},
    {">=",
     {"BBBBBB........", "BBBBBB........", "BBBBBB........", "BBBBBB........", "BBBBBB........",
      "BBBBBB........", "......BB......", "......BB......", "..............", ".........B.B..",
      "..........B...", ".........B.B..", "..............", ".............."}},
    {"AND",
     {"..............", "..............", "..............", "..............", "..............",
      "..............", "..............", "..............", "..............", "..............",
      "..............", "..............", "............B.", ".............."}},
};

TEST(CheckTypes, TwoOperandMatrices) {
  for (const TMatrix& matrix : kMatrices) {
    for (size_t l = 0; l < kColumnCount; ++l) {
      ASSERT_EQ(std::string(matrix.Rows[l]).size(), kColumnCount) << matrix.Op << " row " << l;
      for (size_t r = 0; r < kColumnCount; ++r) {
        const std::string text = std::string(kColumns[l]) + " " + matrix.Op + " " + kColumns[r];
        const char cell = matrix.Rows[l][r];
        const std::string expected = cell == '.' ? "error: Type mismatch between column '" +
                                                       std::string(kColumns[l]) + "' and column '" +
                                                       kColumns[r] + "' in filter expression"
                                                 : std::string(1, cell);
        EXPECT_EQ(Checked(text), expected) << text;
      }
    }
  }
}

TEST(CheckTypes, NullConstantStandsWhereverTheColumnMayStand) {
  // The NULL constant is accepted against every type the operator takes on the left at all.
  const struct {
    const char* Op;
    const char* Refused;  // per column of kColumns
  } kCases[] = {{"=", ".............."}, {"<", "............XX"}, {"+", "........X...XX"}};
  for (const auto& c : kCases)
    for (size_t i = 0; i < kColumnCount; ++i) {
      const std::string text = std::string(kColumns[i]) + " " + c.Op + " NULL";
      const std::string expected =
          c.Refused[i] == '.' ? ""
                              : "error: Type mismatch between column '" + std::string(kColumns[i]) +
                                    "' and constant 'NULL' in filter expression";
      const std::string result = Checked(text);
      if (expected.empty())
        EXPECT_EQ(result.rfind("error", 0), std::string::npos) << text << " -> " << result;
      else
        EXPECT_EQ(result, expected) << text;
    }
}

TEST(CheckTypes, UnaryOperators) {
  const struct {
    const char* Text;
    const char* Expected;
  } kCases[] = {
      {"-i", "I"},
      {"-sm", "H"},
      {"-l", "L"},
      {"-f", "F"},
      {"-bc", "N"},
      {"-d", "D"},
      {"-t", "T"},
      {"-ts", "P"},
      {"-w", "error: Type mismatch between '-' operator and 'w' in filter expression"},
      {"+w", "W"},
      {"-s", "error: Type mismatch between '-' operator and 's' in filter expression"},
      {"-b", "error: Type mismatch between '-' operator and 'b' in filter expression"},
      {"NOT b", "B"},
      {"NOT i", "error: Type mismatch between 'NOT' operator and 'i' in filter expression"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Checked(c.Text), c.Expected) << c.Text;
}

// Sources in the order of kColumns; 'Y' accepted, '.' refused.
const struct {
  const char* Target;
  char Letter;
  const char* Accepts;
} kCasts[] = {
    {"DATE", 'D', "......Y..Y.Y.Y"},          {"BOOLEAN", 'B', "YYYY.YY.....YY"},
    {"SMALLINT", 'H', "YYYYYYY.....YY"},      {"WORD", 'W', "YYYYYYY.....YY"},
    {"INTEGER", 'I', "YYYYYYY......Y"},       {"FLOAT", 'F', "YYYYYYY......Y"},
    {"DECIMAL(10,2)", 'N', "YYYYYYY......Y"}, {"LARGEINT", 'L', "YYYYYYY......Y"},
    {"CHAR(10)", 'S', "YYYYYYYYYYYYYY"},      {"BYTES(4)", 'Y', "YYYYYYYYYYYYYY"},
    {"MEMO", 'M', "YYYYYYYYYYYYYY"},          {"TIME", 'T', "......Y...YY.Y"},
    {"TIMESTAMP", 'P', "......Y..YYY.Y"},
};

TEST(CheckTypes, CastMatrix) {
  for (const auto& cast : kCasts) {
    ASSERT_EQ(std::string(cast.Accepts).size(), kColumnCount) << cast.Target;
    for (size_t s = 0; s < kColumnCount; ++s) {
      const std::string text = "CAST(" + std::string(kColumns[s]) + " AS " + cast.Target + ")";
      const std::string expected = cast.Accepts[s] == '.'
                                       ? "error: Type mismatch between column '" +
                                             std::string(kColumns[s]) +
                                             "' and AS argument in filter expression"
                                       : std::string(1, cast.Letter);
      EXPECT_EQ(Checked(text), expected) << text;
    }
    EXPECT_EQ(Checked("CAST(NULL AS " + std::string(cast.Target) + ")"),
              std::string(1, cast.Letter))
        << cast.Target;
  }
}

TEST(CheckTypes, ResultSizesScalesAndMoney) {
  const struct {
    const char* Text;
    char Letter;
    int32_t Size;
    uint8_t SubType;
    uint8_t Scale;
  } kCases[] = {
      {"s + u", 'S', 31, 0, 0},  // 21 + 11 - 1
      {"s + memo", 'M', 8, kSubtypeMemo, 0},
      {"sm + sm", 'I', 4, 0, 0},
      {"sm * w", 'I', 4, 0, 0},
      {"i + l", 'L', 8, 0, 0},
      {"bc + i", 'N', 34, 0, 2},
      {"d - d", 'I', 4, 0, 0},
      {"d + 1", 'D', 4, 0, 0},
      {"t - t", 'I', 4, 0, 0},
      {"ts - ts", 'F', 8, 0, 0},
      {"i + m", 'F', 8, kSubtypeMoney, 0},  // right money, left without subtype
      {"m * i", 'F', 8, kSubtypeMoney, 0},
      {"m - i", 'F', 8, kSubtypeMoney, 0},
      {"i - m", 'F', 8, 0, 0},  // "-" and "/": money only on the left
      {"i / m", 'F', 8, 0, 0},
      {"m / 2", 'F', 8, kSubtypeMoney, 0},
      {"i = j", 'B', 2, 0, 0},
      {"CAST(s AS CHAR(5))", 'S', 6, 0, 0},
      {"CAST(i AS DECIMAL(10,3))", 'N', 34, 0, 3},
  };
  for (const auto& c : kCases) {
    const TExpToken* shape = nullptr;
    ASSERT_EQ(Checked(c.Text, &shape), std::string(1, c.Letter)) << c.Text;
    EXPECT_EQ(shape->ValueSize(), c.Size) << c.Text;
    EXPECT_EQ(shape->SubType, c.SubType) << c.Text;
    EXPECT_EQ(shape->Scale, c.Scale) << c.Text;
  }
}

TEST(CheckTypes, CastArgumentLimits) {
  const struct {
    const char* Text;
    const char* Expected;
  } kCases[] = {
      {"CAST(s AS CHAR(250))", "S"},
      {"CAST(s AS CHAR(251))",
       "error: Length argument must be an integer greater than 0 and less than or equal to 250 in "
       "filter expression"},
      {"CAST(s AS CHAR(0))",
       "error: Length argument must be an integer greater than 0 and less than or equal to 250 in "
       "filter expression"},
      {"CAST(i AS DECIMAL(10,4))", "N"},
      {"CAST(i AS DECIMAL(10,5))",
       "error: Scale argument must be an integer less than or equal to 4 but greater than or equal "
       "to 0 for the BCD data type filter expression"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Checked(c.Text), c.Expected) << c.Text;
}

}  // namespace
