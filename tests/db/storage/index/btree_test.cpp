// The B+-tree against a model: randomized insertions and deletions in every compression mode,
// ascending and descending, unique and not, with the checker after every step (or every N
// steps in the long runs), and ranks and range counts compared with the model's.
#include "db/storage/index/btree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "../engine_code.h"
#include "db/storage/index/compare_keys.h"
#include "db/storage/index/index_checker.h"
#include "index_test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct TKeyOrder {
  const TKeyLayout* layout;
  bool operator()(const Bytes& a, const Bytes& b) const {
    return CompareKeys(*layout, a.data(), b.data(), a.size()) < 0;
  }
};

enum class TKeyKind { LargeInt, StringAndSmallInt };

struct TConfig {
  TKeyKind kind;
  uint8_t compression;
  bool descending;
  bool unique;
};

std::string Name(const TConfig& c) {
  return std::string(c.kind == TKeyKind::LargeInt ? "LargeInt" : "StringSmallInt") + "_C" +
         std::to_string(c.compression) + (c.descending ? "_Desc" : "_Asc") +
         (c.unique ? "_Unique" : "_Dup");
}

// One index over a fresh table, a model of its keys, and a random key source whose values
// repeat (so non-unique indexes get equal values) and share prefixes and trailing zeros (so
// the compression modes have something to do).
class TModelRun {
 public:
  explicit TModelRun(const TConfig& config, uint32_t seed)
      : config_(config),
        table_(config.kind == TKeyKind::LargeInt
                   ? MakeFields({{kFieldLargeInt, 0}})
                   : MakeFields({{kFieldString, 24}, {kFieldSmallInt, 0}})),
        random_(seed) {
    TIndexFile& file = table_.file;
    const std::vector<uint16_t> fields =
        config.kind == TKeyKind::LargeInt ? std::vector<uint16_t>{1} : std::vector<uint16_t>{1, 2};
    // Field 2 descending in the composite case exercises inverted key bytes.
    file.AddSecondaryIndex(MakeIndex("ByKey", fields, config.unique, config.compression,
                                     config.descending, {false, true}));
    file.SetPageCacheCapacity(32);
    tree_ = std::make_unique<TBTree>(file, 1);
    model_ = std::make_unique<std::set<Bytes, TKeyOrder>>(TKeyOrder{&file.Layout(1)});
  }

  TIndexFile& File() { return table_.file; }
  TBTree& Tree() { return *tree_; }
  size_t Size() const { return model_->size(); }

  Bytes RandomKey() {
    const std::vector<FieldDescriptor> fields =
        table_.file.Layout(1).Fields.empty() ? std::vector<FieldDescriptor>{} : Fields();
    std::vector<uint8_t> record = EmptyRecord(fields, next_row_id_++);
    const uint32_t range = config_.unique ? 200000 : 3000;
    if (config_.kind == TKeyKind::LargeInt) {
      const int64_t v = static_cast<int64_t>(random_() % range) - range / 2;
      if (random_() % 50 != 0) SetFieldInteger(record, fields[0], v * 1000003);
    } else {
      static const char* kStems[] = {"", "A", "AB", "ABC", "ABCDEFGHIJ", "ABD", "Z", "ZZZZ"};
      std::string s = kStems[random_() % 8];
      const int extra = static_cast<int>(random_() % 6);
      for (int i = 0; i < extra; ++i) s += static_cast<char>('A' + random_() % 3);
      if (!s.empty()) SetFieldString(record, fields[0], s);
      if (random_() % 10 != 0) {
        SetFieldInteger(record, fields[1], static_cast<int64_t>(random_() % (range / 100 + 1)) - 5);
      }
    }
    IndexKey key;
    EncodeKey(table_.file.Layout(1), record, key);
    return Bytes(key.data(), key.data() + key.Length);
  }

  // A key present in the model, chosen at random (its end when empty).
  Bytes PresentKey() {
    auto it = model_->begin();
    std::advance(it, static_cast<long>(random_() % model_->size()));
    return *it;
  }

  void Insert(const Bytes& key) {
    const bool present = model_->count(key) != 0;
    const uint16_t code = EngineCodeOf([&] { tree_->InsertKey(key.data(), record_++); });
    if (present) {
      ASSERT_EQ(code, VUZODE_KEYVIOL);
    } else {
      ASSERT_EQ(code, 0);
      model_->insert(key);
    }
  }

  void Delete(const Bytes& key) {
    const bool present = model_->count(key) != 0;
    const uint16_t code = EngineCodeOf([&] { tree_->DeleteKey(key.data()); });
    ASSERT_EQ(code, present ? 0 : VUZODE_INDEXCORRUPT);
    model_->erase(key);
  }

  void Step() {
    const bool grow = model_->size() < target_;
    if (model_->empty() || random_() % 100 < (grow ? 65u : 35u)) {
      Insert(RandomKey());
    } else if (random_() % 10 == 0) {
      Delete(RandomKey());  // usually absent: must be refused, tree unchanged
    } else {
      Delete(PresentKey());
    }
    if (random_() % 4000 == 0) target_ = 100 + random_() % 8000;
  }

  void CheckAgainstModel(int probes) {
    ASSERT_NO_THROW(CheckIndexFile(table_.file, {.RequireAllPagesAccounted = true}));
    ASSERT_EQ(tree_->Count(), static_cast<int64_t>(model_->size()));
    const std::vector<Bytes> sorted(model_->begin(), model_->end());
    const TKeyOrder order{&table_.file.Layout(1)};
    for (int i = 0; i < probes; ++i) {
      const Bytes probe = (i % 2 == 0 || sorted.empty()) ? RandomKey() : PresentKey();
      const int64_t below =
          std::lower_bound(sorted.begin(), sorted.end(), probe, order) - sorted.begin();
      const int64_t upTo =
          std::upper_bound(sorted.begin(), sorted.end(), probe, order) - sorted.begin();
      ASSERT_EQ(tree_->CountBefore(probe.data(), 0, false), below);
      ASSERT_EQ(tree_->CountBefore(probe.data(), 0, true), upTo);
      TIndexPath path;
      int64_t rank = -1;
      const bool found = tree_->FindKey(probe.data(), true, path, rank);
      ASSERT_EQ(found, upTo != below);
      if (found) {
        ASSERT_EQ(rank, below);
      }
      if (!sorted.empty()) {
        const size_t r = random_() % sorted.size();
        IndexKey key;
        int32_t record = 0;
        ASSERT_TRUE(tree_->EntryAtRank(static_cast<int64_t>(r), key, record));
        ASSERT_EQ(Bytes(key.data(), key.data() + key.Length), sorted[r]);
        const Bytes other = RandomKey();
        const Bytes& low = order(other, probe) ? other : probe;
        const Bytes& high = order(other, probe) ? probe : other;
        const int64_t expected =
            (std::upper_bound(sorted.begin(), sorted.end(), high, order) - sorted.begin()) -
            (std::lower_bound(sorted.begin(), sorted.end(), low, order) - sorted.begin());
        ASSERT_EQ(tree_->CountRange(low.data(), true, high.data(), true), expected);
      }
    }
  }

  void SetTarget(size_t target) { target_ = target; }

 private:
  std::vector<FieldDescriptor> Fields() const {
    return config_.kind == TKeyKind::LargeInt
               ? MakeFields({{kFieldLargeInt, 0}})
               : MakeFields({{kFieldString, 24}, {kFieldSmallInt, 0}});
  }

  TConfig config_;
  TTestIndexFile table_;
  std::mt19937 random_;
  std::unique_ptr<TBTree> tree_;
  std::unique_ptr<std::set<Bytes, TKeyOrder>> model_;
  int32_t next_row_id_ = 1;
  int32_t record_ = 1;
  size_t target_ = 3000;
};

std::vector<TConfig> AllConfigs() {
  std::vector<TConfig> configs;
  for (TKeyKind kind : {TKeyKind::LargeInt, TKeyKind::StringAndSmallInt}) {
    for (uint8_t compression = 0; compression <= 3; ++compression) {
      for (bool descending : {false, true}) {
        for (bool unique : {true, false})
          configs.push_back({kind, compression, descending, unique});
      }
    }
  }
  return configs;
}

class BTreeModel : public ::testing::TestWithParam<TConfig> {};

TEST_P(BTreeModel, CheckerHoldsAfterEveryStep) {
  TModelRun run(GetParam(), 17);
  run.SetTarget(700);
  for (int step = 0; step < 1500; ++step) {
    ASSERT_NO_FATAL_FAILURE(run.Step());
    ASSERT_NO_THROW(CheckIndexFile(run.File(), {.RequireAllPagesAccounted = true}))
        << "step " << step;
  }
  ASSERT_NO_FATAL_FAILURE(run.CheckAgainstModel(20));
}

TEST_P(BTreeModel, LongRunMatchesModelRanksAndRanges) {
  TModelRun run(GetParam(), 4242);
  for (int step = 1; step <= 14000; ++step) {
    ASSERT_NO_FATAL_FAILURE(run.Step());
    if (step % 1000 == 0) {
      ASSERT_NO_FATAL_FAILURE(run.CheckAgainstModel(15));
    }
  }
  // The same tree read back from the file.
  run.File().FlushPages();
  run.File().WriteHeader(true);
  run.File().DiscardPages();
  ASSERT_NO_FATAL_FAILURE(run.CheckAgainstModel(30));
  // Emptying the tree frees every page; the file keeps them all on the free chain.
  while (run.Size() > 0) ASSERT_NO_FATAL_FAILURE(run.Delete(run.PresentKey()));
  EXPECT_TRUE(run.Tree().Empty());
  ASSERT_NO_THROW(CheckIndexFile(run.File(), {.RequireAllPagesAccounted = true}));
}

INSTANTIATE_TEST_SUITE_P(AllModes, BTreeModel, ::testing::ValuesIn(AllConfigs()),
                         [](const auto& info) { return Name(info.param); });

// ---- Fixed shapes ----

struct TLargeIntIndex {
  TTestIndexFile table{MakeFields({{kFieldLargeInt, 0}})};
  TLargeIntIndex(uint8_t compression = kCompressNone) {
    table.file.DefinePrimaryIndex(MakeIndex("", {1}, true, compression));
  }
  IndexKey Key(int64_t v) {
    IndexKey key(table.file.Descriptor(0).KeyLength);
    key.Bytes[0] = 1;
    EncodeInt64Key(v, key.data() + 1);
    return key;
  }
};

TEST(BTree, FirstKeyMakesOneRootLeafAnd315thSplitsIt) {
  TLargeIntIndex index;
  TIndexFile& file = index.table.file;
  TBTree tree(file, 0);
  ASSERT_EQ(file.Descriptor(0).KeyLength, 9);
  tree.InsertKey(index.Key(0).data(), 1);
  TPage* root = file.FetchPage(0, file.Descriptor(0).RootPage);
  EXPECT_EQ(root->Type, kPageRootLeaf);
  EXPECT_EQ(root->Capacity(), 314);
  for (int i = 1; i < 314; ++i) tree.InsertKey(index.Key(i).data(), i + 1);
  EXPECT_EQ(file.FetchPage(0, file.Descriptor(0).RootPage)->Type, kPageRootLeaf);
  tree.InsertKey(index.Key(314).data(), 315);
  TPage* newRoot = file.FetchPage(0, file.Descriptor(0).RootPage);
  ASSERT_EQ(newRoot->Type, kPageRoot);
  ASSERT_EQ(newRoot->Count(), 2);
  EXPECT_EQ(newRoot->Capacity(), 240);
  EXPECT_EQ(newRoot->SubtreeCount(0), 158);
  EXPECT_EQ(newRoot->SubtreeCount(1), 157);
  CheckIndexFile(file, {.RequireAllPagesAccounted = true});
}

TEST(BTree, DeletingEverythingFreesAllPagesAndTheNextInsertReusesTheFirstFree) {
  TLargeIntIndex index;
  TIndexFile& file = index.table.file;
  TBTree tree(file, 0);
  for (int i = 0; i < 2000; ++i) tree.InsertKey(index.Key(i * 7 % 2000).data(), i + 1);
  const int32_t pages = file.Header().NextPageNumber - 1;
  for (int i = 0; i < 2000; ++i) tree.DeleteKey(index.Key(i).data());
  EXPECT_EQ(file.Descriptor(0).RootPage, 0);
  EXPECT_EQ(CheckIndexFile(file, {.RequireAllPagesAccounted = true}), pages);
  const int32_t firstFree = file.Descriptor(0).FirstFreePage;
  tree.InsertKey(index.Key(5).data(), 1);
  EXPECT_EQ(file.Descriptor(0).RootPage, firstFree);
  EXPECT_EQ(file.Header().NextPageNumber - 1, pages);
}

TEST(BTree, DuplicateInUniqueIndexIsKeyViolationNamingTheIndex) {
  TTestIndexFile table(MakeFields({{kFieldInteger, 0}}));
  table.file.AddSecondaryIndex(MakeIndex("Nums", {1}, true));
  TBTree tree(table.file, 1);
  IndexKey key(5);
  key.Bytes[0] = 1;
  EncodeInt32Key(7, key.data() + 1);
  tree.InsertKey(key.data(), 1);
  try {
    tree.InsertKey(key.data(), 2);
    FAIL() << "no key violation";
  } catch (const EVUZODEEngineError& e) {
    EXPECT_EQ(e.EngineCode(), VUZODE_KEYVIOL);
    EXPECT_EQ(e.ContextIndex(), "Nums");
  }
  EXPECT_EQ(tree.Count(), 1);
  EXPECT_EQ(EngineCodeOf([&] { tree.DeleteKey(IndexKey(5).data()); }), VUZODE_INDEXCORRUPT);
}

// Long shared prefixes: the duplicate-bytes mode packs many entries per leaf, and every
// deletion changes which bytes the next entry shares.
TEST(BTree, CompressedLeavesWithLongPrefixesStayWithinTheirPages) {
  TTestIndexFile table(MakeFields({{kFieldString, 200}}));
  table.file.DefinePrimaryIndex(MakeIndex("", {1}, true, kCompressDuplicates));
  TBTree tree(table.file, 0);
  const uint16_t kl = table.file.Descriptor(0).KeyLength;
  auto key = [&](const std::string& s) {
    IndexKey k(kl);
    k.Bytes[0] = 1;
    std::memcpy(k.data() + 1, s.data(), s.size());
    return k;
  };
  std::vector<std::string> texts;
  for (int i = 0; i < 400; ++i) {
    texts.push_back(std::string(190, 'P') + static_cast<char>('A' + i / 26 % 26) +
                    static_cast<char>('A' + i % 26));
  }
  for (const std::string& s : texts) tree.InsertKey(key(s).data(), 1);
  CheckIndexFile(table.file);
  for (int i = 0; i < 400; i += 2) {
    tree.DeleteKey(key(texts[i]).data());
    ASSERT_NO_THROW(CheckIndexFile(table.file)) << i;
  }
  EXPECT_TRUE(table.file.FlushPages());
  EXPECT_EQ(tree.Count(), 200);
}

TEST(BTree, PartialKeySearchFindsThePrefixRange) {
  TTestIndexFile table(MakeFields({{kFieldInteger, 0}, {kFieldInteger, 0}}));
  table.file.DefinePrimaryIndex(MakeIndex("", {1, 2}, true));
  TBTree tree(table.file, 0);
  auto key = [](int a, int b) {
    IndexKey k(10);
    k.Bytes[0] = 1;
    EncodeInt32Key(a, k.data() + 1);
    k.Bytes[5] = 1;
    EncodeInt32Key(b, k.data() + 6);
    return k;
  };
  for (int a = 0; a < 50; ++a) {
    for (int b = 0; b < 30; ++b) tree.InsertKey(key(a, b).data(), a * 100 + b);
  }
  const IndexKey probe = key(20, 0);
  EXPECT_EQ(tree.CountBefore(probe.data(), 5, false), 20 * 30);
  EXPECT_EQ(tree.CountRange(probe.data(), true, probe.data(), true, 5), 30);
  TIndexPath path;
  int64_t rank = 0;
  EXPECT_TRUE(tree.FindKey(probe.data(), true, path, rank, 5));
  int32_t record = 0;
  EXPECT_TRUE(tree.Lookup(key(49, 29).data(), record));
  EXPECT_EQ(record, 4929);
}

}  // namespace
