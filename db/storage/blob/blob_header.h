// The BLOB file header and the bounds every header value read from a file must meet.
//
// The byte layout is documented in blob_header.cpp, which writes it.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kBlobFileHeaderSize = 512;
inline constexpr uint8_t kBlobFormatVersion = 5;
// The most blocks a file may hold; NextBlockNumber runs up to one past it.
inline constexpr uint32_t kMaxBlobBlocks = 2000000000;

struct TBlobFileHeader {
  int32_t ChangeCount = 0;
  uint8_t FormatVersion = kBlobFormatVersion;
  int32_t FirstFreeBlock = 0;
  int32_t NextBlockNumber = 1;
  uint8_t HeaderDirty = 0;
};

// header <-> its 512 bytes (plain; the caller scrambles an encrypted table's header).
void EncodeBlobFileHeader(const TBlobFileHeader& header, uint8_t* bytes);
TBlobFileHeader DecodeBlobFileHeader(const uint8_t* bytes);

// Why header is unusable, or null when its counters are sound: 1 <= NextBlockNumber <=
// kMaxBlobBlocks + 1 and 0 <= FirstFreeBlock < NextBlockNumber. (The version is checked
// apart, since it has its own error code.)
const char* BlobHeaderFault(const TBlobFileHeader& header);
