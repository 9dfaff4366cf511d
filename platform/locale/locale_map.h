// The table from the engine's locale identifiers to ICU locales.
//
// A locale identifier is the pair (LanguageId, SortId) stored in a table's data file header:
// LanguageId has the primary language in bits 0-9 and the sublanguage in bits 10-15, SortId
// selects an alternative sort order of that language (0 the default order, 1 the German phone
// book order). The table holds one row per pair the engine knows; a pair missing from it is no
// locale of this system.
//
// Invariants (checked by the locale map tests):
//   (1) Every row names an ICU locale whose data ICU has (no silent fallback to another language).
//   (2) Pairs are unique and the rows are sorted by (LanguageId, SortId) so lookups can bisect.
//   (3) LanguageId 0 (byte order) has no row: it needs no locale.
#pragma once

#include <cstdint>
#include <span>

namespace platform {

struct TLocaleMapEntry {
  uint16_t LanguageId;
  uint16_t SortId;
  // An ICU locale identifier, with a collation keyword where the sort order asks for one.
  const char* IcuLocale;
};

// The sort order ids the table uses.
inline constexpr uint16_t kSortDefault = 0;
inline constexpr uint16_t kSortGermanPhoneBook = 1;

// All rows, sorted by (LanguageId, SortId).
std::span<const TLocaleMapEntry> LocaleMapEntries();

// The ICU locale of the pair, or nullptr when the pair is not in the table.
const char* IcuLocaleFor(uint16_t languageId, uint16_t sortId);

}  // namespace platform
