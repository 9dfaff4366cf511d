// TBlock: one BLOB block held from the block cache, and the block's byte layout.
//
//   | Offset | Size    | Field         | Meaning                                              |
//   |--------|---------|---------------|------------------------------------------------------|
//   |   0    | 4       | PreviousBlock | signed; previous block of the value, 0 for the first |
//   |   4    | 4       | NextBlock     | signed; next block of the value, 0 for the last; in  |
//   |        |         |               | a free block the next free block                     |
//   |   8    | 2       | BytesUsed     | unsigned; data bytes used in this block              |
//   |  10    | 4       | OwnerRevision | signed; revision of the value that owns the block    |
//   |  14    | 4       | TotalLength   | signed; bytes of the whole value (first block only)  |
//   |  18    | bs - 18 | data area     |                                                      |
//
// bs is the file's block size. In an encrypted table the 18 header bytes and the data area are
// scrambled as two units, each starting afresh with the record key.
//
// Invariants:
//   (1) A TBlock holds one pin on its cache entry from construction until Release or
//       destruction, so the entry cannot be evicted or reused while the block is held.
//   (2) The setters change the cached bytes at once and mark the entry dirty only when the value
//       changes, so a flush writes exactly what the setters left.
#pragma once

#include <cstdint>

struct TCacheEntry;
class TBlobFile;

inline constexpr uint32_t kBlockHeaderSize = 18;
inline constexpr uint32_t kDefaultBlobBlockSize = 512;
// A block must hold its header and at least one data byte, and BytesUsed (16 bits) must be able
// to count its whole data area.
inline constexpr uint32_t kMinBlobBlockSize = kBlockHeaderSize + 1;
inline constexpr uint32_t kMaxBlobBlockSize = kBlockHeaderSize + 0xFFFF;

// Scrambles or unscrambles a block image of size bytes in place (header and data apart).
// REQUIRES: size >= kBlockHeaderSize.
void ScrambleBlockImage(uint8_t* image, uint32_t size);

class TBlock {
 public:
  TBlock() = default;
  // Takes over one pin of entry, a unit of file's block cache.
  TBlock(TBlobFile* file, TCacheEntry* entry) : file_(file), entry_(entry) {}
  ~TBlock() { Release(); }
  TBlock(TBlock&& other) noexcept;
  TBlock& operator=(TBlock&& other) noexcept;
  TBlock(const TBlock&) = delete;
  TBlock& operator=(const TBlock&) = delete;

  // False for the empty handle (a fetch that must start over).
  explicit operator bool() const { return entry_ != nullptr; }
  // Drops the pin; the handle becomes empty.
  void Release();

  // REQUIRES for everything below: the handle is not empty.
  uint32_t Number() const;
  bool Dirty() const;
  uint16_t PinCount() const;
  // Bytes of the data area (block size - 18).
  uint32_t DataSize() const;

  int32_t PreviousBlock() const;
  int32_t NextBlock() const;
  uint16_t BytesUsed() const;
  int32_t OwnerRevision() const;
  int32_t TotalLength() const;
  void SetPreviousBlock(int32_t value);
  void SetNextBlock(int32_t value);
  void SetBytesUsed(uint16_t value);
  void SetOwnerRevision(int32_t value);
  void SetTotalLength(int32_t value);

  // Copies up to count bytes of the data area from offset into out, never past BytesUsed: the
  // bytes copied. Raises VUZODE_INVALIDBLOBLEN when offset + count passes the data area and
  // VUZODE_MEMOCORRUPT when BytesUsed does.
  uint32_t Read(uint32_t offset, uint32_t count, uint8_t* out) const;
  // Copies count bytes into the data area at offset; BytesUsed becomes offset + count. Raises
  // VUZODE_INVALIDBLOBLEN when that passes the data area.
  void Write(uint32_t offset, uint32_t count, const uint8_t* bytes);
  // Zeroes header and data; marks the block dirty.
  void Clear();

 private:
  uint8_t* Bytes() const;
  void Put32(uint32_t at, int32_t value);

  TBlobFile* file_ = nullptr;
  TCacheEntry* entry_ = nullptr;
};
