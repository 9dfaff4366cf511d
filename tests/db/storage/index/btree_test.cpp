// The B+-tree against a model: randomized insertions and deletions in every compression mode,
// ascending and descending, unique and not, with the checker after every step (or every N
// steps in the long runs). The model orders keys by the values they were built from, so a
// fault in the key comparison shows; ranks, leaf positions of present and absent keys (with and
// without nearest) and range counts are compared with the model's.
#include "db/storage/index/btree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <random>
#include <set>

#include "../engine_code.h"
#include "db/storage/index/index_checker.h"
#include "index_test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

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

// A key as the values it was built from, with the product's encoding of them alongside.
struct TModelKey {
  std::optional<int64_t> number;    // the large integer, or the composite's small integer
  std::optional<std::string> text;  // the composite's string
  int32_t rowId = 0;                // part of the key only in a non-unique index
  Bytes bytes;
};

// The index order stated from the values, independent of CompareKeys: nulls first; the
// composite's second field is descending, which with no locale inverts it in an ascending
// index, while a descending index reverses the whole key and that flag adds nothing.
struct TValueOrder {
  TConfig config;
  template <typename T>
  static int Three(const std::optional<T>& a, const std::optional<T>& b) {
    if (!a || !b) return static_cast<int>(a.has_value()) - static_cast<int>(b.has_value());
    return (*a > *b) - (*a < *b);
  }
  int Compare(const TModelKey& a, const TModelKey& b) const {
    int r = 0;
    if (config.kind == TKeyKind::LargeInt) {
      r = Three(a.number, b.number);
    } else {
      r = Three(a.text, b.text);
      if (r == 0) r = config.descending ? Three(a.number, b.number) : -Three(a.number, b.number);
    }
    if (r == 0 && !config.unique) r = (a.rowId > b.rowId) - (a.rowId < b.rowId);
    return config.descending ? -r : r;
  }
  bool operator()(const TModelKey& a, const TModelKey& b) const { return Compare(a, b) < 0; }
};

// One index over a fresh table, a model of its keys, and a random key source whose values
// repeat (so non-unique indexes get equal values) and share prefixes and trailing zeros (so
// the compression modes have something to do).
class TModelRun {
 public:
  explicit TModelRun(const TConfig& config, uint32_t seed)
      : config_(config), table_(Fields()), random_(seed), model_(TValueOrder{config}) {
    TIndexFile& file = table_.file;
    const std::vector<uint16_t> fields =
        config.kind == TKeyKind::LargeInt ? std::vector<uint16_t>{1} : std::vector<uint16_t>{1, 2};
    // Field 2 descending in the composite case exercises inverted key bytes.
    file.AddSecondaryIndex(MakeIndex("ByKey", fields, config.unique, config.compression,
                                     config.descending, {false, true}));
    file.SetPageCacheCapacity(32);
    tree_ = std::make_unique<TBTree>(file, 1);
  }

  TIndexFile& File() { return table_.file; }
  TBTree& Tree() { return *tree_; }
  size_t Size() const { return model_.size(); }

  TModelKey RandomKey() {
    TModelKey key;
    key.rowId = next_row_id_++;
    const uint32_t range = config_.unique ? 200000 : 3000;
    if (config_.kind == TKeyKind::LargeInt) {
      const int64_t v = static_cast<int64_t>(random_() % range) - range / 2;
      if (random_() % 50 != 0) key.number = v * 1000003;
    } else {
      static const char* kStems[] = {"", "A", "AB", "ABC", "ABCDEFGHIJ", "ABD", "Z", "ZZZZ"};
      std::string s = kStems[random_() % 8];
      const int extra = static_cast<int>(random_() % 6);
      for (int i = 0; i < extra; ++i) s += static_cast<char>('A' + random_() % 3);
      if (!s.empty()) key.text = s;
      if (random_() % 10 != 0) {
        key.number = static_cast<int64_t>(random_() % (range / 100 + 1)) - 5;
      }
    }
    Encode(key);
    return key;
  }

  // A key just beside key in value order, usually absent: probes between neighbouring
  // entries, and so between the last entry of a leaf and the first of the next.
  TModelKey Beside(const TModelKey& key, size_t i) const {
    TModelKey near = key;
    if (!config_.unique && (config_.kind == TKeyKind::LargeInt || i % 2 == 0)) {
      ++near.rowId;
    } else if (config_.kind == TKeyKind::LargeInt) {
      near.number = key.number ? *key.number + 1 : std::numeric_limits<int64_t>::min();
    } else {
      near.text = key.text.value_or("") + "@";  // '@' sorts below every letter used
    }
    Encode(near);
    return near;
  }

  // A key present in the model, chosen at random.
  TModelKey PresentKey() {
    auto it = model_.begin();
    std::advance(it, static_cast<long>(random_() % model_.size()));
    return *it;
  }

  void Insert(const TModelKey& key) {
    const bool present = model_.count(key) != 0;
    const uint16_t code = EngineCodeOf([&] { tree_->InsertKey(key.bytes.data(), record_++); });
    if (present) {
      ASSERT_EQ(code, VUZODE_KEYVIOL);
    } else {
      ASSERT_EQ(code, 0);
      model_.insert(key);
    }
  }

  void Delete(const TModelKey& key) {
    const bool present = model_.count(key) != 0;
    const uint16_t code = EngineCodeOf([&] { tree_->DeleteKey(key.bytes.data()); });
    ASSERT_EQ(code, present ? 0 : VUZODE_INDEXCORRUPT);
    model_.erase(key);
  }

  // DeleteKeys of up to 300 present keys, every first, second or third from a random one on:
  // runs of a leaf's keys, whole leaves, and leaves left under half full or empty.
  void DeleteRun() {
    const std::vector<TModelKey> sorted(model_.begin(), model_.end());
    const size_t stride = 1 + random_() % 3;
    const size_t want = 1 + random_() % 300;
    std::vector<uint8_t> bytes;
    std::vector<TModelKey> chosen;
    for (size_t at = random_() % sorted.size(); at < sorted.size() && chosen.size() < want;
         at += stride) {
      chosen.push_back(sorted[at]);
      bytes.insert(bytes.end(), sorted[at].bytes.begin(), sorted[at].bytes.end());
    }
    ASSERT_EQ(EngineCodeOf([&] { tree_->DeleteKeys(bytes.data(), chosen.size()); }), 0);
    for (const TModelKey& key : chosen) model_.erase(key);
  }

  void Step() {
    const bool grow = model_.size() < target_;
    if (model_.empty() || random_() % 100 < (grow ? 65u : 35u)) {
      Insert(RandomKey());
    } else if (random_() % 40 == 0) {
      DeleteRun();
    } else if (random_() % 10 == 0) {
      Delete(RandomKey());  // usually absent: must be refused, tree unchanged
    } else {
      Delete(PresentKey());
    }
    if (random_() % 4000 == 0) target_ = 100 + random_() % 8000;
  }

  // FindKey with and without nearest, against the entries the model has before probe:
  // found, the rank, and the entry the path's leaf position holds.
  void CheckFind(const std::vector<TModelKey>& sorted, const TModelKey& probe) {
    const TValueOrder order{config_};
    const int64_t size = static_cast<int64_t>(sorted.size());
    const int64_t below =
        std::lower_bound(sorted.begin(), sorted.end(), probe, order) - sorted.begin();
    const bool present = below < size && order.Compare(sorted[below], probe) == 0;
    for (bool nearest : {true, false}) {
      TIndexPath path;
      int64_t rank = -1;
      ASSERT_EQ(tree_->FindKey(probe.bytes.data(), nearest, path, rank), present);
      if (size == 0) {
        ASSERT_EQ(path.Levels, 0);
        continue;
      }
      int64_t expected = below;
      if (!present)
        expected = nearest ? std::min(below, size - 1) : std::max<int64_t>(below - 1, 0);
      ASSERT_EQ(rank, expected) << "nearest " << nearest << " of " << size;
      ASSERT_GT(path.Levels, 0);
      const auto& leafLevel = path.Level[path.Levels - 1];
      const TPage* leaf = table_.file.FetchPage(1, leafLevel.Page);
      ASSERT_TRUE(leaf->IsLeaf());
      ASSERT_LT(leafLevel.Position, leaf->Count());
      const uint8_t* entry = leaf->Key(leafLevel.Position);
      ASSERT_EQ(Bytes(entry, entry + table_.file.Descriptor(1).KeyLength), sorted[expected].bytes)
          << "nearest " << nearest << " rank " << expected;
    }
  }

  void CheckAgainstModel(int probes) {
    ASSERT_NO_THROW(CheckIndexFile(table_.file, {.RequireAllPagesAccounted = true}));
    ASSERT_EQ(tree_->Count(), static_cast<int64_t>(model_.size()));
    const std::vector<TModelKey> sorted(model_.begin(), model_.end());
    const TValueOrder order{config_};
    // The tree's entries in rank order are the model's, so its key order is the values'.
    for (size_t r = 0; r < sorted.size(); r += 1 + random_() % 8) {
      IndexKey key;
      int32_t record = 0;
      ASSERT_TRUE(tree_->EntryAtRank(static_cast<int64_t>(r), key, record));
      ASSERT_EQ(Bytes(key.data(), key.data() + key.Length), sorted[r].bytes) << "rank " << r;
    }
    for (size_t i = 0; i < sorted.size(); ++i) {
      ASSERT_NO_FATAL_FAILURE(CheckFind(sorted, Beside(sorted[i], i)));
    }
    for (int i = 0; i < probes; ++i) {
      const TModelKey probe = (i % 2 == 0 || sorted.empty()) ? RandomKey() : PresentKey();
      ASSERT_NO_FATAL_FAILURE(CheckFind(sorted, probe));
      const int64_t below =
          std::lower_bound(sorted.begin(), sorted.end(), probe, order) - sorted.begin();
      const int64_t upTo =
          std::upper_bound(sorted.begin(), sorted.end(), probe, order) - sorted.begin();
      ASSERT_EQ(tree_->CountBefore(probe.bytes.data(), 0, false), below);
      ASSERT_EQ(tree_->CountBefore(probe.bytes.data(), 0, true), upTo);
      const TModelKey other = RandomKey();
      const TModelKey& low = order(other, probe) ? other : probe;
      const TModelKey& high = order(other, probe) ? probe : other;
      const int64_t expected =
          (std::upper_bound(sorted.begin(), sorted.end(), high, order) - sorted.begin()) -
          (std::lower_bound(sorted.begin(), sorted.end(), low, order) - sorted.begin());
      ASSERT_EQ(tree_->CountRange(low.bytes.data(), true, high.bytes.data(), true), expected);
    }
  }

  void SetTarget(size_t target) { target_ = target; }

 private:
  std::vector<FieldDescriptor> Fields() const {
    return config_.kind == TKeyKind::LargeInt
               ? MakeFields({{kFieldLargeInt, 0}})
               : MakeFields({{kFieldString, 24}, {kFieldSmallInt, 0}});
  }

  // Fills key.bytes: the values written into a record, encoded as the index encodes it.
  void Encode(TModelKey& key) const {
    const std::vector<FieldDescriptor> fields = Fields();
    std::vector<uint8_t> record = EmptyRecord(fields, key.rowId);
    if (config_.kind == TKeyKind::LargeInt) {
      if (key.number) SetFieldInteger(record, fields[0], *key.number);
    } else {
      if (key.text) SetFieldString(record, fields[0], *key.text);
      if (key.number) SetFieldInteger(record, fields[1], *key.number);
    }
    IndexKey encoded;
    EncodeKey(table_.file.Layout(1), record, encoded);
    key.bytes.assign(encoded.data(), encoded.data() + encoded.Length);
  }

  TConfig config_;
  TTestIndexFile table_;
  std::mt19937 random_;
  std::unique_ptr<TBTree> tree_;
  std::set<TModelKey, TValueOrder> model_;
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
  // Added at the right end: the new leaf starts with that one key, the full one stays full.
  EXPECT_EQ(newRoot->SubtreeCount(0), 314);
  EXPECT_EQ(newRoot->SubtreeCount(1), 1);
  CheckIndexFile(file, {.RequireAllPagesAccounted = true});
  // Anywhere else a full leaf splits in halves.
  for (int i = 315; i < 314 + 314; ++i) tree.InsertKey(index.Key(i).data(), i + 1);
  tree.InsertKey(index.Key(-1).data(), 1000);
  EXPECT_EQ(newRoot->Count(), 3);
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

// Long keys make small pages and a tree four levels deep, so a probe past a leaf's last entry
// may have to climb several levels to reach the next leaf's first.
TEST(BTree, AbsentKeysBetweenLeavesOfADeepTree) {
  TTestIndexFile table(MakeFields({{kFieldString, 250}}));
  table.file.DefinePrimaryIndex(MakeIndex("", {1}, true));
  TBTree tree(table.file, 0);
  const uint16_t kl = table.file.Descriptor(0).KeyLength;
  auto key = [&](int v) {
    IndexKey k(kl);
    k.Bytes[0] = 1;
    const std::string text = v < 0 ? "A" : "K" + std::to_string(100000 + v);
    std::memcpy(k.data() + 1, text.data(), text.size());
    return k;
  };
  // Entries 0, 2, 4, ..., added from the highest down so that splits leave pages half full.
  const int count = 3000;
  for (int i = count - 1; i >= 0; --i) tree.InsertKey(key(2 * i).data(), i + 1);
  for (int probe = -1; probe <= 2 * count; probe += 2) {
    const int below = probe < 0 ? 0 : (probe + 1) / 2;
    for (bool nearest : {true, false}) {
      TIndexPath path;
      int64_t rank = -1;
      ASSERT_FALSE(tree.FindKey(key(probe).data(), nearest, path, rank));
      ASSERT_GE(path.Levels, 4);
      const int expected = nearest ? std::min(below, count - 1) : std::max(below - 1, 0);
      ASSERT_EQ(rank, expected) << "probe " << probe << " nearest " << nearest;
      const auto& leafLevel = path.Level[path.Levels - 1];
      const TPage* leaf = table.file.FetchPage(0, leafLevel.Page);
      ASSERT_EQ(std::memcmp(leaf->Key(leafLevel.Position), key(2 * expected).data(), kl), 0)
          << "probe " << probe << " nearest " << nearest;
    }
  }
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
