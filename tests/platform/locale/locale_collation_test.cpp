// Locale collation on ICU: language rules, case and accent strength, punctuation, threads.
#include "platform/locale/locale_collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/locale/locale_map.h"

namespace platform {
namespace {

constexpr uint16_t kEnglishUs = 1033;
constexpr uint16_t kGerman = 1031;
constexpr uint16_t kSpanishCastilian = 1034;
constexpr uint16_t kSpanishModern = 3082;

int Cmp(uint16_t language, uint16_t sort, std::string_view a, std::string_view b,
        bool ignoreCase = false) {
  const auto result = CompareLocaleText(language, sort, a, b, ignoreCase);
  EXPECT_TRUE(result.has_value());
  return result.value_or(99);
}

TEST(LocaleCollation, TraditionalSpanishSortsChAfterC) {
  EXPECT_GT(Cmp(kSpanishCastilian, 0, "chico", "czar"), 0);
  EXPECT_GT(Cmp(kSpanishCastilian, 0, "llama", "luz"), 0);
  EXPECT_LT(Cmp(kSpanishModern, 0, "chico", "czar"), 0);
  EXPECT_LT(Cmp(kSpanishModern, 0, "llama", "luz"), 0);
  // ñ is a letter of its own in both orders, not an accented n.
  EXPECT_GT(Cmp(kSpanishModern, 0, "ñu", "nz"), 0);
}

TEST(LocaleCollation, GermanPhoneBookSortsUmlautAsVowelPlusE) {
  // Default order: ä is a with an accent, ignored at this strength.
  EXPECT_EQ(Cmp(kGerman, kSortDefault, "Äpfel", "Apfel"), 0);
  EXPECT_LT(Cmp(kGerman, kSortDefault, "Äa", "Ab"), 0);
  // Phone book: ä is "ae".
  EXPECT_EQ(Cmp(kGerman, kSortGermanPhoneBook, "Müller", "Mueller", true), 0);
  EXPECT_GT(Cmp(kGerman, kSortGermanPhoneBook, "Äa", "Ab"), 0);
  EXPECT_NE(Cmp(kGerman, kSortGermanPhoneBook, "Äpfel", "Apfel"), 0);
  // The Austrian phone-book entry reaches the same collation.
  EXPECT_GT(Cmp(3079, kSortGermanPhoneBook, "Äa", "Ab"), 0);
}

TEST(LocaleCollation, CaseMattersOnlyWhenCaseSensitive) {
  EXPECT_EQ(Cmp(kEnglishUs, 0, "Hello", "hELLO", true), 0);
  EXPECT_NE(Cmp(kEnglishUs, 0, "Hello", "hELLO", false), 0);
  EXPECT_EQ(Cmp(kEnglishUs, 0, "abc", "abc", false), 0);
  // A letter difference outranks a case difference either way.
  EXPECT_LT(Cmp(kEnglishUs, 0, "abc", "ABD", false), 0);
  EXPECT_LT(Cmp(kEnglishUs, 0, "ABC", "abd", false), 0);
  // Case-sensitive order is still a total order: lower before upper, consistently.
  EXPECT_EQ(Cmp(kEnglishUs, 0, "a", "A"), -Cmp(kEnglishUs, 0, "A", "a"));
}

TEST(LocaleCollation, AccentsAreIgnoredAndFormsNormalized) {
  EXPECT_EQ(Cmp(kEnglishUs, 0, "résumé", "resume"), 0);
  EXPECT_EQ(Cmp(kEnglishUs, 0, "e\xCC\x81", "\xC3\xA9"), 0);  // e + combining acute = é
  EXPECT_LT(Cmp(kEnglishUs, 0, "résumé", "resumf"), 0);
}

TEST(LocaleCollation, SymbolsSortAsPunctuationNotIgnored) {
  // With symbols ignorable "co-op" would equal "coop"; here the hyphen counts.
  EXPECT_NE(Cmp(kEnglishUs, 0, "co-op", "coop"), 0);
  EXPECT_NE(Cmp(kEnglishUs, 0, "a b", "ab"), 0);
  // Punctuation and symbols come before digits, digits before letters.
  EXPECT_LT(Cmp(kEnglishUs, 0, "-", "0"), 0);
  EXPECT_LT(Cmp(kEnglishUs, 0, "$", "0"), 0);
  EXPECT_LT(Cmp(kEnglishUs, 0, "9", "a"), 0);
}

TEST(LocaleCollation, UnknownPairsAreNotInstalled) {
  EXPECT_FALSE(CompareLocaleText(0, 0, "a", "b", false).has_value());
  EXPECT_FALSE(CompareLocaleText(kEnglishUs, 1, "a", "b", false).has_value());
  EXPECT_FALSE(IsLocaleInstalled(0, 0));
  EXPECT_FALSE(IsLocaleInstalled(kEnglishUs, 1));
  EXPECT_FALSE(IsLocaleInstalled(0x0411, 0));
  for (const TLocaleMapEntry& entry : LocaleMapEntries()) {
    EXPECT_TRUE(IsLocaleInstalled(entry.LanguageId, entry.SortId)) << entry.IcuLocale;
  }
}

// Many threads make and use collators at once (each locale's first use races to create it).
TEST(LocaleCollation, ConcurrentUseGivesTheSameAnswers) {
  const std::vector<uint16_t> languages = {1031, 1034, 3082, 1033, 1036, 1049, 1053, 1055};
  std::vector<std::string> words = {"chico", "czar",  "Müller", "Mueller", "apple", "Äpfel",
                                    "zebra", "co-op", "coop",   "résumé",  "ABC",   "abd"};
  auto sorted = [&](uint16_t language) {
    std::vector<std::string> copy = words;
    std::sort(copy.begin(), copy.end(), [&](const std::string& a, const std::string& b) {
      return CompareLocaleText(language, 0, a, b, false).value_or(0) < 0;
    });
    return copy;
  };
  std::atomic<int> mismatches{0};
  std::vector<std::vector<std::vector<std::string>>> results(8);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        for (uint16_t language : languages) results[t].push_back(sorted(language));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 8; ++t) {
    for (size_t i = 0; i < results[t].size(); ++i) {
      if (results[t][i] != results[0][i % languages.size()]) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_NE(results[0][1], results[0][2]);  // traditional and modern Spanish differ
}

}  // namespace
}  // namespace platform
