// Index pages: cells in memory and their on-disk image.
//
// Page image (4096 bytes, little-endian; scrambled as a whole when the table is encrypted):
//
//   | Offset | Width | Content                                                            |
//   |--------|-------|--------------------------------------------------------------------|
//   |   0    |  u8   | type: 0 root of several levels, 1 internal, 2 leaf, 3 root leaf,   |
//   |        |       | 4 text index parameters                                            |
//   |   1    |  u16  | entry count (0 for a free page)                                    |
//   |   3    |  i32  | left neighbour on the level, 0 when none                           |
//   |   7    |  i32  | right neighbour; for a free page the next free page                |
//   |  11    |  u16  | bytes used by the entries of a compressed leaf, otherwise 0        |
//   |  13    | 4083  | entries, packed one after another                                  |
//
// Entries (KL = the index's KeyLength):
//
//   | Page                       | Entry                                                     |
//   |----------------------------|-----------------------------------------------------------|
//   | internal (0, 1)            | key, child page (i32), subtree count (i32; absent when    |
//   |                            | the index carries no counts)                              |
//   | leaf, compression 0        | key, record number (i32)                                  |
//   | leaf, 1 (duplicate bytes)  | d (u8), key bytes d..KL-1, record number                  |
//   | leaf, 2 (trailing bytes)   | t (u8), key without its last t bytes, record number; for  |
//   |                            | a non-unique index t counts zeros before the row id and   |
//   |                            | the 4-byte row id is written whole                        |
//   | leaf, 3 (full)             | d, t, key bytes from d up to the dropped zeros, the row   |
//   |                            | id when the index is non-unique and KL - d >= 5, record   |
//   | parameters (4)             | 4083 raw bytes                                            |
//
// d = leading bytes equal to the previous key's (0 for the first entry), t = trailing zero
// bytes dropped; both at most 254, and t counts only bytes not shared with the previous key.
// Entry sizes: mode 1 KL - d + 5, mode 2 KL - t + 5, mode 3 KL - d - t + 6.
#include "db/storage/index/page.h"

#include <algorithm>
#include <cassert>

#include "db/storage/le_codec.h"

namespace {

constexpr uint32_t kMaxShared = 254;

}  // namespace

void TPage::Reset(uint32_t number, int slot, const TPageFormat& format) {
  number_ = number;
  slot_ = slot;
  format_ = format;
  cell_size_ = static_cast<uint32_t>(format.KeyLength) + 10u;
  Type = kPageRootLeaf;
  Left = 0;
  Right = 0;
  Free = false;
  Dirty = false;
  count_ = 0;
  packed_size_ = 0;
  raw_.clear();
}

uint8_t* TPage::Raw() {
  if (raw_.empty()) raw_.assign(kPageAreaSize, 0);
  return raw_.data();
}

const uint8_t* TPage::Raw() const {
  static const std::vector<uint8_t> kZeros(kPageAreaSize, 0);
  return raw_.empty() ? kZeros.data() : raw_.data();
}

void TPage::MakeFree() {
  count_ = 0;
  packed_size_ = 0;
  Left = 0;
  Free = true;
  Type = kPageRoot;
  raw_.clear();
  Dirty = true;
}

void TPage::Reserve(int cells) {
  const size_t need = static_cast<size_t>(cells) * cell_size_;
  // A page's cells grow one at a time up to a split: room for a full page (and the cell that
  // overfills it) at once spares a reallocation for every doubling.
  const size_t full = static_cast<size_t>(Capacity() + 1) * cell_size_;
  if (cells_.size() < need) cells_.resize(std::max({need, cells_.size() * 2, full}));
}

int TPage::Capacity() const {
  const uint32_t kl = format_.KeyLength;
  if (IsLeaf()) return static_cast<int>(kPageAreaSize / (kl + 4));
  return static_cast<int>(kPageAreaSize / (kl + (format_.NoCounts ? 4 : 8)));
}

bool TPage::Overfull() const {
  if (Compressed()) return packed_size_ > kPageAreaSize;
  return count_ > Capacity();
}

int64_t TPage::Total() const {
  if (IsLeaf()) return count_;
  int64_t total = 0;
  for (int i = 0; i < count_; ++i) total += SubtreeCount(i);
  return total;
}

uint32_t TPage::EntrySize(int i) const {
  const uint32_t kl = format_.KeyLength;
  switch (format_.Compression) {
    case kCompressDuplicates:
      return kl - PrefixLength(i) + 5;
    case kCompressTrailing:
      return kl - SuffixLength(i) + 5;
    case kCompressFull:
      return kl - PrefixLength(i) - SuffixLength(i) + 6;
    default:
      return kl + 4;
  }
}

void TPage::RecomputeCell(int i) {
  if (!Compressed() || i < 0 || i >= count_) return;
  packed_size_ -= EntrySize(i);
  const uint32_t kl = format_.KeyLength;
  const uint8_t* key = Key(i);
  uint32_t d = 0;
  if (i > 0 && format_.Compression != kCompressTrailing) {
    const uint8_t* prev = Key(i - 1);
    const uint32_t limit = std::min(kl, kMaxShared);
    while (d < limit && key[d] == prev[d]) ++d;
  }
  uint32_t t = 0;
  if (format_.Compression != kCompressDuplicates) {
    uint32_t end = kl;
    if (!format_.Unique && (format_.Compression == kCompressTrailing || kl - d >= 5)) end = kl - 4;
    const uint32_t limit = std::min(end - std::min(end, d), kMaxShared);
    while (t < limit && key[end - 1 - t] == 0) ++t;
  }
  uint8_t* tail = Cell(i) + kl;
  tail[8] = static_cast<uint8_t>(d);
  tail[9] = static_cast<uint8_t>(t);
  packed_size_ += EntrySize(i);
}

void TPage::RecomputeAll() {
  packed_size_ = 0;
  if (!Compressed()) return;
  for (int i = 0; i < count_; ++i) {
    uint8_t* tail = Cell(i) + format_.KeyLength;
    tail[8] = tail[9] = 0;
    packed_size_ += EntrySize(i);
    RecomputeCell(i);
  }
}

void TPage::SetKey(int i, const uint8_t* key) {
  assert(i >= 0 && i < count_);
  std::memcpy(Cell(i), key, format_.KeyLength);
  RecomputeCell(i);
  RecomputeCell(i + 1);
  Dirty = true;
}

void TPage::InsertCell(int i, const uint8_t* key, int32_t reference, int32_t subtreeCount) {
  assert(i >= 0 && i <= count_);
  Reserve(count_ + 1);
  uint8_t* at = Cell(i);
  std::memmove(at + cell_size_, at, static_cast<size_t>(count_ - i) * cell_size_);
  ++count_;
  std::memcpy(at, key, format_.KeyLength);
  Put32(i, 0, reference);
  Put32(i, 4, subtreeCount);
  at[format_.KeyLength + 8] = 0;
  at[format_.KeyLength + 9] = 0;
  if (Compressed()) {
    packed_size_ += EntrySize(i);
    RecomputeCell(i);
    RecomputeCell(i + 1);
  }
  Dirty = true;
}

void TPage::RemoveCell(int i) {
  assert(i >= 0 && i < count_);
  if (Compressed()) packed_size_ -= EntrySize(i);
  uint8_t* at = Cell(i);
  std::memmove(at, at + cell_size_, static_cast<size_t>(count_ - i - 1) * cell_size_);
  --count_;
  RecomputeCell(i);
  Dirty = true;
}

void TPage::RemoveCells(const int* positions, int n) {
  if (n == 0) return;
  if (Compressed()) {
    // Each removal changes what the next entry shares with its predecessor: one at a time.
    for (int k = n; k-- > 0;) RemoveCell(positions[k]);
    return;
  }
  int kept = positions[0];
  for (int k = 0; k < n; ++k) {
    assert(positions[k] >= kept && positions[k] < count_ &&
           (k == 0 || positions[k] > positions[k - 1]));
    const int from = positions[k] + 1;
    const int to = k + 1 < n ? positions[k + 1] : count_;
    std::memmove(Cell(kept), Cell(from), static_cast<size_t>(to - from) * cell_size_);
    kept += to - from;
  }
  count_ = kept;
  Dirty = true;
}

void TPage::MoveTailTo(TPage& dest, int n) {
  assert(n >= 0 && n <= count_ && dest.cell_size_ == cell_size_);
  dest.Reserve(dest.count_ + n);
  uint8_t* d = dest.cells_.data();
  std::memmove(d + static_cast<size_t>(n) * cell_size_, d,
               static_cast<size_t>(dest.count_) * cell_size_);
  std::memcpy(d, Cell(count_ - n), static_cast<size_t>(n) * cell_size_);
  dest.count_ += n;
  count_ -= n;
  RecomputeAll();
  dest.RecomputeAll();
  Dirty = dest.Dirty = true;
}

void TPage::MoveHeadTo(TPage& dest, int n) {
  assert(n >= 0 && n <= count_ && dest.cell_size_ == cell_size_);
  dest.Reserve(dest.count_ + n);
  std::memcpy(dest.Cell(dest.count_), cells_.data(), static_cast<size_t>(n) * cell_size_);
  dest.count_ += n;
  std::memmove(cells_.data(), Cell(n), static_cast<size_t>(count_ - n) * cell_size_);
  count_ -= n;
  RecomputeAll();
  dest.RecomputeAll();
  Dirty = dest.Dirty = true;
}

bool TPage::Load(const uint8_t* image) {
  count_ = 0;
  packed_size_ = 0;
  raw_.clear();
  Type = image[0];
  const uint32_t count = GetU16(image + 1);
  Left = GetI32(image + 3);
  Right = GetI32(image + 7);
  const uint32_t packed = GetU16(image + 11);
  Free = false;
  Dirty = false;
  if (Type > kPageParameter) return false;
  if (Type == kPageParameter) {
    std::memcpy(Raw(), image + kPageHeaderSize, kPageAreaSize);
    return true;
  }
  if (count == 0) {
    Free = true;
    return true;
  }
  const uint32_t kl = format_.KeyLength;
  const uint8_t* area = image + kPageHeaderSize;
  Reserve(static_cast<int>(count));
  if (!Compressed()) {
    const uint32_t entry = kl + (IsLeaf() || format_.NoCounts ? 4u : 8u);
    if (count * entry > kPageAreaSize) return false;
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = area + i * entry;
      uint8_t* c = Cell(static_cast<int>(i));
      std::memcpy(c, e, kl);
      const int32_t ref = GetI32(e + kl);
      const int32_t sub = IsLeaf() ? 0 : (format_.NoCounts ? 0 : GetI32(e + kl + 4));
      std::memcpy(c + kl, &ref, 4);
      std::memcpy(c + kl + 4, &sub, 4);
      c[kl + 8] = c[kl + 9] = 0;
    }
    count_ = static_cast<int>(count);
    return true;
  }
  // Compressed leaf: every length is checked against the key and the area before it is used.
  const uint8_t mode = format_.Compression;
  uint32_t pos = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* c = Cell(static_cast<int>(i));
    uint32_t d = 0;
    uint32_t t = 0;
    if (mode != kCompressTrailing) {
      if (pos + 1 > kPageAreaSize) return false;
      d = area[pos++];
    }
    if (mode != kCompressDuplicates) {
      if (pos + 1 > kPageAreaSize) return false;
      t = area[pos++];
    }
    if (d > kMaxShared || t > kMaxShared || d > kl || (i == 0 && d != 0)) return false;
    bool separateRowId = false;
    uint32_t end = kl;
    if (mode == kCompressTrailing && !format_.Unique) separateRowId = true;
    if (mode == kCompressFull && !format_.Unique && kl - d >= 5) separateRowId = true;
    if (separateRowId) end = kl - 4;
    if (d > end || t > end - d) return false;
    const uint32_t body = end - d - t;
    const uint32_t need = body + (separateRowId ? 4u : 0u) + 4u;
    if (pos + need > kPageAreaSize) return false;
    if (d > 0) std::memcpy(c, Key(static_cast<int>(i) - 1), d);
    std::memcpy(c + d, area + pos, body);
    std::memset(c + d + body, 0, t);
    pos += body;
    if (separateRowId) {
      std::memcpy(c + end, area + pos, 4);
      pos += 4;
    }
    const int32_t ref = GetI32(area + pos);
    pos += 4;
    const int32_t zero = 0;
    std::memcpy(c + kl, &ref, 4);
    std::memcpy(c + kl + 4, &zero, 4);
    c[kl + 8] = c[kl + 9] = 0;
    count_ = static_cast<int>(i) + 1;
  }
  if (pos != packed) return false;
  RecomputeAll();
  return true;
}

bool TPage::Store(uint8_t* image) const {
  std::memset(image, 0, kPageHeaderSize + kPageAreaSize);
  image[0] = Type;
  PutU16(image + 1, Free ? 0 : static_cast<uint16_t>(count_));
  PutI32(image + 3, Left);
  PutI32(image + 7, Right);
  if (Free) return true;
  uint8_t* area = image + kPageHeaderSize;
  if (Type == kPageParameter) {
    std::memcpy(area, Raw(), kPageAreaSize);
    return true;
  }
  const uint32_t kl = format_.KeyLength;
  if (!Compressed()) {
    const uint32_t entry = kl + (IsLeaf() || format_.NoCounts ? 4u : 8u);
    if (static_cast<uint32_t>(count_) * entry > kPageAreaSize) return false;
    for (int i = 0; i < count_; ++i) {
      uint8_t* e = area + static_cast<uint32_t>(i) * entry;
      std::memcpy(e, Key(i), kl);
      PutI32(e + kl, Reference(i));
      if (!IsLeaf() && !format_.NoCounts) PutI32(e + kl + 4, SubtreeCount(i));
    }
    return true;
  }
  if (packed_size_ > kPageAreaSize) return false;
  const uint8_t mode = format_.Compression;
  uint32_t pos = 0;
  for (int i = 0; i < count_; ++i) {
    const uint8_t* key = Key(i);
    const uint32_t d = PrefixLength(i);
    const uint32_t t = SuffixLength(i);
    if (mode != kCompressTrailing) area[pos++] = static_cast<uint8_t>(d);
    if (mode != kCompressDuplicates) area[pos++] = static_cast<uint8_t>(t);
    bool separateRowId = (mode == kCompressTrailing && !format_.Unique) ||
                         (mode == kCompressFull && !format_.Unique && kl - d >= 5);
    const uint32_t end = separateRowId ? kl - 4 : kl;
    const uint32_t body = end - d - t;
    std::memcpy(area + pos, key + d, body);
    pos += body;
    if (separateRowId) {
      std::memcpy(area + pos, key + end, 4);
      pos += 4;
    }
    PutI32(area + pos, Reference(i));
    pos += 4;
  }
  assert(pos == packed_size_ && "packed size out of step with the cells");
  PutU16(image + 11, static_cast<uint16_t>(pos));
  return true;
}
