// BLOB values through a cursor: transfers at offsets and block boundaries saved with their
// record and read back by another session and after reopening, the codes of the edges, the
// limit of open values, and the text index kept by the words of strings and memos.
#include <gtest/gtest.h>

#include "db/engine/cursor/text_search.h"
#include "db/storage/le_codec.h"
#include "tests/db/engine/locking/locking_test_util.h"

namespace engine_test {
namespace {

// ID integer key, NAME string(40) and NOTE memo, both in the text index; 64-byte blocks.
TTableDefinition NotesDefinition() {
  TTableDefinition d;
  d.Fields.push_back(MakeField(1, "ID", kFieldInteger));
  d.Fields.push_back(MakeField(2, "NAME", kFieldString, 40));
  d.Fields.push_back(MakeField(3, "NOTE", kFieldBlob, 0, kSubtypeMemo));
  d.Indexes.push_back(MakeIndexDefinition("", {1}, true));
  d.TextIndex.FieldCount = 2;
  d.TextIndex.FieldNumbers[0] = 2;
  d.TextIndex.FieldNumbers[1] = 3;
  d.BlobBlockSize = 64;
  return d;
}

// Appends the cursor's record buffer the way a record change does: keys, text words, BLOB
// values saved into the stored image, all under the write lock and written through.
uint32_t AppendWithBlobs(TDataCursor& c, std::vector<uint8_t>& buffer) {
  TDataTable& table = *c.Table();
  table.BeginWrite();
  TDataFile& data = table.DataFile();
  TRecord record;
  do {
    record = data.AllocateRecord();
  } while (!record.Valid());
  std::vector<uint8_t> image(buffer.begin(), buffer.begin() + data.RecordSize());
  const uint32_t n = record.Number();
  image[0] = 0;
  PutU32(image.data() + 1, n);
  PutI32(image.data() + kRowIdOffset, data.NextRowId());
  IndexKey key;
  TBTree tree(table.IndexFile(), kPrimarySlot);
  EncodeKey(tree.Layout(), TConstRecordImage(image.data(), image.size()), key);
  tree.InsertKey(key.data(), static_cast<int32_t>(n));
  EncodeDeletedKey(0, GetI32(image.data() + kRowIdOffset), key);
  TBTree(table.IndexFile(), kDeletedSlot).InsertKey(key.data(), static_cast<int32_t>(n));
  c.AddTextWords(image.data());
  c.SaveRecordBlobs(image.data(), false);
  record.CopyFields(std::span<const uint8_t>(image.data(), image.size()));
  record.SetRowId(GetI32(image.data() + kRowIdOffset));
  table.IndexFile().IncrementActiveRecordCount();
  data.MarkHeaderChanged();
  data.Unpin(record);
  table.FlushBuffers();
  table.EndWrite();
  return n;
}

std::string ReadNote(TDataCursor& c, std::vector<uint8_t>& buffer) {
  uint32_t size = 0;
  EXPECT_EQ(c.OpenBlob(3, buffer.data(), size, false, false, 1), 0);
  std::string note(size, '\0');
  uint32_t read = 0;
  EXPECT_EQ(
      c.GetBlob(3, buffer.data(), false, 0, size, reinterpret_cast<uint8_t*>(note.data()), read),
      0);
  EXPECT_EQ(c.FreeBlob(3, buffer.data()), 0);
  return note;
}

std::string Pattern(size_t size, int seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + (i * 7 + seed) % 26);
  return s;
}

class CursorBlobTest : public testing::Test {
 protected:
  void SetUp() override { CreateTable(folder_.Path(), "N", NotesDefinition()); }
  TScratchFolder folder_;
};

TEST_F(CursorBlobTest, ValuesAtBlockBoundariesSurviveSaveReopenAndAnotherSession) {
  // The data area of a 64-byte block is 46 bytes: sizes around one, two and many blocks.
  const size_t sizes[] = {0, 1, 45, 46, 47, 92, 93, 1000, 70000};
  {
    TSessionOn a(folder_.Path(), "N");
    TDataCursor& c = *a.cursor;
    for (size_t i = 0; i < std::size(sizes); ++i) {
      std::vector<uint8_t> buffer(c.RecordSize(), 0);
      SetFieldInteger(TRecordImage(buffer.data(), buffer.size()), c.FieldDescriptors()[0],
                      static_cast<int64_t>(i));
      uint32_t size = 1;
      ASSERT_EQ(c.OpenBlob(3, buffer.data(), size, false, false, 2), 0);
      EXPECT_EQ(size, 0u);
      EXPECT_EQ(buffer[c.FieldDescriptors()[2].Offset], 0);  // an empty value is null
      const std::string value = Pattern(sizes[i], static_cast<int>(i));
      // Written in two pieces, the second overlapping the first's end.
      const size_t half = value.size() / 2;
      ASSERT_EQ(c.PutBlob(3, buffer.data(), false, 0, half + (half > 0 ? 1 : 0),
                          reinterpret_cast<const uint8_t*>(value.data())),
                0);
      ASSERT_EQ(c.PutBlob(3, buffer.data(), false, half, value.size() - half,
                          reinterpret_cast<const uint8_t*>(value.data() + half)),
                0);
      AppendWithBlobs(c, buffer);
      // The caller's buffer keeps its handle until it releases the value.
      EXPECT_EQ(c.FreeBlob(3, buffer.data()), 0);
      EXPECT_EQ(c.OpenBlobCount(), 0u);
    }
    TSessionOn b(folder_.Path(), "N");
    std::vector<uint8_t> buffer(b.cursor->RecordSize());
    b.cursor->SetToBegin();
    for (size_t i = 0; i < std::size(sizes); ++i) {
      ASSERT_EQ(b.cursor->GetNextRecord(buffer.data()), 0);
      EXPECT_EQ(ReadNote(*b.cursor, buffer), Pattern(sizes[i], static_cast<int>(i))) << i;
    }
  }
  TSessionOn again(folder_.Path(), "N");
  std::vector<uint8_t> buffer(again.cursor->RecordSize());
  ASSERT_TRUE(again.cursor->SetToRecNo(8));
  ASSERT_EQ(again.cursor->GetCurRecord(buffer.data()), 0);
  EXPECT_EQ(ReadNote(*again.cursor, buffer), Pattern(1000, 7));
}

TEST_F(CursorBlobTest, TransfersAnswerTheirEdgesExactly) {
  TSessionOn s(folder_.Path(), "N");
  TDataCursor& c = *s.cursor;
  std::vector<uint8_t> buffer(c.RecordSize(), 0);
  uint32_t size = 0;
  ASSERT_EQ(c.OpenBlob(3, buffer.data(), size, false, false, 2), 0);
  const uint8_t ten[] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
  ASSERT_EQ(c.PutBlob(3, buffer.data(), false, 0, 10, ten), 0);
  uint8_t out[32];
  uint32_t read = 0;
  struct TRead {
    int64_t offset, count;
    uint16_t code;
    uint32_t read;
  };
  const TRead reads[] = {{0, 10, 0, 10},
                         {8, 10, VUZODE_ENDOFBLOB, 2},
                         {9, 10, VUZODE_ENDOFBLOB, 1},
                         {10, 10, VUZODE_ENDOFBLOB, 0},
                         {50, 1, VUZODE_ENDOFBLOB, 0},
                         {-1, 1, VUZODE_INVALIDBLOBOFFSET, 0},
                         {0, -1, VUZODE_INVALIDBLOBLEN, 0},
                         {int64_t{1} << 31, 1, VUZODE_INVALIDBLOBOFFSET, 0}};
  for (const TRead& r : reads) {
    EXPECT_EQ(c.GetBlob(3, buffer.data(), false, r.offset, r.count, out, read), r.code) << r.offset;
    EXPECT_EQ(read, r.read) << r.offset;
  }
  EXPECT_EQ(c.PutBlob(3, buffer.data(), false, 2147483000, 1000, ten), VUZODE_INVALIDBLOBLEN);
  EXPECT_EQ(c.TruncateBlob(3, buffer.data(), false, -5), VUZODE_INVALIDBLOBLEN);
  // Writing past the end fills the gap with zeros; truncating in the middle cuts there.
  ASSERT_EQ(c.PutBlob(3, buffer.data(), false, 20, 2, ten), 0);
  ASSERT_EQ(c.GetBlobSize(3, buffer.data(), false, size), 0);
  EXPECT_EQ(size, 22u);
  ASSERT_EQ(c.GetBlob(3, buffer.data(), false, 9, 13, out, read), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 13), std::string("9\0\0\0\0\0\0\0\0\0\0"
                                                                       "01",
                                                                       13));
  ASSERT_EQ(c.TruncateBlob(3, buffer.data(), false, 4), 0);
  ASSERT_EQ(c.GetBlobSize(3, buffer.data(), false, size), 0);
  EXPECT_EQ(size, 4u);
  // Opening the same value again counts; the first free keeps the handle in the record.
  ASSERT_EQ(c.OpenBlob(3, buffer.data(), size, false, false, 1), 0);
  EXPECT_EQ(c.FreeBlob(3, buffer.data()), 0);
  EXPECT_EQ(c.GetBlobSize(3, buffer.data(), false, size), 0);
  EXPECT_EQ(c.FreeBlob(3, buffer.data()), 0);
  EXPECT_EQ(c.GetBlobSize(3, buffer.data(), false, size), VUZODE_INVALIDBLOBHANDLE);
  EXPECT_EQ(c.OpenBlob(2, buffer.data(), size, false, false, 1), VUZODE_NOTABLOB);
  EXPECT_THROW(c.OpenBlob(9, buffer.data(), size, false, false, 1), EVUZODEEngineError);
  // A handle this cursor never gave.
  PutI32(buffer.data() + c.FieldDescriptors()[2].Offset + 1, -999);
  EXPECT_EQ(c.OpenBlob(3, buffer.data(), size, false, false, 1), VUZODE_INVALIDBLOBOFFSET);
}

TEST_F(CursorBlobTest, AtMost128ValuesAreOpen) {
  TSessionOn s(folder_.Path(), "N");
  TDataCursor& c = *s.cursor;
  std::vector<std::vector<uint8_t>> buffers(129, std::vector<uint8_t>(c.RecordSize(), 0));
  uint32_t size = 0;
  for (int i = 0; i < 128; ++i)
    ASSERT_EQ(c.OpenBlob(3, buffers[i].data(), size, false, false, 1), 0);
  EXPECT_EQ(c.OpenBlob(3, buffers[128].data(), size, false, false, 1), VUZODE_OPENBLOBLIMIT);
  EXPECT_EQ(c.FreeBlob(3, buffers[0].data()), 0);
  EXPECT_EQ(c.OpenBlob(3, buffers[128].data(), size, false, false, 1), 0);
}

TEST_F(CursorBlobTest, AWriteInsideTheValueIsSavedAndOtherRecordsKeepTheirSlots) {
  TSessionOn s(folder_.Path(), "N");
  TDataCursor& c = *s.cursor;
  std::vector<uint8_t> buffer(c.RecordSize(), 0);
  uint32_t size = 0;
  ASSERT_EQ(c.OpenBlob(3, buffer.data(), size, false, false, 2), 0);
  ASSERT_EQ(c.PutBlob(3, buffer.data(), false, 0, 5, reinterpret_cast<const uint8_t*>("hello")), 0);
  AppendWithBlobs(c, buffer);
  ASSERT_EQ(c.FreeBlob(3, buffer.data()), 0);
  // Reopened for writing: a write inside the length changes the value.
  c.SetToBegin();
  ASSERT_EQ(c.GetNextRecord(buffer.data()), 0);
  ASSERT_EQ(c.OpenBlob(3, buffer.data(), size, false, false, 2), 0);
  ASSERT_EQ(c.PutBlob(3, buffer.data(), false, 0, 1, reinterpret_cast<const uint8_t*>("J")), 0);
  // Another record's value open at the same time: its slot must not be written.
  std::vector<uint8_t> other(c.RecordSize(), 0);
  ASSERT_EQ(c.OpenBlob(3, other.data(), size, false, false, 1), 0);
  std::vector<uint8_t> image(buffer);
  c.Table()->BeginWrite();
  EXPECT_TRUE(c.SaveRecordBlobs(image.data(), false));
  c.Table()->EndWrite();
  const FieldDescriptor& note = c.FieldDescriptors()[2];
  EXPECT_GT(GetI32(image.data() + note.Offset + 1), 0);
  EXPECT_LT(GetI32(other.data() + note.Offset + 1), 0);
  EXPECT_EQ(c.FreeBlob(3, other.data()), 0);
  EXPECT_EQ(c.FreeBlob(3, buffer.data()), 0);
  // The stored chain holds the changed bytes.
  std::memcpy(buffer.data() + note.Offset, image.data() + note.Offset, 9);
  EXPECT_EQ(ReadNote(c, buffer), "Jello");
}

TEST_F(CursorBlobTest, AValueChangedByAnotherSessionIsSeenAfterARefresh) {
  TSessionOn a(folder_.Path(), "N");
  TSessionOn b(folder_.Path(), "N");
  b.session.SetStrictChangeDetection(true);
  std::vector<uint8_t> row(a.cursor->RecordSize(), 0);
  uint32_t size = 0;
  ASSERT_EQ(a.cursor->OpenBlob(3, row.data(), size, true, false, 2), 0);
  ASSERT_EQ(a.cursor->PutBlob(3, row.data(), false, 0, 3, reinterpret_cast<const uint8_t*>("old")),
            0);
  a.cursor->AppendRecord(row.data());
  std::vector<uint8_t> seen(b.cursor->RecordSize());
  b.cursor->SetToBegin();
  ASSERT_EQ(b.cursor->GetNextRecord(seen.data()), 0);
  EXPECT_EQ(ReadNote(*b.cursor, seen), "old");
  ASSERT_EQ(a.cursor->GetCurRecord(row.data()), 0);
  ASSERT_EQ(a.cursor->OpenBlob(3, row.data(), size, true, false, 2), 0);
  ASSERT_EQ(a.cursor->TruncateBlob(3, row.data(), false, 0), 0);
  ASSERT_EQ(a.cursor->PutBlob(3, row.data(), false, 0, 200,
                              reinterpret_cast<const uint8_t*>(Pattern(200, 3).data())),
            0);
  a.cursor->ModifyRecord(row.data());
  b.cursor->Refresh();
  ASSERT_EQ(b.cursor->GetCurRecord(seen.data()), 0);
  EXPECT_EQ(ReadNote(*b.cursor, seen), Pattern(200, 3));
}

TEST(TextSearch, WordsPrefixesStopWordsAndCounts) {
  const TTextIndexParameters p = TTextIndexParameters::Defaults();
  struct TCase {
    const char* search;
    const char* text;
    bool matches;
    int32_t occurrences;
  };
  const TCase cases[] = {
      {"data*", "The database is a data store", true, 2},
      {"the data", "some data here", true, 1},
      {"data", "data, data and more DATA", true, 3},
      {"missing", "data here", false, 0},
      {"", "anything", true, 0},
      {"dat* base*", "database", false, 1},
      {"Base", "database base-line", true, 1},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(TextMatches(c.search, c.text, p, 0, 0), c.matches) << c.search;
    EXPECT_EQ(TextOccurrences(c.search, c.text, p, 0, 0), c.occurrences) << c.search;
  }
}

}  // namespace
}  // namespace engine_test
