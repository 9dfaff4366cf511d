// TPage: one index page in memory, decoded into cells. page.cpp writes and reads the page
// image; the format is documented at its top.
//
// Invariants:
//   (1) Count() cells, each of CellSize() bytes: key, reference, subtree count, d, t
//       (InsertCell, RemoveCell, the Move operations).
//   (2) For a compressed leaf, each cell's d and t are those of its key after the previous
//       cell's key, and PackedSize() is the sum of their entry sizes (RecomputeCell, called by
//       every operation that changes a key or a neighbour).
//   (3) A page read from a file has passed the bounds checks of Load: a known type, an entry
//       count whose entries fit in the 4083 bytes, prefix and suffix lengths within the key.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "db/storage/files/entry_arena.h"
#include "db/storage/index/index_descriptor.h"

inline constexpr uint32_t kPageHeaderSize = 13;
inline constexpr uint32_t kPageAreaSize = 4083;

inline constexpr uint8_t kPageRoot = 0;
inline constexpr uint8_t kPageInternal = 1;
inline constexpr uint8_t kPageLeaf = 2;
inline constexpr uint8_t kPageRootLeaf = 3;
inline constexpr uint8_t kPageParameter = 4;

// What a page takes from its index's descriptor.
struct TPageFormat {
  uint16_t KeyLength = 0;
  bool Unique = false;
  bool NoCounts = false;
  uint8_t Compression = kCompressNone;
};

class TPage {
 public:
  TPage() = default;
  // Pages come from the entry arena (entry_arena.h): a large index in a transaction makes
  // them by the hundred thousand.
  static void* operator new(size_t bytes) { return AllocateArenaObject(bytes); }
  static void operator delete(void* page, size_t bytes) { FreeArenaObject(page, bytes); }

  // Empties the page and gives it a number, a slot and a format (a new or reused page).
  void Reset(uint32_t number, int slot, const TPageFormat& format);

  uint32_t Number() const { return number_; }
  int Slot() const { return slot_; }
  const TPageFormat& Format() const { return format_; }
  uint16_t KeyLength() const { return format_.KeyLength; }
  uint32_t CellSize() const { return cell_size_; }

  uint8_t Type = kPageRootLeaf;
  int32_t Left = 0;
  int32_t Right = 0;
  bool Free = false;
  bool Dirty = false;

  bool IsLeaf() const { return Type == kPageLeaf || Type == kPageRootLeaf; }
  bool IsRoot() const { return Type == kPageRoot || Type == kPageRootLeaf; }
  bool Compressed() const { return IsLeaf() && format_.Compression != kCompressNone; }

  int Count() const { return count_; }
  const uint8_t* Key(int i) const { return cells_.data() + static_cast<size_t>(i) * cell_size_; }
  int32_t Reference(int i) const { return Get32(i, 0); }
  int32_t SubtreeCount(int i) const { return Get32(i, 4); }
  void SetReference(int i, int32_t value) { Put32(i, 0, value); }
  void SetSubtreeCount(int i, int32_t value) { Put32(i, 4, value); }
  uint8_t PrefixLength(int i) const { return Tail(i)[8]; }
  uint8_t SuffixLength(int i) const { return Tail(i)[9]; }
  // REQUIRES: 0 <= i < Count().
  void SetKey(int i, const uint8_t* key);
  // REQUIRES: 0 <= i <= Count().
  void InsertCell(int i, const uint8_t* key, int32_t reference, int32_t subtreeCount);
  void RemoveCell(int i);
  // Removes the cells at n positions given in ascending order, moving each kept cell once.
  void RemoveCells(const int* positions, int n);
  // Moves the last n cells of this page to the front of dest / the first n cells to the end of
  // dest. REQUIRES: n <= Count(); dest has the same format and kind.
  void MoveTailTo(TPage& dest, int n);
  void MoveHeadTo(TPage& dest, int n);

  // Entries the page may hold: internal pages and uncompressed leaves. A compressed leaf is
  // bounded by PackedSize() instead.
  int Capacity() const;
  // Bytes the entries of a compressed leaf take on disk.
  uint32_t PackedSize() const { return packed_size_; }
  // More entries than the capacity, or a compressed leaf packed beyond 4083 bytes.
  bool Overfull() const;
  // For a leaf its entry count; for an internal page the sum of its subtree counts.
  int64_t Total() const;

  // Reads a page image (already descrambled). Returns false when a value fails its bounds (3).
  bool Load(const uint8_t* image);
  // Writes the page image into 4096 bytes. Returns false when a compressed leaf does not fit.
  bool Store(uint8_t* image) const;

  // The raw area of a parameter page (type 4).
  uint8_t* Raw();
  const uint8_t* Raw() const;
  // Makes the page a free page: no entries.
  void MakeFree();

  // Links of the index file's page cache, newest to oldest, and whether the page was used
  // since it was last linked in (second chance: a hit sets the mark instead of relinking).
  TPage* Newer = nullptr;
  TPage* Older = nullptr;
  bool Referenced = false;

 private:
  uint8_t* Cell(int i) { return cells_.data() + static_cast<size_t>(i) * cell_size_; }
  const uint8_t* Tail(int i) const { return Key(i) + format_.KeyLength; }
  int32_t Get32(int i, int at) const {
    int32_t v;
    std::memcpy(&v, Tail(i) + at, 4);
    return v;
  }
  void Put32(int i, int at, int32_t v) { std::memcpy(Cell(i) + format_.KeyLength + at, &v, 4); }
  void Reserve(int cells);
  // d, t and the entry size of cell i after cell i - 1; adjusts PackedSize().
  void RecomputeCell(int i);
  void RecomputeAll();
  uint32_t EntrySize(int i) const;

  uint32_t number_ = 0;
  int slot_ = 0;
  TPageFormat format_;
  uint32_t cell_size_ = 10;
  int count_ = 0;
  uint32_t packed_size_ = 0;
  std::vector<uint8_t> cells_;
  std::vector<uint8_t> raw_;
};
