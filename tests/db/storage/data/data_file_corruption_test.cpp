// Damaged data files: single changed bytes and truncations of the header, descriptors and
// records, and broken deleted-record chains, each reported as a corrupt file naming the table —
// never a crash and never a record handed out twice.
#include <gtest/gtest.h>

#include <set>

#include "db/engine/errors/engine_error.h"
#include "db/storage/data/data_file.h"
#include "db/storage/le_codec.h"
#include "tests/db/storage/data/data_file_test_util.h"
#include "tests/db/storage/engine_code.h"

namespace {

constexpr size_t kDescriptors = 127;  // where descriptor 1 starts

std::string TestFileName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string("mem_") + info->test_suite_name() + "_" + info->name() + ".DAT";
}

class NamedTable : public TDataTableLink {
 public:
  std::string_view TableName() const override { return "customers"; }
};

// A table of two fields (a 4-character string and a small integer) holding rows records, the
// records deleted in order (the last one heads the chain).
void MakeTable(const std::string& name, int rows, std::vector<uint32_t> deleted = {}) {
  TDataFile file;
  file.SetFileName(name);
  file.SetInMemory(true);
  TDataFileDefinition def;
  def.Fields = {Field("NAME", kFieldString, 9, 4), Field("N", kFieldSmallInt, 15)};
  def.Fields[0].FieldNumber = 1;
  def.Fields[1].FieldNumber = 2;
  file.InitializeHeader(def);
  for (int i = 0; i < rows; ++i) {
    TRecord r = file.AllocateRecord();
    r.Initialize(true);
    r.SetString(file.Descriptor(1), "r" + std::to_string(i));
    r.SetInteger(file.Descriptor(2), i);
    file.Unpin(r);
  }
  for (uint32_t n : deleted) {
    TRecord r = file.FetchRecord(n);
    file.FreeRecord(r);
    file.Unpin(r);
  }
  file.FlushRecords();
  file.WriteHeader(true);
  file.WriteDescriptors();
}

constexpr size_t kRecordSize = 9 + 6 + 3;
constexpr size_t kFirstRecord = 127 + 2 * 768;

// Opens and verifies name; the engine code raised, 0 when none.
uint16_t OpenAndVerify(const std::string& name) {
  NamedTable link;
  TDataFile file(&link);
  file.SetFileName(name);
  file.SetInMemory(true);
  return EngineCodeOf([&] {
    file.Open();
    file.VerifyStructure();
  });
}

struct ByteCase {
  const char* what;
  size_t offset;
  int delta;  // added to the byte
  uint16_t expected;
};

TEST(DataFileCorruption, SingleChangedBytesAreReportedCorrupt) {
  const ByteCase cases[] = {
      {"format version", 8, 1, VUZODE_OLDVERSION},
      {"first free record past the end", 9, 9, VUZODE_HEADERCORRUPT},
      {"first free record negative", 12, 0x80, VUZODE_HEADERCORRUPT},
      {"record count past the file", 13, 1, VUZODE_HEADERCORRUPT},
      {"record count smaller than the file", 13, -1, VUZODE_HEADERCORRUPT},
      {"record count zero", 13, -4, VUZODE_HEADERCORRUPT},
      {"last row id negative", 20, 0x80, VUZODE_HEADERCORRUPT},
      {"record size", 21, 1, VUZODE_HEADERCORRUPT},
      {"record size below its header", 21, -10, VUZODE_HEADERCORRUPT},
      {"field count", 23, 1, VUZODE_HEADERCORRUPT},
      {"field count over 1024", 24, 4, VUZODE_HEADERCORRUPT},
      {"BLOB field count", 25, 1, VUZODE_HEADERCORRUPT},
      {"description length", 35, 60, VUZODE_HEADERCORRUPT},
      {"encryption flag", 86, 2, VUZODE_HEADERCORRUPT},
      {"password length", 87, 16, VUZODE_HEADERCORRUPT},
      {"field number", kDescriptors + 0, 1, VUZODE_HEADERCORRUPT},
      {"name length", kDescriptors + 2, 40, VUZODE_HEADERCORRUPT},
      {"name starting with a digit", kDescriptors + 3, '1' - 'N', VUZODE_HEADERCORRUPT},
      {"field description length", kDescriptors + 33, 51, VUZODE_HEADERCORRUPT},
      {"type code 16", kDescriptors + 84, 15, VUZODE_HEADERCORRUPT},
      {"type code 0", kDescriptors + 84, -1, VUZODE_HEADERCORRUPT},
      {"string size", kDescriptors + 86, 1, VUZODE_HEADERCORRUPT},
      {"string size over 250", kDescriptors + 86, 247, VUZODE_HEADERCORRUPT},
      {"scale on a string", kDescriptors + 87, 1, VUZODE_HEADERCORRUPT},
      {"field offset past the record", kDescriptors + 768 + 90, 3, VUZODE_HEADERCORRUPT},
      {"field offset with a gap", kDescriptors + 90, 1, VUZODE_HEADERCORRUPT},
      {"field offset high byte", kDescriptors + 768 + 91, 1, VUZODE_HEADERCORRUPT},
      {"computed flag on disk", kDescriptors + 247, 1, VUZODE_HEADERCORRUPT},
      {"minimum text length", kDescriptors + 94, 51, VUZODE_HEADERCORRUPT},
      {"maximum text length", kDescriptors + 145, 51, VUZODE_HEADERCORRUPT},
      {"default text length", kDescriptors + 196, 60, VUZODE_HEADERCORRUPT},
      // Values the format does not interpret, or recomputes, are harmless.
      {"stored length byte", kDescriptors + 88, 7, 0},
      {"unused descriptor tail", kDescriptors + 500, 1, 0},
      {"reserved header bytes", 125, 1, 0},
  };
  for (const ByteCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = TestFileName();
    MakeTable(name, 3, {2});
    IncrementByte(name, c.offset, c.delta);
    EXPECT_EQ(OpenAndVerify(name), c.expected);
    if (c.expected != 0) {
      EXPECT_EQ(EngineErrorItem(kErrorItemTable), "customers");
    }
  }
}

TEST(DataFileCorruption, DuplicateFieldNamesAreRejected) {
  const std::string name = TestFileName();
  MakeTable(name, 1);
  std::vector<uint8_t> bytes = ReadFileBytes(name);
  bytes[kDescriptors + 768 + 2] = 4;  // second name "N" becomes "name"
  const char* lower = "name";
  std::copy(lower, lower + 4, bytes.begin() + kDescriptors + 768 + 3);
  WriteFileBytes(name, bytes);
  EXPECT_EQ(OpenAndVerify(name), VUZODE_HEADERCORRUPT);
}

TEST(DataFileCorruption, TruncationsAreReported) {
  struct Cut {
    const char* what;
    size_t bytes;
    uint16_t expected;
  };
  const Cut cuts[] = {
      {"part of the last record", 1, VUZODE_HEADERCORRUPT},
      {"the last record", kRecordSize, VUZODE_HEADERCORRUPT},
      {"all records", 3 * kRecordSize, VUZODE_HEADERCORRUPT},
      {"into the descriptors", 3 * kRecordSize + 100, VUZODE_HEADERCORRUPT},
      {"into the header", kFirstRecord + 3 * kRecordSize - 100, VUZODE_READERR},
  };
  for (const Cut& c : cuts) {
    SCOPED_TRACE(c.what);
    const std::string name = TestFileName();
    MakeTable(name, 3);
    ShrinkSize(name, c.bytes);
    EXPECT_EQ(OpenAndVerify(name), c.expected);
  }
}

TEST(DataFileCorruption, ExtraBytesAfterTheRecordsFailOnlyTheFullCheck) {
  const std::string name = TestFileName();
  MakeTable(name, 2);
  std::vector<uint8_t> bytes = ReadFileBytes(name);
  bytes.push_back(0);
  WriteFileBytes(name, bytes);
  TDataFile file;
  file.SetFileName(name);
  file.SetInMemory(true);
  EXPECT_EQ(EngineCodeOf([&] { file.Open(); }), 0);
  EXPECT_EQ(EngineCodeOf([&] { file.VerifyStructure(); }), VUZODE_HEADERCORRUPT);
}

// Sets the chain link stored in record n.
void SetLink(const std::string& name, uint32_t n, int32_t link) {
  std::vector<uint8_t> bytes = ReadFileBytes(name);
  PutI32(bytes.data() + kFirstRecord + (n - 1) * kRecordSize + 1, link);
  WriteFileBytes(name, bytes);
}

// Allocates until the chain is used up or an error is raised; returns the code (0 when none) and
// fills handed with the records handed out.
uint16_t AllocateAll(const std::string& name, std::vector<uint32_t>& handed) {
  TDataFile file;
  file.SetFileName(name);
  file.SetInMemory(true);
  return EngineCodeOf([&] {
    file.Open();
    const uint32_t records = file.RecordCount();
    for (uint32_t i = 0; i < records + 2; ++i) {
      TRecord r = file.AllocateRecord();
      handed.push_back(r.Number());
      file.Unpin(r);
    }
  });
}

TEST(DataFileCorruption, BrokenDeletedChainsNeverHandARecordOutTwice) {
  struct ChainCase {
    const char* what;
    uint32_t record;
    int32_t link;
  };
  // Records 2, 4 and 5 deleted in that order: chain 5 -> 4 -> 2.
  const ChainCase cases[] = {
      {"link to a record in use", 4, 3}, {"link to itself", 4, 4}, {"loop back to the head", 2, 5},
      {"link past the end", 4, 9},       {"negative link", 4, -1},
  };
  for (const ChainCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = TestFileName();
    MakeTable(name, 6, {2, 4, 5});
    SetLink(name, c.record, c.link);
    std::vector<uint32_t> handed;
    EXPECT_EQ(AllocateAll(name, handed), VUZODE_FILECORRUPT);
    EXPECT_EQ(std::set<uint32_t>(handed.begin(), handed.end()).size(), handed.size());
    for (uint32_t n : handed) EXPECT_TRUE(n == 2 || n == 4 || n == 5 || n > 6) << n;
  }
  const std::string name = TestFileName();
  MakeTable(name, 6, {2, 4, 5});
  std::vector<uint32_t> handed;
  EXPECT_EQ(AllocateAll(name, handed), 0);
  EXPECT_EQ(handed, (std::vector<uint32_t>{5, 4, 2, 7, 8, 9, 10, 11}));
}

TEST(DataFileCorruption, ChainHeadOnARecordInUseIsCorrupt) {
  const std::string name = TestFileName();
  MakeTable(name, 3);
  IncrementByte(name, 9, 2);  // FirstFreeRecord 0 -> 2, an active record
  std::vector<uint32_t> handed;
  EXPECT_EQ(AllocateAll(name, handed), VUZODE_FILECORRUPT);
  EXPECT_TRUE(handed.empty());
}

// Every byte of the header and descriptors changed in turn: opening, verifying and reading all
// records either works or raises an engine error.
TEST(DataFileCorruption, EveryHeaderAndDescriptorByteIsSafeToDamage) {
  const std::string name = TestFileName();
  MakeTable(name, 3, {1});
  const std::vector<uint8_t> good = ReadFileBytes(name);
  for (size_t offset = 0; offset < kFirstRecord; ++offset) {
    for (int delta : {1, 0x80}) {
      std::vector<uint8_t> bytes = good;
      bytes[offset] = static_cast<uint8_t>(bytes[offset] + delta);
      WriteFileBytes(name, bytes);
      TDataFile file;
      file.SetFileName(name);
      file.SetInMemory(true);
      try {
        file.Open();
        for (uint32_t n = 1; n <= file.RecordCount(); ++n) {
          TRecord r = file.FetchRecord(n);
          for (const FieldDescriptor& d : file.Descriptors()) r.IsNull(d);
          file.Unpin(r);
        }
        file.VerifyStructure();
      } catch (const EVUZODEEngineError&) {
      }
    }
  }
}

}  // namespace
