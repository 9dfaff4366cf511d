// TDataFile round trips: header, descriptor and record bytes against hand-worked layouts, every
// field type plain and encrypted through close and reopen, the deleted-record chain, row ids,
// emptying, the creation limits and the record cache's figures.
#include "db/storage/data/data_file.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

#include "db/engine/errors/engine_error.h"
#include "db/storage/files/file_list.h"
#include "tests/db/storage/data/data_file_test_util.h"
#include "tests/db/storage/engine_code.h"

namespace {

std::string TestFileName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string("mem_") + info->test_suite_name() + "_" + info->name() + ".DAT";
}

// Creates a table of fields in memory and writes its header and descriptors.
void CreateTable(TDataFile& file, const std::string& name, std::vector<FieldDescriptor> fields,
                 bool encrypted = false) {
  file.SetFileName(name);
  file.SetInMemory(true);
  TDataFileDefinition def;
  def.Fields = std::move(fields);
  for (size_t i = 0; i < def.Fields.size(); ++i) {
    def.Fields[i].FieldNumber = static_cast<uint16_t>(i + 1);
  }
  def.Encrypted = encrypted;
  def.Password = encrypted ? "secret" : "";
  def.Description = "hi";
  file.InitializeHeader(def);
  file.WriteHeader(false);
  file.WriteDescriptors();
}

void Reopen(TDataFile& file) {
  file.Close();
  file.Open();
}

// Inserts a record with row id and one small integer value in field 1.
uint32_t InsertSmall(TDataFile& file, int64_t value) {
  TRecord r = file.AllocateRecord();
  r.Initialize(true);
  r.SetInteger(file.Descriptor(1), value);
  const uint32_t n = r.Number();
  file.Unpin(r);
  return n;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t at, size_t n) {
  return {v.begin() + at, v.begin() + at + n};
}

std::vector<uint8_t> ScrambledByHand(std::vector<uint8_t> bytes, uint8_t k1, uint8_t k2) {
  for (uint8_t& b : bytes) {
    b = static_cast<uint8_t>(b ^ k1 ^ k2);
    ++k1;
    --k2;
  }
  return bytes;
}

using Bytes = std::vector<uint8_t>;

TEST(DataFile, BytesOnDiskMatchTheHandWorkedLayout) {
  const std::string name = TestFileName();
  TDataFile file;
  CreateTable(file, name, {Field("A", kFieldSmallInt, 9)});
  EXPECT_EQ(file.RecordSize(), 12);
  InsertSmall(file, -2);
  file.FlushRecords();
  file.WriteHeader(false);
  file.Close();

  const std::vector<uint8_t> bytes = ReadFileBytes(name);
  ASSERT_EQ(bytes.size(), 127u + 768u + 12u);
  // ChangeCount 2 (two header writes), block size 0, version 5, chain 0, next record 2,
  // last row id 1, record size 12, one field, no BLOB field.
  EXPECT_EQ(Slice(bytes, 0, 27), (Bytes{2, 0, 0, 0, 0, 0, 0, 0,  5, 0, 0, 0, 0, 2,
                                        0, 0, 0, 1, 0, 0, 0, 12, 0, 1, 0, 0, 0}));
  EXPECT_EQ(Slice(bytes, 35, 3), (Bytes{2, 'h', 'i'}));
  EXPECT_EQ(bytes[86], 0);  // not encrypted
  EXPECT_EQ(bytes[87], 0);  // no password
  EXPECT_EQ(Slice(bytes, 116, 11), (Bytes{0xE8, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0}));  // 33000
  // Descriptor: number 1, name "A", type 5, stored length 2, offset 9.
  EXPECT_EQ(Slice(bytes, 127, 4), (Bytes{1, 0, 1, 'A'}));
  EXPECT_EQ(bytes[127 + 84], 5);
  EXPECT_EQ(bytes[127 + 88], 2);
  EXPECT_EQ(Slice(bytes, 127 + 90, 2), (Bytes{9, 0}));
  // Record 1: active, number 1, row id 1, indicator, -2.
  EXPECT_EQ(Slice(bytes, 895, 12), (Bytes{0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0xFE, 0xFF}));
  // LastUpdated lies between 1990 and 2200 in its shifted form.
  TDataFileHeader header;
  ASSERT_TRUE(DecodeDataFileHeader(bytes.data(), header));
  EXPECT_GT(header.LastUpdated, 32874.0 - 693594);
  EXPECT_LT(header.LastUpdated, 109575.0 - 693594);
}

TEST(DataFile, EncryptedTableScramblesRecordsDescriptorsAndTexts) {
  const std::string name = TestFileName();
  TDataFile file;
  CreateTable(file, name, {Field("A", kFieldSmallInt, 9)}, true);
  InsertSmall(file, -2);
  file.FlushRecords();
  file.WriteHeader(false);
  file.Close();

  const std::vector<uint8_t> bytes = ReadFileBytes(name);
  EXPECT_EQ(bytes[86], 1);
  // Texts: characters scrambled from (0xB6, 0x2D), length bytes plain.
  EXPECT_EQ(Slice(bytes, 35, 3), (Bytes{2, 0xF3, 0xF2}));
  EXPECT_EQ(bytes[87], 6);
  EXPECT_EQ(Slice(bytes, 88, 6), ScrambledByHand({'s', 'e', 'c', 'r', 'e', 't'}, 0xB6, 0x2D));
  // The descriptor block is one unit from (0x6B, 0x1D); so is each record.
  EXPECT_EQ(Slice(bytes, 127, 4), ScrambledByHand({1, 0, 1, 'A'}, 0x6B, 0x1D));
  EXPECT_EQ(Slice(bytes, 895, 12),
            ScrambledByHand({0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0xFE, 0xFF}, 0x6B, 0x1D));

  file.Open();
  EXPECT_EQ(file.Description(), "hi");
  EXPECT_EQ(file.TablePassword(), "secret");
  EXPECT_EQ(file.Descriptor(1).Name, "A");
  TRecord r = file.FetchRecord(1);
  int64_t value = 0;
  ASSERT_TRUE(r.GetInteger(file.Descriptor(1), value));
  EXPECT_EQ(value, -2);
  file.Unpin(r);
}

class EveryType : public ::testing::TestWithParam<bool> {};

TEST_P(EveryType, ValuesAndDescriptorsSurviveCloseAndReopen) {
  const bool encrypted = GetParam();
  const std::string name = TestFileName() + (encrypted ? "e" : "p");
  TDataFile file;
  std::vector<FieldDescriptor> fields = EveryTypeFields();
  fields[0].MinValue = "a";
  fields[0].DefaultValue = "zz";
  fields[0].Required = true;
  fields[0].CharCase = kCaseUpper;
  fields[0].Description = "the name";
  CreateTable(file, name, fields, encrypted);
  const auto& d = [&](const char* field) -> const FieldDescriptor& {
    return file.Descriptor(file.FieldNumber(field));
  };
  for (int i = 0; i < 40; ++i) {  // more than one read-ahead of records
    TRecord r = file.AllocateRecord();
    r.Initialize(true);
    r.SetString(d("name"), "row" + std::to_string(i));
    r.SetInteger(d("BORN"), 700000 + i);
    r.SetBlob(d("NOTES"), {i, i * 2});
    r.SetInteger(d("OK"), i % 2);
    r.SetInteger(d("SMALL"), -i);
    r.SetInteger(d("COUNT"), i * 100000);
    r.SetFloat(d("PRICE"), i / 4.0);
    const std::vector<uint8_t> bcd(34, static_cast<uint8_t>(i));
    r.SetBytes(d("AMOUNT"), bcd);
    const uint8_t raw[] = {1, 2, static_cast<uint8_t>(i)};
    r.SetBytes(d("RAW"), raw);
    r.SetInteger(d("AT"), i * 1000);
    r.SetFloat(d("STAMP"), 700000.0 * 86400000 + i);
    r.SetInteger(d("W"), 65535 - i);
    r.SetInteger(d("I32"), -i * 7);
    r.SetBytes(d("INTERNAL"), std::vector<uint8_t>(10, 9));
    if (i % 3 != 0) r.SetBytes(d("VAR"), raw);  // every third row leaves it null
    r.SetInteger(d("BIG"), (int64_t{1} << 50) + i);
    file.Unpin(r);
  }
  file.FlushRecords();
  file.WriteHeader(false);
  Reopen(file);
  file.VerifyStructure();
  EXPECT_EQ(file.RecordCount(), 40u);
  EXPECT_EQ(file.LastRowId(), 40);
  EXPECT_EQ(file.BlobFieldCount(), 1);
  EXPECT_EQ(file.Descriptors().size(), fields.size());
  EXPECT_EQ(d("NAME").MinValue, "a");
  EXPECT_EQ(d("NAME").DefaultValue, "zz");
  EXPECT_TRUE(d("NAME").Required);
  EXPECT_EQ(d("NAME").CharCase, kCaseUpper);
  EXPECT_EQ(d("NAME").Description, "the name");
  EXPECT_EQ(d("AMOUNT").Scale, 2);
  EXPECT_EQ(d("ID").Offset, kRowIdOffset);
  for (int i = 39; i >= 0; --i) {  // backwards, to read ahead in the other direction
    TRecord r = file.FetchRecord(static_cast<uint32_t>(i + 1), false, true);
    ASSERT_TRUE(r.Valid());
    std::string s;
    int64_t v = 0;
    double f = 0;
    std::vector<uint8_t> bytes;
    TBlobReference blob;
    ASSERT_TRUE(r.GetString(d("NAME"), s));
    EXPECT_EQ(s, "row" + std::to_string(i));
    ASSERT_TRUE(r.GetInteger(d("ID"), v));
    EXPECT_EQ(v, i + 1);
    ASSERT_TRUE(r.GetInteger(d("BORN"), v));
    EXPECT_EQ(v, 700000 + i);
    ASSERT_TRUE(r.GetBlob(d("NOTES"), blob));
    EXPECT_EQ(blob.FirstBlock, i);
    EXPECT_EQ(blob.Revision, i * 2);
    ASSERT_TRUE(r.GetInteger(d("OK"), v));
    EXPECT_EQ(v, i % 2);
    ASSERT_TRUE(r.GetInteger(d("SMALL"), v));
    EXPECT_EQ(v, -i);
    ASSERT_TRUE(r.GetInteger(d("COUNT"), v));
    EXPECT_EQ(v, i * 100000);
    ASSERT_TRUE(r.GetFloat(d("PRICE"), f));
    EXPECT_EQ(f, i / 4.0);
    ASSERT_TRUE(r.GetBytes(d("AMOUNT"), bytes));
    EXPECT_EQ(bytes, std::vector<uint8_t>(34, static_cast<uint8_t>(i)));
    ASSERT_TRUE(r.GetBytes(d("RAW"), bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, static_cast<uint8_t>(i)}));
    ASSERT_TRUE(r.GetInteger(d("AT"), v));
    EXPECT_EQ(v, i * 1000);
    ASSERT_TRUE(r.GetFloat(d("STAMP"), f));
    EXPECT_EQ(f, 700000.0 * 86400000 + i);
    ASSERT_TRUE(r.GetInteger(d("W"), v));
    EXPECT_EQ(v, 65535 - i);
    ASSERT_TRUE(r.GetInteger(d("I32"), v));
    EXPECT_EQ(v, -i * 7);
    ASSERT_TRUE(r.GetBytes(d("INTERNAL"), bytes));
    EXPECT_EQ(bytes, std::vector<uint8_t>(10, 9));
    EXPECT_EQ(r.IsNull(d("VAR")), i % 3 == 0);
    ASSERT_TRUE(r.GetInteger(d("BIG"), v));
    EXPECT_EQ(v, (int64_t{1} << 50) + i);
    file.Unpin(r);
  }
}

INSTANTIATE_TEST_SUITE_P(PlainAndEncrypted, EveryType, ::testing::Bool());

// Deletions after a clean header write, the chain through close and reopen, and the slots
// handed back last deleted first. The last record of the file is a chain member too: a link
// to it is as valid as any other.
TEST(DataFile, DeletedRecordsAreReusedLastDeletedFirstAcrossReopen) {
  const std::vector<std::vector<uint32_t>> orders = {{3, 7}, {8, 3}, {3, 8}, {8, 7, 1}};
  for (const std::vector<uint32_t>& order : orders) {
    SCOPED_TRACE(::testing::PrintToString(order));
    const std::string name = TestFileName();
    TDataFile file;
    CreateTable(file, name, {Field("A", kFieldSmallInt, 9)});
    for (int i = 1; i <= 8; ++i) InsertSmall(file, i);
    file.FlushRecords();
    ASSERT_TRUE(file.WriteHeader(false));
    ASSERT_FALSE(file.HeaderDirty());
    for (uint32_t n : order) {
      TRecord r = file.FetchRecord(n);
      file.FreeRecord(r);
      file.Unpin(r);
      EXPECT_TRUE(file.HeaderDirty()) << "delete of " << n;
      EXPECT_EQ(file.FirstFreeRecord(), static_cast<int32_t>(n));
    }
    file.FlushRecords();
    EXPECT_TRUE(file.WriteHeader(false));
    Reopen(file);
    EXPECT_EQ(file.FirstFreeRecord(), static_cast<int32_t>(order.back()));
    for (size_t i = order.size(); i-- > 1;) {
      TRecord r = file.FetchRecord(order[i]);
      EXPECT_TRUE(r.Deleted());
      EXPECT_EQ(r.Link(), static_cast<int32_t>(order[i - 1]));
      file.Unpin(r);
    }
    for (size_t i = order.size(); i-- > 0;) {
      uint32_t n = 0;
      EXPECT_EQ(EngineCodeOf([&] { n = InsertSmall(file, 100); }), 0);
      EXPECT_EQ(n, order[i]);
      EXPECT_EQ(file.FirstFreeRecord(), static_cast<int32_t>(i > 0 ? order[i - 1] : 0));
    }
    EXPECT_EQ(InsertSmall(file, 90), 9u);
    EXPECT_EQ(file.RecordCount(), 9u);
    // Row ids only grow: reused records get new ones.
    TRecord r = file.FetchRecord(order.front());
    EXPECT_EQ(r.RowId(), static_cast<int32_t>(8 + order.size()));
    EXPECT_EQ(r.Link(), 0);
    file.Unpin(r);
    file.Close();
    FileList().DeleteFile(name, true);
  }
}

class NoReuse : public TDataTableLink {
 public:
  bool ReuseDeleted() const override { return false; }
};

TEST(DataFile, WithoutReuseDeletionsStartNoChainAndInsertsAppend) {
  NoReuse link;
  TDataFile file(&link);
  CreateTable(file, TestFileName(), {Field("A", kFieldSmallInt, 9)});
  for (int i = 1; i <= 4; ++i) InsertSmall(file, i);
  for (uint32_t n : {2u, 3u}) {
    TRecord r = file.FetchRecord(n);
    file.FreeRecord(r);
    EXPECT_EQ(r.Link(), 0);
    file.Unpin(r);
  }
  EXPECT_EQ(file.FirstFreeRecord(), 3);
  EXPECT_EQ(InsertSmall(file, 5), 5u);
  EXPECT_EQ(file.FirstFreeRecord(), 0);
}

// Record cache figures as a table's session would give them.
class CacheFigures : public TDataTableLink {
 public:
  CacheFigures(uint32_t bytes, uint32_t records) : bytes_(bytes), records_(records) {}
  uint32_t DataCacheBytes() const override { return bytes_; }
  uint32_t MaxCachedRecords() const override { return records_; }

 private:
  uint32_t bytes_, records_;
};

TEST(DataFile, TheRecordCacheTakesTheLinksFiguresAtCreationAndTrimming) {
  // 12-byte records: 1200 bytes hold 100, unless the record count is the smaller figure.
  for (const auto& [bytes, records, capacity] :
       {std::tuple{1200u, 1000u, 100u}, std::tuple{1200u, 40u, 40u}}) {
    CacheFigures link(bytes, records);
    TDataFile file(&link);
    CreateTable(file, TestFileName(), {Field("A", kFieldSmallInt, 9)});
    EXPECT_EQ(file.RecordCache()->Capacity(), capacity);
    for (int i = 1; i <= 300; ++i) InsertSmall(file, i);
    file.FlushRecords();
    file.TrimRecords();
    EXPECT_EQ(file.RecordCache()->Count(), capacity);
    EXPECT_EQ(file.RecordCache()->Capacity(), capacity);
    file.Close();
    FileList().DeleteFile(file.FileName(), true);
  }
}

TEST(DataFile, FreeingADeletedRecordAgainIsRefused) {
  TDataFile file;
  CreateTable(file, TestFileName(), {Field("A", kFieldSmallInt, 9)});
  InsertSmall(file, 1);
  TRecord r = file.FetchRecord(1);
  file.FreeRecord(r);
  EXPECT_EQ(EngineCodeOf([&] { file.FreeRecord(r); }), VUZODE_KEYORRECDELETED);
  EXPECT_EQ(r.Link(), 0);  // no loop onto itself
  file.Unpin(r);
}

TEST(DataFile, RowIdsRaiseTableFullInsteadOfWrapping) {
  TDataFile file;
  CreateTable(file, TestFileName(), {Field("A", kFieldSmallInt, 9)});
  file.SetLastRowId(std::numeric_limits<int32_t>::max() - 1);
  EXPECT_EQ(file.NextRowId(), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(EngineCodeOf([&] { file.NextRowId(); }), VUZODE_TABLEFULL);
  EXPECT_EQ(file.LastRowId(), std::numeric_limits<int32_t>::max());
  file.NoteSuppliedRowId(5);  // a smaller supplied value leaves it
  EXPECT_EQ(file.LastRowId(), std::numeric_limits<int32_t>::max());
}

TEST(DataFile, EmptyFileKeepsHeaderAndDescriptorsOnly) {
  const std::string name = TestFileName();
  TDataFile file;
  CreateTable(file, name, {Field("A", kFieldSmallInt, 9)});
  for (int i = 1; i <= 5; ++i) InsertSmall(file, i);
  file.FlushRecords();
  file.EmptyFile();
  file.WriteHeader(false);
  EXPECT_EQ(file.RecordCount(), 0u);
  EXPECT_EQ(file.LastRowId(), 0);
  Reopen(file);
  file.VerifyStructure();  // a file of exactly header and descriptors
  EXPECT_EQ(ReadFileBytes(name).size(), 127u + 768u);
  EXPECT_EQ(InsertSmall(file, 1), 1u);
}

TEST(DataFile, CreationLimitsOnBlobFieldsAndRecordSize) {
  TDataFile file;
  file.SetInMemory(true);
  file.SetFileName(TestFileName());
  TDataFileDefinition def;
  uint16_t offset = 9;
  for (int i = 0; i < 128; ++i) {
    def.Fields.push_back(Field(("B" + std::to_string(i)).c_str(), kFieldBlob, offset));
    offset = static_cast<uint16_t>(offset + 9);
  }
  EXPECT_EQ(EngineCodeOf([&] { file.InitializeHeader(def); }), 0);
  def.Fields.push_back(Field("B128", kFieldBlob, offset));
  file.Close();
  EXPECT_EQ(EngineCodeOf([&] { file.InitializeHeader(def); }), VUZODE_BLOBLIMIT);

  def.Fields.clear();
  offset = 9;
  for (int i = 0; i < 260; ++i) {
    def.Fields.push_back(Field(("S" + std::to_string(i)).c_str(), kFieldString, offset, 250));
    offset = static_cast<uint16_t>(offset + 252);
  }
  // 9 + 260 * 252 = 65529; a 5-byte bytes field (6 bytes in the record) makes 65535.
  def.Fields.push_back(Field("T", kFieldBytes, offset, 5));
  file.Close();
  EXPECT_EQ(EngineCodeOf([&] { file.InitializeHeader(def); }), 0);
  EXPECT_EQ(file.RecordSize(), 65535);
  def.Fields.back() = Field("T", kFieldBytes, offset, 6);
  file.Close();
  EXPECT_EQ(EngineCodeOf([&] { file.InitializeHeader(def); }), VUZODE_RECTOOBIG);
}

TEST(DataFile, RereadHeaderSeesAnotherHandlesWrite) {
  const std::string name = TestFileName();
  TDataFile writer;
  CreateTable(writer, name, {Field("A", kFieldSmallInt, 9)});
  writer.Close();
  writer.Open();
  TDataFile reader;
  reader.SetInMemory(true);
  reader.SetFileName(name);
  reader.Open();
  EXPECT_FALSE(reader.RereadHeader());
  InsertSmall(writer, 1);
  writer.FlushRecords();
  writer.WriteHeader(false);
  EXPECT_TRUE(reader.RereadHeader());
  EXPECT_EQ(reader.RecordCount(), 1u);
  TRecord r = reader.FetchRecord(1);
  int64_t v = 0;
  ASSERT_TRUE(r.GetInteger(reader.Descriptor(1), v));
  EXPECT_EQ(v, 1);
  reader.Unpin(r);
}

TEST(DataFile, ChangeCountWrapsAtItsLimit) {
  const std::string name = TestFileName();
  TDataFile file;
  CreateTable(file, name, {Field("A", kFieldSmallInt, 9)});
  file.Close();
  std::vector<uint8_t> bytes = ReadFileBytes(name);
  bytes[0] = bytes[1] = bytes[2] = 0xFF;
  bytes[3] = 0x7F;
  WriteFileBytes(name, bytes);
  file.Open();
  file.WriteHeader(true);
  EXPECT_EQ(file.ChangeCount(), std::numeric_limits<int32_t>::min());
}

TEST(DataFile, FieldLookupIgnoresCaseAndAFailedOpenLeavesTheFileClosed) {
  const std::string name = TestFileName();
  TDataFile file;
  CreateTable(file, name, EveryTypeFields());
  EXPECT_EQ(file.FieldNumber("price"), 8);
  EXPECT_EQ(file.FieldNumber("nothing"), 0);
  file.Close();
  SetByte(name, 8, 4);
  EXPECT_EQ(EngineCodeOf([&] { file.Open(); }), VUZODE_OLDVERSION);
  EXPECT_FALSE(file.Opened());
  // Nothing holds the file: it can be recreated.
  EXPECT_EQ(EngineCodeOf([&] { WriteFileBytes(name, {}); }), 0);
}

}  // namespace
