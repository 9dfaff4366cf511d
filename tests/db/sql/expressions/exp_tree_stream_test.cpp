// Serialised trees: round trips through both forms, the older form's argument links, refusals
// of trees that form cannot carry, and readers facing truncated, corrupted and hostile bytes.
#include "db/sql/expressions/exp_tree_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/sql/expressions/exp_tree_reshape.h"
#include "db/sql/expressions/exp_tree_text.h"
#include "db/sql/expressions/expression_parser.h"

namespace {

constexpr int32_t kCurrent = 30800;
constexpr int32_t kOld = 30000;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

class ExpTreeStream : public ::testing::Test {
 protected:
  TExpToken* ParseText(std::string_view text) {
    parser_.ErrorCode = VUZODE_SQLPARSE;
    parser_.SetText(text);
    parser_.NextToken();
    TExpToken* tree = parser_.ParseOr(kParsePredicates | kParseAggregates | kParseParameters);
    EXPECT_TRUE(parser_.TokenIs(kTokenEnd)) << text;
    return tree;
  }
  std::vector<uint8_t> Write(std::string_view text, int32_t version) {
    TExpToken* tree = ParseText(text);
    std::vector<uint8_t> bytes;
    SerializeTree(tree, version, bytes, pool_);
    ReleaseExpTree(pool_, tree);
    return bytes;
  }
  // The tree read from bytes in compact form, or "error: " and the detail.
  std::string Read(const std::vector<uint8_t>& bytes, int32_t version) {
    try {
      TExpToken* tree = ReadSerializedTree(bytes, version, pool_);
      std::string text = ExpTreeText(tree);
      ReleaseExpTree(pool_, tree);
      return text;
    } catch (const EVUZODEEngineError& error) {
      EXPECT_EQ(error.EngineCode(), VUZODE_INVALIDFILTER);
      return "error: " + error.ContextDetail();
    }
  }

  TExpTokenStack pool_;
  TExpressionParser parser_{nullptr, pool_};
};

const char* const kTrees[] = {
    "a = 1 AND b <> 'x''y' OR NOT c >= 2.5",
    "a IN (1, 2, 3) AND b NOT IN ('x')",
    "a BETWEEN 1 AND 10 AND b NOT BETWEEN c AND d",
    "a LIKE 'x%' OR b NOT LIKE LOWER(c)",
    "SUBSTRING(a FROM 2 FOR 3) = 'x' AND SUBSTRING(b FROM 2) = 'y'",
    "REPLACE('a' WITH 'b' IN c) = POS('q' IN d)",
    "TRIM(LEADING ' ' FROM a) = UPPER(b) AND OCCURS('z' IN c) > 0",
    "CAST(a AS DECIMAL(10, 2)) = CAST(b AS INTEGER) + CAST(c AS CHAR(5))",
    "ROUND(a TO 2) > ABS(-b) AND ROUND(c) < 1",
    "IF(a = 1 THEN 'x' ELSE 'y') = 'x'",
    "EXTRACT(YEAR FROM d) = 2024 AND LENGTH(e) = 3",
    "a IS NULL AND b IS NOT NULL AND c = '' AND d = 9223372036854775807",
    "SUM(a) > COUNT(b)",
    "UPPER(LOWER(SUBSTRING(a FROM 1))) = 'X'",
    "[Order Date] <= CURRENT_DATE AND #9 = 'a'",
};

TEST_F(ExpTreeStream, TreesRoundTripThroughBothForms) {
  for (const char* text : kTrees) {
    TExpToken* tree = ParseText(text);
    std::string expected = ExpTreeText(tree);
    for (int32_t version : {kCurrent, kArgumentListVersion, kOld}) {
      std::vector<uint8_t> bytes;
      size_t size = SerializeTree(tree, version, bytes, pool_);
      EXPECT_EQ(size, bytes.size());
      EXPECT_EQ(ExpTreeText(tree), expected) << "writing never changes the tree";
      TExpToken* read = ReadSerializedTree(bytes, version, pool_);
      EXPECT_EQ(ExpTreeText(read), expected) << text << " version " << version;
      std::vector<uint8_t> again;
      SerializeTree(read, version, again, pool_);
      EXPECT_EQ(again, bytes) << "a read tree writes the same bytes";
      ReleaseExpTree(pool_, read);
    }
    ReleaseExpTree(pool_, tree);
  }
}

TEST_F(ExpTreeStream, FieldsOfANodeSurvive) {
  TExpToken* tree = ParseText("a = 2147483648");
  tree->Left->FieldNo = 513;
  tree->Left->Servability = 3;
  tree->Right->PartialLength = -7;
  tree->Right->NoCase = 1;
  tree->Right->Scale = 2;
  tree->Right->SubType = 21;
  std::vector<uint8_t> bytes;
  SerializeTree(tree, kCurrent, bytes, pool_);
  TExpToken* read = ReadSerializedTree(bytes, kCurrent, pool_);
  EXPECT_EQ(read->Text, "=");
  EXPECT_EQ(read->Left->ColumnName, "a");
  EXPECT_EQ(read->Left->FieldNo, 513);
  EXPECT_EQ(read->Left->Servability, 3);
  EXPECT_EQ(read->Right->LargeIntValue(), 2147483648LL);
  EXPECT_EQ(read->Right->PartialLength, -7);
  EXPECT_EQ(read->Right->NoCase, 1);
  EXPECT_EQ(read->Right->Scale, 2);
  EXPECT_EQ(read->Right->SubType, 21);
  EXPECT_EQ(read->Right->ValueType, 18);
  ReleaseExpTree(pool_, read);
  ReleaseExpTree(pool_, tree);
}

TEST_F(ExpTreeStream, OlderFormChainsInValuesThroughRightLinks) {
  TExpToken* tree = ParseText("a IN (1, 2, 3)");
  TExpToken* old = ReshapeForOldForm(pool_, tree, VUZODE_INVALIDFILTER);
  EXPECT_TRUE(old->Args.empty());
  ASSERT_NE(old->Left, nullptr);
  EXPECT_EQ(old->Left->ColumnName, "a");
  ASSERT_NE(old->Right, nullptr);
  EXPECT_EQ(old->Right->IntegerValue(), 1);
  ASSERT_NE(old->Right->Right, nullptr);
  EXPECT_EQ(old->Right->Right->IntegerValue(), 2);
  ASSERT_NE(old->Right->Right->Right, nullptr);
  EXPECT_EQ(old->Right->Right->Right->IntegerValue(), 3);
  EXPECT_EQ(old->Right->Right->Right->Right, nullptr);
  ReleaseExpTree(pool_, old);
  EXPECT_EQ(ExpTreeText(tree), "(IN a 1 2 3)");
  ReleaseExpTree(pool_, tree);

  tree = ParseText("REPLACE('s' WITH 'w' IN c) = IF(x THEN 1 ELSE 2)");
  old = ReshapeForOldForm(pool_, tree, VUZODE_INVALIDFILTER);
  const TExpToken* replace = old->Left;
  EXPECT_EQ(replace->Left->ColumnName, "c");
  EXPECT_EQ(replace->Right->StringValue(), "s");
  EXPECT_EQ(replace->Right->Right->StringValue(), "w");
  const TExpToken* choice = old->Right;
  EXPECT_EQ(choice->Left->ColumnName, "x");
  EXPECT_EQ(choice->Right->IntegerValue(), 1);
  EXPECT_EQ(choice->Child->IntegerValue(), 2);
  ReleaseExpTree(pool_, old);
  ReleaseExpTree(pool_, tree);
}

TEST_F(ExpTreeStream, OlderFormRefusesTreesItWouldGarble) {
  const char* refused[] = {
      "COALESCE(a, 1) = 1",  // no arguments in the older form
      "IFNULL(a THEN 1 ELSE 2) = 1",
      "TEXTSEARCH('x' IN a)",
      "a BETWEEN 1 + 1 AND 3",  // the chained bound has its own right operand
      "a IN (1, b - 1)",
      "SUBSTRING(a FROM b + 1) = 'x'",
  };
  for (const char* text : refused) {
    TExpToken* tree = ParseText(text);
    std::vector<uint8_t> bytes;
    EXPECT_THROW(SerializeTree(tree, kOld, bytes, pool_), EVUZODEEngineError) << text;
    SerializeTree(tree, kCurrent, bytes, pool_);  // the current form carries them
    EXPECT_EQ(Read(bytes, kCurrent), ExpTreeText(tree));
    ReleaseExpTree(pool_, tree);
  }
}

TEST_F(ExpTreeStream, EveryTruncationIsAnErrorNotACrash) {
  for (int32_t version : {kCurrent, kOld}) {
    std::vector<uint8_t> bytes = Write("a IN (1, 2) AND SUBSTRING(b FROM 1 FOR 2) = 'xy'", version);
    for (size_t size = 0; size < bytes.size(); ++size) {
      std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + size);
      EXPECT_PRED2(StartsWith, Read(cut, version), "error: Invalid expression tree") << size;
    }
    bytes.push_back(0);
    EXPECT_PRED2(StartsWith, Read(bytes, version),
                 "error: Invalid expression tree: bytes after the end of the tree");
  }
}

TEST_F(ExpTreeStream, EveryByteChangeIsReadOrRefusedWithoutHarm) {
  // Run under the sanitizers: no change of any byte may lead to a read out of bounds, a leak
  // or a tree the shape check would refuse.
  for (int32_t version : {kCurrent, kOld}) {
    std::vector<uint8_t> bytes = Write("a BETWEEN 1 AND 2 OR LOWER(b) IN ('x', 'y')", version);
    for (size_t at = 0; at < bytes.size(); ++at)
      for (uint8_t delta : {1, 0x80, 0xFF}) {
        std::vector<uint8_t> changed = bytes;
        changed[at] = static_cast<uint8_t>(changed[at] + delta);
        Read(changed, version);
      }
  }
  SUCCEED();
}

// Bytes of one record of the current form with the given items (a leaf unless links given).
struct TRecord {
  std::string Text = "c";
  uint8_t NodeClass = kNodeColumn;
  uint8_t OpCode = 0;
  std::string Column = "c";
  std::vector<uint8_t> Value;
  uint32_t ValueSize = 0;
  bool ValueSizeFromValue = true;
  uint8_t ValueType = 0;
  uint32_t Left = 0, Right = 0, Count = 0, Args = 0;
};

void PutItem(std::vector<uint8_t>& out, const void* data, uint32_t size) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(size >> (8 * i)));
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  out.insert(out.end(), bytes, bytes + size);
}
void PutWord(std::vector<uint8_t>& out, uint32_t value) {
  PutItem(out, &value, 4);
}
void PutByte(std::vector<uint8_t>& out, uint8_t value) {
  PutItem(out, &value, 1);
}

void PutRecord(std::vector<uint8_t>& out, const TRecord& record) {
  PutItem(out, record.Text.data(), static_cast<uint32_t>(record.Text.size()));
  PutByte(out, record.NodeClass);
  PutByte(out, record.OpCode);
  PutByte(out, 0);
  PutItem(out, record.Column.data(), static_cast<uint32_t>(record.Column.size()));
  uint16_t field = 0;
  PutItem(out, &field, 2);
  PutWord(out, record.ValueSizeFromValue ? static_cast<uint32_t>(record.Value.size())
                                         : record.ValueSize);
  PutItem(out, record.Value.data(), static_cast<uint32_t>(record.Value.size()));
  PutByte(out, 0);
  PutWord(out, 0);
  PutByte(out, 0);
  PutByte(out, record.ValueType);
  PutByte(out, 0);
  PutByte(out, 0);
  PutWord(out, record.Left);
  PutWord(out, record.Right);
  PutWord(out, record.Count);
  PutWord(out, record.Args);
}

size_t RecordSize(const TRecord& record) {
  std::vector<uint8_t> out;
  PutRecord(out, record);
  return out.size();
}

TEST_F(ExpTreeStream, HostileRecordsAreRefused) {
  std::vector<uint8_t> bytes;
  PutRecord(bytes, TRecord{});
  EXPECT_EQ(Read(bytes, kCurrent), "c");

  struct {
    const char* Name;
    TRecord Record;
    const char* Detail;
  } cases[] = {
      {"unary without operand",
       [] {
         TRecord r;
         r.NodeClass = kNodeUnary;
         r.OpCode = kOpNot;
         r.Left = 0;
         return r;
       }(),
       "error: Invalid expression tree: unary operator without one operand"},
      {"unknown class",
       [] {
         TRecord r;
         r.NodeClass = 99;
         return r;
       }(),
       "error: Invalid expression tree: unknown node class 99"},
      {"sub-select",
       [] {
         TRecord r;
         r.NodeClass = kNodeSubSelect;
         return r;
       }(),
       "error: Invalid expression tree: sub-select"},
      {"integer of 2 bytes",
       [] {
         TRecord r;
         r.NodeClass = kNodeConstant;
         r.ValueType = 6;
         r.Value = {1, 0};
         return r;
       }(),
       "error: Invalid expression tree: constant of type 6 with a value of 2 bytes"},
      {"string without zero",
       [] {
         TRecord r;
         r.NodeClass = kNodeConstant;
         r.ValueType = 1;
         r.Value = {'a', 'b'};
         return r;
       }(),
       "error: Invalid expression tree: text constant without its terminating zero"},
      {"unknown type",
       [] {
         TRecord r;
         r.ValueType = 16;
         return r;
       }(),
       "error: Invalid expression tree: unknown value type 16"},
      {"count without offset",
       [] {
         TRecord r;
         r.NodeClass = kNodeFunction;
         r.OpCode = kOpLower;
         r.Count = 1;
         return r;
       }(),
       "error: Invalid expression tree: argument count and argument offset disagree at offset "},
      {"value size disagrees",
       [] {
         TRecord r;
         r.ValueSizeFromValue = false;
         r.ValueSize = 4;
         return r;
       }(),
       "error: Invalid expression tree: value item whose length differs from the value size at "
       "offset "},
      {"column name of 256",
       [] {
         TRecord r;
         r.Column = std::string(256, 'x');
         return r;
       }(),
       "error: Invalid expression tree: column name longer than 255 characters at offset "},
  };
  for (const auto& test : cases) {
    bytes.clear();
    PutRecord(bytes, test.Record);
    EXPECT_EQ(Read(bytes, kCurrent).substr(0, std::strlen(test.Detail)), test.Detail) << test.Name;
  }

  // A link that points back to the record itself would loop; one past the end reads nothing.
  TRecord unary;
  unary.NodeClass = kNodeUnary;
  unary.OpCode = kOpNot;
  for (uint32_t link : {1u, 4u, 0xFFFFFFF0u}) {
    unary.Left = link;
    bytes.clear();
    PutRecord(bytes, unary);
    PutRecord(bytes, TRecord{});
    EXPECT_PRED2(
        StartsWith, Read(bytes, kCurrent),
        "error: Invalid expression tree: link offset that does not point to the next record");
  }
  unary.Left = static_cast<uint32_t>(RecordSize(unary));
  bytes.clear();
  PutRecord(bytes, unary);
  PutRecord(bytes, TRecord{});
  EXPECT_EQ(Read(bytes, kCurrent), "(NOT c)");

  // An argument count far beyond the records present fails at the end of the bytes.
  TRecord coalesce;
  coalesce.NodeClass = kNodeFunction;
  coalesce.OpCode = kOpCoalesce;
  coalesce.Count = 0xFFFFFFFF;
  coalesce.Args = static_cast<uint32_t>(RecordSize(coalesce));
  bytes.clear();
  PutRecord(bytes, coalesce);
  PutRecord(bytes, TRecord{});
  EXPECT_PRED2(StartsWith, Read(bytes, kCurrent),
               "error: Invalid expression tree: truncated item length");
  EXPECT_LE(pool_.PooledCount(), TExpTokenStack::kCapacity);
}

TEST_F(ExpTreeStream, TreeDeeperThanTheLimitIsRefused) {
  std::vector<uint8_t> bytes;
  TRecord unary;
  unary.NodeClass = kNodeUnary;
  unary.OpCode = kOpNegate;
  for (int i = 0; i < kMaxExpTreeHeight + 5; ++i) {
    unary.Left = static_cast<uint32_t>(bytes.size() + RecordSize(unary));
    PutRecord(bytes, unary);
  }
  PutRecord(bytes, TRecord{});
  EXPECT_PRED2(StartsWith, Read(bytes, kCurrent),
               "error: Invalid expression tree: tree nested too deeply");
}

}  // namespace
