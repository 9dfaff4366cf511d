// The XOR key stream of encrypted tables.
#include "db/storage/scramble.h"

void Scramble(uint8_t* buffer, size_t length, TScrambleKey key) {
  if ((length & 0xFFFF) == 0) return;  // see the header: part of the file format
  uint8_t k1 = key.First;
  uint8_t k2 = key.Second;
  for (size_t i = 0; i < length; ++i) {
    buffer[i] ^= k1 ^ k2;
    ++k1;
    --k2;
  }
}
