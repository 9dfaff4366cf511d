// PrepareFilter: the prepared tree of a filter (compact text form) for folding, string-match
// rewrites and exact constant bounds; and, for the bounds, that prepared and unprepared trees
// select the same values over a sweep of column values.
#include "db/sql/expressions/prepare_filter.h"

#include <gtest/gtest.h>

#include "db/sql/expressions/exp_tree_text.h"
#include "expression_test_util.h"

namespace {

std::string Prepared(std::string_view text, TFilterPrepareOptions options = {}) {
  exptest::TRow row;
  TExpToken* tree = exptest::ParseChecked(text, row);
  TExpToken* prepared = PrepareFilter(*tree, options);
  std::string result = ExpTreeText(prepared);
  if (prepared->Right && prepared->Right->NodeClass == kNodeConstant &&
      prepared->NodeClass == kNodeBinary)
    result += " [" + exptest::ValueString(*prepared->Right) + "]";
  if (prepared->NodeClass == kNodeStringMatch)
    result += " partial " + std::to_string(prepared->PartialLength) + " nocase " +
              std::to_string(prepared->NoCase);
  ReleaseExpTree(GlobalExpTokenStack(), prepared);
  ReleaseExpTree(GlobalExpTokenStack(), tree);
  return result;
}

TEST(PrepareFilter, ConstantsFoldAndConvertOnlyWithoutLoss) {
  const struct {
    const char* Text;
    const char* Expected;
  } kScripts[] = {
      {"i = 1 + 2", "(= i 3)"},
      {"i = 1.0", "(= i 1)"},
      {"i = 1.5", "FALSE"},  // never holds: not intcol = 1
      {"i <> 1.5", "TRUE"},
      {"i < 1.5", "(<= i 1)"},
      {"i > 1.5", "(>= i 2)"},
      {"i >= -1.5", "(>= i -1)"},
      {"i <= -1.5", "(<= i -2)"},
      {"sm = 70000", "FALSE"},  // not smallcol = 4464
      {"sm < 70000", "(<= sm type5:2) [32767]"},
      {"sm > 70000", "(> sm type5:2) [32767]"},
      {"sm >= -70000", "(>= sm type5:2) [-32768]"},
      {"w > -1", "(>= w type12:2) [0]"},
      {"i BETWEEN 0.5 AND 2.5", "(BETWEEN i 1 2)"},
      {"sm BETWEEN 40000 AND 50000", "FALSE"},
      {"sm NOT BETWEEN 40000 AND 50000", "TRUE"},
  };
  for (const auto& script : kScripts) {
    const std::string text = Prepared(script.Text);
    EXPECT_NE(text.find(script.Expected), std::string::npos) << script.Text << " -> " << text;
  }
}

TEST(PrepareFilter, PreparedBoundsSelectWhatEvaluationSelects) {
  const char* kFilters[] = {"sm < 70000",    "sm > -70000",  "sm = 70000",
                            "sm <> 70000",   "i < 1.5",      "i <= 1.5",
                            "i > -1.5",      "i >= 2.5",     "i = 2.0",
                            "w < -3",        "w >= 70000.5", "i BETWEEN -1.5 AND 2.5",
                            "sm IN (1.5, 2)"};
  for (const char* filter : kFilters) {
    exptest::TRow row;
    TExpToken* tree = exptest::ParseChecked(filter, row);
    TExpToken* prepared = PrepareFilter(*tree, {});
    for (int64_t value : {-32768, -3, -2, -1, 0, 1, 2, 3, 32767}) {
      row.Set("sm", std::to_string(value));
      row.Set("i", std::to_string(value));
      row.Set("w", std::to_string(value < 0 ? -value : value));
      TExpEvaluator evaluator(&row);
      EXPECT_EQ(evaluator.Holds(*tree, nullptr), evaluator.Holds(*prepared, nullptr))
          << filter << " at " << value;
    }
    row.Set("sm", "NULL");
    TExpEvaluator evaluator(&row);
    EXPECT_EQ(evaluator.Holds(*tree, nullptr), evaluator.Holds(*prepared, nullptr)) << filter;
    ReleaseExpTree(GlobalExpTokenStack(), prepared);
    ReleaseExpTree(GlobalExpTokenStack(), tree);
  }
}

TEST(PrepareFilter, StringMatches) {
  EXPECT_EQ(Prepared("s LIKE 'abc%'"), "(= s 'abc') partial 3 nocase 0");
  EXPECT_EQ(Prepared("s NOT LIKE 'abc%'"), "(<> s 'abc') partial 3 nocase 0");
  EXPECT_EQ(Prepared("s = 'abc*'"), "(= s 'abc') partial 3 nocase 0");
  EXPECT_EQ(Prepared("s = 'a**'"), "(= s 'a**') ['a**']");
  EXPECT_EQ(Prepared("s = '*'"), "(= s '*') ['*']");
  EXPECT_EQ(Prepared("s LIKE 'a_c%'"), "(LIKE s 'a_c%')");
  EXPECT_EQ(Prepared("s LIKE '%'"), "(LIKE s '%')");
  TFilterPrepareOptions noCase;
  noCase.CaseInsensitive = true;
  EXPECT_EQ(Prepared("s = 'abc'", noCase), "(= s 'abc') partial 0 nocase 1");
  TFilterPrepareOptions whole;
  whole.NoPartialCompare = true;
  EXPECT_EQ(Prepared("s = 'abc*'", whole), "(= s 'abc*') partial 0 nocase 0");
  EXPECT_NE(Prepared("UPPER(s) = UPPER(u)").find("(= (UPPER s) (UPPER u))"), std::string::npos);
}

TEST(PrepareFilter, StringMatchEvaluatesAsPrefix) {
  exptest::TRow row;
  row.Set("s", "'abcdef'");
  TExpToken* tree = exptest::ParseChecked("s LIKE 'abc%' AND s = 'abcd*'", row);
  TExpToken* prepared = PrepareFilter(*tree, {});
  TExpEvaluator evaluator(&row);
  EXPECT_TRUE(evaluator.Holds(*prepared, nullptr));
  row.Set("s", "'abx'");
  EXPECT_FALSE(evaluator.Holds(*prepared, nullptr));
  ReleaseExpTree(GlobalExpTokenStack(), prepared);
  ReleaseExpTree(GlobalExpTokenStack(), tree);
}

}  // namespace
