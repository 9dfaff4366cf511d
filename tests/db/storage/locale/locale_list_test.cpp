// The list of known locales: its entries, identifiers, names and sort orders.
#include "db/storage/locale/locale_list.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/locale/locale_collation.h"

namespace {

TEST(LocaleList, HasNinetyNineEntriesWithTheirIdentifiers) {
  const TLocaleList& list = LocaleList();
  ASSERT_EQ(list.Count(), 99u);
  struct {
    size_t position;
    const char* name;
    uint16_t primary, sub, identifier;
  } const rows[] = {
      {0, "ANSI Standard", 0, 0, 0},
      {1, "Afrikaans", 54, 1, 1078},
      {3, "Arabic (Saudi Arabia)", 1, 1, 1025},
      {23, "Croatian", 26, 1, 1050},
      {28, "English (USA)", 9, 1, 1033},
      {48, "German (Standard)", 7, 1, 1031},
      {65, "Portuguese (Standard)", 22, 2, 2070},
      {66, "Portuguese (Brazilian)", 22, 1, 1046},
      {69, "Serbian (Latin)", 26, 2, 2074},
      {70, "Serbian (Cyrillic)", 26, 3, 3098},
      {73, "Spanish (Castilian)", 10, 1, 1034},
      {75, "Spanish (Modern)", 10, 3, 3082},
      {92, "Spanish (Puerto Rico)", 10, 20, 20490},
      {98, "Vietnamese", 42, 1, 1066},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(list[row.position].Name, row.name);
    EXPECT_EQ(list[row.position].Identifier, row.identifier) << row.name;
    EXPECT_EQ(MakeLanguageId(row.primary, row.sub), row.identifier);
    EXPECT_EQ(list.PositionOf(row.identifier), static_cast<int>(row.position));
  }
}

TEST(LocaleList, NamesAndIdentifiersAreUniqueAndEveryLocaleIsInstalled) {
  std::set<std::string> names;
  std::set<uint16_t> identifiers;
  for (const TLocaleListEntry& entry : LocaleList().Entries()) {
    names.insert(std::string(entry.Name));
    identifiers.insert(entry.Identifier);
    if (entry.Identifier != 0) {
      EXPECT_TRUE(platform::IsLocaleInstalled(entry.Identifier, kDefaultSortId)) << entry.Name;
    }
  }
  EXPECT_EQ(names.size(), 99u);
  EXPECT_EQ(identifiers.size(), 99u);
}

// Variants of one language take sublanguages 1, 2, 3, ... in list order.
TEST(LocaleList, VariantsNumberTheirSublanguagesInOrder) {
  for (std::string language : {"Arabic", "English", "French", "German", "Italian", "Dutch",
                               "Norwegian", "Swedish", "Spanish"}) {
    uint16_t expected = 1;
    for (const TLocaleListEntry& entry : LocaleList().Entries()) {
      if (entry.Name.substr(0, language.size() + 2) != language + " (") continue;
      EXPECT_EQ(entry.Identifier >> 10, expected) << entry.Name;
      ++expected;
    }
    EXPECT_GT(expected, 2) << language;
  }
}

TEST(LocaleList, NameLookupsIgnoreCase) {
  const TLocaleList& list = LocaleList();
  EXPECT_TRUE(list.IsKnown("english (usa)"));
  EXPECT_EQ(list.IdentifierOf("ENGLISH (USA)"), 1033);
  EXPECT_EQ(list.IdentifierOf("ansi standard"), 0);
  EXPECT_TRUE(list.IsKnown("ANSI STANDARD"));
  EXPECT_FALSE(list.IsKnown("English"));
  EXPECT_FALSE(list.IsKnown("English (USA) "));
  EXPECT_EQ(list.IdentifierOf("Klingon"), 0);
  EXPECT_EQ(list.PositionOf(0x0411), -1);
}

TEST(LocaleList, OnlyGermanLocalesOfferThePhoneBookOrder) {
  const TLocaleList& list = LocaleList();
  for (size_t i = 0; i < list.Count(); ++i) {
    const uint16_t id = list[i].Identifier;
    const bool german = i >= 48 && i <= 52;
    ASSERT_EQ(list.SortNames(id).size(), german ? 2u : 1u) << list[i].Name;
    EXPECT_EQ(list.SortNames(id)[0], "Default Order");
    EXPECT_TRUE(list.IsSortOffered("default order", id));
    EXPECT_EQ(list.IsSortOffered("German Phone Book Order", id), german) << list[i].Name;
    if (german) {
      // The phone-book sort id forms an installed locale with each German identifier.
      EXPECT_TRUE(platform::IsLocaleInstalled(id, list.SortIdOf(list.SortNames(id)[1])));
    }
  }
  EXPECT_TRUE(list.SortNames(0x0411).empty());
  EXPECT_FALSE(list.IsSortOffered("Default Order", 0x0411));
  EXPECT_EQ(list.SortIdOf("Default Order"), kDefaultSortId);
  EXPECT_EQ(list.SortIdOf("german phone book order"), kGermanPhoneBookSortId);
  EXPECT_EQ(list.SortIdOf("Dictionary Order"), 0);
}

}  // namespace
