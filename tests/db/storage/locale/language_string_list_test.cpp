// The locale-sorted string list of the full-text index: order, duplicates, prefix search
// and re-sorting.
#include "db/storage/locale/language_string_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Filled(TLanguageStringList& list, std::vector<std::string> words) {
  for (auto& word : words) list.Add(word);
  return list.Strings();
}

TEST(LanguageStringList, KeepsLocaleOrderWithoutRegardToCase) {
  TLanguageStringList list(1033, 0);
  EXPECT_EQ(Filled(list, {"pear", "Apple", "banana", "apple", "Äpfel", "BANANA", "cherry"}),
            (std::vector<std::string>{"Äpfel", "Apple", "banana", "cherry", "pear"}));
  size_t index;
  EXPECT_TRUE(list.Find("APPLE", index));
  EXPECT_EQ(index, 1u);
  EXPECT_TRUE(list.Find("apfel", index));  // accents ignored too
  EXPECT_EQ(index, 0u);
  EXPECT_FALSE(list.Find("blueberry", index));
  EXPECT_EQ(index, 3u);  // where it would go
  EXPECT_EQ(list.IndexOf("Cherry"), 3);
  EXPECT_EQ(list.IndexOf("kiwi"), -1);
}

TEST(LanguageStringList, ByteOrderListUpperCasesToCompare) {
  TLanguageStringList list(0, 0);
  EXPECT_EQ(Filled(list, {"b", "_x", "A", "a", "B"}),
            (std::vector<std::string>{"A", "b", "_x"}));  // 'A' < 'B' < '_' after upper-casing
}

TEST(LanguageStringList, AcceptedDuplicatesAreFoundFromTheFirst) {
  TLanguageStringList list(1033, 0, true);
  Filled(list, {"m", "M", "m", "a", "z", "M", "m"});
  ASSERT_EQ(list.Count(), 7u);
  size_t index;
  ASSERT_TRUE(list.Find("m", index));
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(list.Add("m"), 1u);  // an equal text goes before its equals
}

// A prefix search must report the first entry with the prefix, not whichever one the
// bisection meets first.
TEST(LanguageStringList, PrefixSearchReportsTheFirstMatch) {
  TLanguageStringList list(1033, 0);
  Filled(list, {"apple", "apricot", "apron", "apt", "banana", "aardvark", "ape", "bee"});
  size_t index;
  ASSERT_TRUE(list.FindPrefix("APX", 2, 0, index));
  EXPECT_EQ(list[index], "ape");
  ASSERT_TRUE(list.FindPrefix("apr", 3, 0, index));
  EXPECT_EQ(list[index], "apricot");
  ASSERT_TRUE(list.FindPrefix("apr", 3, 4, index));  // searching from position 4 only
  EXPECT_EQ(list[index], "apron");
  EXPECT_FALSE(list.FindPrefix("apr", 3, 5, index));
  EXPECT_EQ(index, 5u);
  EXPECT_FALSE(list.FindPrefix("c", 1, 0, index));
  EXPECT_EQ(index, list.Count());
}

TEST(LanguageStringList, ChangingTheLocaleResorts) {
  TLanguageStringList list(3082, 0);  // modern Spanish: ch is c + h
  Filled(list, {"cuna", "chico", "dedo"});
  EXPECT_EQ(list.Strings(), (std::vector<std::string>{"chico", "cuna", "dedo"}));
  list.SetLocale(1034, 0);  // traditional Spanish: ch after c
  EXPECT_EQ(list.Strings(), (std::vector<std::string>{"cuna", "chico", "dedo"}));
  size_t index;
  EXPECT_TRUE(list.Find("CHICO", index));
  EXPECT_EQ(index, 1u);
  list.Delete(0);
  EXPECT_EQ(list.Strings(), (std::vector<std::string>{"chico", "dedo"}));
}

}  // namespace
