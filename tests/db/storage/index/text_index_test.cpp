// The text index: words, parameters on their page chain, and key upkeep on insert, change and
// delete.
#include "db/storage/index/text_index.h"

#include <gtest/gtest.h>

#include "../engine_code.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/index_checker.h"
#include "index_test_util.h"

namespace {

TEST(TextIndex, WordsAreDistinctUpperCasedCutAndWithoutStopWords) {
  const TTextIndexParameters p = TTextIndexParameters::Defaults();
  const std::string longWord(70, 'x');
  const std::vector<std::string> words =
      TextIndexWords("The dog, the DOG; don't " + longWord + " a-b", p, 0, 0);
  EXPECT_EQ(words, (std::vector<std::string>{"B", "DOG", "DONT", std::string(61, 'X')}));
}

struct TTextTable {
  TTestIndexFile table{MakeFields({{kFieldString, 40}})};
  TIndexFile& file = table.file;
  TTextTable() {
    file.SetIndexDefinition(kTextSlot, MakeIndex("Sys Text", {1}, false, kCompressFull));
  }
  std::vector<std::string> Keys() {
    TBTree tree(file, kTextSlot);
    std::vector<std::string> keys;
    IndexKey key;
    int32_t record = 0;
    for (int64_t r = 0; tree.EntryAtRank(r, key, record); ++r) {
      keys.push_back(std::string(reinterpret_cast<const char*>(key.data() + 3)) + "/" +
                     std::to_string(DecodeRowIdKey(key.data() + 64)));
    }
    return keys;
  }
};

TEST(TextIndex, KeysFollowInsertChangeAndDelete) {
  TTextTable t;
  const TTextIndexParameters p = TTextIndexParameters::Defaults();
  AddTextKeys(t.file, p, 1, "red fox", 2, 1);
  AddTextKeys(t.file, p, 1, "the red hen", 1, 2);
  EXPECT_EQ(t.Keys(), (std::vector<std::string>{"FOX/2", "HEN/1", "RED/1", "RED/2"}));
  ChangeTextKeys(t.file, p, 1, "red fox", "blue fox", 2, 1);
  EXPECT_EQ(t.Keys(), (std::vector<std::string>{"BLUE/2", "FOX/2", "HEN/1", "RED/1"}));
  RemoveTextKeys(t.file, p, 1, "the red hen", 1);
  EXPECT_EQ(t.Keys(), (std::vector<std::string>{"BLUE/2", "FOX/2"}));
  for (int i = 0; i < 3000; ++i)
    AddTextKeys(t.file, p, 1, "w" + std::to_string(i) + " common", i + 10, i);
  CheckIndexFile(t.file, {.RequireAllPagesAccounted = true});
  EXPECT_EQ(EngineCodeOf([&] { AddTextKeys(t.file, p, 1, "common", 10, 0); }), VUZODE_KEYVIOL);
}

TEST(TextIndex, ParametersSpanPagesAndReadBack) {
  TTextTable t;
  EXPECT_EQ(ReadTextIndexParameters(t.file).StopWords, TTextIndexParameters::Defaults().StopWords);
  TTextIndexParameters p = TTextIndexParameters::Defaults();
  for (int i = 0; i < 100; ++i)
    p.StopWords.push_back(std::string(200, static_cast<char>('a' + i % 26)));
  p.IncludeCharacters['\''] = true;
  WriteTextIndexParameters(t.file, p);
  t.table.Reopen();
  const TTextIndexParameters back = ReadTextIndexParameters(t.file);
  EXPECT_EQ(back.StopWords, p.StopWords);
  EXPECT_EQ(back.SpaceCharacters, p.SpaceCharacters);
  EXPECT_EQ(back.IncludeCharacters, p.IncludeCharacters);
  EXPECT_GE(t.file.Header().NextPageNumber - 1, 5);
  CheckIndexFile(t.file, {.RequireAllPagesAccounted = true});
  // Rewriting a shorter set reuses the chain.
  const int32_t pages = t.file.Header().NextPageNumber;
  WriteTextIndexParameters(t.file, TTextIndexParameters::Defaults());
  EXPECT_EQ(t.file.Header().NextPageNumber, pages);
  EXPECT_EQ(ReadTextIndexParameters(t.file).StopWords.size(), 22u);
}

TEST(TextIndex, DamagedParametersAreIndexCorrupt) {
  for (int damage = 0; damage < 3; ++damage) {
    TTextTable t;
    WriteTextIndexParameters(t.file, TTextIndexParameters::Defaults());
    t.table.Reopen();
    const int32_t page = t.file.Descriptor(kTextSlot).ParameterPage;
    if (damage == 0) PatchFile(t.file, int64_t{page} * 4096 + 13, Le32(-1));      // count
    if (damage == 1) PatchFile(t.file, int64_t{page} * 4096 + 17, Le32(300));     // length
    if (damage == 2) PatchFile(t.file, int64_t{page} * 4096 + 13, Le32(100000));  // runs off
    t.file.DiscardPages();
    EXPECT_EQ(EngineCodeOf([&] { ReadTextIndexParameters(t.file); }), VUZODE_INDEXCORRUPT)
        << damage;
  }
}

}  // namespace
