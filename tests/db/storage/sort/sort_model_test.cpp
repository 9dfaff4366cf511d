// SortRecords against a model: random tables (several key types, nulls, duplicates, mixed-case
// and accented strings, keys wider than one index key, deleted records, shared row ids,
// encryption, locales)
// sorted by random fields and directions, with DISTINCT, grouping with counts and sums, HAVING
// and limits. Each table is sorted twice, once fully cached (in memory) and once through run
// files with a small budget and fan-in, and both record areas must equal the model's: a
// std::stable_sort on decoded values followed by a plain reading of the row rules.
//
// Rounds: PEBRIO_SORT_MODEL_ROUNDS (default 150, 25 under the sanitizers); seed:
// PEBRIO_TEST_SEED.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "db/storage/data/field_value.h"
#include "db/storage/le_codec.h"
#include "db/storage/locale/locale_case.h"
#include "db/storage/locale/locale_compare.h"
#include "db/storage/sort/record_sort.h"
#include "tests/db/storage/sort/sort_test_util.h"

namespace {

using sort_test::TImage;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kDefaultRounds = 25;
#else
constexpr int kDefaultRounds = 150;
#endif

int EnvOr(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr ? std::atoi(text) : fallback;
}

// Sortable fields first (kSortable of them), then the aggregate columns.
const std::vector<FieldDescriptor> kFields = sort_test::Fields({
    {"K", kFieldInteger},
    {"S", kFieldString, 8},
    {"F", kFieldFloat},
    {"SI", kFieldSmallInt},
    {"D", kFieldDate},
    {"BIG", kFieldLargeInt},
    {"W", kFieldWord},
    {"T", kFieldTime},
    {"BY", kFieldBytes, 3},
    {"BO", kFieldBoolean},
    {"W1", kFieldString, 200},
    {"W2", kFieldString, 200},
    {"W3", kFieldString, 200},
    {"CNT", kFieldInteger},
    {"SUM", kFieldFloat},
    {"AVG", kFieldFloat},
});
constexpr size_t kSortable = 13;
const FieldDescriptor& kK = kFields[0];
const FieldDescriptor& kCnt = kFields[13];
const FieldDescriptor& kSum = kFields[14];
const FieldDescriptor& kAvg = kFields[15];

struct TRound {
  std::vector<TSortField> Sort;
  bool CaseInsensitive = false;
  uint16_t Language = 0;
  int Mode = 0;  // 0 plain, 1 distinct, 2 grouping
  bool Finish = false;
  bool Accept = false;
  int64_t Limit = -1;
};

// Fills the record's fields with values drawn to collide often.
void FillRecord(TRecord& r, std::mt19937& random) {
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto maybeNull = [&](const FieldDescriptor& f) {
    if (pick(10) != 0) return false;
    r.SetNull(f);
    return true;
  };
  static const char* const kLetters[] = {"a",        "A", "b",        "B", "\xC3\xA9",
                                         "\xC3\x89", "z", "\xC3\xA4", "-"};
  static const double kFloats[] = {-2.5, -0.0, 0.0, 1.0, 3.25, 1e10, -1e-3};
  static const int64_t kBigs[] = {INT64_MIN + 1, -1, 0, 1, INT64_MAX};
  if (!maybeNull(kFields[0])) r.SetInteger(kFields[0], pick(11) - 5);
  if (!maybeNull(kFields[1])) {
    std::string s;
    for (int i = 0, n = 1 + pick(3); i < n; ++i) s += kLetters[pick(9)];
    r.SetString(kFields[1], s);
  }
  if (!maybeNull(kFields[2])) r.SetFloat(kFields[2], kFloats[pick(7)]);
  if (!maybeNull(kFields[3])) r.SetInteger(kFields[3], pick(7) - 3);
  if (!maybeNull(kFields[4])) r.SetInteger(kFields[4], 1 + pick(5));
  if (!maybeNull(kFields[5])) r.SetInteger(kFields[5], kBigs[pick(5)]);
  if (!maybeNull(kFields[6])) r.SetInteger(kFields[6], pick(2) ? 65535 : pick(4));
  if (!maybeNull(kFields[7])) r.SetInteger(kFields[7], pick(4));
  if (!maybeNull(kFields[8])) {
    static const uint8_t kBytes[] = {0x00, 0x7F, 0x80, 0xFF};
    const uint8_t b[3] = {kBytes[pick(4)], kBytes[pick(4)], kBytes[pick(4)]};
    r.SetBytes(kFields[8], b);
  }
  if (!maybeNull(kFields[9])) r.SetInteger(kFields[9], pick(2));
  for (size_t i = 10; i < 13; ++i) {
    // A long common prefix: the order is decided past the first chunk of the key.
    if (!maybeNull(kFields[i])) r.SetString(kFields[i], std::string(150, 'x') + "aAb"[pick(3)]);
  }
}

// The model's order of one field: nulls first, then values (strings upper-cased when
// case-insensitive and collated with the locale), reversed when descending.
int CompareField(const TSortField& s, const TImage& a, const TImage& b, const TRound& round) {
  const FieldDescriptor& f = s.Field;
  const bool na = IsFieldNull(a, f), nb = IsFieldNull(b, f);
  int r = 0;
  if (na || nb) {
    r = na == nb ? 0 : (na ? -1 : 1);
  } else if (f.Type == kFieldString) {
    std::string x, y;
    GetFieldString(a, f, x);
    GetFieldString(b, f, y);
    if (round.CaseInsensitive) {
      LocaleUpperCase(round.Language, 0, x);
      LocaleUpperCase(round.Language, 0, y);
    }
    r = round.Language == 0 ? x.compare(y) : LocaleCompare(round.Language, 0, x, y, false);
  } else if (f.Type == kFieldFloat) {
    double x = 0, y = 0;
    GetFieldFloat(a, f, x);
    GetFieldFloat(b, f, y);
    r = (x > y) - (x < y);
  } else if (f.Type == kFieldBytes) {
    std::vector<uint8_t> x, y;
    GetFieldBytes(a, f, x);
    GetFieldBytes(b, f, y);
    r = std::memcmp(x.data(), y.data(), x.size());
  } else {
    int64_t x = 0, y = 0;
    GetFieldInteger(a, f, x);
    GetFieldInteger(b, f, y);
    r = (x > y) - (x < y);
  }
  r = (r > 0) - (r < 0);
  return s.Descending ? -r : r;
}

bool SameFields(const TImage& a, const TImage& b, const TRound& round) {
  return std::all_of(round.Sort.begin(), round.Sort.end(),
                     [&](const TSortField& s) { return CompareField(s, a, b, round) == 0; });
}

int64_t IntegerOf(const TImage& image, const FieldDescriptor& f) {
  int64_t v = 0;
  GetFieldInteger(image, f, v);
  return v;
}

double FloatOf(std::span<const uint8_t> image, const FieldDescriptor& f) {
  double v = 0;
  GetFieldFloat(image, f, v);
  return v;
}

void FinishModelRow(TImage& row) {
  const int64_t count = IntegerOf(row, kCnt);
  SetFieldFloat(row, kAvg, count == 0 ? -1.0 : FloatOf(row, kSum) / static_cast<double>(count));
}

bool AcceptModelRow(const TImage& row) {
  int64_t k = 0;
  return IntegerOf(row, kCnt) >= 2 || (GetFieldInteger(row, kK, k) && k % 2 == 0);
}

// The expected record area: rows of the stably sorted active records, finished, accepted, cut
// to the limit and numbered.
std::vector<TImage> Model(std::vector<TImage> records, const TRound& round) {
  std::erase_if(records, [](const TImage& r) { return r[0] != kRecordActive; });
  std::stable_sort(records.begin(), records.end(), [&](const TImage& a, const TImage& b) {
    for (const TSortField& s : round.Sort) {
      if (const int r = CompareField(s, a, b, round); r != 0) return r < 0;
    }
    return GetI32(a.data() + 5) < GetI32(b.data() + 5);
  });
  std::vector<TImage> rows;
  for (size_t i = 0; i < records.size();) {
    size_t end = i + 1;
    if (round.Mode != 0) {
      while (end < records.size() && SameFields(records[i], records[end], round)) ++end;
    }
    TImage row = records[i];
    if (round.Mode == 2) {
      double sum = 0;
      for (size_t j = i; j < end; ++j) sum += static_cast<double>(IntegerOf(records[j], kK));
      SetFieldInteger(row, kCnt, static_cast<int64_t>(end - i));
      SetFieldFloat(row, kSum, sum);
    }
    if (round.Finish) FinishModelRow(row);
    if (!round.Accept || AcceptModelRow(row)) rows.push_back(row);
    i = end;
  }
  if (round.Limit >= 0 && rows.size() > static_cast<size_t>(round.Limit)) rows.resize(round.Limit);
  for (size_t i = 0; i < rows.size(); ++i) {
    PutU32(rows[i].data() + 1, static_cast<uint32_t>(i + 1));
    PutI32(rows[i].data() + 5, static_cast<int32_t>(i + 1));
  }
  return rows;
}

TSortRequest RequestOf(const TRound& round) {
  TSortRequest request;
  request.Fields = round.Sort;
  request.Limit = round.Limit;
  request.Distinct = round.Mode == 1;
  request.CaseInsensitive = round.CaseInsensitive;
  if (round.Mode == 2) {
    request.AccumulateRow = [](bool starts, TConstRecordImage record, TRecordImage row) {
      int64_t k = 0;
      GetFieldInteger(record, kK, k);
      if (starts) {
        SetFieldInteger(row, kCnt, 1);
        SetFieldFloat(row, kSum, static_cast<double>(k));
        return;
      }
      int64_t count = 0;
      GetFieldInteger(row, kCnt, count);
      SetFieldInteger(row, kCnt, count + 1);
      SetFieldFloat(row, kSum, FloatOf(row, kSum) + static_cast<double>(k));
    };
  }
  if (round.Finish) {
    request.FinishRow = [](TRecordImage row) {
      TImage copy(row.begin(), row.end());
      FinishModelRow(copy);
      std::copy(copy.begin(), copy.end(), row.begin());
    };
  }
  if (round.Accept) {
    const bool finished = round.Finish;
    request.AcceptRow = [finished](TConstRecordImage row) {
      // HAVING sees only finished rows.
      EXPECT_TRUE(!finished || !IsFieldNull(row, kAvg));
      return AcceptModelRow(TImage(row.begin(), row.end()));
    };
  }
  return request;
}

TRound RandomRound(std::mt19937& random) {
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  TRound round;
  static const uint16_t kLanguages[] = {0, 0, 0, 1033, 1031};
  round.Language = kLanguages[pick(5)];
  round.CaseInsensitive = pick(2) == 0;
  if (pick(6) == 0) {
    for (size_t i = 10; i < 13; ++i) round.Sort.push_back({kFields[i], pick(2) == 0});
  }
  for (int i = 0, n = 1 + pick(3); i < n; ++i) {
    round.Sort.push_back({kFields[static_cast<size_t>(pick(kSortable))], pick(2) == 0});
  }
  round.Mode = pick(3);
  round.Finish = pick(2) == 0;
  round.Accept = pick(3) == 0;
  return round;
}

// A copy of source's file under name, opened with an empty cache.
std::unique_ptr<TDataFile> CopyTable(TDataFile& source, const std::string& name) {
  std::vector<uint8_t> bytes(static_cast<size_t>(source.GetFileSize()));
  {
    TFileAccess access(source);
    source.Seek(0);
    source.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), false);
  }
  TFileHandler copy;
  copy.SetFileName(name);
  copy.SetInMemory(true);
  copy.CreateFile();
  copy.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  copy.Close();
  auto file = std::make_unique<TDataFile>();
  file->SetFileName(name);
  file->SetInMemory(true);
  file->Open();
  return file;
}

void ExpectSorted(TDataFile& file, const TSortRequest& request, const TSortOptions& options,
                  const std::vector<TImage>& expected, const char* path) {
  SCOPED_TRACE(path);
  const size_t registered = FileList().Count();
  EXPECT_EQ(SortRecords(file, request, options), expected.size());
  EXPECT_EQ(FileList().Count(), registered) << "a run file was left behind";
  EXPECT_EQ(file.RecordCache()->Count(), 0u);
  EXPECT_EQ(file.RecordCount(), expected.size());
  EXPECT_EQ(file.GetFileSize(), sort_test::RecordAreaEnd(file));
  const std::vector<TImage> stored = sort_test::StoredRecords(file);
  ASSERT_EQ(stored.size(), expected.size());
  for (size_t i = 0; i < stored.size(); ++i) ASSERT_EQ(stored[i], expected[i]) << "row " << i + 1;
}

TEST(SortModel, BothPathsGiveTheStableSortOfTheModel) {
  const unsigned seed = static_cast<unsigned>(EnvOr("PEBRIO_TEST_SEED", 5606));
  const int rounds = EnvOr("PEBRIO_SORT_MODEL_ROUNDS", kDefaultRounds);
  std::printf("SortModel seed %u, %d rounds\n", seed, rounds);
  std::mt19937 random(seed);
  for (int n = 0; n < rounds; ++n) {
    SCOPED_TRACE("round " + std::to_string(n));
    auto pick = [&](int k) { return static_cast<int>(random() % static_cast<unsigned>(k)); };
    TRound round = RandomRound(random);
    const uint32_t count = pick(8) == 0 ? static_cast<uint32_t>(pick(3)) : 1 + pick(300);
    round.Limit = pick(3) == 0 ? -1 : pick(static_cast<int>(count) + 3);
    if (pick(4) == 0) round.Limit = -1;

    sort_test::TTableSetup setup;
    setup.Name = "sort_model_" + std::to_string(n) + ".DAT";
    setup.Fields = kFields;
    setup.LanguageId = static_cast<int16_t>(round.Language);
    setup.Encrypted = pick(4) == 0;
    auto cached = sort_test::NewTable(setup);
    cached->RecordCache()->Trim(count + 1);  // room for the whole table
    // Shared row ids leave ties that only the records' positions order.
    const bool sharedRowIds = pick(4) == 0;
    for (uint32_t i = 0; i < count; ++i) {
      TRecord r = cached->AllocateRecord();
      r.Initialize(true);
      if (sharedRowIds) r.SetRowId(pick(4));
      FillRecord(r, random);
      cached->Unpin(r);
    }
    if (pick(5) == 0) {
      for (uint32_t i = 1; i <= count; ++i) {
        if (pick(8) != 0) continue;
        TRecord r = cached->FetchRecord(i);
        cached->FreeRecord(r);
        cached->Unpin(r);
      }
    }
    cached->FlushRecords();
    cached->WriteHeader(false);
    auto uncached = CopyTable(*cached, "sort_model_copy_" + std::to_string(n) + ".DAT");
    ASSERT_EQ(cached->RecordCache()->Count(), count) << "the in-memory path is tested";
    ASSERT_EQ(uncached->RecordCache()->Count(), 0u) << "the external path is tested";

    const std::vector<TImage> expected = Model(sort_test::StoredRecords(*cached), round);
    const TSortRequest request = RequestOf(round);
    TSortOptions small;
    small.PrivateDirectory = "sortruns";
    small.MaxRunRecords = 1 + pick(40);
    small.MaxMergeRuns = pick(2) == 0 ? 2 + pick(6) : 128;
    ExpectSorted(*cached, request, TSortOptions{}, expected, "in memory");
    ExpectSorted(*uncached, request, small, expected, "through runs");
    for (TDataFile* file : {cached.get(), uncached.get()}) {
      const std::string name = file->FileName();
      file->Close();
      FileList().DeleteFile(name, true);
    }
    if (HasFatalFailure()) return;
  }
}

}  // namespace
