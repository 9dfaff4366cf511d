// The data-changing statements of bench_sql (bench_sql_changes.cpp): INSERT, UPDATE and DELETE
// timed on both sides over the same rows.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <vector>

class TDataDirectory;

struct TChangeTiming {
  const char* Name;
  int64_t Rows;   // rows inserted, updated or deleted
  double Ours;    // seconds
  double Sqlite;  // seconds
};

// Creates the table CHG on both sides and runs sql_insert, sql_update and sql_delete in turn;
// only, when set, names the one whose timing is answered (those before it run as its
// preparation, those after it not at all).
// permutation: 0..999,999 shuffled, the values of the indexed column.
std::vector<TChangeTiming> RunChangeBenchmarks(TDataDirectory& directory, sqlite3* db,
                                               const std::vector<int32_t>& permutation,
                                               const char* only);
