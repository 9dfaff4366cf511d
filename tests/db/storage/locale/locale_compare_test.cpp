// String comparison and case mapping with a table's locale, in byte order and by collation.
#include "db/storage/locale/locale_compare.h"

#include <gtest/gtest.h>

#include <string>

#include "db/storage/locale/locale_case.h"
#include "db/storage/locale/locale_check.h"
#include "tests/db/storage/engine_code.h"

namespace {

constexpr uint16_t kEnglishUs = 1033;
constexpr uint16_t kGerman = 1031;

TEST(LocaleCompare, ByteOrderComparesUnsignedBytesAndUpperCasesWhenCaseInsensitive) {
  EXPECT_EQ(LocaleCompare(0, 0, "abc", "ABD", false), 1);  // 0x61 above 0x41
  EXPECT_EQ(LocaleCompare(0, 0, "abc", "ABD", true), -1);
  EXPECT_EQ(LocaleCompare(0, 0, "abc", "ABC", true), 0);
  EXPECT_EQ(LocaleCompare(0, 0, "\xC3\xA9", "z", false), 1);        // é's bytes are above ASCII
  EXPECT_EQ(LocaleCompare(0, 0, "\xC3\xA9", "\xC3\x89", true), 0);  // é = É without case
  EXPECT_EQ(LocaleCompare(0, 0, "ab", "abc", false), -1);
  EXPECT_EQ(LocaleCompare(0, 0, "abc", "ab", false), 1);
  EXPECT_EQ(LocaleCompare(0, 0, "", "", false), 0);
  // The string forms agree with the zero-terminated ones.
  EXPECT_EQ(LocaleCompare(0, 0, std::string_view("abc"), std::string_view("ABD"), false), 1);
  EXPECT_EQ(LocaleCompare(0, 0, std::string_view("abc"), std::string_view("ABD"), true), -1);
  EXPECT_EQ(LocaleCompare(0, 0, std::string_view("ab"), std::string_view("abc"), true), -1);
}

TEST(LocaleCompare, ByteOrderWithLengthComparesExactlyThatManyBytes) {
  const char a[6] = {'k', 'e', 'y', 0, 0, 1};
  const char b[6] = {'k', 'e', 'y', 0, 0, 2};
  EXPECT_EQ(LocaleCompare(0, 0, a, b, false, 5), 0);
  EXPECT_EQ(LocaleCompare(0, 0, a, b, false, 6), -1);
  EXPECT_EQ(LocaleCompare(0, 0, a, b, true, 6), -1);
  EXPECT_EQ(LocaleCompare(0, 0, "abcX", "abcY", false, 3), 0);
  EXPECT_EQ(LocaleCompare(0, 0, "abcX", "ABCY", true, 3), 0);
  EXPECT_EQ(LocaleCompare(0, 0, "\xFF", "\x01", false, 1), 1);  // unsigned
}

TEST(LocaleCompare, LocaleComparisonUsesTheCollation) {
  EXPECT_EQ(LocaleCompare(kEnglishUs, 0, "abc", "ABD", false), -1);
  EXPECT_EQ(LocaleCompare(kEnglishUs, 0, "abc", "ABD", true), -1);
  EXPECT_EQ(LocaleCompare(kEnglishUs, 0, "abc", "ABC", true), 0);
  EXPECT_NE(LocaleCompare(kEnglishUs, 0, "abc", "ABC", false), 0);
  EXPECT_EQ(LocaleCompare(1034, 0, "chico", "czar", false), 1);
  EXPECT_EQ(
      LocaleCompare(kGerman, 1, std::string_view("Mueller"), std::string_view("Müller"), true), 0);
}

// Orderings that only the right language gets right, one row a rule.
TEST(LocaleCompare, OrdersTextAsEachLanguageDoes) {
  struct Case {
    uint16_t language;
    uint16_t sort;
    const char* a;
    const char* b;
    bool ignoreCase;
    int expected;
  };
  constexpr uint16_t kCzech = 1029, kTurkish = 1055, kSpanishTraditional = 1034;
  const Case cases[] = {
      {kCzech, 0, "chata", "hrad", true, 1},    // ch is a letter of its own, after h
      {kCzech, 0, "chata", "ihned", true, -1},  // ... and before i
      {kEnglishUs, 0, "chata", "hrad", true, -1},
      {kCzech, 0, "čaj", "cukr", true, 1},      // č follows c
      {kTurkish, 0, "ılık", "ilik", true, -1},  // dotless ı is a letter before i
      {kTurkish, 0, "İstanbul", "istanbul", true, 0},
      {kTurkish, 0, "Istanbul", "ıstanbul", true, 0},
      {kTurkish, 0, "Istanbul", "istanbul", true, -1},
      {kEnglishUs, 0, "Istanbul", "istanbul", true, 0},
      {kSpanishTraditional, 0, "llama", "luz", true, 1},
      {kGerman, 0, "Äpfel", "Apfel", true, 0},       // accents do not count
      {kGerman, 1, "Äpfel", "Aepfel", true, 0},      // phone-book order: Ä as Ae
      {kEnglishUs, 0, "あいう", "アイウ", true, 0},  // kana of either script are equal
      {kEnglishUs, 0, "あ", "い", true, -1},
      {kEnglishUs, 0, "ペブリオ", "ぺぶりお", true, 0},
      {kEnglishUs, 0, "zebra", "あ", true, -1},  // Latin before kana
      {kEnglishUs, 0, "9", "a", true, -1},
      {kEnglishUs, 0, "a", "B", false, -1},
      {0, 0, "a", "B", false, 1},  // byte order: 0x61 after 0x42
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LocaleCompare(c.language, c.sort, c.a, c.b, c.ignoreCase), c.expected)
        << c.language << ": " << c.a << " vs " << c.b;
    EXPECT_EQ(LocaleCompare(c.language, c.sort, c.b, c.a, c.ignoreCase), -c.expected)
        << c.language << ": " << c.b << " vs " << c.a;
  }
}

TEST(LocaleCompare, LocaleComparisonWithLengthStopsAtLengthAndAtZeroPadding) {
  // Key slots: zero-terminated text, zero padding, then whatever the buffer held.
  const char a[8] = {'a', 'b', 0, 0, 'x', 'x', 'x', 'x'};
  const char b[8] = {'A', 'B', 0, 0, 'y', 'y', 'y', 'y'};
  EXPECT_EQ(LocaleCompare(kEnglishUs, 0, a, b, true, 8), 0);
  EXPECT_EQ(LocaleCompare(kEnglishUs, 0, "abcX", "ABCY", true, 3), 0);
  EXPECT_EQ(LocaleCompare(kEnglishUs, 0, "abcX", "ABCY", true, 4), -1);
}

TEST(LocaleCompare, CompareCharOrdersSingleBytes) {
  EXPECT_EQ(LocaleCompareChar(0, 0, 'a', 'B'), 1);
  EXPECT_EQ(LocaleCompareChar(0, 0, '\x80', '\x7F'), 1);
  EXPECT_EQ(LocaleCompareChar(kEnglishUs, 0, 'a', 'B'), -1);
  EXPECT_EQ(LocaleCompareChar(kEnglishUs, 0, 'b', 'b'), 0);
  EXPECT_NE(LocaleCompareChar(kEnglishUs, 0, 'a', 'A'), 0);  // case-sensitive
}

TEST(LocaleCompare, UnknownLocaleRaisesInsteadOfMisordering) {
  EXPECT_EQ(EngineCodeOf([] { LocaleCompare(kEnglishUs, 7, "a", "b", false); }),
            VUZODE_CANNOTLOADLDDRV);
  EXPECT_EQ(EngineCodeOf([] { LocaleCompareChar(0x0411, 0, 'a', 'b'); }), VUZODE_CANNOTLOADLDDRV);
  std::string text = "abc";
  EXPECT_EQ(EngineCodeOf([&] { LocaleUpperCase(0x0411, 0, text); }), VUZODE_CANNOTLOADLDDRV);
  EXPECT_EQ(text, "abc");
}

TEST(LocaleCase, ByteOrderUsesUsEnglishRulesAndKeepsLength) {
  std::string text = "straße é i";
  LocaleUpperCase(0, 0, text);
  EXPECT_EQ(text, "STRAßE É I");
  LocaleLowerCase(0, 5, text);  // the sort id of a byte-order table does not matter
  EXPECT_EQ(text, "straße é i");
  char slot[6] = {'a', 'b', 0, 'c', 'd', 'e'};
  LocaleUpperCase(0, 0, slot, 4);
  EXPECT_EQ(std::string(slot, 6), std::string("AB\0Cde", 6));
}

TEST(LocaleCase, UsesTheTableLocale) {
  std::string text = "istanbul";
  LocaleUpperCase(1055, 0, text);  // Turkish: i -> İ does not fit, so i stays
  EXPECT_EQ(text, "iSTANBUL");
  LocaleUpperCase(kEnglishUs, 0, text);
  EXPECT_EQ(text, "ISTANBUL");
}

TEST(LocaleCheck, TableLocalesMustBeInstalled) {
  EXPECT_TRUE(IsLocaleInstalled(kEnglishUs, 0));
  EXPECT_TRUE(IsLocaleInstalled(kGerman, 1));
  EXPECT_FALSE(IsLocaleInstalled(kEnglishUs, 1));
  EXPECT_FALSE(IsLocaleInstalled(0, 0));
  EXPECT_EQ(EngineCodeOf([] { CheckTableLocale(0, 0, "data", "kazu"); }), 0);
  EXPECT_EQ(EngineCodeOf([] { CheckTableLocale(0, 9, "data", "kazu"); }), 0);
  EXPECT_EQ(EngineCodeOf([] { CheckTableLocale(kGerman, 1, "data", "kazu"); }), 0);
  try {
    CheckTableLocale(kEnglishUs, 1, "data", "kazu");
    FAIL() << "no error raised";
  } catch (const EVUZODEEngineError& error) {
    EXPECT_EQ(error.EngineCode(), VUZODE_CANNOTLOADLDDRV);
    EXPECT_EQ(error.ContextTable(), "kazu");
    EXPECT_EQ(error.ContextDatabase(), "data");
  }
}

}  // namespace
