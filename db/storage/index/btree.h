// TBTree: the B+-tree of one index of an index file: search with ranks, insertion with splits,
// deletion with merges and redistribution, and the subtree counts that give ranks and range
// counts in one descent. btree.cpp states the tree's invariants.
#pragma once

#include <array>
#include <cstdint>

#include "db/storage/index/index_file.h"
#include "db/storage/index/index_key.h"

inline constexpr int kMaxTreeDepth = 64;

// The descent path a search leaves behind: for each level from the root, the page and the
// 0-based entry position taken. Cached points at the page while the operation that filled the
// path runs, and must not be used after it (the cache may evict pages between operations).
// Only the first Levels levels hold anything: the rest is left unset, since every change of a
// key makes a path and clearing all 64 levels cost more than the descent's own work.
struct TIndexPath {
  struct Level {
    int32_t Page;
    int Position;
    TPage* Cached;
  };
  int Levels = 0;
  std::array<Level, kMaxTreeDepth> Level;
};

class TBTree {
 public:
  // REQUIRES: file is open; slot is in use.
  TBTree(TIndexFile& file, int slot);

  int Slot() const { return slot_; }
  const TKeyLayout& Layout() const { return file_.Layout(slot_); }
  uint16_t KeyLength() const { return file_.Descriptor(slot_).KeyLength; }
  bool Empty() const { return file_.Descriptor(slot_).RootPage == 0; }

  // Searches for the first length bytes of key (0: the whole key). True when an entry compares
  // equal. path ends at the leaf position found: the equal entry; else with nearest the first
  // greater entry, on the next leaf when the key lies beyond the leaf the descent reached (the
  // last entry when all are smaller), without it the last smaller entry (the first when all are
  // greater). rank receives the number of entries before that position. An empty index finds
  // nothing (path.Levels 0).
  bool FindKey(const uint8_t* key, bool nearest, TIndexPath& path, int64_t& rank,
               size_t length = 0);
  // True, with the entry's record number, when the whole key is present.
  bool Lookup(const uint8_t* key, int32_t& recordNumber);

  // Inserts key with its record number. Raises VUZODE_KEYVIOL (with the index name) when an
  // equal key is present: in a unique index that is a duplicate value, elsewhere the same
  // record twice.
  void InsertKey(const uint8_t* key, int32_t recordNumber);
  // Removes key. Raises VUZODE_INDEXCORRUPT when it is not present.
  void DeleteKey(const uint8_t* key);
  // Removes count keys (KeyLength() bytes each, strictly ascending in the index's order): as
  // DeleteKey of each, but the keys a leaf holds go in one descent and one pass over the leaf.
  // A key not present raises VUZODE_INDEXCORRUPT, the keys before it removed.
  void DeleteKeys(const uint8_t* keys, size_t count);

  // Number of entries whose first length bytes (0: all) compare below key, or below or equal
  // with inclusive.
  int64_t CountBefore(const uint8_t* key, size_t length, bool inclusive);
  // Number of entries from low to high (each bound inclusive or not).
  int64_t CountRange(const uint8_t* low, bool lowInclusive, const uint8_t* high, bool highInclusive,
                     size_t length = 0);
  // All entries.
  int64_t Count();
  // The entry at 0-based rank; false when rank is out of range.
  bool EntryAtRank(int64_t rank, IndexKey& key, int32_t& recordNumber);

 private:
  // Records a completed insertion or deletion in the index file's key journal, if any.
  void Journal(const uint8_t* key, int32_t recordNumber, bool inserted);
  TPage* Fetch(int32_t n, int level);
  TPage* Descend(const uint8_t* key, size_t length, TIndexPath& path);
  // Adds delta to the subtree counts along path above its leaf (when the index has counts).
  void AdjustCounts(TIndexPath& path, int leafLevel, int delta);
  void FixSeparators(TIndexPath& path, int level, const uint8_t* key);
  void Split(TIndexPath& path, int level);
  void Rebalance(TIndexPath& path, int level);
  void Unlink(TPage* page);
  void SetRoot(int32_t page) { file_.SetRootPage(slot_, page); }
  bool HasCounts() const;
  int Compare(const uint8_t* a, const uint8_t* b, size_t length) const;
  // Position of key in leaf, from position low on: true when equal; else pos = first greater.
  bool SearchLeaf(const TPage* leaf, const uint8_t* key, size_t length, int& pos,
                  int low = 0) const;
  int64_t LeavesBefore(TPage* leaf);
  // Moves path from its leaf to the next leaf, at position 0 on every level below the one that
  // advances; false, path unchanged, when the leaf is the last.
  bool StepToNextLeaf(TIndexPath& path);
  // Most pages a walk along level links can meet before it must have looped.
  int64_t PageLimit() const;

  TIndexFile& file_;
  int slot_;
};
