// A first walk through a small table in key order, record order and by secondary index.
#include <gtest/gtest.h>

#include "tests/db/engine/locking/locking_test_util.h"

namespace engine_test {
namespace {

int64_t IdOf(const TDataCursor& c, const std::vector<uint8_t>& buffer) {
  int64_t id = 0;
  GetFieldInteger(TConstRecordImage(buffer.data(), buffer.size()), c.FieldDescriptors()[0], id);
  return id;
}

TEST(CursorSmoke, WalksEveryOrder) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn s(folder.Path(), "T");
  const int ids[] = {5, 3, 9, 1, 7};
  const char* names[] = {"e", "c", "a", "d", "b"};
  for (int i = 0; i < 5; ++i) AppendPerson(s.Table(), ids[i], names[i]);
  TDataCursor& c = *s.cursor;
  c.Refresh();
  std::vector<uint8_t> buffer(c.RecordSize());
  std::vector<int64_t> seen;
  c.SetToBegin();
  while (c.GetNextRecord(buffer.data()) == 0) seen.push_back(IdOf(c, buffer));
  EXPECT_EQ(seen, (std::vector<int64_t>{1, 3, 5, 7, 9}));
  seen.clear();
  while (c.GetPriorRecord(buffer.data()) == 0) seen.push_back(IdOf(c, buffer));
  EXPECT_EQ(seen, (std::vector<int64_t>{9, 7, 5, 3, 1}));
  c.SetIndexName("byname");
  seen.clear();
  c.SetToBegin();
  while (c.GetNextRecord(buffer.data()) == 0) seen.push_back(IdOf(c, buffer));
  EXPECT_EQ(seen, (std::vector<int64_t>{9, 7, 3, 1, 5}));
  c.SetIndexNumber(kRecordOrder);
  seen.clear();
  c.SetToBegin();
  while (c.GetNextRecord(buffer.data()) == 0) seen.push_back(IdOf(c, buffer));
  EXPECT_EQ(seen, (std::vector<int64_t>{5, 3, 9, 1, 7}));
  EXPECT_EQ(c.RecordCount(), 5u);
  EXPECT_TRUE(c.SetToRecNo(3));
  EXPECT_EQ(c.GetCurRecord(buffer.data()), 0);
  EXPECT_EQ(IdOf(c, buffer), 9);
  c.SetIndexNumber(0);
  EXPECT_EQ(c.GetCurRecord(buffer.data()), 0);
  EXPECT_EQ(IdOf(c, buffer), 9);
  EXPECT_EQ(c.RecordNumber(), 5u);
  EXPECT_TRUE(c.SetToRecNo(2));
  EXPECT_EQ(c.GetCurRecord(buffer.data()), 0);
  EXPECT_EQ(IdOf(c, buffer), 3);
  // FindKey by a record holding the id.
  std::vector<uint8_t> probe(c.RecordSize(), 0);
  SetFieldInteger(TRecordImage(probe.data(), probe.size()), c.FieldDescriptors()[0], 7);
  EXPECT_TRUE(c.FindKey(probe.data(), false, buffer.data(), 0, false, 0));
  EXPECT_EQ(IdOf(c, buffer), 7);
  SetFieldInteger(TRecordImage(probe.data(), probe.size()), c.FieldDescriptors()[0], 6);
  EXPECT_FALSE(c.FindKey(probe.data(), false, buffer.data(), 0, true, 0));
  EXPECT_EQ(IdOf(c, buffer), 7);
  SetFieldInteger(TRecordImage(probe.data(), probe.size()), c.FieldDescriptors()[0], 60);
  EXPECT_FALSE(c.FindKey(probe.data(), false, buffer.data(), 0, true, 0));
  EXPECT_EQ(IdOf(c, buffer), 9);
}

TEST(CursorSmoke, EmptyTable) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn s(folder.Path(), "T");
  std::vector<uint8_t> buffer(s.cursor->RecordSize());
  EXPECT_EQ(s.cursor->GetNextRecord(buffer.data()), VUZODE_EOF);
  EXPECT_EQ(s.cursor->GetCurRecord(buffer.data()), VUZODE_NOCURRREC);
  EXPECT_EQ(s.cursor->GetPriorRecord(buffer.data()), VUZODE_BOF);
}

}  // namespace
}  // namespace engine_test

namespace engine_test {
namespace {

std::vector<int64_t> WalkIds(TDataCursor& c) {
  std::vector<uint8_t> buffer(c.RecordSize());
  std::vector<int64_t> ids;
  c.SetToBegin();
  while (c.GetNextRecord(buffer.data()) == 0) ids.push_back(IdOf(c, buffer));
  return ids;
}

TEST(CursorRange, RangesBoundTheViewAndItsRecordNumbers) {
  TScratchFolder folder;
  CreateTable(folder.Path(), "T", PeopleDefinition());
  TSessionOn s(folder.Path(), "T");
  for (int id = 10; id >= 1; --id) AppendPerson(s.Table(), id, "n" + std::to_string(id % 3));
  TDataCursor& c = *s.cursor;
  c.Refresh();
  auto probe = [&](int64_t id) {
    std::vector<uint8_t> r(c.RecordSize(), 0);
    SetFieldInteger(TRecordImage(r.data(), r.size()), c.FieldDescriptors()[0], id);
    return r;
  };
  struct TCase {
    int64_t from, to;  // 0: not given
    std::vector<int64_t> ids;
  };
  const TCase cases[] = {
      {3, 7, {3, 4, 5, 6, 7}},
      {7, 3, {}},
      {4, 0, {4, 5, 6, 7, 8, 9, 10}},
      {0, 2, {1, 2}},
      {11, 20, {}},
      {5, 5, {5}},
      {0, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
  };
  std::vector<uint8_t> buffer(c.RecordSize());
  for (const TCase& t : cases) {
    SCOPED_TRACE(testing::Message() << t.from << ".." << t.to);
    const std::vector<uint8_t> a = probe(t.from), b = probe(t.to);
    c.SetRange(false, t.from ? a.data() : nullptr, 0, t.to ? b.data() : nullptr, 0);
    EXPECT_EQ(WalkIds(c), t.ids);
    EXPECT_EQ(c.RecordCount(), t.ids.size());
    // Record numbers count within the view.
    for (size_t n = 1; n <= t.ids.size(); ++n) {
      ASSERT_TRUE(c.SetToRecNo(static_cast<uint32_t>(n)));
      ASSERT_EQ(c.GetCurRecord(buffer.data()), 0);
      EXPECT_EQ(IdOf(c, buffer), t.ids[n - 1]);
      EXPECT_EQ(c.RecordNumber(), n);
    }
    EXPECT_FALSE(c.SetToRecNo(static_cast<uint32_t>(t.ids.size() + 1)));
    EXPECT_EQ(c.GetCurRecord(buffer.data()), t.ids.empty() ? VUZODE_NOCURRREC : VUZODE_EOF);
    if (t.ids.empty()) {
      EXPECT_EQ(c.GetNextRecord(buffer.data()), VUZODE_EOF);
    }
  }
  c.ResetRange();
  EXPECT_EQ(c.RecordCount(), 10u);
  const std::vector<uint8_t> a = probe(2), b = probe(4);
  c.SetRange(false, a.data(), 0, b.data(), 0);
  EXPECT_EQ(c.RecordCount(), 3u);
  // A change of index ends the range.
  c.SetIndexName("BYNAME");
  EXPECT_EQ(c.RecordCount(), 10u);
  EXPECT_FALSE(c.RangeActive());
}

}  // namespace
}  // namespace engine_test
