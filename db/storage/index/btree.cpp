// The B+-tree of one index: search, insertion with splits, deletion with merges and
// redistribution.
//
// Invariants of a tree (index_checker.cpp verifies each one):
//   (1) Keys are strictly increasing in CompareKeys order, within each page and from each leaf
//       to the next (InsertKey refuses an equal key; splits and merges move cells in order).
//   (2) An internal entry's key equals the first key of its child (FixSeparators after an
//       insertion or deletion at position 0, and the parent updates of Split and Rebalance).
//   (3) An internal entry's subtree count is the number of leaf entries below it, unless the
//       index carries no counts (InsertKey and DeleteKeys adjust the path; Split, Rebalance set
//       the counts of the pages they change).
//   (4) Every leaf lies at the same depth; the root is type 0 (or type 3 when it is the only
//       leaf), every other page type 1 or 2 (Split, Rebalance).
//   (5) The pages of a level are linked left to right through Left and Right, the ends 0
//       (Split, Unlink).
//   (6) No page but the root is empty; an internal root has at least two entries; a page other
//       than the root and the last page of its level holds at least half its capacity rounded
//       down (the last page of a level fills from one entry as keys are added at the right
//       end); a compressed leaf packs into 4083 bytes (Split, Rebalance).
// Every page a descent meets is checked for its kind before use, and a descent deeper than 64
// levels is a corrupt file, so a damaged tree ends in VUZODE_INDEXCORRUPT, never in a loop.
#include "db/storage/index/btree.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/storage/index/compare_keys.h"

TBTree::TBTree(TIndexFile& file, int slot) : file_(file), slot_(slot) {}

bool TBTree::HasCounts() const {
  return !file_.PageFormat(slot_).NoCounts;
}

int TBTree::Compare(const uint8_t* a, const uint8_t* b, size_t length) const {
  return CompareKeys(file_.Layout(slot_), a, b, length);
}

TPage* TBTree::Fetch(int32_t n, int level) {
  if (level >= kMaxTreeDepth) file_.RaiseIndexCorrupt(slot_, "tree deeper than 64 levels");
  TPage* page = file_.FetchPage(slot_, n);
  if (page->Free || page->Count() == 0) file_.RaiseIndexCorrupt(slot_, "empty page in a tree");
  if (page->Type > kPageRootLeaf) file_.RaiseIndexCorrupt(slot_, "page of another kind");
  if (page->IsRoot() != (level == 0)) file_.RaiseIndexCorrupt(slot_, "root out of place");
  return page;
}

bool TBTree::SearchLeaf(const TPage* leaf, const uint8_t* key, size_t length, int& pos,
                        int low) const {
  int high = leaf->Count() - 1;
  while (low <= high) {
    const int mid = (low + high) / 2;
    const int c = Compare(leaf->Key(mid), key, length);
    if (c == 0) {
      pos = mid;
      return true;
    }
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
    }
  }
  pos = low;
  return false;
}

TPage* TBTree::Descend(const uint8_t* key, size_t length, TIndexPath& path) {
  int32_t n = file_.Descriptor(slot_).RootPage;
  for (int level = 0;; ++level) {
    TPage* page = Fetch(n, level);
    path.Level[level].Page = n;
    path.Level[level].Cached = page;
    path.Levels = level + 1;
    if (page->IsLeaf()) {
      path.Level[level].Position = 0;
      return page;
    }
    // The last entry not greater than the key, or the first when all are greater.
    int low = 0;
    int high = page->Count() - 1;
    int found = 0;
    // A key at or after the last entry goes down the last reference: ascending keys need one
    // comparison per level.
    if (high > 0 && Compare(page->Key(high), key, length) <= 0) {
      low = high + 1;
      found = high;
    }
    while (low <= high) {
      const int mid = (low + high) / 2;
      const int c = Compare(page->Key(mid), key, length);
      if (c == 0) {
        found = mid;
        break;
      }
      if (c < 0) {
        found = mid;
        low = mid + 1;
      } else {
        high = mid - 1;
      }
    }
    path.Level[level].Position = found;
    n = page->Reference(found);
  }
}

bool TBTree::FindKey(const uint8_t* key, bool nearest, TIndexPath& path, int64_t& rank,
                     size_t length) {
  path.Levels = 0;
  rank = 0;
  if (Empty()) return false;
  if (length == 0 || length > KeyLength()) length = KeyLength();
  TPage* leaf = Descend(key, length, path);
  const int leafLevel = path.Levels - 1;
  if (HasCounts()) {
    for (int l = 0; l < leafLevel; ++l) {
      const TPage* page = path.Level[l].Cached;
      for (int i = 0; i < path.Level[l].Position; ++i) rank += page->SubtreeCount(i);
    }
  } else {
    rank = LeavesBefore(leaf);
  }
  int pos = 0;
  const bool found = SearchLeaf(leaf, key, length, pos);
  if (!found) {
    if (!nearest) {
      pos = pos > 0 ? pos - 1 : 0;
    } else if (pos >= leaf->Count()) {
      // The key lies beyond this leaf: its first greater entry, if any, starts the next leaf.
      if (StepToNextLeaf(path)) {
        rank += leaf->Count();
        pos = 0;
      } else {
        pos = leaf->Count() - 1;
      }
    }
  }
  path.Level[leafLevel].Position = pos;
  rank += pos;
  file_.TrimPages();
  return found;
}

bool TBTree::StepToNextLeaf(TIndexPath& path) {
  const int leafLevel = path.Levels - 1;
  int level = leafLevel - 1;
  while (level >= 0 && path.Level[level].Position + 1 >= path.Level[level].Cached->Count()) {
    --level;
  }
  if (level < 0) return false;
  ++path.Level[level].Position;
  int32_t n = path.Level[level].Cached->Reference(path.Level[level].Position);
  for (int l = level + 1; l <= leafLevel; ++l) {
    TPage* page = Fetch(n, l);
    if (page->IsLeaf() != (l == leafLevel)) file_.RaiseIndexCorrupt(slot_, "leaves at two depths");
    path.Level[l].Page = n;
    path.Level[l].Cached = page;
    path.Level[l].Position = 0;
    n = page->IsLeaf() ? 0 : page->Reference(0);
  }
  return true;
}

bool TBTree::Lookup(const uint8_t* key, int32_t& recordNumber) {
  if (Empty()) return false;
  TIndexPath path;
  TPage* leaf = Descend(key, KeyLength(), path);
  int pos = 0;
  const bool found = SearchLeaf(leaf, key, KeyLength(), pos);
  if (found) recordNumber = leaf->Reference(pos);
  file_.TrimPages();
  return found;
}

void TBTree::AdjustCounts(TIndexPath& path, int leafLevel, int delta) {
  if (!HasCounts()) return;
  for (int l = 0; l < leafLevel; ++l) {
    TPage* page = path.Level[l].Cached;
    const int p = path.Level[l].Position;
    page->SetSubtreeCount(p, page->SubtreeCount(p) + delta);
    page->Dirty = true;
  }
}

void TBTree::FixSeparators(TIndexPath& path, int level, const uint8_t* key) {
  for (int l = level - 1; l >= 0; --l) {
    path.Level[l].Cached->SetKey(path.Level[l].Position, key);
    if (path.Level[l].Position != 0) break;
  }
}

void TBTree::InsertKey(const uint8_t* key, int32_t recordNumber) {
  const uint16_t kl = KeyLength();
  if (Empty()) {
    TPage* page = file_.AllocatePage(slot_);
    page->Type = kPageRootLeaf;
    page->InsertCell(0, key, recordNumber, 0);
    SetRoot(static_cast<int32_t>(page->Number()));
    Journal(key, recordNumber, true);
    file_.TrimPages();
    return;
  }
  TIndexPath path;
  TPage* leaf = Descend(key, kl, path);
  const int leafLevel = path.Levels - 1;
  // Keys arriving in ascending order (row ids, counters, loads in key order) land after the
  // last entry: one comparison settles them. The insertion moves the leaf's tail anyway, so
  // looking at its last key first costs a random insertion nothing.
  int pos = leaf->Count();
  if (pos == 0 || Compare(leaf->Key(pos - 1), key, kl) >= 0) {
    if (SearchLeaf(leaf, key, kl, pos)) file_.RaiseIndexError(VUZODE_KEYVIOL, slot_);
  }
  AdjustCounts(path, leafLevel, 1);
  leaf->InsertCell(pos, key, recordNumber, 0);
  // Journaled before a split, whose reads may fail: the key is in the tree from here on.
  Journal(key, recordNumber, true);
  path.Level[leafLevel].Position = pos;
  if (pos == 0) FixSeparators(path, leafLevel, key);
  if (leaf->Overfull()) Split(path, leafLevel);
  file_.TrimPages();
}

void TBTree::Journal(const uint8_t* key, int32_t recordNumber, bool inserted) {
  if (TKeyJournal* journal = file_.KeyJournal())
    journal->Add(slot_, key, KeyLength(), recordNumber, inserted);
}

void TBTree::Split(TIndexPath& path, int level) {
  TPage* p = path.Level[level].Cached;
  const bool leaf = p->IsLeaf();
  const bool wasRoot = p->IsRoot();
  // Every page the split changes is read before the first cell moves: a read that fails leaves
  // the tree as it was, so the change can still be taken back key by key.
  TPage* right = p->Right != 0 ? file_.FetchPage(slot_, p->Right) : nullptr;
  TPage* q = file_.AllocatePage(slot_);
  // Both pages take their non-root kind before cells move, so compressed leaves pack as leaves.
  p->Type = q->Type = leaf ? kPageLeaf : kPageInternal;
  // An entry added at the right end of a level (keys arriving in ascending order: row ids,
  // counters, tables loaded in key order) starts a new page on its own, so the pages behind it
  // stay full instead of half empty.
  const int added = leaf ? path.Level[level].Position : path.Level[level].Position + 1;
  const bool rightEnd = p->Right == 0 && added == p->Count() - 1;
  p->MoveTailTo(*q, rightEnd ? 1 : p->Count() / 2);
  if (p->Compressed()) {
    while (p->PackedSize() > kPageAreaSize && p->Count() > 1) p->MoveTailTo(*q, 1);
    while (q->PackedSize() > kPageAreaSize && q->Count() > 1) q->MoveHeadTo(*p, 1);
    if (p->Overfull() || q->Overfull()) file_.RaiseIndexCorrupt(slot_, "page cannot be split");
  }
  q->Left = static_cast<int32_t>(p->Number());
  q->Right = p->Right;
  if (right != nullptr) {
    right->Left = static_cast<int32_t>(q->Number());
    right->Dirty = true;
  }
  p->Right = static_cast<int32_t>(q->Number());
  p->Dirty = q->Dirty = true;
  const int32_t pTotal = static_cast<int32_t>(p->Total());
  const int32_t qTotal = static_cast<int32_t>(q->Total());
  if (wasRoot) {
    TPage* root = file_.AllocatePage(slot_);
    root->Type = kPageRoot;
    root->InsertCell(0, p->Key(0), static_cast<int32_t>(p->Number()), pTotal);
    root->InsertCell(1, q->Key(0), static_cast<int32_t>(q->Number()), qTotal);
    SetRoot(static_cast<int32_t>(root->Number()));
    return;
  }
  TPage* parent = path.Level[level - 1].Cached;
  const int pp = path.Level[level - 1].Position;
  parent->SetSubtreeCount(pp, pTotal);
  parent->InsertCell(pp + 1, q->Key(0), static_cast<int32_t>(q->Number()), qTotal);
  if (parent->Overfull()) Split(path, level - 1);
}

void TBTree::DeleteKey(const uint8_t* key) {
  DeleteKeys(key, 1);
}

void TBTree::DeleteKeys(const uint8_t* keys, size_t count) {
  const uint16_t kl = KeyLength();
  // Reused from call to call: a single delete allocates nothing.
  thread_local std::vector<int> positions;
  size_t i = 0;
  while (i < count) {
    if (Empty()) file_.RaiseIndexCorrupt(slot_, "key to delete not found");
    TIndexPath path;
    TPage* leaf = Descend(keys + i * kl, kl, path);
    const int leafLevel = path.Levels - 1;
    // The keys up to the leaf's last lie in this leaf, when present at all.
    positions.clear();
    const uint8_t* last = leaf->Key(leaf->Count() - 1);
    size_t j = i;
    for (int low = 0; j < count; ++j) {
      const uint8_t* key = keys + j * kl;
      if (j > i && Compare(key, last, kl) > 0) break;
      int pos = 0;
      if (!SearchLeaf(leaf, key, kl, pos, low)) {
        file_.RaiseIndexCorrupt(slot_, "key to delete not found");
      }
      positions.push_back(pos);
      low = pos + 1;
    }
    const int removed = static_cast<int>(positions.size());
    AdjustCounts(path, leafLevel, -removed);
    for (int k = 0; k < removed; ++k)
      Journal(keys + (i + static_cast<size_t>(k)) * kl, leaf->Reference(positions[k]), false);
    leaf->RemoveCells(positions.data(), removed);
    path.Level[leafLevel].Position = positions[0];
    if (leaf->Count() > 0 && positions[0] == 0) FixSeparators(path, leafLevel, leaf->Key(0));
    Rebalance(path, leafLevel);
    file_.TrimPages();
    i = j;
  }
}

void TBTree::Unlink(TPage* page) {
  // Both neighbours are read before either changes: a read that fails leaves the links whole.
  TPage* left = page->Left != 0 ? file_.FetchPage(slot_, page->Left) : nullptr;
  TPage* right = page->Right != 0 ? file_.FetchPage(slot_, page->Right) : nullptr;
  if (left != nullptr) {
    left->Right = page->Right;
    left->Dirty = true;
  }
  if (right != nullptr) {
    right->Left = page->Left;
    right->Dirty = true;
  }
}

void TBTree::Rebalance(TIndexPath& path, int level) {
  TPage* p = path.Level[level].Cached;
  if (level == 0) {
    if (p->IsLeaf()) {
      if (p->Count() == 0) {
        file_.FreePage(slot_, p);
        SetRoot(0);
      } else if (p->Compressed() && p->Overfull()) {
        Split(path, 0);
      }
      return;
    }
    // An internal root with one child hands the root over to it, level by level.
    while (!p->IsLeaf() && p->Count() <= 1) {
      if (p->Count() == 0) file_.RaiseIndexCorrupt(slot_, "empty root");
      TPage* child = file_.FetchPage(slot_, p->Reference(0));
      if (child->Free || child->Count() == 0 || child->IsRoot()) {
        file_.RaiseIndexCorrupt(slot_, "root's child out of place");
      }
      file_.FreePage(slot_, p);
      child->Type = child->IsLeaf() ? kPageRootLeaf : kPageRoot;
      child->Left = child->Right = 0;
      child->Dirty = true;
      SetRoot(static_cast<int32_t>(child->Number()));
      p = child;
    }
    return;
  }
  TPage* parent = path.Level[level - 1].Cached;
  const int pp = path.Level[level - 1].Position;
  if (p->Count() == 0) {
    Unlink(p);
    file_.FreePage(slot_, p);
    parent->RemoveCell(pp);
    if (parent->Count() > 0 && pp == 0) FixSeparators(path, level - 1, parent->Key(0));
    Rebalance(path, level - 1);
    return;
  }
  if (p->Compressed()) {
    // Removing an entry lengthens the next one when it shares less with its new predecessor.
    // The removed entry frees at least as much in the cases we know of; should a page still
    // outgrow its 4083 bytes it is split rather than left unwritable.
    if (p->Overfull()) Split(path, level);
    return;
  }
  if (p->Count() * 2 >= p->Capacity() || parent->Count() < 2) return;
  const bool useLeft = pp > 0;
  TPage* s = file_.FetchPage(slot_, parent->Reference(useLeft ? pp - 1 : pp + 1));
  if (s->Free || s->Count() == 0 || s->IsRoot() || s->IsLeaf() != p->IsLeaf() ||
      (useLeft ? s->Right != static_cast<int32_t>(p->Number())
               : s->Left != static_cast<int32_t>(p->Number()))) {
    file_.RaiseIndexCorrupt(slot_, "sibling out of place");
  }
  const int total = p->Count() + s->Count();
  if (total < p->Capacity()) {
    // The merge unlinks p: its other neighbour is read before any cell moves.
    const int32_t other = useLeft ? p->Right : p->Left;
    if (other != 0) file_.FetchPage(slot_, other);
    if (useLeft) {
      p->MoveHeadTo(*s, p->Count());
      parent->SetSubtreeCount(pp - 1, static_cast<int32_t>(s->Total()));
    } else {
      p->MoveTailTo(*s, p->Count());
      parent->SetSubtreeCount(pp + 1, static_cast<int32_t>(s->Total()));
      parent->SetKey(pp + 1, s->Key(0));
    }
    Unlink(p);
    file_.FreePage(slot_, p);
    parent->RemoveCell(pp);
    Rebalance(path, level - 1);
    return;
  }
  const int want = total / 2 - p->Count();
  if (want <= 0) return;
  if (useLeft) {
    s->MoveTailTo(*p, want);
    parent->SetKey(pp, p->Key(0));
    parent->SetSubtreeCount(pp - 1, static_cast<int32_t>(s->Total()));
    parent->SetSubtreeCount(pp, static_cast<int32_t>(p->Total()));
  } else {
    s->MoveHeadTo(*p, want);
    parent->SetKey(pp + 1, s->Key(0));
    parent->SetSubtreeCount(pp, static_cast<int32_t>(p->Total()));
    parent->SetSubtreeCount(pp + 1, static_cast<int32_t>(s->Total()));
  }
  parent->Dirty = true;
}

int64_t TBTree::PageLimit() const {
  // A walk along links visits each page at most once; the pages that exist are those in the
  // file and those still only in the cache.
  return std::min<int64_t>(
      file_.Header().NextPageNumber,
      file_.GetFileSize() / kIndexPageSize + static_cast<int64_t>(file_.CachedPageCount()));
}

int64_t TBTree::LeavesBefore(TPage* leaf) {
  int64_t total = 0;
  int32_t n = leaf->Left;
  int64_t steps = 0;
  while (n != 0) {
    if (++steps > PageLimit()) file_.RaiseIndexCorrupt(slot_, "leaf links loop");
    TPage* page = file_.FetchPage(slot_, n);
    if (page->Free || !page->IsLeaf()) file_.RaiseIndexCorrupt(slot_, "leaf link out of place");
    total += page->Count();
    n = page->Left;
  }
  return total;
}

int64_t TBTree::CountBefore(const uint8_t* key, size_t length, bool inclusive) {
  if (Empty()) return 0;
  if (length == 0 || length > KeyLength()) length = KeyLength();
  const bool counts = HasCounts();
  int64_t rank = 0;
  int32_t n = file_.Descriptor(slot_).RootPage;
  auto before = [&](const uint8_t* entry) {
    const int c = Compare(entry, key, length);
    return inclusive ? c <= 0 : c < 0;
  };
  for (int level = 0;; ++level) {
    TPage* page = Fetch(n, level);
    // Entries are in order, so "before" holds for a prefix of them: find its length.
    int low = 0;
    int high = page->Count();
    while (low < high) {
      const int mid = (low + high) / 2;
      if (before(page->Key(mid))) {
        low = mid + 1;
      } else {
        high = mid;
      }
    }
    if (page->IsLeaf()) {
      rank += low;
      if (!counts) rank += LeavesBefore(page);
      break;
    }
    const int child = low > 0 ? low - 1 : 0;
    if (counts) {
      for (int i = 0; i < child; ++i) rank += page->SubtreeCount(i);
    }
    n = page->Reference(child);
  }
  file_.TrimPages();
  return rank;
}

int64_t TBTree::CountRange(const uint8_t* low, bool lowInclusive, const uint8_t* high,
                           bool highInclusive, size_t length) {
  const int64_t upTo = CountBefore(high, length, highInclusive);
  const int64_t below = CountBefore(low, length, !lowInclusive);
  return upTo > below ? upTo - below : 0;
}

int64_t TBTree::Count() {
  if (Empty()) return 0;
  TPage* root = Fetch(file_.Descriptor(slot_).RootPage, 0);
  if (root->IsLeaf()) return root->Count();
  if (HasCounts()) return root->Total();
  // Without counts: the leaves of the rightmost path and everything left of it.
  TPage* page = root;
  for (int level = 1; !page->IsLeaf(); ++level) {
    page = Fetch(page->Reference(page->Count() - 1), level);
  }
  const int64_t total = page->Count() + LeavesBefore(page);
  file_.TrimPages();
  return total;
}

bool TBTree::EntryAtRank(int64_t rank, IndexKey& key, int32_t& recordNumber) {
  if (Empty() || rank < 0) return false;
  int32_t n = file_.Descriptor(slot_).RootPage;
  TPage* page = nullptr;
  if (HasCounts()) {
    for (int level = 0;; ++level) {
      page = Fetch(n, level);
      if (page->IsLeaf()) break;
      int i = 0;
      while (i < page->Count() && rank >= page->SubtreeCount(i)) {
        rank -= page->SubtreeCount(i);
        ++i;
      }
      if (i == page->Count()) return false;
      n = page->Reference(i);
    }
  } else {
    for (int level = 0;; ++level) {
      page = Fetch(n, level);
      if (page->IsLeaf()) break;
      n = page->Reference(0);
    }
    int64_t steps = 0;
    while (rank >= page->Count()) {
      rank -= page->Count();
      if (page->Right == 0) return false;
      if (++steps > PageLimit()) file_.RaiseIndexCorrupt(slot_, "leaf links loop");
      page = file_.FetchPage(slot_, page->Right);
      if (page->Free || !page->IsLeaf()) file_.RaiseIndexCorrupt(slot_, "leaf link out of place");
    }
  }
  if (rank >= page->Count()) return false;
  const int pos = static_cast<int>(rank);
  key.Reset(KeyLength());
  std::memcpy(key.data(), page->Key(pos), KeyLength());
  recordNumber = page->Reference(pos);
  file_.TrimPages();
  return true;
}
