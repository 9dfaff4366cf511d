// The table from locale identifiers to ICU locales: every entry has data, order, known rows.
#include "platform/locale/locale_map.h"

#include <gtest/gtest.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <set>
#include <string>

namespace platform {
namespace {

std::string BaseName(const char* locale) {
  char base[ULOC_FULLNAME_CAPACITY];
  UErrorCode status = U_ZERO_ERROR;
  uloc_getBaseName(locale, base, sizeof base, &status);
  EXPECT_TRUE(U_SUCCESS(status)) << locale;
  return base;
}

std::string Keyword(const char* locale, const char* keyword) {
  char value[ULOC_KEYWORDS_CAPACITY] = "";
  UErrorCode status = U_ZERO_ERROR;
  uloc_getKeywordValue(locale, keyword, value, sizeof value, &status);
  return value;
}

TEST(LocaleMap, EveryEntryNamesALocaleIcuHasDataFor) {
  std::set<std::string> available;
  for (int32_t i = 0; i < uloc_countAvailable(); ++i) available.insert(uloc_getAvailable(i));
  for (const TLocaleMapEntry& entry : LocaleMapEntries()) {
    EXPECT_EQ(available.count(BaseName(entry.IcuLocale)), 1u)
        << entry.LanguageId << " " << entry.IcuLocale;
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(entry.IcuLocale, &status);
    EXPECT_TRUE(U_SUCCESS(status)) << entry.IcuLocale;
    ucol_close(collator);
  }
}

TEST(LocaleMap, EntriesAreSortedAndUniqueAndSkipByteOrder) {
  auto entries = LocaleMapEntries();
  ASSERT_EQ(entries.size(), 98u + 5u);  // the list's 98 locales, 5 German phone-book sorts
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_NE(entries[i].LanguageId, 0);
    if (i > 0) {
      const auto& a = entries[i - 1];
      const auto& b = entries[i];
      EXPECT_TRUE(a.LanguageId < b.LanguageId ||
                  (a.LanguageId == b.LanguageId && a.SortId < b.SortId));
    }
    EXPECT_EQ(IcuLocaleFor(entries[i].LanguageId, entries[i].SortId), entries[i].IcuLocale);
  }
}

// The table was generated from ICU's own identifier mapping; it may differ only where it was
// fixed by hand on purpose.
TEST(LocaleMap, AgreesWithIcuIdentifierMappingExceptDocumentedFixes) {
  const std::set<uint32_t> fixedByHand = {0x081A,  0x0C1A,  0x2409, 0x10807,
                                          0x10C07, 0x11007, 0x11407};
  for (const TLocaleMapEntry& entry : LocaleMapEntries()) {
    const uint32_t lcid = uint32_t{entry.SortId} << 16 | entry.LanguageId;
    if (fixedByHand.count(lcid)) continue;
    char icu[ULOC_FULLNAME_CAPACITY];
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLocaleForLCID(lcid, icu, sizeof icu, &status);
    ASSERT_TRUE(U_SUCCESS(status)) << lcid;
    EXPECT_STREQ(entry.IcuLocale, icu) << std::hex << lcid;
  }
}

TEST(LocaleMap, KnownIdentifiers) {
  struct {
    uint16_t language, sort;
    const char* icu;
  } const cases[] = {
      {1033, 0, "en_US"},
      {1031, 0, "de_DE"},
      {1031, 1, "de_DE@collation=phonebook"},
      {1034, 0, "es_ES@collation=traditional"},
      {3082, 0, "es_ES"},
      {2070, 0, "pt_PT"},
      {1046, 0, "pt_BR"},
      {1050, 0, "hr_HR"},
      {2074, 0, "sr_Latn_RS"},
      {3098, 0, "sr_Cyrl_RS"},
      {1078, 0, "af_ZA"},
      {1025, 0, "ar_SA"},
  };
  for (const auto& c : cases) {
    ASSERT_NE(IcuLocaleFor(c.language, c.sort), nullptr) << c.language;
    EXPECT_STREQ(IcuLocaleFor(c.language, c.sort), c.icu);
  }
  EXPECT_EQ(IcuLocaleFor(0, 0), nullptr);
  EXPECT_EQ(IcuLocaleFor(1033, 1), nullptr);  // only German has a phone-book order
  EXPECT_EQ(IcuLocaleFor(1033, 2), nullptr);
  EXPECT_EQ(IcuLocaleFor(0x0411, 0), nullptr);  // Japanese is not in the list
}

TEST(LocaleMap, AlternativeSortsReachTheirIcuCollation) {
  for (const TLocaleMapEntry& entry : LocaleMapEntries()) {
    const std::string collation = Keyword(entry.IcuLocale, "collation");
    if (entry.SortId == kSortGermanPhoneBook) {
      EXPECT_EQ(entry.LanguageId & 0x3FF, 7) << entry.IcuLocale;
      EXPECT_EQ(collation, "phonebook") << entry.IcuLocale;
    } else if (entry.LanguageId == 1034) {
      EXPECT_EQ(collation, "traditional");
    } else {
      EXPECT_EQ(collation, "") << entry.IcuLocale;
      continue;
    }
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(entry.IcuLocale, &status);
    ASSERT_TRUE(U_SUCCESS(status));
    const char* actual = ucol_getLocaleByType(collator, ULOC_ACTUAL_LOCALE, &status);
    EXPECT_EQ(Keyword(actual, "collation"), collation) << entry.IcuLocale << " -> " << actual;
    ucol_close(collator);
  }
}

}  // namespace
}  // namespace platform
