// Tests of RestructureTable: which work each change takes and what it leaves on disk, value
// conversion with the data-loss callback answering each way, the progress callback stopping
// and letting go on, a private directory on another file system, and a failure injected at
// every file step of the copy, after each of which the table is whole.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/os/fault_injection.h"
#include "tests/db/engine/table/restructure_support.h"

namespace {

using engine_test::CodeOf;
using engine_test::MakeField;
using engine_test::MakeIndexDefinition;
using engine_test::PeopleDefinition;
using engine_test::PeopleRows;
using engine_test::TPeopleBed;
using engine_test::TTableLook;
using TRows = std::vector<std::string>;

std::string Tail(const std::string& file, size_t bytes) {
  std::ifstream in(file, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return all.size() > bytes ? all.substr(all.size() - bytes) : all;
}

// A data-loss callback that records each report and answers as told.
struct TLossLog {
  std::vector<std::string> reports;  // "<kind>:<text>"
  bool carry_on = true;
  bool stop_asking = false;
  TRestructureCallbacks Callbacks() {
    TRestructureCallbacks c;
    c.DataLoss = [this](TDataLossKind kind, std::string_view text, bool& stopAsking,
                        bool& carryOn) {
      reports.push_back(std::to_string(kind) + ":" + std::string(text));
      stopAsking = stop_asking;
      carryOn = carry_on;
    };
    return c;
  }
};

TEST(Restructure, EachChangeTakesTheLeastWorkAndKeepsEveryRecord) {
  struct TCase {
    const char* what;
    std::function<void(TTableDefinition&)> change;
    TRestructureWork work;
    std::vector<std::string> fields;
    std::vector<std::string> indexes;
  };
  const std::vector<TCase> cases = {
      {"rename a field",
       [](TTableDefinition& d) { d.Fields[1].Name = "FULLNAME"; },
       TRestructureWork::kRewrite,
       {"ID", "FULLNAME"},
       {"BYNAME"}},
      {"rename an index",
       [](TTableDefinition& d) { d.Indexes[1].Name = "BYFULL"; },
       TRestructureWork::kRewrite,
       {"ID", "NAME"},
       {"BYFULL"}},
      {"describe the table",
       [](TTableDefinition& d) { d.Description = "people"; },
       TRestructureWork::kRewrite,
       {"ID", "NAME"},
       {"BYNAME"}},
      {"add an index",
       [](TTableDefinition& d) {
         d.Indexes.push_back(MakeIndexDefinition("BYID", {1, 2}, false));
       },
       TRestructureWork::kRebuild,
       {"ID", "NAME"},
       {"BYNAME", "BYID"}},
      {"drop an index",
       [](TTableDefinition& d) { d.Indexes.pop_back(); },
       TRestructureWork::kRebuild,
       {"ID", "NAME"},
       {}},
      {"make an index unique",
       [](TTableDefinition& d) { d.Indexes[1].Unique = true; },
       TRestructureWork::kRebuild,
       {"ID", "NAME"},
       {"BYNAME"}},
      {"drop the primary index",
       [](TTableDefinition& d) { d.Indexes[0] = IndexDescriptor{}; },
       TRestructureWork::kRebuild,
       {"ID", "NAME"},
       {"BYNAME"}},
      {"add a text index",
       [](TTableDefinition& d) { d.TextIndex = MakeIndexDefinition("", {2}, false); },
       TRestructureWork::kRebuild,
       {"ID", "NAME"},
       {"BYNAME"}},
      {"widen a field",
       [](TTableDefinition& d) { d.Fields[1].Size = 40; },
       TRestructureWork::kCopy,
       {"ID", "NAME"},
       {"BYNAME"}},
      {"change a type",
       [](TTableDefinition& d) { d.Fields[0] = MakeField(1, "ID", kFieldString, 10); },
       TRestructureWork::kCopy,
       {"ID", "NAME"},
       {"BYNAME"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TPeopleBed bed(40);
    const std::string data = bed.folder.Path() + "/T.DAT";
    const std::string records = Tail(data, 600);
    TTableDefinition definition = PeopleDefinition();
    c.change(definition);
    EXPECT_EQ(bed.Restructure(definition, false), c.work);
    const TTableLook look = bed.Look();
    EXPECT_EQ(look.Rows, PeopleRows(40));
    EXPECT_EQ(look.Fields, c.fields);
    EXPECT_EQ(look.Indexes, c.indexes);
    EXPECT_EQ(look.Problems, TRows{});
    // Only a copy rewrites records; the backups show which files the work replaced.
    if (c.work != TRestructureWork::kCopy) {
      EXPECT_EQ(Tail(data, 600), records);
    }
    EXPECT_EQ(bed.folder.Has("T.DBK"), c.work == TRestructureWork::kCopy);
    EXPECT_EQ(bed.folder.Has("T.IBK"), c.work != TRestructureWork::kRewrite);
    EXPECT_EQ(bed.private_folder.Files(), TRows{});
  }
}

// With a text index, parameters not given stay the table's: only new ones rebuild.
TEST(Restructure, TextIndexParametersKeptUnlessGiven) {
  TPeopleBed bed(10);
  TTableDefinition definition = PeopleDefinition();
  definition.TextIndex = MakeIndexDefinition("", {2}, false);
  definition.StopWords = {"P9"};
  EXPECT_EQ(bed.Restructure(definition, true), TRestructureWork::kRebuild);
  TTableDefinition renamed = PeopleDefinition();
  renamed.TextIndex = definition.TextIndex;
  renamed.Fields[0].Name = "CODE";
  EXPECT_EQ(bed.Restructure(renamed, true), TRestructureWork::kRewrite);
  renamed.StopWords = {"P1", "P2"};
  EXPECT_EQ(bed.Restructure(renamed, true), TRestructureWork::kRebuild);
  TTableLook look = bed.Look();
  EXPECT_EQ(look.Fields, (TRows{"CODE", "NAME"}));
  EXPECT_EQ(look.Problems, TRows{});
  // A copy through a work table keeps them too.
  TTableDefinition wider = renamed;
  wider.Fields[1].Size = static_cast<uint8_t>(wider.Fields[1].Size + 10);
  EXPECT_EQ(bed.Restructure(wider, true), TRestructureWork::kCopy);
  look = bed.Look();
  EXPECT_EQ(look.StopWords, (TRows{"P1", "P2"}));
  EXPECT_EQ(look.Problems, TRows{});
}

TEST(Restructure, ConversionLossesFollowTheCallback) {
  struct TCase {
    const char* what;
    std::function<void(TTableDefinition&)> change;
    bool hasCallback, carryOn, stopAsking;
    size_t reports;
    std::string report;
    TRows rows;  // empty: the table as it was
  };
  TRows cut;  // NAME narrowed to 2: "p1".."p9" fit, "p10".."p12" do not
  for (int id = 1; id <= 12; ++id)
    cut.push_back(std::to_string(id) + (id < 10 ? "|p" + std::to_string(id) : "|-"));
  TRows idsOnly;
  for (int id = 1; id <= 12; ++id) idsOnly.push_back(std::to_string(id));
  auto narrow = [](TTableDefinition& d) { d.Fields[1].Size = 2; };
  auto dropName = [](TTableDefinition& d) {
    d.Fields.pop_back();
    d.Indexes.pop_back();
  };
  auto nameToNumber = [](TTableDefinition& d) {
    d.Fields[1] = MakeField(2, "NAME", kFieldInteger);
  };
  TRows nulls;
  for (int id = 1; id <= 12; ++id) nulls.push_back(std::to_string(id) + "|-");
  const std::vector<TCase> cases = {
      {"cut, go on", narrow, true, true, false, 3, "4:NAME", cut},
      {"cut, go on, ask once", narrow, true, true, true, 1, "4:NAME", cut},
      {"cut, stop", narrow, true, false, false, 1, "4:NAME", {}},
      {"cut, nobody asked", narrow, false, false, false, 0, "", {}},
      {"dropped field, go on", dropName, true, true, true, 1, "3:NAME", idsOnly},
      {"dropped field, stop", dropName, true, false, false, 1, "3:NAME", {}},
      {"number to text, nothing lost",
       [](TTableDefinition& d) { d.Fields[0] = MakeField(1, "ID", kFieldString, 10); }, true, true,
       false, 0, "", PeopleRows(12)},
      {"text to number, go on", nameToNumber, true, true, false, 12, "4:NAME", nulls},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TPeopleBed bed(12);
    TTableDefinition definition = PeopleDefinition();
    c.change(definition);
    TLossLog log;
    log.carry_on = c.carryOn;
    log.stop_asking = c.stopAsking;
    bed.Restructure(definition, false, c.hasCallback ? log.Callbacks() : TRestructureCallbacks{});
    EXPECT_EQ(log.reports.size(), c.reports);
    if (!log.reports.empty()) {
      EXPECT_EQ(log.reports[0], c.report);
    }
    const TTableLook look = bed.Look();
    EXPECT_EQ(look.Rows, c.rows.empty() ? PeopleRows(12) : c.rows);
    EXPECT_EQ(look.Problems, TRows{});
    EXPECT_EQ(bed.folder.Has("T.DBK"), !c.rows.empty());
    EXPECT_EQ(bed.private_folder.Files(), TRows{});
  }
}

// Memo values travel with their records, on disk and in memory (where the backups always go).
TEST(Restructure, CopyCarriesMemosOnDiskAndInMemory) {
  for (bool memory : {false, true}) {
    SCOPED_TRACE(memory);
    TPeopleBed bed(0, true, memory);
    TRows rows;
    {
      auto cursor = bed.Cursor();
      cursor->OpenCursor();
      for (int id = 1; id <= 4; ++id) {
        std::vector<uint8_t> row(cursor->RecordSize(), 0);
        const FieldDescriptor& idField = cursor->FieldDescriptors()[0];
        row[idField.Offset] = 1;
        std::memcpy(row.data() + idField.Offset + 1, &id, 4);
        const std::string memo(id * 300, static_cast<char>('a' + id));
        uint32_t size = 0;
        ASSERT_EQ(cursor->OpenBlob(3, row.data(), size, true, false, 2), 0);
        ASSERT_EQ(cursor->PutBlob(3, row.data(), false, 0, static_cast<int64_t>(memo.size()),
                                  reinterpret_cast<const uint8_t*>(memo.data())),
                  0);
        cursor->AppendRecord(row.data());
        rows.push_back(std::to_string(id) + "|-|" + memo);
      }
    }
    ASSERT_EQ(bed.Look().Rows, rows);
    TTableDefinition definition = PeopleDefinition(true);
    definition.Fields[1].Size = 30;
    definition.BlobBlockSize = 1024;
    EXPECT_EQ(bed.Restructure(definition, false), TRestructureWork::kCopy);
    const TTableLook look = bed.Look();
    EXPECT_EQ(look.Rows, rows);
    EXPECT_EQ(look.Problems, TRows{});
    EXPECT_EQ(bed.folder.Has("T.DBK"), !memory);
  }
}

// A unique index over a duplicated name: the later record goes only when the callback says so;
// told to stop, the index file comes back from its backup.
TEST(Restructure, RebuildMeetingDuplicatesAsksBeforeDeleting) {
  for (bool carryOn : {true, false}) {
    SCOPED_TRACE(carryOn);
    TPeopleBed bed(6);
    {
      auto cursor = bed.Cursor();
      cursor->OpenCursor();
      engine_test::AppendPerson(*cursor->Table(), 7, "p3");
    }
    TTableDefinition definition = PeopleDefinition();
    definition.Indexes.push_back(MakeIndexDefinition("UNAME", {2}, true));
    TLossLog log;
    log.carry_on = carryOn;
    EXPECT_EQ(bed.Restructure(definition, true, log.Callbacks()), TRestructureWork::kRebuild);
    EXPECT_EQ(log.reports, TRows{"1:UNAME"});
    const TTableLook look = bed.Look();
    TRows rows = PeopleRows(6);
    if (!carryOn) rows.push_back("7|p3");
    EXPECT_EQ(look.Rows, rows);
    EXPECT_EQ(look.Indexes, carryOn ? TRows({"BYNAME", "UNAME"}) : TRows({"BYNAME"}));
    EXPECT_EQ(look.Problems, TRows{});
    EXPECT_EQ(bed.folder.Files(), (TRows{"T.DAT", "T.IDX"}));
  }
}

TEST(Restructure, ProgressReportsInStepsAndCanStop) {
  for (TRestructureWork work : {TRestructureWork::kCopy, TRestructureWork::kRebuild}) {
    for (bool stop : {false, true}) {
      SCOPED_TRACE(static_cast<int>(work) * 10 + stop);
      TPeopleBed bed(40);
      bed.session.SetProgressSteps(4);
      TTableDefinition definition = PeopleDefinition();
      if (work == TRestructureWork::kCopy) {
        definition.Fields[1].Size = 30;
      } else {
        definition.Indexes.push_back(MakeIndexDefinition("BYID", {1, 2}, false));
      }
      std::vector<int> seen;
      TRestructureCallbacks callbacks;
      callbacks.Progress = [&](int percent) {
        seen.push_back(percent);
        return !(stop && percent >= 50);
      };
      EXPECT_EQ(bed.Restructure(definition, true, callbacks), work);
      EXPECT_EQ(seen, (stop ? std::vector<int>{25, 50} : std::vector<int>{25, 50, 75, 100}));
      const TTableLook look = bed.Look();
      EXPECT_EQ(look.Rows, PeopleRows(40));
      EXPECT_EQ(look.Indexes.size(), stop ? 1u : (work == TRestructureWork::kCopy ? 1u : 2u));
      EXPECT_EQ(look.Problems, TRows{});
      EXPECT_EQ(bed.folder.Files(), (TRows{"T.DAT", "T.IDX"}));
      EXPECT_EQ(bed.private_folder.Files(), TRows{});
    }
  }
}

// The private directory on another file system: each move of a work file is refused with
// EXDEV and done by copying.
TEST(Restructure, WorkTableCopiedAcrossFileSystems) {
  for (uint64_t nth = 1; nth <= 3; ++nth) {
    SCOPED_TRACE(nth);
    TPeopleBed bed(20, true);
    platform::TFileFaultPlan plan;
    plan.path_filter = bed.private_folder.Path();
    plan.fail_rename_at = nth;
    plan.rename_error = EXDEV;
    TTableDefinition definition = PeopleDefinition(true);
    definition.Fields[1].Size = 30;
    {
      platform::TScopedFileFaults faults(plan);
      EXPECT_EQ(bed.Restructure(definition, true), TRestructureWork::kCopy);
    }
    EXPECT_GE(plan.renames.load(), nth);
    EXPECT_EQ(bed.private_folder.Files(), TRows{});
    const TTableLook look = bed.Look();
    EXPECT_EQ(look.Rows.size(), 20u);
    EXPECT_EQ(look.Problems, TRows{});
  }
}

// Every open, rename, delete and write of a copy, an index rebuild and a rebuild that gives a
// duplicate up fails in turn; the table always opens whole, old or new, and neither a work
// table nor a backup of a failed rebuild stays behind.
TEST(Restructure, FailureAtEveryFileStepLosesNothing) {
  enum TStep { kOpen, kRename, kDelete, kWrite };
  enum TMode { kCopy, kRebuild, kRebuildDeleting };
  for (TMode mode : {kCopy, kRebuild, kRebuildDeleting})
    for (TStep step : {kOpen, kRename, kDelete, kWrite}) {
      for (uint64_t nth = 1;; ++nth) {
        SCOPED_TRACE(std::to_string(mode) + "/" + std::to_string(step) + "/" + std::to_string(nth));
        TPeopleBed bed(15, true);
        TRows after = PeopleRows(15);
        for (std::string& row : after) row += "|-";  // the memo is empty
        TRows before = after;
        TTableDefinition definition = PeopleDefinition(true);
        TLossLog log;
        if (mode == kCopy) {
          definition.Fields[1].Size = 30;
        } else if (mode == kRebuild) {
          definition.Indexes.push_back(MakeIndexDefinition("BYID", {1, 2}, false));
        } else {
          auto cursor = bed.Cursor();
          cursor->OpenCursor();
          engine_test::AppendPerson(*cursor->Table(), 16, "p3");
          before.push_back("16|p3|-");
          definition.Indexes.push_back(MakeIndexDefinition("UNAME", {2}, true));
        }
        const bool rebuild = mode != kCopy;
        platform::TFileFaultPlan plan;
        switch (step) {
          case kOpen:
            plan.fail_open_at = nth;
            plan.open_error = EIO;
            break;
          case kRename:
            plan.fail_rename_at = nth;
            plan.rename_error = EIO;
            break;
          case kDelete:
            plan.fail_delete_at = nth;
            plan.delete_error = EIO;
            break;
          case kWrite:
            plan.fail_write_at = nth;
            plan.write_error = EIO;
            break;
        }
        // Deletes happen only when the backups go.
        const bool noBackup = step == kDelete || nth % 2 == 0;
        bool failed = false;
        {
          platform::TScopedFileFaults faults(plan);
          failed = CodeOf([&] { bed.Restructure(definition, noBackup, log.Callbacks()); }) != 0;
        }
        const uint64_t seen = step == kOpen     ? plan.opens.load()
                              : step == kRename ? plan.renames.load()
                              : step == kDelete ? plan.deletes.load()
                                                : plan.writes.load();
        TTableLook look;
        ASSERT_EQ(CodeOf([&] { look = bed.Look(); }), 0);
        // A failure may come after the new table is whole (a backup that cannot go).
        if (!failed || look.Rows != before) {
          ASSERT_EQ(look.Rows, after);
        }
        ASSERT_EQ(look.Problems, TRows{});
        ASSERT_EQ(bed.private_folder.Files(), TRows{});
        // A failed rebuild takes its index backup away with it; a finished one keeps it unless
        // told not to (a backup whose deletion fails stays, and the failure is reported).
        if (rebuild && step != kDelete && (failed || noBackup)) {
          ASSERT_FALSE(bed.folder.Has("T.IBK"));
          ASSERT_FALSE(bed.folder.Has("T.DBK"));
        }
        if (seen < nth) {
          EXPECT_FALSE(failed);
          break;
        }
      }
    }
}

}  // namespace
