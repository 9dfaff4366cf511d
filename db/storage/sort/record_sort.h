// SortRecords: rewrites the records of a data file in sorted order, in place, optionally keeping
// only distinct rows, folding groups of equal rows into one and keeping only the first rows.
// SQL results (ORDER BY, DISTINCT, GROUP BY with HAVING, TOP) are made with it.
//
// Afterwards records 1 ... n of the file are the output rows in order, each active, with record
// number and row id equal to its position; deleted records take no part. When fewer rows than
// records remain, the file is cut after row n and NextRecordNumber becomes n + 1 (the header is
// marked changed; the caller writes it and sets its index's record count to the result). The
// record cache is empty afterwards.
//
// When every record is in the record cache the records are sorted in memory; otherwise sorted
// runs of at most the options' budget go to a temporary run file in the private directory and
// are merged (external_sort.h). Both give the same bytes. Whatever happens the run files are
// closed and deleted; after a failure the record area may be partly rewritten.
//
// REQUIRES: the caller holds the table exclusively and no record of it is pinned.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "db/storage/data/data_file.h"
#include "db/storage/data/field_value.h"
#include "db/storage/files/buffer_cache.h"
#include "db/storage/sort/sort_key.h"

// What to sort by and what to keep.
//
// A row is the first record of each key (with Distinct or grouping; every record otherwise). A
// row is complete when the next row starts or the records end; then FinishRow (when given)
// completes it and AcceptRow (when given) decides whether it is kept. Only kept rows count
// toward Limit, and the sort stops at the Limit-th kept row.
struct TSortRequest {
  std::vector<TSortField> Fields;
  // < 0: no limit; otherwise at most Limit rows are kept (0: none).
  int64_t Limit = -1;
  // Records whose fields equal those of the record before them are dropped.
  bool Distinct = false;
  // Strings compare upper-cased (index_key.h).
  bool CaseInsensitive = false;
  // Grouping is on when this is given (and Distinct is not): with startsGroup the record opens a
  // new group and record and row are one image, whose aggregate columns the callback sets up;
  // otherwise record is folded into the open group's row.
  std::function<void(bool startsGroup, TConstRecordImage record, TRecordImage row)> AccumulateRow;
  // Completes a row (for example turns sums into averages).
  std::function<void(TRecordImage row)> FinishRow;
  // True when the complete row is kept (HAVING).
  std::function<bool(TConstRecordImage row)> AcceptRow;
};

// The session's settings that bound a sort.
struct TSortOptions {
  // Where run files are created ("" is the working directory).
  std::string PrivateDirectory;
  // The session's largest record count of the data cache: records of one run at most.
  uint32_t MaxRunRecords = kDefaultMaxCachedRecords;
  // Bytes of records one run holds at most. The run length m is the smaller of the two limits;
  // the merge reads its runs through buffers of m entries (records with their keys) in all, and
  // the output is written m rows at a time.
  uint32_t MaxRunBytes = 1048576;
  // Runs merged at once at most: while more remain, a pass merges each group of this many into
  // one longer run (so no run's share of the merge buffers gets too small).
  uint32_t MaxMergeRuns = 128;
};

// Sorts file's records as request says; returns the number of output rows.
// Raises VUZODE_FLDLIMIT, VUZODE_INVALIDFLDTYPE for bad sort fields (sort_key.h),
// VUZODE_READERR and VUZODE_WRITEERR for the data file and the run files, and the file errors
// of creating a run file.
uint32_t SortRecords(TDataFile& file, const TSortRequest& request, const TSortOptions& options);
