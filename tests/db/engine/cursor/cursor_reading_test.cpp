// Reading through a cursor at its edges: record numbers counted within the view, bookmarks of
// deleted records, partial searches on a leading BCD key field, the record-changed check of a
// buffer holding an open BLOB value, the neighbours of a record another session deleted,
// empty tables in every order, index names in another letter case, bookmark sizes, and
// computed fields recomputed on every read.
#include <gtest/gtest.h>
#include <strings.h>

#include <cstring>

#include "db/sql/expressions/bcd_value.h"
#include "db/sql/expressions/expression_parser.h"
#include "db/sql/expressions/type_check.h"
#include "tests/db/engine/locking/locking_test_util.h"
#include "tests/db/engine/support/storage_changes.h"

namespace engine_test {
namespace {

int64_t IdOf(TDataCursor& c, const std::vector<uint8_t>& buffer) {
  int64_t id = 0;
  GetFieldInteger(TConstRecordImage(buffer.data(), buffer.size()), c.FieldDescriptors()[0], id);
  return id;
}

// The id of the cursor's current record, or minus the code.
int64_t Current(TDataCursor& c) {
  std::vector<uint8_t> buffer(c.RecordSize());
  const uint16_t code = c.GetCurRecord(buffer.data());
  return code != 0 ? -code : IdOf(c, buffer);
}

// A people table whose reader detects changes strictly and whose writer is another session.
class CursorReadingTest : public testing::Test {
 protected:
  void SetUp() override { Open(PeopleDefinition(), "T"); }
  void Open(const TTableDefinition& definition, const std::string& table) {
    CreateTable(folder_.Path(), table, definition);
    reader_ = std::make_unique<TSessionOn>(folder_.Path(), table);
    reader_->session.SetStrictChangeDetection(true);
    writer_ = std::make_unique<TSessionOn>(folder_.Path(), table);
  }
  // Appends a person through the other session (reusing a freed slot); the record number.
  uint32_t Append(int64_t id, const std::string& name) {
    TDataFile& data = writer_->Table().DataFile();
    std::vector<uint8_t> image(data.RecordSize(), 0);
    SetFieldInteger(TRecordImage(image.data(), image.size()), data.Descriptor(1), id);
    SetFieldString(TRecordImage(image.data(), image.size()), data.Descriptor(2), name);
    return AppendImage(writer_->Table(), image).first;
  }
  // People 1..n named by letters from the end of the alphabet, so names run against ids.
  void Fill(int n) {
    for (int id = 1; id <= n; ++id) Append(id, std::string(1, static_cast<char>('a' + n - id)));
  }
  TDataCursor& C() { return *reader_->cursor; }
  void TearDown() override {
    reader_.reset();
    writer_.reset();
  }
  TScratchFolder folder_;
  std::unique_ptr<TSessionOn> reader_;
  std::unique_ptr<TSessionOn> writer_;
};

TEST_F(CursorReadingTest, RecordNumbersCountWithinTheView) {
  Fill(8);  // names by id: h g f e d c b a
  DeleteRecordAt(writer_->Table(), 2);
  DeleteRecordAt(writer_->Table(), 5);
  TDataCursor& c = C();
  // A range of three names, b to e, in the middle of the index (a b c e f h).
  c.SetIndexName("byname");
  std::vector<uint8_t> low(c.RecordSize()), high(c.RecordSize());
  SetFieldString(TRecordImage(low.data(), low.size()), c.FieldDescriptors()[1], "b");
  SetFieldString(TRecordImage(high.data(), high.size()), c.FieldDescriptors()[1], "e");
  c.SetRange(false, low.data(), 1, high.data(), 1);
  EXPECT_EQ(c.RecordCount(), 3u);
  EXPECT_TRUE(c.SetToRecNo(1));
  EXPECT_EQ(Current(c), 7);
  EXPECT_TRUE(c.SetToRecNo(3));
  EXPECT_EQ(Current(c), 4);
  EXPECT_EQ(c.RecordNumber(), 3u);
  EXPECT_FALSE(c.SetToRecNo(4));
  EXPECT_EQ(Current(c), -VUZODE_EOF);
  EXPECT_FALSE(c.SetToRecNo(0));
  EXPECT_EQ(Current(c), -VUZODE_BOF);
  EXPECT_TRUE(c.SetToRecNo(3));
  std::vector<uint8_t> buffer(c.RecordSize());
  EXPECT_EQ(c.GetNextRecord(buffer.data()), VUZODE_EOF);
  EXPECT_EQ(c.GetPriorRecord(buffer.data()), 0);
  EXPECT_EQ(c.RecordNumber(), 3u);
}

TEST_F(CursorReadingTest, ABookmarkOfADeletedRecordIsNotFound) {
  Fill(5);
  TDataCursor& c = C();
  for (int index : {0, 1, kRecordOrder}) {
    SCOPED_TRACE(index);
    c.SetIndexNumber(index);
    std::vector<uint8_t> mark(c.BookmarkSize()), live(c.BookmarkSize());
    ASSERT_TRUE(c.SetToRecNo(2));
    ASSERT_TRUE(c.GetBookmark(live.data()));
    ASSERT_TRUE(c.SetToRecNo(3));
    ASSERT_TRUE(c.GetBookmark(mark.data()));
    const int64_t gone = Current(c);
    DeleteRecordAt(writer_->Table(), c.CurrentRecordNumber());
    for (bool exact : {true, false}) {
      EXPECT_FALSE(c.SetToBookmark(mark.data(), exact));
      EXPECT_GT(Current(c), 0);  // the nearest record
      EXPECT_NE(Current(c), gone);
      EXPECT_TRUE(c.SetToBookmark(live.data(), exact));
    }
    Append(10 + index, "z");  // keeps three records in each round
  }
}

TEST_F(CursorReadingTest, NeighboursOfARecordAnotherSessionDeleted) {
  Fill(5);
  TDataCursor& c = C();
  std::vector<uint8_t> buffer(c.RecordSize());
  const int64_t next = 4, prior = 2;
  for (int index : {0, 1, kRecordOrder}) {
    for (bool forward : {true, false}) {
      SCOPED_TRACE(std::to_string(index) + (forward ? " next" : " prior"));
      c.SetIndexNumber(kRecordOrder);
      ASSERT_TRUE(c.SetToRecNo(3));
      c.SetIndexNumber(index);
      const int64_t id = Current(c);
      ASSERT_GT(id, 0);
      DeleteRecordAt(writer_->Table(), c.CurrentRecordNumber());
      ASSERT_EQ(forward ? c.GetNextRecord(buffer.data()) : c.GetPriorRecord(buffer.data()), 0);
      // BYNAME runs against the ids.
      const bool reversed = index == 1;
      EXPECT_EQ(IdOf(c, buffer), forward != reversed ? next : prior);
      // The same person again, in the freed slot with a new row id.
      ASSERT_EQ(Append(id, std::string(1, static_cast<char>('a' + 5 - id))), 3u);
    }
  }
}

TEST_F(CursorReadingTest, EmptyTablesInEveryOrder) {
  TDataCursor& c = C();
  std::vector<uint8_t> buffer(c.RecordSize(), 0xEE);
  for (int index : {0, 1, kRowIdIndex, kRecordOrder}) {
    SCOPED_TRACE(index);
    c.SetIndexNumber(index);
    EXPECT_EQ(c.RecordCount(), 0u);
    EXPECT_EQ(c.GetNextRecord(buffer.data()), VUZODE_EOF);
    EXPECT_EQ(buffer, std::vector<uint8_t>(c.RecordSize(), 0));
    EXPECT_EQ(c.GetCurRecord(buffer.data()), VUZODE_NOCURRREC);
    EXPECT_EQ(c.GetPriorRecord(buffer.data()), VUZODE_BOF);
    c.SetToEnd();
    EXPECT_EQ(c.GetCurRecord(nullptr), VUZODE_NOCURRREC);
    EXPECT_FALSE(c.SetToRecNo(1));
    EXPECT_EQ(c.RecordNumber(), 0u);
    std::vector<uint8_t> mark(c.BookmarkSize());
    EXPECT_FALSE(c.GetBookmark(mark.data()));
  }
}

TEST_F(CursorReadingTest, IndexNamesAndBookmarkSizes) {
  Fill(4);  // names d c b a
  TDataCursor& c = C();
  // Setting the current index again, in another letter case, does not even resynchronise:
  // the record number stays as it was before another session's append.
  for (const char* name : {"BYNAME", ""}) {
    SCOPED_TRACE(name);
    c.SetIndexName(name);
    ASSERT_TRUE(c.SetToRecNo(3));
    const int64_t id = Current(c);
    Append(0, "0");  // first in both orders
    std::string other(name);
    for (char& ch : other) ch = static_cast<char>(std::tolower(ch));
    c.SetIndexName(other);
    EXPECT_EQ(c.RecordNumber(), 3u);
    EXPECT_EQ(Current(c), id);
    EXPECT_EQ(c.RecordNumber(), 4u);
    DeleteRecordAt(writer_->Table(), 5);
  }
  EXPECT_EQ(CodeOf([&] { c.SetIndexName("NONAME"); }), VUZODE_INVALIDINDEXNAME);
  // Record order: the record number; index order: the key (ID 4 + 1; NAME 21 + 1 + row id 4).
  const std::pair<int, uint16_t> sizes[] = {{0, 5}, {1, 26}, {kRowIdIndex, 5}, {kRecordOrder, 4}};
  for (const auto& [index, size] : sizes) {
    c.SetIndexNumber(index);
    ASSERT_TRUE(c.SetToRecNo(2));
    std::vector<uint8_t> mark(kMaxKeyLength + 1, 0xEE);
    EXPECT_EQ(c.BookmarkSize(), size);
    ASSERT_TRUE(c.GetBookmark(mark.data()));
    EXPECT_EQ(mark[size], 0xEE) << index;
    const int64_t id = Current(c);
    c.SetToBegin();
    EXPECT_TRUE(c.SetToBookmark(mark.data(), true));
    EXPECT_EQ(Current(c), id);
  }
}

TEST_F(CursorReadingTest, PartialSearchOnALeadingBcdField) {
  TearDown();
  TTableDefinition d;
  d.Fields.push_back(MakeField(1, "B", kFieldBcd));
  d.Fields.push_back(MakeField(2, "N", kFieldString, 5));
  d.Fields[0].Scale = 2;
  d.Indexes.push_back(IndexDescriptor());  // no primary index
  d.Indexes.push_back(MakeIndexDefinition("BYB", {1, 2}, false));
  CreateTable(folder_.Path(), "B", d);
  TSessionOn s(folder_.Path(), "B");
  TDataCursor& c = *s.cursor;
  auto record = [&](int64_t value, const char* name) {
    std::vector<uint8_t> image(c.RecordSize(), 0);
    uint8_t bcd[kBcdValueSize];
    BcdFromTenThousandths(value, 2, bcd);
    SetFieldBytes(TRecordImage(image.data(), image.size()), c.FieldDescriptors()[0], bcd);
    SetFieldString(TRecordImage(image.data(), image.size()), c.FieldDescriptors()[1], name);
    return image;
  };
  for (const auto& [value, name] :
       {std::pair<int64_t, const char*>{20000, "z"}, {15000, "y"}, {15000, "x"}, {-5000, "w"}}) {
    AppendImage(s.Table(), record(value, name));
  }
  c.SetIndexName("BYB");
  std::vector<uint8_t> out(c.RecordSize());
  auto nameOf = [&] {
    std::string name;
    GetFieldString(TConstRecordImage(out.data(), out.size()), c.FieldDescriptors()[1], name);
    return name;
  };
  EXPECT_TRUE(c.FindKey(record(15000, "zz").data(), false, out.data(), 0, false, 1));
  EXPECT_EQ(nameOf(), "x");
  EXPECT_TRUE(c.FindKey(record(-5000, "").data(), false, out.data(), 0, false, 1));
  EXPECT_EQ(nameOf(), "w");
  EXPECT_FALSE(c.FindKey(record(17500, "").data(), false, out.data(), 0, true, 1));
  EXPECT_EQ(nameOf(), "z");
  // The first field whole and the first character of the second; all fields of the key.
  EXPECT_TRUE(c.FindKey(record(15000, "yes").data(), false, out.data(), 1, false, 1));
  EXPECT_EQ(nameOf(), "y");
  EXPECT_TRUE(c.FindKey(record(15000, "y").data(), false, out.data(), 0, false, 0));
  EXPECT_EQ(nameOf(), "y");
  EXPECT_FALSE(c.FindKey(record(15000, "v").data(), false, out.data(), 0, true, 0));
  EXPECT_EQ(nameOf(), "x");
}

TEST_F(CursorReadingTest, BlobSlotsCompareByFirstBlockAndRevision) {
  TearDown();
  Open(PeopleDefinition(true), "M");
  TDataCursor& w = *writer_->cursor;
  std::vector<uint8_t> buffer(w.RecordSize(), 0);
  SetFieldInteger(TRecordImage(buffer.data(), buffer.size()), w.FieldDescriptors()[0], 1);
  SetFieldString(TRecordImage(buffer.data(), buffer.size()), w.FieldDescriptors()[1], "a");
  // Writes text as the memo of buffer and stores the record (as record 1 when it exists).
  auto store = [&](const std::string& text) {
    uint32_t size = 0;
    ASSERT_EQ(w.OpenBlob(3, buffer.data(), size, false, false, 2), 0);
    ASSERT_EQ(w.TruncateBlob(3, buffer.data(), false, 0), 0);
    ASSERT_EQ(w.PutBlob(3, buffer.data(), false, 0, static_cast<int64_t>(text.size()),
                        reinterpret_cast<const uint8_t*>(text.data())),
              0);
    TDataTable& table = writer_->Table();
    table.BeginWrite();
    w.SaveRecordBlobs(buffer.data(), false);
    if (table.DataFile().RecordCount() == 0) {
      table.EndWrite();
      AppendImage(table, buffer);
    } else {
      TRecord record = FetchPinned(table.DataFile(), 1);
      record.CopyFields(buffer);
      table.DataFile().Unpin(record);
      FinishChange(table);
      table.EndWrite();
    }
    w.FreeAllBlobs(true);
  };
  store("first");
  TDataCursor& c = C();
  std::vector<uint8_t> read(c.RecordSize());
  ASSERT_EQ(c.GetNextRecord(read.data()), 0);
  uint32_t size = 0;
  ASSERT_EQ(c.OpenBlob(3, read.data(), size, false, false, 2), 0);
  ASSERT_EQ(c.TruncateBlob(3, read.data(), false, 0), 0);  // an unposted edit of the memo
  // The slot holds the open value's handle, standing for the stored first block and revision.
  const uint16_t code = CodeOf([&] { c.GetCurRecord(read.data(), true); });
  EXPECT_EQ(code, 0);
  if (code == 0) c.UnlockCurrentRecord();
  store("second");
  EXPECT_EQ(CodeOf([&] { c.GetCurRecord(read.data(), true); }), VUZODE_KEYORRECDELETED);
  c.FreeAllBlobs(true);
}

// Resolves the names of a table's fields for expression checks.
class TFieldResolver : public TColumnResolver {
 public:
  explicit TFieldResolver(const std::vector<FieldDescriptor>& fields) : fields_(fields) {}
  bool ResolveColumn(TExpToken& node) override {
    for (size_t i = 0; i < fields_.size(); ++i) {
      const FieldDescriptor& f = fields_[i];
      if (strcasecmp(f.Name.c_str(), node.ColumnName.c_str()) != 0) continue;
      node.ValueType = f.Type;
      node.SubType = f.SubType;
      node.Scale = f.Scale;
      node.SetValueSize(StoredLengthOf(f.Type, f.Size));
      node.FieldNo = static_cast<uint16_t>(i + 1);
      node.SourceTable = this;
      return true;
    }
    return false;
  }

 private:
  const std::vector<FieldDescriptor>& fields_;
};

TEST_F(CursorReadingTest, ComputedFieldsFollowTheStoredOnesAndEveryRead) {
  Fill(6);
  Append(7, "");  // a null name
  std::vector<TExpToken*> trees;
  {
    TDataCursor& c = C();
    std::vector<FieldDescriptor> fields = c.FieldDescriptors();
    TFieldResolver resolver(c.FieldDescriptors());
    for (const char* text : {"ID * 2 + 1", "UPPER(NAME)"}) {
      TExpressionParser parser;
      TExpToken* tree = parser.ParseFilter(text);
      TTypeCheckOptions options;
      options.ErrorCode = VUZODE_INVALIDFILTER;
      options.Resolver = &resolver;
      CheckTypes(options, nullptr, tree);
      trees.push_back(tree);
    }
    fields.push_back(MakeField(3, "TWICE", kFieldInteger));
    fields.push_back(MakeField(4, "UPPERED", kFieldString, 20));
    fields[2].Computed = fields[3].Computed = true;
    const uint32_t stored = c.RecordSize();
    c.SetIndexName("BYNAME");
    ASSERT_TRUE(c.SetToRecNo(3));
    c.SetFieldDescriptors(fields, {nullptr, nullptr, trees[0], trees[1]});
    ASSERT_EQ(c.RecordSize(), stored + 5 + 22);
    EXPECT_EQ(c.FieldDescriptors()[2].Offset, stored);
    // Every buffer a read fills carries the values of its own record.
    auto check = [&](const uint8_t* buffer) {
      TConstRecordImage image(buffer, c.RecordSize());
      int64_t id = 0, twice = 0;
      std::string name, upper;
      GetFieldInteger(image, c.FieldDescriptors()[0], id);
      EXPECT_TRUE(GetFieldInteger(image, c.FieldDescriptors()[2], twice));
      EXPECT_EQ(twice, id * 2 + 1);
      const bool named = GetFieldString(image, c.FieldDescriptors()[1], name);
      EXPECT_EQ(GetFieldString(image, c.FieldDescriptors()[3], upper), named);
      for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      EXPECT_EQ(upper, name);
    };
    std::vector<uint8_t> buffer(c.RecordSize() * 7);
    ASSERT_EQ(c.GetCurRecord(buffer.data()), 0);
    check(buffer.data());
    c.SetToBegin();
    uint32_t count = 7;
    EXPECT_EQ(c.ReadRecordBlock(count, buffer.data()), 0);
    for (uint32_t i = 0; i < count; ++i) check(buffer.data() + i * c.RecordSize());
    while (c.GetPriorRecord(buffer.data()) == 0) check(buffer.data());
    std::vector<uint8_t> probe(c.RecordSize(), 0);
    SetFieldString(TRecordImage(probe.data(), probe.size()), c.FieldDescriptors()[1], "c");
    EXPECT_TRUE(c.FindKey(probe.data(), false, buffer.data(), 0, false, 1));
    check(buffer.data());
    EXPECT_EQ(IdOf(c, buffer), 4);
    DeleteRecordAt(writer_->Table(), 4);  // the next read follows the change
    ASSERT_EQ(c.GetCurRecord(buffer.data()), 0);
    check(buffer.data());
  }
  TearDown();
  for (TExpToken*& tree : trees) ReleaseExpTree(GlobalExpTokenStack(), tree);
}

}  // namespace
}  // namespace engine_test
