// Case mapping with a locale: letters that keep their byte length change, others stay.
#include "platform/locale/case_mapping.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

constexpr uint16_t kEnglishUs = 1033;
constexpr uint16_t kTurkish = 1055;
constexpr uint16_t kGreek = 1032;

std::string Mapped(uint16_t language, std::string text, TCaseMapping mapping) {
  EXPECT_TRUE(MapLocaleCase(language, 0, text.data(), text.size(), mapping));
  return text;
}

std::string Upper(uint16_t language, std::string text) {
  return Mapped(language, std::move(text), TCaseMapping::Upper);
}
std::string Lower(uint16_t language, std::string text) {
  return Mapped(language, std::move(text), TCaseMapping::Lower);
}

TEST(CaseMapping, MapsAsciiAndSameLengthLetters) {
  EXPECT_EQ(Upper(kEnglishUs, "abc xyz 09_-"), "ABC XYZ 09_-");
  EXPECT_EQ(Lower(kEnglishUs, "ABC XYZ 09_-"), "abc xyz 09_-");
  EXPECT_EQ(Upper(kEnglishUs, "café déjà"), "CAFÉ DÉJÀ");
  EXPECT_EQ(Lower(kEnglishUs, "ÆØÅ ÐÞ"), "æøå ðþ");
  EXPECT_EQ(Upper(kGreek, "αβγ"), "ΑΒΓ");
  EXPECT_EQ(Upper(1049, "привет"), "ПРИВЕТ");
}

// Each of these would change the byte length, so the character stays as it is.
TEST(CaseMapping, LeavesCharactersWhoseMappingChangesLength) {
  EXPECT_EQ(Upper(kEnglishUs, "straße"), "STRAßE");              // ß -> SS: two characters
  EXPECT_EQ(Upper(kEnglishUs, "ﬁx"), "ﬁX");                      // ligature -> FI
  EXPECT_EQ(Upper(kEnglishUs, "\xC5\xBF"), "\xC5\xBF");          // long s (2 bytes) -> S (1)
  EXPECT_EQ(Lower(kEnglishUs, "\xE2\x84\xAA"), "\xE2\x84\xAA");  // Kelvin sign (3) -> k (1)
  EXPECT_EQ(Upper(kTurkish, "istanbul"), "iSTANBUL");            // i -> İ (2 bytes)
  EXPECT_EQ(Lower(kTurkish, "IŞIK"), "IşIk");                    // I -> ı (2 bytes)
  EXPECT_EQ(Upper(kEnglishUs, "ı"), "ı");                        // ı (2 bytes) -> I (1)
}

TEST(CaseMapping, LocaleRulesApplyWhereLengthAllows) {
  EXPECT_EQ(Upper(kTurkish, "ğüşöç"), "ĞÜŞÖÇ");
  EXPECT_EQ(Lower(kTurkish, "İ"), "İ");  // İ -> i would shrink (in Turkish); left as is
  EXPECT_EQ(Lower(kEnglishUs, "I"), "i");
}

TEST(CaseMapping, IllFormedBytesAreLeftAlone) {
  const std::string text =
      "a\xC3\xFF"
      "b\xE2\x82"
      "c\x80";  // bad continuation, cut sequence
  EXPECT_EQ(Upper(kEnglishUs, text),
            "A\xC3\xFF"
            "B\xE2\x82"
            "C\x80");
  std::string cut = "\xC3\xA9\xC3";  // é then the first byte of another é
  EXPECT_EQ(Upper(kEnglishUs, cut), "\xC3\x89\xC3");
}

TEST(CaseMapping, MapsOnlyTheGivenBytes) {
  std::string text = "abcdef";
  ASSERT_TRUE(MapLocaleCase(kEnglishUs, 0, text.data(), 3, TCaseMapping::Upper));
  EXPECT_EQ(text, "ABCdef");
}

TEST(CaseMapping, UnknownLocaleLeavesTextAndReportsFalse) {
  std::string text = "abc";
  EXPECT_FALSE(MapLocaleCase(0, 0, text.data(), text.size(), TCaseMapping::Upper));
  EXPECT_FALSE(MapLocaleCase(kEnglishUs, 1, text.data(), text.size(), TCaseMapping::Upper));
  EXPECT_EQ(text, "abc");
}

}  // namespace
}  // namespace platform
