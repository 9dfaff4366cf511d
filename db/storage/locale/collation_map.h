// Collation maps: the 256 byte values listed in the collation order of a locale, and the
// process-wide cache of the maps built so far (TLanguageCharMapsList).
//
// A map for LanguageId 0 is the identity 0, 1, ..., 255. For a locale, each byte is ordered as a
// one-byte text with LocaleCompareChar (case-sensitive); bytes the locale finds equal keep their
// byte order, so a map is always a permutation and the same for every call. Bytes 0x80-0xFF are
// no UTF-8 characters on their own and compare as the replacement character, which collates
// after every letter: map[255] is the locale's highest single byte, map[0] its lowest. Key
// ranges use them as filler and successors (see the cursor's key ranges).
//
// Invariants:
//   (1) A cached map never changes, and the cache only grows: one entry per installed locale
//       pair used (LanguageId 0 is answered without an entry).
//   (2) Lookups and insertions happen under the list's own lock; building a map under it takes
//       only the collator cache's lock inside, never the other way round.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/os/system.h"

using TCollationMap = std::array<uint8_t, 256>;

class TLanguageCharMapsList {
 public:
  // The process's one list.
  static TLanguageCharMapsList& Instance();

  TLanguageCharMapsList() { maps_.reserve(256); }
  TLanguageCharMapsList(const TLanguageCharMapsList&) = delete;
  TLanguageCharMapsList& operator=(const TLanguageCharMapsList&) = delete;

  // The map of the pair, from the cache or built and added. Raises VUZODE_CANNOTLOADLDDRV for a
  // pair that is no installed locale (nothing is cached then).
  TCollationMap Map(uint16_t languageId, uint16_t sortId);

  // The number of cached maps.
  size_t Count();

 private:
  struct TEntry {
    uint16_t LanguageId;
    uint16_t SortId;
    TCollationMap Map;
  };

  platform::TCriticalSection guard_;
  std::vector<TEntry> maps_;
};

// The collation map of a locale; TLanguageCharMapsList::Instance().Map.
TCollationMap CollationMap(uint16_t languageId, uint16_t sortId);
