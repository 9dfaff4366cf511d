// The locale list's entries and lookups.
#include "db/storage/locale/locale_list.h"

#include <algorithm>
#include <array>

namespace {

// Primary language ids of the named languages.
enum : uint16_t {
  kArabic = 1,
  kBulgarian = 2,
  kCatalan = 3,
  kCzech = 5,
  kDanish = 6,
  kGerman = 7,
  kGreek = 8,
  kEnglish = 9,
  kSpanish = 10,
  kFinnish = 11,
  kFrench = 12,
  kHebrew = 13,
  kHungarian = 14,
  kIcelandic = 15,
  kItalian = 16,
  kDutch = 19,
  kNorwegian = 20,
  kPolish = 21,
  kPortuguese = 22,
  kRomanian = 24,
  kRussian = 25,
  kSerboCroatian = 26,
  kSlovak = 27,
  kAlbanian = 28,
  kSwedish = 29,
  kThai = 30,
  kTurkish = 31,
  kIndonesian = 33,
  kUkrainian = 34,
  kBelarusian = 35,
  kSlovenian = 36,
  kEstonian = 37,
  kLatvian = 38,
  kLithuanian = 39,
  kFarsi = 41,
  kVietnamese = 42,
  kBasque = 45,
  kAfrikaans = 54,
  kFaeroese = 56,
};

constexpr TLocaleListEntry E(std::string_view name, uint16_t primary, uint16_t sub) {
  return {name, MakeLanguageId(primary, sub)};
}

// List order is part of the contract: positions are shown to users and stored by callers.
constexpr std::array<TLocaleListEntry, TLocaleList::kCount> kEntries = {
    TLocaleListEntry{"ANSI Standard", 0},
    E("Afrikaans", kAfrikaans, 1),
    E("Albanian", kAlbanian, 1),
    E("Arabic (Saudi Arabia)", kArabic, 1),
    E("Arabic (Iraq)", kArabic, 2),
    E("Arabic (Egypt)", kArabic, 3),
    E("Arabic (Libya)", kArabic, 4),
    E("Arabic (Algeria)", kArabic, 5),
    E("Arabic (Morocco)", kArabic, 6),
    E("Arabic (Tunisia)", kArabic, 7),
    E("Arabic (Oman)", kArabic, 8),
    E("Arabic (Yemen)", kArabic, 9),
    E("Arabic (Syria)", kArabic, 10),
    E("Arabic (Jordan)", kArabic, 11),
    E("Arabic (Lebanon)", kArabic, 12),
    E("Arabic (Kuwait)", kArabic, 13),
    E("Arabic (U.A.E)", kArabic, 14),
    E("Arabic (Bahrain)", kArabic, 15),
    E("Arabic (Qatar)", kArabic, 16),
    E("Basque", kBasque, 1),
    E("Belarusian", kBelarusian, 1),
    E("Bulgarian", kBulgarian, 1),
    E("Catalan", kCatalan, 1),
    E("Croatian", kSerboCroatian, 1),
    E("Czech", kCzech, 1),
    E("Danish", kDanish, 1),
    E("Dutch (Standard)", kDutch, 1),
    E("Dutch (Belgian)", kDutch, 2),
    E("English (USA)", kEnglish, 1),
    E("English (UK)", kEnglish, 2),
    E("English (Australian)", kEnglish, 3),
    E("English (Canadian)", kEnglish, 4),
    E("English (New Zealand)", kEnglish, 5),
    E("English (Irish)", kEnglish, 6),
    E("English (South Africa)", kEnglish, 7),
    E("English (Jamaica)", kEnglish, 8),
    E("English (Caribbean)", kEnglish, 9),
    E("English (Belize)", kEnglish, 10),
    E("English (Trinidad)", kEnglish, 11),
    E("Estonian", kEstonian, 1),
    E("Faeroese", kFaeroese, 1),
    E("Farsi", kFarsi, 1),
    E("Finnish", kFinnish, 1),
    E("French (Standard)", kFrench, 1),
    E("French (Belgian)", kFrench, 2),
    E("French (Canadian)", kFrench, 3),
    E("French (Swiss)", kFrench, 4),
    E("French (Luxembourg)", kFrench, 5),
    E("German (Standard)", kGerman, 1),
    E("German (Swiss)", kGerman, 2),
    E("German (Austrian)", kGerman, 3),
    E("German (Luxembourg)", kGerman, 4),
    E("German (Liechtenstein)", kGerman, 5),
    E("Greek", kGreek, 1),
    E("Hebrew", kHebrew, 1),
    E("Hungarian", kHungarian, 1),
    E("Icelandic", kIcelandic, 1),
    E("Indonesian", kIndonesian, 1),
    E("Italian (Standard)", kItalian, 1),
    E("Italian (Swiss)", kItalian, 2),
    E("Latvian", kLatvian, 1),
    E("Lithuanian", kLithuanian, 1),
    E("Norwegian (Bokmal)", kNorwegian, 1),
    E("Norwegian (Nynorsk)", kNorwegian, 2),
    E("Polish", kPolish, 1),
    E("Portuguese (Standard)", kPortuguese, 2),
    E("Portuguese (Brazilian)", kPortuguese, 1),
    E("Romanian", kRomanian, 1),
    E("Russian", kRussian, 1),
    E("Serbian (Latin)", kSerboCroatian, 2),
    E("Serbian (Cyrillic)", kSerboCroatian, 3),
    E("Slovak", kSlovak, 1),
    E("Slovenian", kSlovenian, 1),
    E("Spanish (Castilian)", kSpanish, 1),
    E("Spanish (Mexican)", kSpanish, 2),
    E("Spanish (Modern)", kSpanish, 3),
    E("Spanish (Guatemala)", kSpanish, 4),
    E("Spanish (Costa Rica)", kSpanish, 5),
    E("Spanish (Panama)", kSpanish, 6),
    E("Spanish (Dominican Republic)", kSpanish, 7),
    E("Spanish (Venezuela)", kSpanish, 8),
    E("Spanish (Colombia)", kSpanish, 9),
    E("Spanish (Peru)", kSpanish, 10),
    E("Spanish (Argentina)", kSpanish, 11),
    E("Spanish (Ecuador)", kSpanish, 12),
    E("Spanish (Chile)", kSpanish, 13),
    E("Spanish (Uruguay)", kSpanish, 14),
    E("Spanish (Paraguay)", kSpanish, 15),
    E("Spanish (Bolivia)", kSpanish, 16),
    E("Spanish (El Salvador)", kSpanish, 17),
    E("Spanish (Honduras)", kSpanish, 18),
    E("Spanish (Nicaragua)", kSpanish, 19),
    E("Spanish (Puerto Rico)", kSpanish, 20),
    E("Swedish (Standard)", kSwedish, 1),
    E("Swedish (Finland)", kSwedish, 2),
    E("Thai", kThai, 1),
    E("Turkish", kTurkish, 1),
    E("Ukranian", kUkrainian, 1),
    E("Vietnamese", kVietnamese, 1),
};

constexpr std::string_view kDefaultOrder = "Default Order";
constexpr std::string_view kGermanPhoneBookOrder = "German Phone Book Order";
constexpr std::array<std::string_view, 2> kGermanSorts = {kDefaultOrder, kGermanPhoneBookOrder};

// The German locales: the entries that offer the phone-book order.
constexpr size_t kFirstGerman = 48;
constexpr size_t kLastGerman = 52;

constexpr char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// Names are ASCII, so an ASCII case fold is exact for them.
constexpr bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

int PositionOfName(std::string_view name) {
  for (size_t i = 0; i < kEntries.size(); ++i) {
    if (SameName(kEntries[i].Name, name)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

std::span<const TLocaleListEntry> TLocaleList::Entries() const {
  return kEntries;
}

bool TLocaleList::IsKnown(std::string_view name) const {
  return PositionOfName(name) >= 0;
}

uint16_t TLocaleList::IdentifierOf(std::string_view name) const {
  const int position = PositionOfName(name);
  return position < 0 ? 0 : kEntries[position].Identifier;
}

int TLocaleList::PositionOf(uint16_t identifier) const {
  for (size_t i = 0; i < kEntries.size(); ++i) {
    if (kEntries[i].Identifier == identifier) return static_cast<int>(i);
  }
  return -1;
}

std::span<const std::string_view> TLocaleList::SortNames(uint16_t identifier) const {
  const int position = PositionOf(identifier);
  if (position < 0) return {};
  if (static_cast<size_t>(position) >= kFirstGerman &&
      static_cast<size_t>(position) <= kLastGerman) {
    return kGermanSorts;
  }
  return std::span(kGermanSorts).first(1);
}

bool TLocaleList::IsSortOffered(std::string_view sortName, uint16_t identifier) const {
  for (std::string_view offered : SortNames(identifier)) {
    if (SameName(offered, sortName)) return true;
  }
  return false;
}

uint16_t TLocaleList::SortIdOf(std::string_view sortName) const {
  return SameName(sortName, kGermanPhoneBookOrder) ? kGermanPhoneBookSortId : kDefaultSortId;
}

const TLocaleList& LocaleList() {
  static const TLocaleList list;
  return list;
}
