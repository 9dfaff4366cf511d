// The filter list of a cursor and its limits: 64 filters and the 65th refused, the messages
// of filters that cannot be made, unknown handles, constants written on the left, callback
// filters asked only about records that passed the others, the servability verdicts, ranges
// under filters (no end key, an empty range, a change of index), and the view rebuilt after
// another session's changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>

#include "db/sql/expressions/exp_token.h"
#include "db/sql/expressions/exp_token_stack.h"
#include "tests/db/engine/locking/locking_test_util.h"
#include "tests/db/engine/support/storage_changes.h"

namespace engine_test {
namespace {

class FilterListTest : public testing::Test {
 protected:
  void SetUp() override {
    CreateTable(folder_.Path(), "people", PeopleDefinition());
    on_ = std::make_unique<TSessionOn>(folder_.Path(), "people");
    // Ids 1..200; names cycle through five values, every seventh NULL.
    for (int id = 1; id <= 200; ++id) {
      Append(id, id % 7 == 0 ? std::nullopt : std::optional<std::string>(Names()[id % 5]));
    }
    Cursor().Refresh();
  }
  static const std::vector<std::string>& Names() {
    static const std::vector<std::string> names = {"", "anna", "bob", "carl", "dora"};
    return names;
  }
  void Append(int id, std::optional<std::string> name) {
    const std::vector<FieldDescriptor>& f = Cursor().FieldDescriptors();
    std::vector<uint8_t> bytes(Cursor().Table()->DataFile().RecordSize(), 0);
    TRecordImage image(bytes.data(), bytes.size());
    SetFieldInteger(image, f[0], id);
    if (name) SetFieldString(image, f[1], *name);
    AppendImage(on_->Table(), bytes);
  }
  TDataCursor& Cursor() { return *on_->cursor; }
  // The ids of the view in its order.
  std::vector<int64_t> Ids(TDataCursor& c) {
    std::vector<int64_t> ids;
    std::vector<uint8_t> buffer(c.RecordSize());
    c.SetToBegin();
    while (c.GetNextRecord(buffer.data()) == 0) {
      int64_t id = 0;
      GetFieldInteger(TConstRecordImage(buffer.data(), buffer.size()), c.FieldDescriptors()[0], id);
      ids.push_back(id);
    }
    return ids;
  }
  std::string Detail(const std::function<void()>& f) {
    try {
      f();
    } catch (const EVUZODEEngineError& e) {
      return std::to_string(e.EngineCode()) + " " + e.ContextDetail();
    }
    return "no error";
  }
  TFilter* Active(const std::string& text, TFilterOptions options = {}) {
    TFilter* filter = Cursor().AddFilter(text, options);
    Cursor().ActivateFilter(filter);
    return filter;
  }

  TScratchFolder folder_;
  std::unique_ptr<TSessionOn> on_;
};

TEST_F(FilterListTest, SixtyFourFiltersAndNoMore) {
  for (int i = 0; i < 64; ++i) Active("ID > " + std::to_string(i));
  EXPECT_EQ(Cursor().RecordCount(), 200u - 63u);
  EXPECT_EQ(CodeOf([&] { Cursor().AddFilter("ID > 0", {}); }), VUZODE_INTERNALLIMIT);
  EXPECT_EQ(Cursor().FilterCount(), 64u);
  Cursor().DropFilter(nullptr);
  EXPECT_EQ(Cursor().FilterCount(), 0u);
  EXPECT_EQ(Cursor().RecordCount(), 200u);
}

TEST_F(FilterListTest, FiltersThatCannotBeMadeSayWhyAndLeaveTheListAlone) {
  const std::string invalid = std::to_string(VUZODE_INVALIDFILTER) + " ";
  const struct {
    const char* text;
    std::string detail;
  } cases[] = {
      {"", invalid + "filter expression is empty"},
      {"   ", invalid + "filter expression is empty"},
      {"ID + 1", invalid + "filter expression must be a boolean expression"},
      {"NAME", invalid + "filter expression must be a boolean expression"},
      {"ID = 1 NAME = 'a'", invalid + "End of filter expression expected, instead found 'NAME' in "
                                      "filter expression"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Detail([&] { Cursor().AddFilter(c.text, {}); }), c.detail) << c.text;
  }
  EXPECT_EQ(CodeOf([&] { Cursor().AddFilter("NOSUCH = 1", {}); }), VUZODE_INVALIDFILTER);
  EXPECT_EQ(Detail([&] { Cursor().AddFilter(TFilterOptions{}); }),
            invalid + "filter expression is invalid");
  EXPECT_EQ(Cursor().FilterCount(), 0u);

  // Unknown handles: a dropped filter, and replacing an inactive one.
  TFilter* kept = Cursor().AddFilter("ID > 1", {});
  TFilter* dropped = Cursor().AddFilter("ID > 2", {});
  Cursor().DropFilter(dropped);
  for (auto op :
       {&TDataCursor::DropFilter, &TDataCursor::ActivateFilter, &TDataCursor::DeactivateFilter}) {
    EXPECT_EQ(CodeOf([&] { (Cursor().*op)(dropped); }), VUZODE_NOSUCHFILTER);
  }
  TExpToken* tree = GlobalExpTokenStack().Take();
  EXPECT_EQ(CodeOf([&] { Cursor().ReplaceFilterExpression(tree, kept); }), VUZODE_NOSUCHFILTER);
  GlobalExpTokenStack().Return(tree);
}

TEST_F(FilterListTest, AConstantOnTheLeftIsServedAsTheMirroredComparison) {
  for (const auto& [left, right] :
       std::vector<std::pair<std::string, std::string>>{{"150 < ID", "ID > 150"},
                                                        {"150 >= ID", "ID <= 150"},
                                                        {"'bob' = NAME", "NAME = 'bob'"},
                                                        {"'bob' > NAME", "NAME < 'bob'"}}) {
    TFilter* a = Active(left);
    EXPECT_EQ(a->Servability, 2) << left;
    EXPECT_EQ(a->Expression->Left->NodeClass, kNodeColumn) << left;
    const std::vector<int64_t> seen = Ids(Cursor());
    Cursor().DropFilter(a);
    Active(right);
    EXPECT_EQ(Ids(Cursor()), seen) << left;
    Cursor().DropFilter(nullptr);
  }
}

TEST_F(FilterListTest, NullNamesOrderAsEmptyWhetherServedOrEvaluated) {
  // NAME < 'b' holds for '', 'anna' and NULL: the index range takes the nulls in.
  TFilter* served = Active("NAME < 'b'");
  EXPECT_EQ(served->Servability, 2);
  const std::vector<int64_t> byIndex = Ids(Cursor());
  Cursor().DropFilter(nullptr);
  // The same comparison through a function is evaluated record by record.
  TFilter* evaluated = Active("TRIM(BOTH ' ' FROM NAME) < 'b'");
  EXPECT_EQ(evaluated->Servability, 0);
  EXPECT_EQ(Ids(Cursor()), byIndex);
  size_t nulls = 0;
  for (int64_t id : byIndex) nulls += id % 7 == 0;
  EXPECT_EQ(nulls, 200u / 7);
  EXPECT_EQ(byIndex.size(), 200u / 7 + 2 * (200u - 200u / 7) / 5 + 1);
}

TEST_F(FilterListTest, CallbackFiltersAreAskedOnlyAboutRecordsThatPassedTheOthers) {
  std::set<int64_t> asked;
  TFilterOptions callback;
  callback.AfterOthers = true;
  callback.Callback = [&](TDataCursor& c, const uint8_t* record, uint32_t) {
    int64_t id = 0;
    GetFieldInteger(TConstRecordImage(record, c.RecordSize()), c.FieldDescriptors()[0], id);
    asked.insert(id);
    return id % 2 == 0;
  };
  TFilter* odd = Cursor().AddFilter(callback);
  // Added first, still behind the expression filter added after it.
  TFilter* high = Cursor().AddFilter("ID > 180 AND NAME <> 'bob'", {});
  Cursor().ActivateFilter(nullptr);
  // A NULL name is not 'bob'.
  auto passes = [](int64_t id) { return id > 180 && (id % 5 != 2 || id % 7 == 0); };
  for (int64_t id : asked) EXPECT_TRUE(passes(id)) << id;
  std::vector<int64_t> want;
  for (int64_t id = 181; id <= 200; ++id) {
    if (id % 2 == 0 && passes(id)) want.push_back(id);
  }
  EXPECT_EQ(Ids(Cursor()), want);
  EXPECT_EQ(high->Servability, 2);
  EXPECT_EQ(odd->Servability, 0);
}

TEST_F(FilterListTest, ServabilityVerdictsAndEstimates) {
  // An equality on the indexed NAME with a comparison of ID through a function: partly
  // servable, the served side moved first.
  TFilter* partly = Cursor().AddFilter("ABS(ID) > 3 AND NAME = 'bob'", {});
  EXPECT_EQ(partly->Servability, 1);
  EXPECT_EQ(partly->Expression->Left->OpCode, kOpEqual);
  EXPECT_EQ(partly->Expression->Left->Servability, 2);
  EXPECT_EQ(partly->Expression->Left->Estimate, 200 / 5 - 6);  // the bobs, less the NULLs
  EXPECT_EQ(Cursor().AddFilter("ABS(ID) > 3 OR NAME = 'bob'", {})->Servability, 0);
  EXPECT_EQ(Cursor().AddFilter("ID > 3 OR NAME = 'bob'", {})->Servability, 2);
  // BETWEEN: the smaller of its two sides' counts.
  EXPECT_EQ(Cursor().AddFilter("ID BETWEEN 10 AND 19", {})->Expression->Estimate, 19);
  EXPECT_EQ(Cursor().AddFilter("ID BETWEEN 190 AND 300", {})->Expression->Estimate, 11);
  EXPECT_EQ(Cursor().AddFilter("ID IN (3, 4, 500)", {})->Expression->Estimate, 0);

  // The threshold applies to live results: a range of nearly every record is read instead,
  // unless the other side of an AND is served.
  TDataCursor live(*on_->directory);
  live.SetTableName("people");
  live.SetLiveResult(true);
  live.OpenCursor();
  TFilter* wide = live.AddFilter("ID > 5", {});
  EXPECT_EQ(wide->Servability, 0);
  EXPECT_EQ(wide->Expression->HeldBack, 1);
  EXPECT_EQ(live.AddFilter("ID > 5 AND NAME = 'bob'", {})->Servability, 2);
  EXPECT_EQ(live.AddFilter("ID > 5 OR ABS(ID) = 1", {})->Servability, 0);
  live.ActivateFilter(wide);
  EXPECT_EQ(live.RecordCount(), 195u);
}

TEST_F(FilterListTest, RangesUnderFilters) {
  TDataCursor& c = Cursor();
  Active("ID <> 150");
  // No end key: to the end of the index.
  std::vector<uint8_t> start(c.RecordSize(), 0);
  TRecordImage image(start.data(), start.size());
  SetFieldInteger(image, c.FieldDescriptors()[0], 147);
  c.SetRange(false, start.data(), 0, nullptr, 0);
  std::vector<int64_t> want;
  for (int64_t id = 147; id <= 200; ++id) {
    if (id != 150) want.push_back(id);
  }
  EXPECT_EQ(Ids(c), want);
  EXPECT_EQ(c.RecordCount(), want.size());
  EXPECT_TRUE(c.SetToRecNo(4));
  EXPECT_EQ(c.RecordNumber(), 4u);
  // The start above the end: nothing.
  std::vector<uint8_t> end(start);
  SetFieldInteger(TRecordImage(end.data(), end.size()), c.FieldDescriptors()[0], 100);
  c.SetRange(false, start.data(), 0, end.data(), 0);
  std::vector<uint8_t> buffer(c.RecordSize());
  c.SetToBegin();
  EXPECT_EQ(c.GetNextRecord(buffer.data()), VUZODE_EOF);
  EXPECT_EQ(c.RecordCount(), 0u);
  // A change of index ends the range; the filter stays.
  c.SetIndexName("BYNAME");
  EXPECT_FALSE(c.RangeActive());
  EXPECT_EQ(c.RecordCount(), 199u);
}

TEST_F(FilterListTest, AnotherSessionsChangesRebuildTheView) {
  on_->session.SetStrictChangeDetection(true);
  Active("NAME = 'carl' OR ID > 195");
  auto carl = [](int64_t id) { return id > 200 || (id % 5 == 3 && id % 7 != 0); };
  std::vector<int64_t> want;
  for (int64_t id = 1; id <= 200; ++id) {
    if (carl(id) || id > 195) want.push_back(id);
  }
  EXPECT_EQ(Ids(Cursor()), want);
  TSessionOn other(folder_.Path(), "people");
  for (int id = 201; id <= 240; ++id) AppendPerson(other.Table(), id, "carl");
  DeleteRecordAt(other.Table(), 200);
  DeleteRecordAt(other.Table(), 198);
  std::erase(want, 200);
  std::erase(want, 198);
  for (int64_t id = 201; id <= 240; ++id) want.push_back(id);
  EXPECT_EQ(Cursor().RecordCount(), want.size());
  EXPECT_EQ(Ids(Cursor()), want);
}

TEST_F(FilterListTest, ChangesThroughTheCursorKeepTheViewForTheOneRecord) {
  for (int order : {0, kRecordOrder}) {
    SCOPED_TRACE(order);
    TDataCursor& c = Cursor();
    c.SetIndexNumber(order);
    TFilter* filter = Active("NAME = 'carl'");
    const uint32_t carls = c.RecordCount();
    std::vector<uint8_t> record(c.RecordSize(), 0);
    TRecordImage image(record.data(), record.size());
    auto put = [&](int id, const char* name) {
      std::fill(record.begin(), record.end(), 0);
      SetFieldInteger(image, c.FieldDescriptors()[0], id);
      SetFieldString(image, c.FieldDescriptors()[1], name);
    };
    // A record the filter refuses: not counted, not reachable.
    put(1000 + order, "zed");
    c.AppendRecord(record.data());
    EXPECT_EQ(c.RecordCount(), carls);
    std::vector<int64_t> ids = Ids(c);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 1000 + order), 0);
    // One it takes, then changed so that it no longer passes, then back, then deleted.
    put(2000 + order, "carl");
    c.AppendRecord(record.data());
    EXPECT_EQ(c.RecordCount(), carls + 1);
    ids = Ids(c);
    ASSERT_EQ(std::count(ids.begin(), ids.end(), 2000 + order), 1);
    std::vector<uint8_t> read(c.RecordSize());
    c.SetToEnd();
    if (order == 0) {
      ASSERT_EQ(c.GetPriorRecord(read.data()), 0);
      put(2000 + order, "carla");
      c.ModifyRecord(record.data());
      EXPECT_EQ(c.RecordCount(), carls);
      put(3000 + order, "anna");
      c.AppendRecord(record.data());
      EXPECT_EQ(c.RecordCount(), carls);
    }
    c.DropFilter(filter);
  }
}

}  // namespace
}  // namespace engine_test
