// .check and .repair on damaged table files: every kind of damage gives a message and status
// 1 from .check, never a crash; .repair mends damaged indexes (also an index file whose header
// is unreadable) without losing a record, and says what it cannot mend in the data or BLOB
// file, leaving those files as they were.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/app/vuzode_support.h"

namespace vuzode_test {
namespace {

namespace fs = std::filesystem;

void Overwrite(const fs::path& file, uint64_t offset, size_t count, char byte) {
  std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
  out.seekp(static_cast<std::streamoff>(offset));
  out << std::string(count, byte);
}

struct TDamageCase {
  const char* Name;
  void (*Damage)(const fs::path& folder);
  const char* CheckSays;  // a part of .check's output
  bool Mendable;          // .repair brings the table back to a sound one with every record
  bool BackupKept;        // t.IBK stays after .repair
};

const TDamageCase kDamage[] = {
    {"index tree page",
     [](const fs::path& f) { Overwrite(f / "t.IDX", 3 * 4096 + 64, 512, '\xff'); }, "Index", true,
     false},
    {"index file header cut off", [](const fs::path& f) { fs::resize_file(f / "t.IDX", 1000); },
     "corrupt", true, true},
    {"data file header", [](const fs::path& f) { Overwrite(f / "t.DAT", 16, 200, '\x7f'); },
     "corrupt", false, false},
    {"data file cut short",
     [](const fs::path& f) { fs::resize_file(f / "t.DAT", fs::file_size(f / "t.DAT") / 2); }, "",
     false, false},
    {"BLOB blocks", [](const fs::path& f) { Overwrite(f / "t.BLB", 6000, 3000, '\xfe'); },
     "BLOB file", false, true},
};

// Table t: id (primary key), name VARCHAR(20) with an index, note MEMO; 40 records with long
// memos and 3,000 without.
void MakeDamageFixture(const std::string& folder) {
  std::string sql =
      "CREATE TABLE t (id INTEGER, name VARCHAR(20), note MEMO, PRIMARY KEY (id));"
      "CREATE INDEX byname ON t (name);";
  for (int i = 1; i <= 40; ++i)
    sql += "INSERT INTO t VALUES (" + std::to_string(i) + ", 'n" + std::to_string(i) + "', '" +
           std::string(700, static_cast<char>('a' + i % 26)) + "');";
  std::string csv;
  for (int i = 41; i <= 3040; ++i)
    csv += std::to_string(i) + ",name " + std::to_string(i % 97) + ",\n";
  WriteWhole(folder + "/rows.csv", csv);
  const TRun made =
      RunShell(folder, {folder, "-cmd", sql, ".import --csv " + folder + "/rows.csv t"});
  ASSERT_EQ(made.Status, 0) << made.Err;
}

const char* kCount = "SELECT COUNT(*), SUM(id) FROM t";

TEST(VuzodeDamage, CheckReportsAndRepairMendsIndexes) {
  for (const TDamageCase& c : kDamage) {
    SCOPED_TRACE(c.Name);
    engine_test::TScratchFolder scratch;
    const std::string db = scratch.Path() + "/db";
    fs::create_directories(db);
    MakeDamageFixture(db);
    const TRun sound = RunShell(scratch.Path(), {db, ".check t"});
    ASSERT_EQ(sound.Out, "ok\n");
    const std::string count = RunShell(scratch.Path(), {db, kCount}).Out;
    ASSERT_EQ(count, "3040|4622320\n");

    c.Damage(db);
    const TRun check = RunShell(scratch.Path(), {db, ".check t"});
    EXPECT_EQ(check.Status, 1) << check.Out << check.Err;
    EXPECT_NE(check.Out.find(c.CheckSays), std::string::npos) << check.Out;
    EXPECT_NE(check.Out, "ok\n");

    const TRun repair = RunShell(scratch.Path(), {db, ".repair t"});
    EXPECT_LT(repair.Status, 128) << "crashed";
    EXPECT_EQ(repair.Status, c.Mendable ? 0 : 1) << repair.Out << repair.Err;
    EXPECT_EQ(fs::exists(fs::path(db) / "t.IBK"), c.BackupKept) << repair.Out;
    const TRun after = RunShell(scratch.Path(), {db, ".check t"});
    if (c.Mendable) {
      EXPECT_EQ(after.Out, "ok\n") << repair.Out;
      EXPECT_EQ(RunShell(scratch.Path(), {db, kCount}).Out, count);
    } else {
      EXPECT_EQ(after.Status, 1);
      EXPECT_NE(repair.Err.find("could not mend"), std::string::npos) << repair.Err;
    }
  }
}

}  // namespace
}  // namespace vuzode_test
