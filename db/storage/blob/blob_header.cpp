// The BLOB file header: 512 bytes at offset 0 of every BLOB file, little-endian.
//
// Whole file (bs = the block size, from the data file header; 512 when it says 0):
//
//   | Offset             | Size | Content                                                    |
//   |--------------------|------|------------------------------------------------------------|
//   | 0                  | 512  | header (below), scrambled as one unit when encrypted       |
//   | 512 + (n - 1) * bs | bs   | block n, n = 1 .. NextBlockNumber - 1 (layout in block.h)  |
//
// Header:
//
//   | Offset | Size | Field           | Meaning                                               |
//   |--------|------|-----------------|-------------------------------------------------------|
//   |   0    |  4   | ChangeCount     | signed; +1 at every header write, compared by others  |
//   |   4    |  4   | reserved        | zeros                                                 |
//   |   8    |  1   | FormatVersion   | always 5                                              |
//   |   9    |  4   | FirstFreeBlock  | signed; head of the free chain, 0 when none           |
//   |  13    |  4   | NextBlockNumber | signed; one past the last block (1 for an empty file) |
//   |  17    |  1   | HeaderDirty     | the in-memory flag as it stood when written           |
//   |  18    | 494  | reserved        | zeros                                                 |
#include "db/storage/blob/blob_header.h"

#include <cstring>

#include "db/storage/le_codec.h"

void EncodeBlobFileHeader(const TBlobFileHeader& h, uint8_t* b) {
  std::memset(b, 0, kBlobFileHeaderSize);
  PutI32(b + 0, h.ChangeCount);
  b[8] = h.FormatVersion;
  PutI32(b + 9, h.FirstFreeBlock);
  PutI32(b + 13, h.NextBlockNumber);
  b[17] = h.HeaderDirty;
}

TBlobFileHeader DecodeBlobFileHeader(const uint8_t* b) {
  TBlobFileHeader h;
  h.ChangeCount = GetI32(b + 0);
  h.FormatVersion = b[8];
  h.FirstFreeBlock = GetI32(b + 9);
  h.NextBlockNumber = GetI32(b + 13);
  h.HeaderDirty = b[17];
  return h;
}

const char* BlobHeaderFault(const TBlobFileHeader& h) {
  if (h.NextBlockNumber < 1 || static_cast<uint32_t>(h.NextBlockNumber) > kMaxBlobBlocks + 1) {
    return "block count";
  }
  if (h.FirstFreeBlock < 0 || h.FirstFreeBlock >= h.NextBlockNumber) return "first free block";
  return nullptr;
}
