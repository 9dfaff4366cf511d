// TRecordsBitmap: a set of physical record numbers of one table, one bit per record. Cursors
// hold their range, their active records and each optimised filter as such a set, combine them
// with AND, OR and NOT, count them and walk them to find the n-th qualifying record.
//
// Layout seen by callers: record r (1-based) is bit (r - 1) mod 32 of 32-bit word (r - 1) / 32
// (Word() gives that view). Internally the words are 64 bits wide, so that counting and walking
// take twice as many records per step; bit k of 64-bit word w is record w * 64 + k + 1.
//
// Invariants:
//   (1) Every bit at or beyond BitCount() is zero, in every allocated word. Set, SetSize, SetAll,
//       Not, OrWith and CopyFrom keep this; so Count, Rank and the walks need no masking at the
//       end, and records that a resize newly covers start clear.
//   (2) words_.size() * 8 == AllocatedBytes(), a multiple of 256, and covers WordCount(); the
//       array never shrinks, so re-sizing a pooled bitmap to a size it held before reallocates
//       nothing (Reserve).
//   (3) RoundedBitCount() is BitCount() rounded up to a multiple of 32, WordCount() is that / 32.
//
// Record numbers outside 1 .. BitCount() are never members: Test answers false, Clear does
// nothing, and Set grows the bitmap to cover the record (the record-lock sets start with room
// for 8192 records and must take any record number).
//
// Not thread-safe, also in its const members (Rank keeps a directory): a bitmap is used by one
// session's thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The outcome of a walk: whether every step requested was made, and how many were.
struct TBitmapWalk {
  bool complete;
  uint32_t made;
};

class TRecordsBitmap {
 public:
  // A new bitmap is empty: no words, all counts 0.
  TRecordsBitmap() = default;
  // Copying a bitmap can be costly and is always explicit (CopyFrom).
  TRecordsBitmap(const TRecordsBitmap&) = delete;
  TRecordsBitmap& operator=(const TRecordsBitmap&) = delete;
  TRecordsBitmap(TRecordsBitmap&&) noexcept = default;
  TRecordsBitmap& operator=(TRecordsBitmap&&) noexcept = default;

  // Makes the bitmap cover records 1 .. count. Records kept keep their bits; records newly
  // covered are clear; records dropped are cleared, so a later grow cannot bring them back.
  // Raises VUZODE_OSENOMEM when the words cannot be allocated (the bitmap is then unchanged).
  void SetSize(uint32_t count);

  uint32_t BitCount() const { return bit_count_; }
  uint64_t RoundedBitCount() const { return (uint64_t{bit_count_} + 31) / 32 * 32; }
  uint32_t WordCount() const { return static_cast<uint32_t>(RoundedBitCount() / 32); }
  size_t AllocatedBytes() const { return words_.size() * sizeof(uint64_t); }
  // 32-bit word w of the layout above.
  // REQUIRES: w < WordCount().
  uint32_t Word(uint32_t w) const;

  // Whether record is in the set; false for any record outside 1 .. BitCount().
  bool Test(uint32_t record) const;
  // Adds record, growing the bitmap to cover it when it lies beyond BitCount() (may then raise
  // VUZODE_OSENOMEM). Record 0 names no record and is ignored.
  void Set(uint32_t record);
  // Removes record; nothing for a record outside 1 .. BitCount().
  void Clear(uint32_t record);

  void ClearAll();
  // Adds every record 1 .. BitCount().
  void SetAll();
  // Makes this bitmap equal to other: size and bits. May raise VUZODE_OSENOMEM.
  void CopyFrom(const TRecordsBitmap& other);

  // Intersection and union with other, over this bitmap's records; this bitmap keeps its size.
  // Records beyond other's size count as absent from other; other's records beyond this size
  // are ignored.
  void AndWith(const TRecordsBitmap& other);
  void OrWith(const TRecordsBitmap& other);
  // Complement within 1 .. BitCount().
  void Not();

  // The number of records in the set.
  uint32_t Count() const;
  // The number of records in the set among 1 .. record - 1: the 0-based position of record
  // within the set when it is a member. Rank(0) and Rank(1) are 0; any record beyond
  // BitCount() gives Count().
  uint32_t Rank(uint32_t record) const;

  // Walks forward from the record after position over members until steps of them have been
  // passed. position ends on the last member reached (unchanged when none was) and counter is
  // increased by the number passed. Position 0 starts before the first record; so the k-th
  // member (select) is Next from 0 with k steps. Steps 0 makes no move and is complete.
  TBitmapWalk Next(uint32_t& position, uint32_t steps, int64_t& counter) const;
  // The same backward from the record before position (any position beyond BitCount() starts
  // at the last record), counter decreasing by the number passed.
  TBitmapWalk Prior(uint32_t& position, uint32_t steps, int64_t& counter) const;

 private:
  static constexpr size_t kWordBits = 64;
  // The allocation grows in whole steps of this many 64-bit words (256 bytes).
  static constexpr size_t kAllocationStepWords = 256 / sizeof(uint64_t);

  // 64-bit words that hold records 1 .. bit_count_.
  size_t UsedWords() const { return (size_t{bit_count_} + kWordBits - 1) / kWordBits; }
  // Makes the array hold at least words words (invariant (2)).
  void Reserve(size_t words);
  // Clears the bits of records first + 1 .. last (0-based bit indexes first .. last - 1).
  void ClearBits(uint64_t first, uint64_t last);
  // Clears the bits beyond bit_count_ in the last used word (restores invariant (1)).
  void ClearTail();

  // Every change of the bits makes the rank blocks stale.
  void Changed() { rank_ready_ = false; }
  // Fills rank_blocks_: entry b counts the records of words [0, b * kRankBlockWords).
  void BuildRankBlocks() const;

  std::vector<uint64_t> words_;
  uint32_t bit_count_ = 0;
  // Rank's directory, made by the first Rank after a change: a cursor stepping through a view
  // asks the rank of each record it reaches, and counting from the first word each time made
  // a walk quadratic in the table's size.
  static constexpr size_t kRankBlockWords = 64;
  mutable std::vector<uint32_t> rank_blocks_;
  mutable bool rank_ready_ = false;
};
