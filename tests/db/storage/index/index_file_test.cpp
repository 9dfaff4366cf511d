// The index file: header and definitions, and every value read from a damaged file checked
// before use (header counts, key lengths, page entry counts, compressed lengths, page numbers,
// free chain links).
#include "db/storage/index/index_file.h"

#include <gtest/gtest.h>

#include <set>

#include "../engine_code.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/index_checker.h"
#include "index_test_util.h"

namespace {

constexpr int64_t kSlotsAt = 14;
int64_t SlotOffset(int slot) {
  return kSlotsAt + slot * 120;
}

struct TFilledIndex {
  TTestIndexFile table{MakeFields({{kFieldLargeInt, 0}, {kFieldString, 30}})};
  TIndexFile& file = table.file;
  explicit TFilledIndex(uint8_t compression = kCompressNone, int keys = 1500) {
    file.DefinePrimaryIndex(MakeIndex("", {1}, true, compression));
    TBTree tree(file, 0);
    for (int i = 0; i < keys; ++i) tree.InsertKey(Key(i * 3).data(), i + 1);
    table.Reopen();
  }
  IndexKey Key(int64_t v) const {
    IndexKey key(9);
    key.Bytes[0] = 1;
    EncodeInt64Key(v, key.data() + 1);
    return key;
  }
  int32_t Root() const { return file.Descriptor(0).RootPage; }
  // A leaf page number: the first child of the root.
  int32_t FirstLeaf() {
    TPage* root = file.FetchPage(0, Root());
    const int32_t leaf = root->Reference(0);
    file.DiscardPages();
    return leaf;
  }
  uint16_t CheckCode() {
    file.DiscardPages();
    return EngineCodeOf([&] { CheckIndexFile(file); });
  }
};

TEST(IndexFile, NewFileHasTheSystemSlotsAndReadsBack) {
  TTestIndexFile table(MakeFields({{kFieldInteger, 0}}));
  table.Reopen();
  const IndexFileHeader& h = table.file.Header();
  EXPECT_EQ(h.NextPageNumber, 1);
  EXPECT_EQ(h.Slots[kDeletedSlot].Name, "Sys Deleted");
  EXPECT_EQ(h.Slots[kDeletedSlot].KeyLength, 5);
  EXPECT_EQ(h.Slots[kTextSlot].Name, "Sys Text");
  EXPECT_EQ(h.Slots[kTextSlot].KeyLength, 68);
  EXPECT_EQ(h.Slots[kTextSlot].Compression, kCompressFull);
  EXPECT_EQ(table.file.GetFileSize(), 4096);
}

TEST(IndexFile, DamagedHeaderValuesAreRefusedOnOpen) {
  struct TCase {
    const char* what;
    int64_t offset;
    std::vector<uint8_t> bytes;
    uint16_t code;
  };
  const std::vector<TCase> cases = {
      {"format version", 8, {4}, VUZODE_OLDVERSION},
      // The two system slots are not secondary indexes: 31 and 32 are refused.
      {"31 secondary indexes", 13, {31}, VUZODE_HEADERCORRUPT},
      {"32 secondary indexes", 13, {32}, VUZODE_HEADERCORRUPT},
      {"next page 0", 9, Le32(0), VUZODE_HEADERCORRUPT},
      // A page count the file does not hold (trusting it would grow the file to 1.6 GB).
      {"400000 pages in a small file", 9, Le32(400000), VUZODE_HEADERCORRUPT},
      {"key length 523", SlotOffset(0) + 31, Le16(523), VUZODE_HEADERCORRUPT},
      {"text key length", SlotOffset(kTextSlot) + 31, Le16(60), VUZODE_HEADERCORRUPT},
      {"root past the end", SlotOffset(0) + 86, Le32(1000), VUZODE_HEADERCORRUPT},
      {"negative free page", SlotOffset(0) + 90, Le32(-3), VUZODE_HEADERCORRUPT},
      {"parameter page of a plain index", SlotOffset(0) + 96, Le32(1), VUZODE_HEADERCORRUPT},
      {"compression 4", SlotOffset(0) + 36, {4}, VUZODE_HEADERCORRUPT},
      {"17 fields", SlotOffset(0) + 37, {17}, VUZODE_HEADERCORRUPT},
  };
  for (const TCase& c : cases) {
    TFilledIndex index(kCompressNone, 50);
    index.file.Close();
    TIndexFile raw;
    raw.SetFileName(index.file.FileName());
    raw.SetInMemory(true);
    raw.Open();
    PatchFile(raw, c.offset, c.bytes);
    raw.Close();
    EXPECT_EQ(EngineCodeOf([&] { index.file.Open(); }), c.code) << c.what;
    EXPECT_FALSE(index.file.Opened()) << c.what;
  }
}

TEST(IndexFile, ShortFileIsHeaderCorrupt) {
  TTestIndexFile table(MakeFields({{kFieldInteger, 0}}));
  table.file.Seek(100);
  table.file.Write(nullptr, 0);
  table.file.Close();
  EXPECT_EQ(EngineCodeOf([&] { table.file.Open(); }), VUZODE_HEADERCORRUPT);
}

TEST(IndexFile, VerifyStructureWantsTheComputedKeyLength) {
  TFilledIndex index(kCompressNone, 10);
  EXPECT_EQ(EngineCodeOf([&] { index.file.VerifyStructure(); }), 0);
  index.file.Close();
  {
    TIndexFile raw;
    raw.SetFileName(index.file.FileName());
    raw.SetInMemory(true);
    raw.Open();
    PatchFile(raw, SlotOffset(0) + 31, Le16(40));  // within bounds, but not 9
  }
  index.file.Open();
  EXPECT_EQ(EngineCodeOf([&] { index.file.VerifyStructure(); }), VUZODE_HEADERCORRUPT);
}

TEST(IndexFile, DamagedPagesAreIndexCorruptNeverACrash) {
  struct TCase {
    const char* what;
    uint8_t compression;
    int at;  // offset within the first leaf
    std::vector<uint8_t> bytes;
  };
  const std::vector<TCase> cases = {
      {"page type 9", kCompressNone, 0, {9}},
      {"entry count past the page", kCompressNone, 1, Le16(2000)},
      {"left link past the end", kCompressNone, 3, Le32(100000)},
      {"right link negative", kCompressNone, 7, Le32(-1)},
      {"first prefix not 0", kCompressDuplicates, 13, {3}},
      {"prefix 255", kCompressFull, 13 + 0, {255}},
      {"suffix past the key", kCompressTrailing, 13, {200}},
      {"packed size differs", kCompressFull, 11, Le16(4000)},
      {"entry count of a compressed leaf", kCompressFull, 1, Le16(3000)},
  };
  for (const TCase& c : cases) {
    TFilledIndex index(c.compression);
    const int32_t leaf = index.FirstLeaf();
    PatchFile(index.file, int64_t{leaf} * 4096 + c.at, c.bytes);
    EXPECT_EQ(index.CheckCode(), VUZODE_INDEXCORRUPT) << c.what;
    index.file.DiscardPages();
    TBTree tree(index.file, 0);
    EXPECT_EQ(EngineCodeOf([&] { tree.InsertKey(index.Key(-5).data(), 1); }), VUZODE_INDEXCORRUPT)
        << c.what;
  }
}

TEST(IndexFile, ChildPointingOutsideOrBackUpIsIndexCorrupt) {
  for (int32_t child : {0, 1000000, -7}) {
    TFilledIndex index;
    const int32_t root = index.Root();
    // The second entry's child number: header, key (9), then the child.
    PatchFile(index.file, int64_t{root} * 4096 + 13 + 17 + 9, Le32(child));
    EXPECT_EQ(index.CheckCode(), VUZODE_INDEXCORRUPT) << child;
  }
  TFilledIndex index;
  const int32_t root = index.Root();
  PatchFile(index.file, int64_t{root} * 4096 + 13 + 9, Le32(root));  // root is its own child
  EXPECT_EQ(index.CheckCode(), VUZODE_INDEXCORRUPT);
  index.file.DiscardPages();
  TBTree tree(index.file, 0);
  EXPECT_EQ(EngineCodeOf([&] { tree.Count(); }), 0);  // the root alone holds the total
  EXPECT_EQ(EngineCodeOf([&] { tree.CountBefore(index.Key(1).data(), 0, true); }),
            VUZODE_INDEXCORRUPT);
}

TEST(IndexFile, FreeChainThatLoopsNeverHandsAPageOutTwice) {
  TFilledIndex index(kCompressNone, 3000);
  TBTree tree(index.file, 0);
  for (int i = 0; i < 3000; i += 2) tree.DeleteKey(index.Key(i * 3).data());
  index.table.Reopen();
  const int32_t head = index.file.Descriptor(0).FirstFreePage;
  ASSERT_NE(head, 0);
  // Find the chain's last page and link it back to the head.
  int32_t last = head;
  for (;;) {
    const int32_t next = GetI32(ReadFileBytes(index.file, int64_t{last} * 4096 + 7, 4).data());
    if (next == 0) break;
    last = next;
  }
  PatchFile(index.file, int64_t{last} * 4096 + 7, Le32(head));
  EXPECT_EQ(index.CheckCode(), VUZODE_INDEXCORRUPT);
  index.file.DiscardPages();
  std::set<uint32_t> handed;
  const uint16_t code = EngineCodeOf([&] {
    for (int i = 0; i < 100; ++i) {
      TPage* page = index.file.AllocatePage(0);
      ASSERT_TRUE(handed.insert(page->Number()).second) << "page handed out twice";
      page->Type = kPageRootLeaf;
      page->InsertCell(0, index.Key(i).data(), 1, 0);
    }
  });
  EXPECT_EQ(code, VUZODE_INDEXCORRUPT);
}

TEST(IndexFile, FreeChainHeadInUseIsRefused) {
  TFilledIndex index;
  index.file.Close();
  {
    TIndexFile raw;
    raw.SetFileName(index.file.FileName());
    raw.SetInMemory(true);
    raw.Open();
    PatchFile(raw, SlotOffset(0) + 90,
              Le32(GetI32(ReadFileBytes(raw, SlotOffset(0) + 86, 4).data())));
  }
  index.file.Open();
  EXPECT_EQ(EngineCodeOf([&] { index.file.AllocatePage(0); }), VUZODE_INDEXCORRUPT);
}

TEST(IndexFile, EncryptedPagesAreScrambledAndReadBack) {
  TTestIndexFile table(MakeFields({{kFieldLargeInt, 0}}));
  table.file.SetEncrypted(true);
  table.file.DefinePrimaryIndex(MakeIndex("", {1}, true));
  TBTree tree(table.file, 0);
  for (int i = 0; i < 1000; ++i) {
    IndexKey key(9);
    key.Bytes[0] = 1;
    EncodeInt64Key(i, key.data() + 1);
    tree.InsertKey(key.data(), i);
  }
  table.Reopen();
  EXPECT_NE(ReadFileBytes(table.file, 8, 1)[0], kIndexFormatVersion);
  EXPECT_EQ(tree.Count(), 1000);
  CheckIndexFile(table.file, {.RequireAllPagesAccounted = true});
}

TEST(IndexFile, DefinitionsAreCheckedAndRemovalShiftsSlots) {
  TTestIndexFile table(MakeFields({{kFieldInteger, 0}, {kFieldBlob, 0}, {kFieldString, 10}}));
  TIndexFile& file = table.file;
  file.DefinePrimaryIndex(MakeIndex("", {1}, true));
  EXPECT_EQ(file.Descriptor(0).KeyLength, 5);
  EXPECT_EQ(EngineCodeOf([&] { file.DefinePrimaryIndex(MakeIndex("", {1}, true)); }),
            VUZODE_PRIMARYKEYREDEFINE);
  EXPECT_EQ(EngineCodeOf([&] { file.AddSecondaryIndex(MakeIndex(" ", {3}, false)); }),
            VUZODE_INDEXNAMEREQUIRED);
  EXPECT_EQ(EngineCodeOf([&] { file.AddSecondaryIndex(MakeIndex("1st", {3}, false)); }),
            VUZODE_INVALIDINDEXNAME);
  EXPECT_EQ(EngineCodeOf([&] { file.AddSecondaryIndex(MakeIndex("ByBlob", {2}, false)); }),
            VUZODE_SEARCHCOLREQD);
  file.AddSecondaryIndex(MakeIndex("ByName", {3}, false));
  EXPECT_EQ(file.Descriptor(1).KeyLength, 11 + 1 + 4);
  EXPECT_EQ(EngineCodeOf([&] { file.AddSecondaryIndex(MakeIndex("byname ", {1}, false)); }),
            VUZODE_INDEXEXISTS);
  for (int i = 2; i <= 30; ++i)
    file.AddSecondaryIndex(MakeIndex("I" + std::to_string(i), {1}, i % 2));
  EXPECT_EQ(EngineCodeOf([&] { file.AddSecondaryIndex(MakeIndex("Extra", {1}, false)); }),
            VUZODE_INDEXLIMIT);
  EXPECT_TRUE(file.FindIndexName("i7"));
  file.RemoveIndex(1, true);
  EXPECT_EQ(file.Header().SecondaryIndexCount, 29);
  EXPECT_EQ(file.Descriptor(1).Name, "I2");
  EXPECT_FALSE(file.FindIndexName("ByName"));
  EXPECT_EQ(file.Descriptor(kDeletedSlot).Name, "Sys Deleted");
  table.Reopen();
  EXPECT_EQ(EngineCodeOf([&] { file.VerifyStructure(); }), 0);
}

}  // namespace
