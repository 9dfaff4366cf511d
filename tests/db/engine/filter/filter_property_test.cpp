// Filters answered through indexes against every record evaluated: random tables (every
// indexable field type, NULLs, ascending and descending indexes and fields, case-insensitive
// indexes, byte order and two locales, deleted records) and random filters (every comparison,
// constants on either side and outside a column's range, IS [NOT] NULL, LIKE prefixes and
// other patterns, partial matches with "*", IN, BETWEEN, NOT, AND and OR nests, the
// case-insensitive option). The cursor's view, walked forward and back in a random order,
// with and without key ranges (empty ones, ones without an end key, ones over most of the
// table), must hold exactly the records the evaluator lets through, counted and numbered.
// Sizes: PEBRIO_FILTER_ROWS rows per table, PEBRIO_FILTER_CASES filters per table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <random>
#include <set>

#include "db/engine/cursor/cursor_environment.h"
#include "db/engine/filter/filter_parse.h"
#include "db/sql/expressions/bcd_value.h"
#include "db/sql/expressions/date_time_text.h"
#include "db/sql/expressions/evaluate.h"
#include "db/sql/expressions/expression_parser.h"
#include "db/sql/expressions/type_check.h"
#include "db/storage/index/compare_keys.h"
#include "tests/db/engine/locking/locking_test_util.h"
#include "tests/db/engine/support/storage_changes.h"

namespace engine_test {
namespace {

enum { kAi, kI, kS, kF, kB, kD, kH, kW, kL, kT, kTs, kBo, kS2, kColumns };
const char* const kNames[kColumns] = {"AI", "I", "S", "F",  "B",  "D", "H",
                                      "W",  "L", "T", "TS", "BO", "S2"};
const uint8_t kTypes[kColumns] = {kFieldInteger,  kFieldInteger, kFieldString,    kFieldFloat,
                                  kFieldBcd,      kFieldDate,    kFieldSmallInt,  kFieldWord,
                                  kFieldLargeInt, kFieldTime,    kFieldTimestamp, kFieldBoolean,
                                  kFieldString};

// Binds names to the cursor's fields, as a filter does, for the oracle's own trees.
class TResolver : public TColumnResolver {
 public:
  explicit TResolver(const std::vector<FieldDescriptor>& fields) : fields_(fields) {}
  bool ResolveColumn(TExpToken& node) override {
    for (size_t i = 0; i < fields_.size(); ++i) {
      std::string name = node.ColumnName;
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (fields_[i].Name != name) continue;
      node.ValueType = fields_[i].Type;
      node.SubType = fields_[i].SubType;
      node.Scale = fields_[i].Scale;
      node.SetValueSize(StoredLengthOf(fields_[i].Type, fields_[i].Size));
      node.FieldNo = static_cast<uint16_t>(i + 1);
      return true;
    }
    return false;
  }

 private:
  const std::vector<FieldDescriptor>& fields_;
};

class FilterPropertyTest : public testing::Test {
 protected:
  std::mt19937 rng_;
  TScratchFolder folder_;
  std::unique_ptr<TSessionOn> on_;
  uint16_t language_ = 0;
  // Active records: number and image.
  std::map<uint32_t, std::vector<uint8_t>> rows_;
  std::vector<int> indexed_;  // secondary index numbers
  int checked_ = 0, served_ = 0, refused_ = 0;

  int Pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }
  bool Chance(int percent) { return Pick(100) < percent; }
  TDataCursor& Cursor() { return *on_->cursor; }

  std::string DateText(int32_t day) {
    TCivilDate c;
    CivilFromDayNumber(day, c);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", c.Year, c.Month, c.Day);
    return text;
  }
  std::string RandomText() {
    static const char* const pieces[] = {"a", "A", "b", "B", "\xC3\xA9", "-", "c"};
    std::string text;
    for (int n = Pick(4); n > 0 && text.size() < 4; --n) text += pieces[Pick(7)];
    return text;
  }

  void CreateRound(uint32_t seed, uint16_t language, bool deletes) {
    rng_.seed(seed);
    language_ = language;
    TTableDefinition d;
    for (int k = 0; k < kColumns; ++k) {
      d.Fields.push_back(MakeField(static_cast<uint16_t>(k + 1), kNames[k], kTypes[k],
                                   (k == kS || k == kS2) ? 6 : 0,
                                   k == kAi ? kSubtypeAutoIncrement : 0));
    }
    d.Fields[kB].Scale = 2;
    d.Indexes.push_back(MakeIndexDefinition("", {1}, true));
    indexed_.clear();
    for (int k = kI; k < kColumns; ++k) {
      const int copies = k == kS ? 2 : 1;
      for (int copy = 0; copy < copies; ++copy) {
        if (!Chance(75)) continue;
        std::vector<uint16_t> fields = {static_cast<uint16_t>(k + 1)};
        if (Chance(40)) fields.push_back(static_cast<uint16_t>(Pick(kColumns - 1) + 2));
        if (fields.size() == 2 && fields[1] == fields[0]) fields.pop_back();
        IndexDescriptor x =
            MakeIndexDefinition("X" + std::to_string(d.Indexes.size()), fields, false);
        x.Descending = Chance(25);
        x.FieldDescending[0] = Chance(30);
        x.CaseInsensitive = (k == kS || k == kS2) && (copy == 1 || Chance(30));
        indexed_.push_back(static_cast<int>(d.Indexes.size()));
        d.Indexes.push_back(x);
      }
    }
    d.LocaleGiven = language != 0;
    d.LanguageId = static_cast<int16_t>(language);
    const std::string table = "P" + std::to_string(seed);
    CreateTable(folder_.Path(), table, d);
    on_ = std::make_unique<TSessionOn>(folder_.Path(), table);
    rows_.clear();
    const int64_t count = HeavyTestSize("PEBRIO_FILTER_ROWS", 300);
    for (int64_t i = 0; i < count; ++i) {
      std::vector<uint8_t> image = RandomImage();
      const uint32_t n = AppendImage(on_->Table(), image).first;
      rows_[n] = Stored(n);
    }
    if (deletes) {
      for (int i = 0; i < count / 8; ++i) {
        auto at = rows_.begin();
        std::advance(at, Pick(static_cast<int>(rows_.size())));
        DeleteRecordAt(on_->Table(), at->first);
        rows_.erase(at);
      }
      // A few appended again into the freed slots.
      for (int i = 0; i < count / 32; ++i) {
        const uint32_t n = AppendImage(on_->Table(), RandomImage()).first;
        rows_[n] = Stored(n);
      }
    }
    Cursor().Refresh();
  }
  std::vector<uint8_t> Stored(uint32_t n) {
    TRecord record = FetchPinned(on_->Table().DataFile(), n);
    std::vector<uint8_t> image(record.Image().begin(), record.Image().end());
    on_->Table().DataFile().Unpin(record);
    on_->Table().EndRead();
    return image;
  }
  std::vector<uint8_t> RandomImage() {
    const std::vector<FieldDescriptor>& f = Cursor().FieldDescriptors();
    std::vector<uint8_t> bytes(on_->Table().DataFile().RecordSize(), 0);
    TRecordImage image(bytes.data(), bytes.size());
    for (int k = kI; k < kColumns; ++k) {
      if (Chance(12)) continue;  // NULL
      const FieldDescriptor& field = f[k];
      switch (k) {
        case kI:
          SetFieldInteger(image, field,
                          Chance(5) ? (Chance(50) ? INT32_MIN : INT32_MAX) : Pick(11) - 5);
          break;
        case kS:
        case kS2:
          SetFieldString(image, field, RandomText());
          break;
        case kF: {
          const double values[] = {-2.5, -1, 0, 0.5, 1, 3.25, 1e300};
          SetFieldFloat(image, field, values[Pick(7)]);
          break;
        }
        case kB: {
          const int64_t values[] = {-15000, 0, 100, 12500, 9999900};
          uint8_t bcd[kBcdValueSize];
          BcdFromTenThousandths(values[Pick(5)], 2, bcd);
          SetFieldBytes(image, field, bcd);
          break;
        }
        case kD:
          SetFieldInteger(image, field, 730000 + Pick(11));
          break;
        case kH:
          SetFieldInteger(image, field, Chance(5) ? (Chance(50) ? -32768 : 32767) : Pick(7) - 3);
          break;
        case kW:
          SetFieldInteger(image, field, Chance(5) ? 65535 : Pick(6));
          break;
        case kL:
          SetFieldInteger(image, field,
                          Chance(5) ? (Chance(50) ? LLONG_MIN : LLONG_MAX) : Pick(7) - 3);
          break;
        case kT: {
          const int32_t values[] = {0, 1000, 3600000, 43200000, 86399999};
          SetFieldInteger(image, field, values[Pick(5)]);
          break;
        }
        case kTs:
          SetFieldFloat(image, field, JoinTimestamp(730000 + Pick(3), Pick(2) == 0 ? 0 : 43200000));
          break;
        case kBo:
          SetFieldInteger(image, field, Pick(2));
          break;
      }
    }
    return bytes;
  }

  // A constant for column k, sometimes outside the column's range or NULL.
  std::string Constant(int k) {
    if (Chance(4)) return "NULL";
    switch (k) {
      case kAi:
        return std::to_string(Pick(40));
      case kI: {
        const char* odd[] = {"2147483648", "-2147483649", "2.5", "-0.5"};
        return Chance(15) ? odd[Pick(4)] : std::to_string(Pick(13) - 6);
      }
      case kS:
      case kS2: {
        if (Chance(8)) return "'abcdefgh'";  // longer than the column
        return "'" + RandomText() + "'";
      }
      case kF: {
        const char* values[] = {"-2.5", "-1", "0", "0.5", "1", "3.25", "1e300", "2", "0.75"};
        return values[Pick(9)];
      }
      case kB: {
        const char* values[] = {"-1.5", "0", "0.01", "1.25", "999.99", "1.255", "5"};
        return values[Pick(7)];
      }
      case kD:
        return "'" + DateText(729998 + Pick(15)) + "'";
      case kH: {
        const char* odd[] = {"70000", "-70000", "32767", "-32768", "1.5"};
        return Chance(20) ? odd[Pick(5)] : std::to_string(Pick(9) - 4);
      }
      case kW: {
        const char* odd[] = {"-1", "70000", "65535", "0"};
        return Chance(20) ? odd[Pick(4)] : std::to_string(Pick(7));
      }
      case kL:
        return Chance(10) ? "9223372036854775807" : std::to_string(Pick(9) - 4);
      case kT: {
        const char* values[] = {"'00:00'", "'00:00:01'",     "'01:00'",
                                "'12:00'", "'23:59:59.999'", "'06:30'"};
        return values[Pick(6)];
      }
      case kTs:
        return "'" + DateText(730000 + Pick(3)) + (Chance(50) ? " 12:00'" : "'");
      default:
        return Chance(50) ? "TRUE" : "FALSE";
    }
  }
  std::string Term() {
    const int k = Pick(kColumns);
    const std::string column = kNames[k];
    const bool text = k == kS || k == kS2;
    const char* ops[] = {"=", "<>", "<", ">", "<=", ">="};
    switch (Pick(text ? 9 : 6)) {
      case 0:
      case 1:
        return column + " " + ops[Pick(6)] + " " + Constant(k);
      case 2:
        return Constant(k) + " " + ops[Pick(6)] + " " + column;
      case 3:
        return column + (Chance(50) ? " IS NULL" : " IS NOT NULL");
      case 4: {
        std::string list = Constant(k);
        for (int n = Pick(3); n >= 0; --n) list += ", " + Constant(k);
        return column + (Chance(70) ? " IN (" : " NOT IN (") + list + ")";
      }
      case 5:
        return column + (Chance(70) ? " BETWEEN " : " NOT BETWEEN ") + Constant(k) + " AND " +
               Constant(k);
      case 6: {
        const char* patterns[] = {"%", "_%", "%a", "a_"};
        const std::string prefix = RandomText();
        const std::string pattern = Chance(75) ? prefix + "%" : patterns[Pick(4)];
        return column + (Chance(70) ? " LIKE '" : " NOT LIKE '") + pattern + "'";
      }
      case 7:
        return column + (Chance(60) ? " = '" : " <> '") + RandomText() + "a*'";
      default:
        return "UPPER(" + column + ") " + ops[Pick(2)] + " UPPER(" + kNames[Pick(2) ? kS : kS2] +
               ")";
    }
  }
  std::string Filter(int depth) {
    if (depth == 0 || Chance(30)) return Term();
    switch (Pick(5)) {
      case 0:
        return "NOT (" + Filter(depth - 1) + ")";
      case 1:
      case 2:
        return "(" + Filter(depth - 1) + ") AND (" + Filter(depth - 1) + ")";
      default:
        return "(" + Filter(depth - 1) + ") OR (" + Filter(depth - 1) + ")";
    }
  }

  // The records the evaluator lets through: the plain checked tree, or the prepared one where
  // preparing changes what the filter means (the case-insensitive option, "abc*" prefixes).
  std::set<uint32_t> Expected(const std::string& text, const TFilterOptions& options) {
    const std::vector<FieldDescriptor>& fields = Cursor().FieldDescriptors();
    TExpToken* tree = nullptr;
    if (options.CaseInsensitive || text.find('*') != std::string::npos) {
      TFilterTextContext context;
      context.Fields = &fields;
      context.LanguageId = language_;
      tree = PrepareFilterText(text, options, context);
    } else {
      TExpressionParser parser;
      tree = parser.ParseFilter(text);
      TResolver resolver(fields);
      TTypeCheckOptions check;
      check.ErrorCode = VUZODE_INVALIDFILTER;
      check.RewriteBooleanColumns = true;
      check.Resolver = &resolver;
      try {
        CheckTypes(check, nullptr, tree);
      } catch (...) {
        ReleaseExpTree(GlobalExpTokenStack(), tree);
        throw;
      }
    }
    TCursorEnvironment environment(fields);
    TExpEvaluator evaluator(&environment, 0, language_);
    std::set<uint32_t> passing;
    for (const auto& [n, image] : rows_) {
      if (evaluator.Holds(*tree, image.data())) passing.insert(n);
    }
    ReleaseExpTree(GlobalExpTokenStack(), tree);
    return passing;
  }

  // The records of the cursor's view, walked forward (checking record numbers) and back.
  std::vector<uint32_t> Walk() {
    TDataCursor& c = Cursor();
    std::vector<uint8_t> buffer(c.RecordSize());
    std::vector<uint32_t> forward, backward;
    c.SetToBegin();
    while (c.GetNextRecord(buffer.data()) == 0) {
      forward.push_back(c.CurrentRecordNumber());
      EXPECT_EQ(c.RecordNumber(), forward.size());
      if (forward.size() > rows_.size()) break;
    }
    c.SetToEnd();
    while (c.GetPriorRecord(buffer.data()) == 0) {
      backward.push_back(c.CurrentRecordNumber());
      if (backward.size() > rows_.size()) break;
    }
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(c.RecordCount(), forward.size());
    if (!forward.empty()) {
      // Places found again by number and by bookmark.
      const uint32_t n = static_cast<uint32_t>(Pick(static_cast<int>(forward.size())) + 1);
      EXPECT_TRUE(c.SetToRecNo(n));
      EXPECT_EQ(c.CurrentRecordNumber(), forward[n - 1]);
      std::vector<uint8_t> mark(c.BookmarkSize());
      EXPECT_TRUE(c.GetBookmark(mark.data()));
      c.SetToBegin();
      EXPECT_TRUE(c.SetToBookmark(mark.data(), true));
      EXPECT_EQ(c.RecordNumber(), n);
    }
    return forward;
  }

  // The key of record n in the current index.
  IndexKey KeyOf(uint32_t n) {
    IndexKey key;
    EncodeKey(*Cursor().KeyLayout(), TConstRecordImage(rows_[n].data(), rows_[n].size()), key);
    return key;
  }
  size_t PrefixLength(uint16_t fields) {
    const TKeyLayout& layout = *Cursor().KeyLayout();
    const size_t count = fields == 0 ? layout.Fields.size() : fields;
    const TKeyField& last = layout.Fields[count - 1];
    return last.KeyOffset + 1u + last.KeyLength;
  }

  // Sets a random range on the current index; the records it holds.
  std::set<uint32_t> RandomRange() {
    const TKeyLayout& layout = *Cursor().KeyLayout();
    std::vector<uint32_t> numbers;
    for (const auto& row : rows_) numbers.push_back(row.first);
    const uint16_t fields = static_cast<uint16_t>(Pick(static_cast<int>(layout.Fields.size())) + 1);
    const size_t length = PrefixLength(fields);
    const IndexKey start = KeyOf(numbers[Pick(static_cast<int>(numbers.size()))]);
    IndexKey end = KeyOf(numbers[Pick(static_cast<int>(numbers.size()))]);
    const bool open = Chance(25);
    if (!open && Chance(60) && CompareKeys(layout, start.data(), end.data(), length) > 0) {
      std::swap(const_cast<IndexKey&>(start), end);  // mostly a range that holds something
    }
    Cursor().SetRange(true, start.data(), fields, open ? nullptr : end.data(), fields);
    std::set<uint32_t> inside;
    for (uint32_t n : numbers) {
      const IndexKey key = KeyOf(n);
      if (CompareKeys(layout, key.data(), start.data(), length) >= 0 &&
          (open || CompareKeys(layout, key.data(), end.data(), length) <= 0)) {
        inside.insert(n);
      }
    }
    return inside;
  }

  void CheckFilter() {
    const std::string text = Filter(3);
    TFilterOptions options;
    options.CaseInsensitive = Chance(20);
    options.NoPartialCompare = Chance(10);
    options.AfterOthers = Chance(20);
    SCOPED_TRACE(text + (options.CaseInsensitive ? " [no case]" : ""));
    TFilter* filter = nullptr;
    std::set<uint32_t> expected;
    try {
      expected = Expected(text, options);
      filter = Cursor().AddFilter(text, options);
    } catch (const EVUZODEEngineError& e) {
      ASSERT_EQ(e.EngineCode(), VUZODE_INVALIDFILTER) << e.what();
      ++refused_;
      return;
    }
    ++checked_;
    served_ += filter->Servability != 0;
    // A random order: record order, the primary index or a secondary one.
    const int order = Pick(4);
    Cursor().SetIndexNumber(order == 0         ? kRecordOrder
                            : order == 1       ? 0
                            : indexed_.empty() ? 0
                                               : indexed_[Pick(static_cast<int>(indexed_.size()))]);
    Cursor().ActivateFilter(filter);
    std::vector<uint32_t> seen = Walk();
    EXPECT_EQ(std::set<uint32_t>(seen.begin(), seen.end()), expected);
    if (!Cursor().InRecordOrder() && Chance(60)) {
      std::set<uint32_t> inside = RandomRange();
      std::set<uint32_t> both;
      std::set_intersection(inside.begin(), inside.end(), expected.begin(), expected.end(),
                            std::inserter(both, both.end()));
      seen = Walk();
      EXPECT_EQ(std::set<uint32_t>(seen.begin(), seen.end()), both) << "with a range";
      Cursor().DeactivateFilter(filter);
      seen = Walk();
      EXPECT_EQ(std::set<uint32_t>(seen.begin(), seen.end()), inside) << "range alone";
      Cursor().ResetRange();
    }
    Cursor().DropFilter(filter);
    EXPECT_EQ(Cursor().RecordCount(), rows_.size());
  }
};

TEST_F(FilterPropertyTest, IndexesServeFiltersAsEvaluationAnswersThem) {
  const int64_t cases = HeavyTestSize("PEBRIO_FILTER_CASES", 120);
  const uint16_t languages[] = {0, 1033, 1031, 0};
  for (int round = 0; round < 4 && !HasFailure(); ++round) {
    const uint32_t seed = 31u * static_cast<uint32_t>(round) + 5u;
    SCOPED_TRACE("language " + std::to_string(languages[round]) + " seed " + std::to_string(seed));
    CreateRound(seed, languages[round], round % 2 == 1);
    for (int64_t i = 0; i < cases && !HasFailure(); ++i) CheckFilter();
    on_.reset();
  }
  // Most filters check and most are served at least in part.
  EXPECT_GT(checked_, refused_);
  EXPECT_GT(served_, checked_ / 3);
  RecordProperty("checked", checked_);
  RecordProperty("served", served_);
  RecordProperty("refused", refused_);
}

}  // namespace
}  // namespace engine_test
