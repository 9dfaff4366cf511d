// TExpTokenizer: token kinds and boundaries, the text of quoted tokens, ConsumedText, and
// keywords that ignore ASCII case only.
#include "db/sql/expressions/exp_tokenizer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "kind:text" of every token of text, separated by blanks.
std::string Tokens(std::string_view text) {
  TExpTokenizer tokenizer;
  tokenizer.SetText(text);
  std::string out;
  while (tokenizer.NextToken() != kTokenEnd) {
    if (!out.empty()) out += ' ';
    out += std::to_string(tokenizer.TokenKind()) + ":" + tokenizer.TokenText();
  }
  return out;
}

TEST(ExpTokenizer, KindsAndBoundaries) {
  struct {
    const char* Text;
    const char* Tokens;
  } cases[] = {
      {"abc_1 _x", "1:abc_1 1:_x"},
      {"a!b$c@d", "1:a!b$c@d"},
      {"<>=", "60:< 62:> 61:="},
      {"12 1.5 .5 1e-3 1-3 1e+", "6:12 7:1.5 7:.5 7:1e-3 6:1 45:- 6:3 7:1e+"},
      {"1.2.3e4", "7:1.2.3e4"},
      {"#65#", "5:#65 5:#"},
      {"'a''b' \"c\"\"d\" [e''f]", "3:a'b 4:c\"d 2:e'f"},
      {"'x\"\"y'", "3:x\"\"y"},
      {"[a]]", "2:a 93:]"},
      {"\x01\t\r\n a\x1F", "1:a"},
      {"\xFF", "255:\xFF"},
      {"a/*x*//*y*/b", "1:a 1:b"},
      {"/ *", "47:/ 42:*"},
  };
  for (const auto& test : cases) EXPECT_EQ(Tokens(test.Text), test.Tokens) << test.Text;
}

TEST(ExpTokenizer, KeywordsIgnoreAsciiCaseOnly) {
  TExpTokenizer tokenizer;
  tokenizer.SetText("sElEcT 'SELECT' \xC4\xB1n");
  tokenizer.NextToken();
  EXPECT_TRUE(tokenizer.IsKeyword("SELECT"));
  EXPECT_FALSE(tokenizer.IsKeyword("SELEC"));
  tokenizer.NextToken();
  EXPECT_FALSE(tokenizer.IsKeyword("SELECT")) << "a string is no keyword";
  tokenizer.NextToken();
  EXPECT_FALSE(tokenizer.IsKeyword("IN")) << "a dotless i does not spell IN";
}

TEST(ExpTokenizer, ConsumedTextDropsLineBreaksAndTrailingBlanks) {
  TExpTokenizer tokenizer;
  tokenizer.SetText("SELECT a +\r\n b  FROM t");
  tokenizer.NextToken();
  tokenizer.NextToken();
  tokenizer.MarkStart();
  while (!tokenizer.IsKeyword("FROM")) tokenizer.NextToken();
  EXPECT_EQ(tokenizer.ConsumedText(), "a + b");
}

TEST(ExpTokenizer, EndOfTextIsStableAndHasEmptyText) {
  TExpTokenizer tokenizer;
  tokenizer.SetText("a");
  EXPECT_EQ(tokenizer.NextToken(), kTokenSymbol);
  EXPECT_EQ(tokenizer.NextToken(), kTokenEnd);
  EXPECT_EQ(tokenizer.NextToken(), kTokenEnd);
  EXPECT_EQ(tokenizer.TokenText(), "");
}

}  // namespace
