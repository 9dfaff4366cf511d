// The list of locales the engine knows: 99 entries, each a display name and a 16-bit language
// identifier (primary language in bits 0-9, sublanguage in bits 10-15), and the sort orders each
// locale offers. A table's locale is a (LanguageId, SortId) pair; LanguageId 0, the entry
// "ANSI Standard" at position 0, is plain byte order.
//
// Invariants:
//   (1) The list is a constant: it is complete before any engine code runs and never changes,
//       so it is read from any thread without a lock.
//   (2) Names and identifiers are unique; names are looked up without regard to case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// Builds a language identifier from its primary language and sublanguage.
constexpr uint16_t MakeLanguageId(uint16_t primary, uint16_t sublanguage) {
  return static_cast<uint16_t>(sublanguage << 10 | primary);
}

// The sort ids behind the sort names: "Default Order" is 0, "German Phone Book Order" is the
// platform's phone-book sort 1 (the collation that orders "ä" as "ae").
inline constexpr uint16_t kDefaultSortId = 0;
inline constexpr uint16_t kGermanPhoneBookSortId = 1;

struct TLocaleListEntry {
  std::string_view Name;
  uint16_t Identifier;
};

class TLocaleList {
 public:
  static constexpr size_t kCount = 99;

  std::span<const TLocaleListEntry> Entries() const;
  size_t Count() const { return kCount; }
  // REQUIRES: position < Count().
  const TLocaleListEntry& operator[](size_t position) const { return Entries()[position]; }

  bool IsKnown(std::string_view name) const;
  // The identifier of the named locale; 0 when the name is unknown.
  uint16_t IdentifierOf(std::string_view name) const;
  // The list position of the identifier; -1 when no entry has it.
  int PositionOf(uint16_t identifier) const;
  // The sort names the locale offers, "Default Order" first; empty for an identifier that is not
  // in the list.
  std::span<const std::string_view> SortNames(uint16_t identifier) const;
  bool IsSortOffered(std::string_view sortName, uint16_t identifier) const;
  // The sort id of a sort name (see kGermanPhoneBookSortId); 0 for an unknown name.
  uint16_t SortIdOf(std::string_view sortName) const;
};

// The process's one list.
const TLocaleList& LocaleList();
