// Filter evaluation against SQLite: a prepared five-term filter (integer and string
// comparisons, AND and OR, one function) compiled into a TFilterProgram and tested on one
// million record images in memory,
// and SQLite counting the rows of an in-memory table of the same million rows that pass the
// same condition. Prints both times (and, for reference, the time of the tree evaluator on its
// own), and as its last line "ratio filter_eval_vs_sqlite X"
// (our time / SQLite's).
//
// Record image: 9-byte header, then a (indicator + int32), b (indicator + int32),
// s (indicator + 16 bytes, zero-terminated), t (indicator + 16 bytes).
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "db/sql/expressions/evaluate.h"
#include "db/sql/expressions/expression_parser.h"
#include "db/sql/expressions/filter_program.h"
#include "db/sql/expressions/prepare_filter.h"
#include "db/sql/expressions/type_check.h"
#include "db/storage/data/field_types.h"

namespace {

constexpr int kRecords = 1000000;
constexpr size_t kOffsetA = 9, kOffsetB = 14, kOffsetS = 19, kOffsetT = 36, kRecordSize = 53;
constexpr const char* kFilter =
    "(a > 250000 AND b < 700) OR (s >= 'm' AND LENGTH(t) = 5) OR a = 17";

struct TField {
  const char* Name;
  uint8_t Type;
  int32_t Size;
  size_t Offset;
};
constexpr TField kFields[] = {{"a", kFieldInteger, 4, kOffsetA},
                              {"b", kFieldInteger, 4, kOffsetB},
                              {"s", kFieldString, 17, kOffsetS},
                              {"t", kFieldString, 17, kOffsetT}};

class TImageTable : public TColumnResolver, public TEvalEnvironment {
 public:
  bool ResolveColumn(TExpToken& node) override {
    for (uint16_t i = 0; i < 4; ++i)
      if (node.ColumnName == kFields[i].Name) {
        node.FieldNo = static_cast<uint16_t>(i + 1);
        node.ValueType = kFields[i].Type;
        node.SetValueSize(kFields[i].Size);
        return true;
      }
    return false;
  }
  bool ColumnImage(const TExpToken& column, size_t& offset) override {
    offset = kFields[column.FieldNo - 1].Offset;
    return true;
  }
  void FetchColumn(const uint8_t* record, const TExpToken& column, TExpToken& value) override {
    const TField& field = kFields[column.FieldNo - 1];
    const uint8_t* at = record + field.Offset;
    value.IsNull = at[0] == 0;
    if (field.Type == kFieldInteger) {
      std::memcpy(value.Value(), at + 1, 4);
    } else {
      const size_t length = strnlen(reinterpret_cast<const char*>(at + 1), 16);
      std::memcpy(value.Value(), at + 1, length);
      value.Value()[length] = 0;
    }
  }
};

std::string Word(std::mt19937& random) {
  std::string word(1 + random() % 10, 'a');
  for (char& c : word) c = static_cast<char>('a' + random() % 26);
  return word;
}

double Seconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
}

}  // namespace

int main() {
  std::mt19937 random(42);
  std::vector<uint8_t> images(static_cast<size_t>(kRecords) * kRecordSize, 0);
  sqlite3* db = nullptr;
  Check(sqlite3_open(":memory:", &db), db);
  Check(sqlite3_exec(db, "CREATE TABLE r(a INTEGER, b INTEGER, s TEXT, t TEXT)", nullptr, nullptr,
                     nullptr),
        db);
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO r VALUES (?, ?, ?, ?)", -1, &insert, nullptr), db);
  for (int n = 0; n < kRecords; ++n) {
    uint8_t* image = &images[static_cast<size_t>(n) * kRecordSize];
    const int32_t a = static_cast<int32_t>(random() % 1000000);
    const int32_t b = static_cast<int32_t>(random() % 1000);
    const std::string s = Word(random), t = Word(random);
    image[kOffsetA] = image[kOffsetB] = image[kOffsetS] = image[kOffsetT] = 1;
    std::memcpy(image + kOffsetA + 1, &a, 4);
    std::memcpy(image + kOffsetB + 1, &b, 4);
    std::memcpy(image + kOffsetS + 1, s.data(), s.size());
    std::memcpy(image + kOffsetT + 1, t.data(), t.size());
    sqlite3_bind_int(insert, 1, a);
    sqlite3_bind_int(insert, 2, b);
    sqlite3_bind_text(insert, 3, s.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 4, t.c_str(), -1, SQLITE_TRANSIENT);
    Check(sqlite3_step(insert), db);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);

  TImageTable table;
  TExpressionParser parser;
  TExpToken* tree = parser.ParseFilter(kFilter);
  TTypeCheckOptions options;
  options.ErrorCode = parser.ErrorCode;
  options.RewriteBooleanColumns = true;
  options.Resolver = &table;
  options.ContextName = "filter expression";
  CheckTypes(options, nullptr, tree);
  TExpToken* prepared = PrepareFilter(*tree, {});

  double ours = 1e9, treeTime = 1e9, theirs = 1e9;
  long long ourCount = 0, treeCount = 0, theirCount = 0;
  for (int round = 0; round < 3; ++round) {
    {
      TFilterProgram program(*prepared, &table);
      auto start = std::chrono::steady_clock::now();
      long long count = 0;
      for (int n = 0; n < kRecords; ++n)
        count += program.Holds(&images[static_cast<size_t>(n) * kRecordSize]);
      ours = std::min(ours, Seconds(std::chrono::steady_clock::now() - start));
      ourCount = count;
    }
    {
      TExpEvaluator evaluator(&table);
      auto start = std::chrono::steady_clock::now();
      long long count = 0;
      for (int n = 0; n < kRecords; ++n)
        count += evaluator.Holds(*prepared, &images[static_cast<size_t>(n) * kRecordSize]);
      treeTime = std::min(treeTime, Seconds(std::chrono::steady_clock::now() - start));
      treeCount = count;
    }

    sqlite3_stmt* query = nullptr;
    const std::string sql = std::string("SELECT count(*) FROM r WHERE ") +
                            "(a > 250000 AND b < 700) OR (s >= 'm' AND length(t) = 5) OR a = 17";
    const auto start = std::chrono::steady_clock::now();
    Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &query, nullptr), db);
    Check(sqlite3_step(query), db);
    theirCount = sqlite3_column_int64(query, 0);
    sqlite3_finalize(query);
    theirs = std::min(theirs, Seconds(std::chrono::steady_clock::now() - start));
  }
  ReleaseExpTree(GlobalExpTokenStack(), prepared);
  ReleaseExpTree(GlobalExpTokenStack(), tree);
  sqlite3_close(db);
  if (ourCount != theirCount || treeCount != theirCount) {
    std::fprintf(stderr, "counts differ: %lld (tree %lld) against %lld\n", ourCount, treeCount,
                 theirCount);
    return 1;
  }
  std::printf("filter: %s\nrows passing: %lld of %d\n", kFilter, ourCount, kRecords);
  std::printf("filter_eval %.4f s\nfilter_eval_tree %.4f s\nsqlite %.4f s\n", ours, treeTime,
              theirs);
  std::printf("ratio filter_eval_vs_sqlite %.3f\n", ours / theirs);
  return 0;
}
