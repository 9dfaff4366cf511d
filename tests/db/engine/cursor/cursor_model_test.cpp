// Randomized walks of a cursor against an in-memory model of its table: fields of six types,
// ascending, descending and mixed indexes, unique or not, with and without a locale; every
// order (primary, secondary, row id, record order) walked forwards and backwards, by record
// number, by bookmark, by block reads and by FindKey with whole, shorter and partial keys,
// while another session and another process append and delete records between the steps.
// The model sorts decoded values with its own comparison; only strings with a locale borrow
// the locale's collation. The cursor's session detects changes strictly, so every step sees
// the table as it is.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <random>
#include <variant>

#include "db/sql/expressions/bcd_value.h"
#include "db/storage/locale/locale_compare.h"
#include "tests/db/engine/locking/locking_test_util.h"
#include "tests/db/engine/support/storage_changes.h"
#include "tests/db/storage/files/helper_process.h"

namespace engine_test {
namespace {

// Null, an integer (dates, and BCD in ten-thousandths), a double or a text.
using TValue = std::variant<std::monostate, int64_t, double, std::string>;
enum { kI, kS, kF, kB, kD, kH, kFieldCount };

struct TRow {
  uint32_t Record = 0;
  int32_t RowId = 0;
  bool Deleted = false;
  std::array<TValue, kFieldCount> Values;
};

struct TIndexModel {
  int Number;
  std::string Name;
  std::vector<int> Fields;
  std::vector<bool> FieldDescending;
  bool Descending;
  bool Unique;
};

template <typename T>
int Sign(const T& a, const T& b) {
  return (a > b) - (a < b);
}

class TModel {
 public:
  uint16_t Language = 0;
  std::vector<TIndexModel> Indexes;
  std::vector<TRow> Slots;  // by record number - 1

  int CompareValues(const TValue& a, const TValue& b) const {
    if (a.index() == 0 || b.index() == 0) return Sign(a.index() != 0, b.index() != 0);
    if (const auto* x = std::get_if<std::string>(&a)) {
      const std::string& y = std::get<std::string>(b);
      return Language == 0 ? Sign(x->compare(y), 0) : LocaleCompare(Language, 0, *x, y, false);
    }
    if (const auto* x = std::get_if<double>(&a)) return Sign(*x, std::get<double>(b));
    return Sign(std::get<int64_t>(a), std::get<int64_t>(b));
  }
  // The first whole key fields of a and b, then the string field after them in a against its
  // first partial characters in b.
  int Compare(const TIndexModel& x, const TRow& a, const TRow& b, size_t whole,
              size_t partial) const {
    for (size_t i = 0; i < whole; ++i) {
      const int r = CompareValues(a.Values[x.Fields[i]], b.Values[x.Fields[i]]);
      if (r != 0) return x.Descending || x.FieldDescending[i] ? -r : r;
    }
    if (partial == 0) return 0;
    const TValue cut = std::get<std::string>(b.Values[x.Fields[whole]]).substr(0, partial);
    return CompareValues(a.Values[x.Fields[whole]], cut);
  }
  bool Matches(const TIndexModel& x, const TRow& a, const TRow& b, size_t whole,
               size_t partial) const {
    if (Compare(x, a, b, whole, 0) != 0) return false;
    if (partial == 0) return true;
    const auto* s = std::get_if<std::string>(&a.Values[x.Fields[whole]]);
    const TValue want = std::get<std::string>(b.Values[x.Fields[whole]]).substr(0, partial);
    return s != nullptr && CompareValues(TValue(s->substr(0, partial)), want) == 0;
  }
  const TIndexModel& Index(int number) const {
    for (const TIndexModel& x : Indexes) {
      if (x.Number == number) return x;
    }
    return Indexes.front();
  }
  // The order of index number: the key, then the row id of a non-unique index.
  int Order(int number, const TRow& a, const TRow& b) const {
    if (number == kRecordOrder) return Sign(a.Record, b.Record);
    if (number == kRowIdIndex) {
      return a.Deleted != b.Deleted ? Sign(a.Deleted, b.Deleted) : Sign(a.RowId, b.RowId);
    }
    const TIndexModel& x = Index(number);
    const int r = Compare(x, a, b, x.Fields.size(), 0);
    if (r != 0 || x.Unique) return r;
    return x.Descending ? -Sign(a.RowId, b.RowId) : Sign(a.RowId, b.RowId);
  }
  // The records of index number in its order: the row-id index holds deleted ones too.
  const std::vector<TRow>& View(int number) {
    auto [at, added] = views_.try_emplace(number);
    if (added) {
      for (const TRow& r : Slots) {
        if (!r.Deleted || number == kRowIdIndex) at->second.push_back(r);
      }
      std::sort(at->second.begin(), at->second.end(),
                [&](const TRow& a, const TRow& b) { return Order(number, a, b) < 0; });
    }
    return at->second;
  }
  void Put(const TRow& row) {
    if (row.Record > Slots.size()) Slots.resize(row.Record);
    Slots[row.Record - 1] = row;
    views_.clear();
  }
  // Whether row would repeat a key of a unique index among the active rows and others.
  bool Duplicate(const TRow& row, const std::vector<TRow>& others) const {
    for (const TIndexModel& x : Indexes) {
      if (!x.Unique) continue;
      for (const auto* rows : {&Slots, &others}) {
        for (const TRow& r : *rows) {
          if (!r.Deleted && Compare(x, r, row, x.Fields.size(), 0) == 0) return true;
        }
      }
    }
    return false;
  }

 private:
  std::map<int, std::vector<TRow>> views_;
};

// The cursor's place as the model sees it: before the first, after the last, or on a key.
struct TPlace {
  enum { kBof, kEof, kOn } Kind = kBof;
  TRow At;
};

class CursorModelTest : public testing::Test {
 protected:
  void SetUpRound(uint16_t language, uint32_t seed) {
    rng_.seed(seed);
    model_ = TModel();
    model_.Language = language;
    const bool down = rng_() % 2 == 0;
    model_.Indexes = {{0, "", {kI}, {down}, down, true},
                      {1, "BYS", {kS, kI}, {false, false}, false, true},
                      {2, "BYHS", {kH, kS}, {true, false}, false, false},
                      {3, "BYBD", {kB, kD}, {false, true}, false, false},
                      {4, "BYFS", {kF, kS}, {true, true}, true, true}};
    TTableDefinition d;
    const uint8_t types[] = {kFieldInteger, kFieldString, kFieldFloat,
                             kFieldBcd,     kFieldDate,   kFieldSmallInt};
    const char* names[] = {"I", "S", "F", "B", "D", "H"};
    for (int k = 0; k < kFieldCount; ++k) {
      d.Fields.push_back(MakeField(k + 1, names[k], types[k], k == kS ? 12 : 0));
    }
    d.Fields[kB].Scale = 2;
    for (const TIndexModel& x : model_.Indexes) {
      std::vector<uint16_t> fields;
      for (int f : x.Fields) fields.push_back(static_cast<uint16_t>(f + 1));
      IndexDescriptor index = MakeIndexDefinition(x.Name, fields, x.Unique);
      index.Descending = x.Descending;
      for (size_t i = 0; i < x.Fields.size(); ++i) index.FieldDescending[i] = x.FieldDescending[i];
      d.Indexes.push_back(index);
    }
    d.LocaleGiven = language != 0;
    d.LanguageId = static_cast<int16_t>(language);
    table_ = "M" + std::to_string(seed);
    CreateTable(folder_.Path(), table_, d);
    reader_ = std::make_unique<TSessionOn>(folder_.Path(), table_);
    reader_->session.SetStrictChangeDetection(true);
    writer_ = std::make_unique<TSessionOn>(folder_.Path(), table_);
    place_ = TPlace();
    index_ = 0;
    bookmarks_.clear();
  }
  void TearDown() override {
    reader_.reset();
    writer_.reset();
  }
  TDataCursor& Cursor() { return *reader_->cursor; }

  TRow RandomRow() {
    auto pick = [&](int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); };
    TRow row;
    auto set = [&](int k, TValue v) {
      if (pick(10) != 0) row.Values[k] = std::move(v);
    };
    set(kI, int64_t{pick(2 * spread_ + 1) - spread_});
    std::string text;
    for (int n = pick(4); n > 0; --n) text += "aAbB-c"[pick(6)];
    if (!text.empty()) set(kS, text);
    const double floats[] = {-2.5, -1, 0, 0.5, 1, 3.25};
    set(kF, floats[pick(6)]);
    const int64_t bcds[] = {-15000, 0, 100, 12500, 9999900};
    set(kB, bcds[pick(5)]);
    set(kD, int64_t{730000 + pick(11)});
    set(kH, int64_t{pick(7) - 3});
    return row;
  }
  std::vector<uint8_t> Image(const TRow& row) {
    const std::vector<FieldDescriptor>& fields = Cursor().FieldDescriptors();
    std::vector<uint8_t> bytes(Cursor().Table()->DataFile().RecordSize(), 0);
    TRecordImage image(bytes.data(), bytes.size());
    std::memcpy(bytes.data() + kRowIdOffset, &row.RowId, 4);
    for (int k = 0; k < kFieldCount; ++k) {
      const TValue& v = row.Values[k];
      if (v.index() == 0) continue;
      if (k == kS) {
        SetFieldString(image, fields[k], std::get<std::string>(v));
      } else if (k == kF) {
        SetFieldFloat(image, fields[k], std::get<double>(v));
      } else if (k == kB) {
        uint8_t bcd[kBcdValueSize];
        BcdFromTenThousandths(std::get<int64_t>(v), 2, bcd);
        SetFieldBytes(image, fields[k], bcd);
      } else {
        SetFieldInteger(image, fields[k], std::get<int64_t>(v));
      }
    }
    return bytes;
  }
  TRow Decode(const uint8_t* buffer) {
    const std::vector<FieldDescriptor>& fields = Cursor().FieldDescriptors();
    TConstRecordImage image(buffer, Cursor().RecordSize());
    TRow row;
    row.Deleted = buffer[0] != kRecordActive;
    std::memcpy(&row.Record, buffer + 1, 4);
    std::memcpy(&row.RowId, buffer + kRowIdOffset, 4);
    for (int k = 0; k < kFieldCount; ++k) {
      std::string s;
      double f = 0;
      int64_t i = 0;
      std::vector<uint8_t> bcd;
      if (k == kS && GetFieldString(image, fields[k], s)) row.Values[k] = s;
      if (k == kF && GetFieldFloat(image, fields[k], f)) row.Values[k] = f;
      if (k == kB && GetFieldBytes(image, fields[k], bcd) && BcdToTenThousandths(bcd.data(), i)) {
        row.Values[k] = i;
      }
      if (k != kS && k != kF && k != kB && GetFieldInteger(image, fields[k], i)) row.Values[k] = i;
    }
    return row;
  }

  // Changes by the other session (in this process) or by a spawned process.
  void Append(int count, bool otherProcess) {
    std::vector<TRow> rows;
    for (int attempt = 0; rows.size() < static_cast<size_t>(count) && attempt < 50 * count;
         ++attempt) {
      TRow row = RandomRow();
      if (!model_.Duplicate(row, rows)) rows.push_back(row);
    }
    std::vector<std::string> args = {folder_.Path(), table_, "append-images"};
    for (TRow& row : rows) {
      const std::vector<uint8_t> image = Image(row);
      if (!otherProcess) {
        std::tie(row.Record, row.RowId) = AppendImage(writer_->Table(), image);
        continue;
      }
      std::string hex;
      for (uint8_t b : image) hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
      args.push_back(hex);
    }
    if (otherProcess) {
      files_test::THelperProcess helper(PEBRIO_ENGINE_HELPER, args);
      for (TRow& row : rows) {
        ASSERT_EQ(std::sscanf(helper.ReadLine().c_str(), "%u %d", &row.Record, &row.RowId), 2);
      }
      ASSERT_EQ(helper.ReadLine(), "done");
    }
    for (const TRow& row : rows) model_.Put(row);
  }
  void Delete(int count, bool otherProcess) {
    std::vector<std::string> args = {folder_.Path(), table_, "delete-records"};
    for (int i = 0; i < count && model_.View(0).size() > 3; ++i) {
      TRow row = model_.View(0)[rng_() % model_.View(0).size()];
      // Often the cursor's own record, whose neighbours must then be found.
      if (i == 0 && place_.Kind == TPlace::kOn && !place_.At.Deleted && rng_() % 2 == 0) {
        row = model_.Slots[place_.At.Record - 1];
        if (row.Deleted) continue;
      }
      if (otherProcess) {
        args.push_back(std::to_string(row.Record));
      } else {
        DeleteRecordAt(writer_->Table(), row.Record);
      }
      row.Deleted = true;
      model_.Put(row);
    }
    if (otherProcess && args.size() > 3) {
      files_test::THelperProcess helper(PEBRIO_ENGINE_HELPER, args);
      ASSERT_EQ(helper.ReadLine(), "done");
    }
  }

  // The model's answers. A place on a key that is gone stands between its neighbours.
  size_t LowerBound(const std::vector<TRow>& v, const TRow& at) {
    return std::partition_point(v.begin(), v.end(),
                                [&](const TRow& r) { return model_.Order(index_, r, at) < 0; }) -
           v.begin();
  }
  uint16_t Expect(const std::vector<TRow>& v, size_t i, uint16_t offEnd) {
    if (i < v.size()) {
      place_ = {TPlace::kOn, v[i]};
      return 0;
    }
    place_.Kind = offEnd == VUZODE_EOF ? TPlace::kEof : TPlace::kBof;
    return offEnd;
  }
  uint16_t ModelCur() {
    const std::vector<TRow>& v = model_.View(index_);
    if (place_.Kind != TPlace::kOn) return place_.Kind == TPlace::kBof ? VUZODE_BOF : VUZODE_EOF;
    // Gone with nothing after it: in record order the last record is the nearest.
    const size_t i = LowerBound(v, place_.At);
    return Expect(v, i == v.size() && index_ == kRecordOrder ? i - 1 : i, VUZODE_EOF);
  }
  uint16_t ModelNext() {
    const std::vector<TRow>& v = model_.View(index_);
    if (place_.Kind == TPlace::kEof) return VUZODE_EOF;
    size_t i = 0;
    if (place_.Kind == TPlace::kOn) {
      i = LowerBound(v, place_.At);
      if (i < v.size() && model_.Order(index_, v[i], place_.At) == 0) ++i;
    }
    return Expect(v, i, VUZODE_EOF);
  }
  uint16_t ModelPrior() {
    const std::vector<TRow>& v = model_.View(index_);
    if (place_.Kind == TPlace::kBof) return VUZODE_BOF;
    const size_t i = place_.Kind == TPlace::kEof ? v.size() : LowerBound(v, place_.At);
    return Expect(v, i == 0 ? v.size() : i - 1, VUZODE_BOF);
  }
  // Checks a read's code and record, and the cursor's record number in the view.
  void CheckRead(const char* what, uint16_t code, uint16_t want, const uint8_t* buffer,
                 bool position = true) {
    SCOPED_TRACE(what);
    ASSERT_EQ(code, want);
    const std::vector<TRow>& v = model_.View(index_);
    const uint32_t number =
        place_.Kind == TPlace::kOn ? static_cast<uint32_t>(LowerBound(v, place_.At) + 1) : 0;
    if (position) {
      EXPECT_EQ(Cursor().RecordNumber(), number);
    }
    if (want != 0) return;
    if (position) {
      EXPECT_EQ(Cursor().CurrentRecordNumber(), place_.At.Record);
    }
    TRow got = Decode(buffer);
    if (got.Deleted) got.Record = place_.At.Record;  // a deleted record's link
    EXPECT_TRUE(got.Deleted == place_.At.Deleted && got.Record == place_.At.Record &&
                got.RowId == place_.At.RowId && got.Values == place_.At.Values)
        << "record " << got.Record << " row id " << got.RowId << ", expected record "
        << place_.At.Record << " row id " << place_.At.RowId;
  }
  void CheckCur(const char* what) {
    std::vector<uint8_t> buffer(Cursor().RecordSize());
    const uint16_t code = Cursor().GetCurRecord(buffer.data());
    CheckRead(what, code, ModelCur(), buffer.data());
  }

  void FindKey() {
    TDataCursor& c = Cursor();
    const std::vector<TRow>& v = model_.View(index_);
    TRow probe = v.empty() || rng_() % 4 == 0 ? RandomRow() : v[rng_() % v.size()];
    probe.Deleted = false;
    const std::vector<uint8_t> image = Image(probe);
    std::vector<uint8_t> out(c.RecordSize());
    const bool nearest = rng_() % 2 == 0;
    if (index_ == kRecordOrder) {
      EXPECT_FALSE(c.FindKey(image.data(), false, out.data(), 0, nearest, 0));
      return CheckCur("after FindKey in record order");
    }
    size_t whole = 1, partial = 0;
    uint16_t fieldCount = 0;
    size_t at = v.size();
    bool found = false;
    if (index_ == kRowIdIndex) {
      at = LowerBound(v, probe);
      found = at < v.size() && model_.Order(index_, v[at], probe) == 0;
    } else {
      const TIndexModel& x = model_.Index(index_);
      whole = x.Fields.size();
      const int mode = static_cast<int>(rng_() % 3);
      if (mode == 1 && x.Fields.size() > 1) whole = fieldCount = 1;
      if (mode == 2 && !x.Descending && probe.Values[kS].index() != 0) {
        // Partial characters of the string field after the whole fields.
        for (size_t i = 0; i < x.Fields.size(); ++i) {
          if (x.Fields[i] == kS && !x.FieldDescending[i])
            whole = fieldCount = uint16_t(i), partial = 1 + rng_() % 3;
        }
      }
      at = std::partition_point(
               v.begin(), v.end(),
               [&](const TRow& r) { return model_.Compare(x, r, probe, whole, partial) < 0; }) -
           v.begin();
      found = at < v.size() && model_.Matches(x, v[at], probe, whole, partial);
    }
    SCOPED_TRACE("FindKey fields " + std::to_string(fieldCount) + " partial " +
                 std::to_string(partial) + " nearest " + std::to_string(nearest));
    ASSERT_EQ(c.FindKey(image.data(), false, out.data(), static_cast<uint16_t>(partial), nearest,
                        fieldCount),
              found);
    if (!found && !nearest) {
      // Where an exact search that failed leaves the cursor is not defined: start over.
      c.SetToBegin();
      place_.Kind = TPlace::kBof;
      return;
    }
    place_ = {TPlace::kOn, v[std::min(at, v.size() - 1)]};
    CheckRead("FindKey output", 0, 0, out.data());
  }

  void SwitchIndex() {
    CheckCur("before the index change");
    if (place_.Kind != TPlace::kOn || place_.At.Deleted) {
      Cursor().SetToBegin();
      place_.Kind = TPlace::kBof;
    }
    const int numbers[] = {0, 1, 2, 3, 4, kRowIdIndex, kRecordOrder};
    index_ = numbers[rng_() % 7];
    if (index_ <= 4 && rng_() % 2 == 0) {
      std::string name = model_.Index(index_).Name;
      for (char& ch : name) ch = rng_() % 2 ? static_cast<char>(std::tolower(ch)) : ch;
      Cursor().SetIndexName(name);
    } else {
      Cursor().SetIndexNumber(index_);
    }
    bookmarks_.clear();
    CheckCur("after the index change");
  }

  void Step() {
    TDataCursor& c = Cursor();
    std::vector<uint8_t> buffer(c.RecordSize() * 5);
    const std::vector<TRow>& v = model_.View(index_);
    switch (rng_() % 16) {
      case 0:
      case 1:
      case 2:
        return CheckRead("next", c.GetNextRecord(buffer.data()), ModelNext(), buffer.data());
      case 3:
      case 4:
        return CheckRead("prior", c.GetPriorRecord(buffer.data()), ModelPrior(), buffer.data());
      case 5:
        return CheckCur("current");
      case 6:
        place_.Kind = rng_() % 2 ? TPlace::kBof : TPlace::kEof;
        place_.Kind == TPlace::kBof ? c.SetToBegin() : c.SetToEnd();
        return CheckCur("begin or end");
      case 7: {
        const uint32_t n = static_cast<uint32_t>(rng_() % (v.size() + 2));
        const bool on = n >= 1 && n <= v.size();
        EXPECT_EQ(c.SetToRecNo(n), on) << n;
        if (on) place_ = {TPlace::kOn, v[n - 1]};
        if (!on) place_.Kind = n == 0 ? TPlace::kBof : TPlace::kEof;
        return CheckCur("record number");
      }
      case 8: {
        std::vector<uint8_t> mark(c.BookmarkSize());
        EXPECT_EQ(c.GetBookmark(mark.data()), place_.Kind == TPlace::kOn);
        if (place_.Kind == TPlace::kOn) bookmarks_.emplace_back(mark, place_.At);
        return;
      }
      case 9: {
        if (bookmarks_.empty()) return;
        const auto& [mark, at] = bookmarks_[rng_() % bookmarks_.size()];
        const size_t i = LowerBound(v, at);
        const bool found = i < v.size() && model_.Order(index_, v[i], at) == 0;
        EXPECT_EQ(c.SetToBookmark(mark.data(), rng_() % 2 == 0), found);
        // Gone: the next record in key order; in record order the next, else the last.
        if (i < v.size() || index_ == kRecordOrder)
          place_ = {TPlace::kOn, v[std::min(i, v.size() - 1)]};
        if (i == v.size() && index_ != kRecordOrder) place_.Kind = TPlace::kEof;
        return CheckCur("bookmark");
      }
      case 10:
        return FindKey();
      case 11: {
        uint32_t count = 1 + static_cast<uint32_t>(rng_() % 5);
        const uint32_t asked = count;
        const uint16_t code = c.ReadRecordBlock(count, buffer.data());
        for (uint32_t i = 0; i < count; ++i) {
          CheckRead("block", 0, ModelNext(), buffer.data() + i * c.RecordSize(), i + 1 == asked);
        }
        EXPECT_EQ(code, count < asked ? ModelNext() : 0);
        return CheckCur("after the block");
      }
      case 12:
        EXPECT_EQ(c.RecordCount(), v.size());
        return CheckCur("count");
      case 13:
        return SwitchIndex();
      default:
        rng_() % 2 ? Append(1 + static_cast<int>(rng_() % 3), false)
                   : Delete(1 + static_cast<int>(rng_() % 2), false);
    }
  }

  TScratchFolder folder_;
  std::mt19937 rng_;
  TModel model_;
  std::unique_ptr<TSessionOn> reader_;
  std::unique_ptr<TSessionOn> writer_;
  TPlace place_;
  int index_ = 0;
  int spread_ = 500;  // of the primary key's values
  std::string table_;
  std::vector<std::pair<std::vector<uint8_t>, TRow>> bookmarks_;
};

TEST_F(CursorModelTest, WalksEveryOrderWhileOthersChangeTheTable) {
  const int64_t rows = HeavyTestSize("PEBRIO_CURSOR_MODEL_ROWS", 150);
  const int64_t steps = HeavyTestSize("PEBRIO_CURSOR_MODEL_STEPS", 1500);
  const uint16_t languages[] = {0, 1033, 1031};
  for (int round = 0; round < 3; ++round) {
    const uint32_t seed = 1000u * static_cast<uint32_t>(round) + 7u;
    SCOPED_TRACE("language " + std::to_string(languages[round]) + " seed " + std::to_string(seed));
    SetUpRound(languages[round], seed);
    spread_ = static_cast<int>(std::max<int64_t>(500, rows * 4));
    Append(static_cast<int>(rows), false);
    for (int64_t step = 0; step < steps && !HasFailure(); ++step) {
      SCOPED_TRACE("step " + std::to_string(step) + " index " + std::to_string(index_));
      if (step % 200 == 100) rng_() % 2 ? Append(3, true) : Delete(2, true);
      Step();
    }
    TearDown();
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace engine_test
