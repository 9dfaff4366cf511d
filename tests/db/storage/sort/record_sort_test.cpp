// SortRecords by example: groups with HAVING and TOP on both paths, the run files a sort creates
// and removes, and failures of the data file and the run files (read and write faults, a full
// disk, a run file that cannot be created), after which no run file may remain. The
// ordering rules themselves are checked against a model in sort_model_test.cpp.
#include "db/storage/sort/record_sort.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "db/engine/errors/engine_error.h"
#include "db/storage/le_codec.h"
#include "platform/os/fault_injection.h"
#include "tests/db/storage/engine_code.h"
#include "tests/db/storage/files/test_support.h"
#include "tests/db/storage/sort/sort_test_util.h"

namespace {

using sort_test::TImage;

const std::vector<FieldDescriptor> kFields =
    sort_test::Fields({{"K", kFieldInteger}, {"CNT", kFieldInteger}});
const FieldDescriptor& kK = kFields[0];
const FieldDescriptor& kCnt = kFields[1];

std::unique_ptr<TDataFile> Table(const std::string& name, const std::vector<int32_t>& keys,
                                 bool inMemory = true) {
  auto file = sort_test::NewTable({name, inMemory, kFields});
  for (const int32_t k : keys) {
    TRecord r = file->AllocateRecord();
    r.Initialize(true);
    r.SetInteger(kK, k);
    file->Unpin(r);
  }
  return file;
}

// The stored rows as "K/CNT@row id" texts; the record number must equal the row id.
std::vector<std::string> Rows(TDataFile& file) {
  std::vector<std::string> texts;
  for (const TImage& image : sort_test::StoredRecords(file)) {
    int64_t k = 0, count = 0;
    GetFieldInteger(image, kK, k);
    GetFieldInteger(image, kCnt, count);
    const int32_t rowId = GetI32(image.data() + kRowIdOffset);
    EXPECT_EQ(GetI32(image.data() + 1), rowId);
    texts.push_back(std::to_string(k) + "/" + std::to_string(count) + "@" + std::to_string(rowId));
  }
  return texts;
}

// GROUP BY K with CNT counting the group's records, HAVING keep(CNT), TOP limit.
struct TScenario {
  const char* What;
  std::vector<int32_t> Keys;
  int64_t Limit;
  bool (*Keep)(int64_t count);
  std::vector<std::string> Expected;
  std::vector<int64_t> HavingSees;  // the counts AcceptRow is shown, in order
};

const TScenario kScenarios[] = {
    {"a rejected group leaves no row and the next one takes its place and row id",
     {1, 2, 2, 1, 3, 2, 3},
     -1,
     [](int64_t n) { return n != 2; },
     {"2/3@1"},
     {2, 3, 2}},
    // The limit counts complete, accepted groups: the second row is group 3 with all its
    // records, and HAVING never sees a group before it is complete.
    {"TOP 2 GROUP BY keeps two complete accepted groups",
     {1, 1, 1, 2, 3, 3, 4, 4, 4},
     2,
     [](int64_t n) { return n >= 2; },
     {"1/3@1", "3/2@2"},
     {3, 1, 2}},
    {"a limit of 0 keeps no row", {1, 2}, 0, [](int64_t) { return true; }, {}, {}},
};

// In memory, and through runs of one record, whose output buffer holds one row: an open group's
// row must stay out of the file until its group ends.
TEST(RecordSort, GroupsHavingAndLimitsOnBothPaths) {
  for (const TScenario& s : kScenarios) {
    for (const bool cached : {true, false}) {
      SCOPED_TRACE(std::string(s.What) + (cached ? ", in memory" : ", through runs"));
      auto file = Table(std::string("groups_") + (cached ? "m" : "r") + ".DAT", s.Keys);
      if (!cached) sort_test::Uncache(*file);
      std::vector<int64_t> seen;
      TSortRequest request;
      request.Fields = {{kK, false}};
      request.Limit = s.Limit;
      request.AccumulateRow = [](bool starts, TConstRecordImage, TRecordImage row) {
        int64_t count = 0;
        if (!starts) GetFieldInteger(row, kCnt, count);
        SetFieldInteger(row, kCnt, count + 1);
      };
      request.AcceptRow = [&](TConstRecordImage row) {
        int64_t count = 0;
        GetFieldInteger(row, kCnt, count);
        seen.push_back(count);
        return s.Keep(count);
      };
      TSortOptions options;
      options.PrivateDirectory = "groups";
      options.MaxRunRecords = cached ? 8192 : 1;
      EXPECT_EQ(SortRecords(*file, request, options), s.Expected.size());
      EXPECT_EQ(Rows(*file), s.Expected);
      EXPECT_EQ(file->Header().NextRecordNumber, static_cast<int32_t>(s.Expected.size() + 1));
      EXPECT_EQ(seen, s.HavingSees);
      const std::string name = file->FileName();
      file->Close();
      FileList().DeleteFile(name, true);
    }
  }
}

// Run files on disk, with the file layer's counters and faults.
class RecordSortFiles : public ::testing::Test {
 protected:
  // A disk table of count records with K descending, uncached.
  std::unique_ptr<TDataFile> DiskTable(uint32_t count) {
    std::vector<int32_t> keys;
    for (uint32_t i = 0; i < count; ++i) keys.push_back(static_cast<int32_t>(count - i));
    auto file = Table(dir_ / "t.DAT", keys, false);
    sort_test::Uncache(*file);
    return file;
  }

  size_t RunFilesLeft() const {
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      n += entry.path().extension() == ".TMP" ? 1 : 0;
    }
    return n;
  }

  TSortRequest ByK() const {
    TSortRequest request;
    request.Fields = {{kK, false}};
    return request;
  }

  files_test::TTempDir dir_;
  TSortOptions options_{dir_.Path(), 4, 1048576, 128};
};

TEST_F(RecordSortFiles, TwoRunsAndOneRecordMakeThreeRunsInARunFileThatIsRemoved) {
  auto file = DiskTable(2 * 4 + 1);
  platform::TFileFaultPlan plan;
  plan.path_filter = ".TMP";
  {
    platform::TScopedFileFaults count(plan);
    EXPECT_EQ(SortRecords(*file, ByK(), options_), 9u);
  }
  EXPECT_EQ(plan.opens, 1u) << "one run file";
  EXPECT_EQ(plan.writes, 3u) << "one write per run";
  EXPECT_EQ(plan.reads, 9u) << "three runs share buffers of m = 4 entries: one entry per read";
  EXPECT_EQ(RunFilesLeft(), 0u);
  EXPECT_EQ(Rows(*file).front(), "1/0@1");
  EXPECT_EQ(Rows(*file).back(), "9/0@9");
}

TEST_F(RecordSortFiles, AnEmptyOrSmallTableCreatesNoRunFile) {
  for (const uint32_t count : {0u, 4u}) {
    auto file = DiskTable(count);
    platform::TFileFaultPlan plan;
    plan.path_filter = ".TMP";
    platform::TScopedFileFaults faults(plan);
    EXPECT_EQ(SortRecords(*file, ByK(), options_), count);
    EXPECT_EQ(plan.opens, 0u);
    EXPECT_EQ(file->RecordCount(), count);
    file->Close();
    std::filesystem::remove(dir_ / "t.DAT");
  }
}

// 21 records in runs of 4: six runs, written by writes 1-6 to the run file (open 1); with
// passes of two runs, the first pass file is open 2 and is written from write 7 on.
TEST_F(RecordSortFiles, FailuresRaiseAndLeaveNoRunFile) {
  struct TFault {
    const char* What;
    const char* Filter;
    uint64_t ReadAt, WriteAt, FullFrom, OpenAt;
    uint32_t MergeRuns;
    uint16_t Code;
  };
  const TFault faults[] = {
      {"a run read fails", ".TMP", 2, 0, 0, 0, 128, VUZODE_READERR},
      {"a run write fails", ".TMP", 0, 3, 0, 0, 128, VUZODE_WRITEERR},
      {"the disk fills while runs are written", ".TMP", 0, 0, 2, 0, 128, VUZODE_WRITEERR},
      {"the disk fills during a merge pass", ".TMP", 0, 0, 7, 0, 2, VUZODE_WRITEERR},
      {"a merge pass read fails", ".TMP", 5, 0, 0, 0, 2, VUZODE_READERR},
      {"the run file cannot be created", ".TMP", 0, 0, 0, 1, 128, VUZODE_OSEMFILE},
      {"a merge pass file cannot be created", ".TMP", 0, 0, 0, 2, 2, VUZODE_OSEMFILE},
      {"the data file read fails", "t.DAT", 2, 0, 0, 0, 128, VUZODE_READERR},
      {"the disk fills while the output is written", "t.DAT", 0, 0, 1, 0, 128, VUZODE_WRITEERR},
  };
  for (const TFault& fault : faults) {
    SCOPED_TRACE(fault.What);
    auto file = DiskTable(21);
    const size_t registered = FileList().Count();
    platform::TFileFaultPlan plan;
    plan.path_filter = fault.Filter;
    plan.fail_read_at = fault.ReadAt;
    plan.read_error = EIO;
    plan.fail_write_at = fault.WriteAt;
    plan.write_error = EIO;
    plan.disk_full_from = fault.FullFrom;
    plan.fail_open_at = fault.OpenAt;
    plan.open_error = EMFILE;
    TSortOptions options = options_;
    options.MaxMergeRuns = fault.MergeRuns;
    {
      platform::TScopedFileFaults armed(plan);
      EXPECT_EQ(EngineCodeOf([&] { SortRecords(*file, ByK(), options); }), fault.Code);
    }
    EXPECT_EQ(RunFilesLeft(), 0u);
    EXPECT_EQ(FileList().Count(), registered);
    EXPECT_EQ(file->RecordCache()->Count(), 0u);
    file->Close();
    std::filesystem::remove(dir_ / "t.DAT");
  }
}

}  // namespace
