// XOR scrambling of the files of an encrypted table.
//
// A key is a pair of start bytes (k1, k2). Each byte of a unit is XORed with k1 and k2, then k1
// is incremented and k2 decremented (mod 256); the operation is its own inverse. Every unit
// starts afresh with its key:
//
//   | Unit                                                          | Key             |
//   |---------------------------------------------------------------|-----------------|
//   | a record image (RecordSize bytes)                             | kRecordKey      |
//   | all field descriptors of a data file, as one unit             | kRecordKey      |
//   | the characters of the description and of the password in the  | kHeaderTextKey  |
//   |   data file header (not their length bytes)                   |                 |
//   | the 4096-byte index file header; each 4096-byte index page    | kRecordKey      |
//   | the 512-byte BLOB file header; each block's 18-byte header;   | kRecordKey      |
//   |   each block's data area                                      |                 |
//
// A unit whose length has its low 16 bits all zero (0, 65536, 131072, ...) is left as it is.
// This is part of the file format: the descriptors of a table with 256, 512, 768 or 1024 fields
// (768 bytes each, a multiple of 65536 in all) are stored unscrambled, and readers, calling this
// same function, leave them so.
#pragma once

#include <cstddef>
#include <cstdint>

struct TScrambleKey {
  uint8_t First;
  uint8_t Second;
};

inline constexpr TScrambleKey kRecordKey{0x6B, 0x1D};
inline constexpr TScrambleKey kHeaderTextKey{0xB6, 0x2D};

// Scrambles or unscrambles length bytes at buffer in place.
void Scramble(uint8_t* buffer, size_t length, TScrambleKey key);
