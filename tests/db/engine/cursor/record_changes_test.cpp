// Record changes through cursors: validity checks, auto-increment, slot reuse, unique keys,
// the pessimistic and optimistic protocols, exclusive cursors writing lazily, BLOB values and
// text words kept with their records, and changes that fail half-way leaving no trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "db/engine/table/table_check.h"
#include "db/storage/le_codec.h"
#include "platform/os/fault_injection.h"
#include "tests/db/engine/locking/locking_test_util.h"

namespace engine_test {
namespace {

// ID auto-increment, CODE integer unique (secondary), NAME string(20) required with a
// minimum and maximum, NOTE memo in the text index with NAME.
TTableDefinition ShopDefinition() {
  TTableDefinition d;
  d.Fields.push_back(MakeField(1, "ID", kFieldInteger, 0, kSubtypeAutoIncrement));
  d.Fields.push_back(MakeField(2, "CODE", kFieldInteger));
  d.Fields.push_back(MakeField(3, "NAME", kFieldString, 20));
  d.Fields.push_back(MakeField(4, "QTY", kFieldInteger));
  d.Fields.push_back(MakeField(5, "NOTE", kFieldBlob, 0, kSubtypeMemo));
  d.Fields[2].Required = true;
  d.Fields[3].MinValue = "0";
  d.Fields[3].MaxValue = "1000";
  d.Indexes.push_back(MakeIndexDefinition("", {1}, true));
  d.Indexes.push_back(MakeIndexDefinition("BYCODE", {2}, true));
  d.Indexes.push_back(MakeIndexDefinition("BYNAME", {3}, false));
  d.TextIndex.FieldCount = 2;
  d.TextIndex.FieldNumbers[0] = 3;
  d.TextIndex.FieldNumbers[1] = 5;
  d.BlobBlockSize = 64;
  return d;
}

struct TRow {
  std::vector<uint8_t> bytes;
  TDataCursor& c;
  explicit TRow(TDataCursor& cursor) : bytes(cursor.RecordSize(), 0), c(cursor) {}
  TRecordImage Image() { return TRecordImage(bytes.data(), bytes.size()); }
  TRow& Code(int64_t v) {
    SetFieldInteger(Image(), c.FieldDescriptors()[1], v);
    return *this;
  }
  TRow& Name(const std::string& v) {
    SetFieldString(Image(), c.FieldDescriptors()[2], v);
    return *this;
  }
  TRow& Qty(int64_t v) {
    SetFieldInteger(Image(), c.FieldDescriptors()[3], v);
    return *this;
  }
  TRow& Note(const std::string& v) {
    uint32_t size = 0;
    EXPECT_EQ(c.OpenBlob(5, bytes.data(), size, true, false, 2), 0);
    EXPECT_EQ(c.TruncateBlob(5, bytes.data(), false, 0), 0);
    EXPECT_EQ(c.PutBlob(5, bytes.data(), false, 0, static_cast<int64_t>(v.size()),
                        reinterpret_cast<const uint8_t*>(v.data())),
              0);
    return *this;
  }
  int64_t Id() const { return GetI32(bytes.data() + kRowIdOffset); }
  int64_t CodeValue() {
    int64_t v = 0;
    GetFieldInteger(TConstRecordImage(bytes.data(), bytes.size()), c.FieldDescriptors()[1], v);
    return v;
  }
};

class RecordChangesTest : public testing::Test {
 protected:
  void SetUp() override { CreateTable(folder_.Path(), "S", ShopDefinition()); }
  void ExpectSound(TDataTable& table) {
    const std::vector<std::string> problems = CheckTable(table);
    EXPECT_TRUE(problems.empty()) << (problems.empty() ? "" : problems[0]);
  }
  std::vector<int64_t> Codes(TDataCursor& c) {
    std::vector<int64_t> codes;
    TRow row(c);
    c.SetToBegin();
    while (c.GetNextRecord(row.bytes.data()) == 0) codes.push_back(row.CodeValue());
    return codes;
  }
  TScratchFolder folder_;
};

TEST_F(RecordChangesTest, ValidityChecksRunBeforeAnythingChanges) {
  TSessionOn s(folder_.Path(), "S");
  TDataCursor& c = *s.cursor;
  struct TCase {
    std::function<void(TRow&)> fill;
    uint16_t code;
  };
  const TCase cases[] = {
      {[](TRow& r) { r.Code(1).Qty(5); }, VUZODE_REQDERR},
      {[](TRow& r) { r.Code(1).Name("a").Qty(-1); }, VUZODE_MINVALERR},
      {[](TRow& r) { r.Code(1).Name("a").Qty(1001); }, VUZODE_MAXVALERR},
      {[](TRow& r) { r.Code(1).Name("a").Qty(1000); }, 0},
      {[](TRow& r) { r.Code(1).Name("b").Qty(0); }, VUZODE_KEYVIOL},
  };
  for (const TCase& t : cases) {
    TRow row(c);
    t.fill(row);
    EXPECT_EQ(CodeOf([&] { c.AppendRecord(row.bytes.data()); }), t.code);
  }
  EXPECT_EQ(c.RecordCount(), 1u);
  ExpectSound(s.Table());
}

TEST_F(RecordChangesTest, AutoIncrementSlotReuseAndKeys) {
  TSessionOn s(folder_.Path(), "S");
  TDataCursor& c = *s.cursor;
  for (int code = 1; code <= 3; ++code) {
    TRow row(c);
    c.AppendRecord(row.Code(code).Name("n" + std::to_string(code)).bytes.data());
  }
  TRow row(c);
  ASSERT_EQ(c.GetCurRecord(row.bytes.data()), 0);
  EXPECT_EQ(row.Id(), 3);
  // Suppressed: the record keeps its id, and the next one follows it.
  c.SetSuppressAutoInc(true);
  TRow given(c);
  given.Code(4).Name("given");
  PutI32(given.bytes.data() + kRowIdOffset, 100);
  c.AppendRecord(given.bytes.data());
  TRow duplicate(c);
  duplicate.Code(5).Name("dup");
  PutI32(duplicate.bytes.data() + kRowIdOffset, 100);
  EXPECT_EQ(CodeOf([&] { c.AppendRecord(duplicate.bytes.data()); }), VUZODE_KEYVIOL);
  c.SetSuppressAutoInc(false);
  TRow next(c);
  c.AppendRecord(next.Code(6).Name("next").bytes.data());
  ASSERT_EQ(c.GetCurRecord(next.bytes.data()), 0);
  EXPECT_EQ(next.Id(), 101);
  // Deleting the second record frees its slot; the next append takes it.
  ASSERT_TRUE(c.SetToRecNo(2));
  ASSERT_EQ(c.GetCurRecord(row.bytes.data()), 0);
  const uint32_t slot = c.CurrentRecordNumber();
  c.DeleteRecord(row.bytes.data());
  TRow reuse(c);
  c.AppendRecord(reuse.Code(7).Name("reuse").bytes.data());
  EXPECT_EQ(c.CurrentRecordNumber(), slot);
  // A modify of a key field replaces that key; of another field, none.
  ASSERT_EQ(c.GetCurRecord(reuse.bytes.data()), 0);
  c.ModifyRecord(reuse.Code(70).bytes.data());
  c.ModifyRecord(reuse.Qty(9).bytes.data());
  c.SetIndexName("BYCODE");
  EXPECT_EQ(Codes(c), (std::vector<int64_t>{1, 3, 4, 6, 70}));
  ExpectSound(s.Table());
}

TEST_F(RecordChangesTest, ChangesWithoutRepositioningStayInTheCursorsView) {
  // In every order, and inside a transaction, the view takes the change although the cursor
  // does not move to it.
  for (const int order : {0, 255}) {
    for (const bool transaction : {false, true}) {
      SCOPED_TRACE(testing::Message() << "order " << order << " transaction " << transaction);
      TSessionOn s(folder_.Path(), "S");
      TDataCursor& c = *s.cursor;
      c.SetIndexNumber(order);
      const std::vector<int64_t> before = Codes(c);
      if (transaction) s.directory->StartTransaction();
      TRow row(c);
      const int64_t code = 500 + order + (transaction ? 1 : 0);
      c.AppendRecord(row.Code(code).Name("quiet").bytes.data(), false);
      std::vector<int64_t> expected = before;
      expected.push_back(code);
      std::vector<int64_t> seen = Codes(c);
      std::sort(seen.begin(), seen.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(seen, expected);
      EXPECT_EQ(c.RecordCount(), static_cast<int64_t>(expected.size()));
      if (transaction) s.directory->Commit();
    }
  }
}

TEST_F(RecordChangesTest, PessimisticAndOptimisticProtocolsBetweenSessions) {
  TSessionOn a(folder_.Path(), "S");
  TSessionOn b(folder_.Path(), "S");
  // Each read looks for the other session's changes.
  a.session.SetStrictChangeDetection(true);
  b.session.SetStrictChangeDetection(true);
  {
    TRow row(*a.cursor);
    a.cursor->AppendRecord(row.Code(1).Name("one").bytes.data());
  }
  TRow ra(*a.cursor), rb(*b.cursor);
  b.cursor->Refresh();
  b.cursor->SetToBegin();
  ASSERT_EQ(b.cursor->GetNextRecord(rb.bytes.data()), 0);
  a.cursor->SetToBegin();
  ASSERT_EQ(a.cursor->GetNextRecord(ra.bytes.data()), 0);
  // Pessimistic: the first edit locks the record; the second cannot.
  ASSERT_EQ(a.cursor->GetCurRecord(ra.bytes.data(), true), 0);
  EXPECT_EQ(CodeOf([&] { b.cursor->GetCurRecord(rb.bytes.data(), true); }), VUZODE_RECLOCKFAILED);
  a.cursor->ModifyRecord(ra.Qty(5).bytes.data());
  // b's copy is now stale: locking it finds the record changed.
  EXPECT_EQ(CodeOf([&] { b.cursor->GetCurRecord(rb.bytes.data(), true); }), VUZODE_KEYORRECDELETED);
  b.cursor->CancelRecord();
  // Optimistic: both read, the second write fails.
  a.session.SetLockProtocol(1);
  b.session.SetLockProtocol(1);
  ASSERT_EQ(a.cursor->GetCurRecord(ra.bytes.data()), 0);
  ASSERT_EQ(b.cursor->GetCurRecord(rb.bytes.data()), 0);
  a.cursor->ModifyRecord(ra.Qty(6).bytes.data());
  EXPECT_EQ(CodeOf([&] { b.cursor->ModifyRecord(rb.Qty(7).bytes.data()); }),
            VUZODE_KEYORRECDELETED);
  b.cursor->CancelRecord();
  ASSERT_EQ(b.cursor->GetCurRecord(rb.bytes.data()), 0);
  b.cursor->ModifyRecord(rb.Qty(8).bytes.data());
  ExpectSound(b.Table());
}

TEST_F(RecordChangesTest, BlobsAndTextWordsTravelWithTheirRecords) {
  {
    TSessionOn s(folder_.Path(), "S");
    TDataCursor& c = *s.cursor;
    TRow row(c);
    c.AppendRecord(
        row.Code(1).Name("alpha").Note(std::string(500, 'x') + " database words").bytes.data());
    c.FreeRecordBlobs(row.bytes.data());
    TRow second(c);
    c.AppendRecord(second.Code(2).Name("beta").Note("short").bytes.data());
    ASSERT_TRUE(c.SetToRecNo(1));
    ASSERT_EQ(c.GetCurRecord(row.bytes.data()), 0);
    c.ModifyRecord(row.Note("replaced text").bytes.data());
    ASSERT_TRUE(c.SetToRecNo(2));
    ASSERT_EQ(c.GetCurRecord(second.bytes.data()), 0);
    c.DeleteRecord(second.bytes.data());
    ExpectSound(s.Table());
  }
  TSessionOn s(folder_.Path(), "S");
  TDataCursor& c = *s.cursor;
  TRow row(c);
  c.SetToBegin();
  ASSERT_EQ(c.GetNextRecord(row.bytes.data()), 0);
  uint32_t size = 0;
  ASSERT_EQ(c.OpenBlob(5, row.bytes.data(), size, false, false, 1), 0);
  std::string text(size, '\0');
  uint32_t read = 0;
  c.GetBlob(5, row.bytes.data(), false, 0, size, reinterpret_cast<uint8_t*>(text.data()), read);
  EXPECT_EQ(text, "replaced text");
  EXPECT_EQ(c.GetNextRecord(row.bytes.data()), VUZODE_EOF);
  // The text index holds the words of the stored values only: REPLACED, TEXT, ALPHA.
  c.SetIndexNumber(kTextIndex);
  EXPECT_EQ(c.RecordCount(), 3u);
  ExpectSound(s.Table());
}

TEST_F(RecordChangesTest, AnExclusiveCursorWritesOnlyWhenItCloses) {
  const std::string dat = folder_.Path() + "/S.DAT";
  const auto before = std::filesystem::file_size(dat);
  {
    TDataSession session;
    TDataCursor c(session.OpenDirectory("x", folder_.Path()));
    c.SetTableName("S");
    c.SetExclusive(true);
    c.OpenCursor();
    for (int code = 1; code <= 20; ++code) {
      TRow row(c);
      c.AppendRecord(row.Code(code).Name("e").bytes.data());
    }
    EXPECT_EQ(std::filesystem::file_size(dat), before);
    c.CloseCursor();
  }
  EXPECT_GT(std::filesystem::file_size(dat), before);
  TSessionOn s(folder_.Path(), "S");
  EXPECT_EQ(s.cursor->RecordCount(), 20u);
  ExpectSound(s.Table());
}

// Random appends, modifies and deletes against a model; the table checker (keys, row ids, the
// text index against the words of names and notes, BLOB chains) runs every few steps.
TEST_F(RecordChangesTest, RandomChangesKeepIndexesTextWordsAndBlobsInStep) {
  const int64_t steps = HeavyTestSize("PEBRIO_RECORD_CHANGE_STEPS", 600);
  TSessionOn s(folder_.Path(), "S");
  TDataCursor& c = *s.cursor;
  c.SetIndexName("BYCODE");
  std::mt19937 random(7);
  const char* words[] = {"apple", "pear", "the", "plum", "data", "base", "fig"};
  auto phrase = [&](int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += std::string(words[random() % 7]) + " ";
    return text;
  };
  std::map<int64_t, std::pair<std::string, std::string>> model;
  // Every other run of 50 steps is one transaction, in which a change may also go by record
  // number; a record is read by number only while no one else can change the table.
  bool transaction = false;
  for (int64_t step = 0; step < steps; ++step) {
    if (step % 50 == 0) {
      transaction = step / 50 % 2 == 1;
      if (transaction) s.directory->StartTransaction();
    }
    const int64_t code = random() % 200;
    TRow row(c);
    row.Code(code);
    const bool present = c.FindKey(row.bytes.data(), false, row.bytes.data(), 0, false, 1);
    const std::string name = phrase(2).substr(0, 19);
    const std::string note = phrase(static_cast<int>(random() % 30));
    const uint32_t number = c.CurrentRecordNumber();
    const int32_t rowId = static_cast<int32_t>(row.Id());
    TRow read(c);
    const bool byNumber = present && random() % 2 == 0;
    if (byNumber) {
      ASSERT_EQ(c.ReadRecordAt(number, rowId, read.bytes.data()), transaction);
      if (transaction) {
        EXPECT_EQ(read.bytes, row.bytes);
      }
      EXPECT_FALSE(c.ReadRecordAt(number, rowId + 1, read.bytes.data()));
      // A change by number needs no position.
      c.SetToBegin();
    }
    if (!present) {
      TRow fresh(c);
      c.AppendRecord(fresh.Code(code).Name(name).Note(note).bytes.data());
      model[code] = {name, note};
    } else if (random() % 2 == 0) {
      if (byNumber) {
        c.DeleteRecordAt(number);
        EXPECT_FALSE(c.ReadRecordAt(number, rowId, read.bytes.data()));
      } else {
        c.DeleteRecord(row.bytes.data());
      }
      model.erase(code);
    } else {
      row.Name(name).Note(note);
      if (byNumber) {
        c.ModifyRecordAt(number, row.bytes.data());
      } else {
        c.ModifyRecord(row.bytes.data());
      }
      model[code] = {name, note};
    }
    if (step % 50 == 49) {
      if (transaction) s.directory->Commit();
      ExpectSound(s.Table());
    }
  }
  if (transaction) s.directory->Commit();
  ExpectSound(s.Table());
  EXPECT_EQ(c.RecordCount(), model.size());
  std::vector<int64_t> codes;
  for (const auto& [code, values] : model) codes.push_back(code);
  EXPECT_EQ(Codes(c), codes);
}

// Every read the change makes fails once, in turn: each failure leaves the table as it was.
TEST_F(RecordChangesTest, AFailureAtAnyStepLeavesNoTrace) {
  TSessionOn s(folder_.Path(), "S");
  TDataCursor& c = *s.cursor;
  s.session.SetBufferSettings(512, 4, 4096, 512, 4);
  for (int code = 1; code <= 300; ++code) {
    TRow row(c);
    c.AppendRecord(row.Code(code).Name("n" + std::to_string(code % 17)).bytes.data());
  }
  s.cursor->CloseCursor();
  s.cursor->OpenCursor();
  enum TKind { kAppend, kModify, kDelete };
  for (TKind kind : {kAppend, kModify, kDelete}) {
    for (uint64_t step = 1; step <= 40; ++step) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << " read " << step);
      c.Table()->DiscardBuffers(true, false);
      TRow row(c);
      c.SetToRecNo(150);
      ASSERT_EQ(c.GetCurRecord(row.bytes.data()), 0);
      const uint32_t base = c.RecordCount();
      platform::TFileFaultPlan plan;
      FailReadAt(plan, folder_.Path(), step);
      uint16_t code = 0;
      {
        platform::TScopedFileFaults faults(plan);
        code = CodeOf([&] {
          if (kind == kAppend) c.AppendRecord(TRow(c).Code(5000 + step).Name("new").bytes.data());
          if (kind == kModify) c.ModifyRecord(row.Code(7000 + step).bytes.data());
          if (kind == kDelete) c.DeleteRecord(row.bytes.data());
        });
      }
      ExpectSound(*c.Table());
      const uint32_t count = c.RecordCount();
      if (code != 0) {
        EXPECT_EQ(count, base);
      } else {
        // It got through every read: the change is whole.
        EXPECT_EQ(count, kind == kAppend ? base + 1 : kind == kDelete ? base - 1 : base);
        break;
      }
    }
  }
}

}  // namespace
}  // namespace engine_test
