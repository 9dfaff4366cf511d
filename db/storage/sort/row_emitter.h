// TRowEmitter: turns records taken in sorted order into output rows: drops duplicates, folds
// groups, finishes and accepts rows through the request's callbacks and applies the limit.
//
// Invariants:
//   (1) Only complete rows reach the output: the open row (a group still taking records) stays
//       in this object until the next row starts or Finish runs, then FinishRow and AcceptRow
//       see it, and it is appended only when accepted.
//   (2) Output().Rows() counts accepted rows only and never passes the limit; Done() is true
//       once it reaches it (at once for a limit of 0).
//   (3) Every appended row carries its position as record number and row id.
#pragma once

#include <cstdint>
#include <vector>

#include "db/storage/data/field_value.h"
#include "db/storage/sort/record_sort.h"
#include "db/storage/sort/sort_key.h"
#include "db/storage/sort/sort_output.h"

class TRowEmitter {
 public:
  // request and layout must outlive this object.
  TRowEmitter(const TSortRequest& request, const TSortKeyLayout& layout, uint32_t recordSize,
              TSortOutput& output);

  // Takes the next record in sorted order with its key. False once the limit is reached: the
  // caller stops feeding records.
  bool Take(TConstRecordImage record, const uint8_t* key);
  // Completes and tests the open row. Returns the number of rows kept.
  uint32_t Finish();
  bool Done() const { return done_; }

 private:
  bool Grouping() const { return !request_.Distinct && request_.AccumulateRow != nullptr; }
  // Finishes, tests and (when accepted) appends the open row.
  void CloseRow();

  const TSortRequest& request_;
  const TSortKeyLayout& layout_;
  TSortOutput& output_;
  uint32_t record_size_;
  bool compare_keys_;              // distinct or grouping: rows start where the fields change
  std::vector<uint8_t> row_;       // the open row
  std::vector<uint8_t> next_row_;  // a new group's first record while the open one closes
  bool open_ = false;
  std::vector<uint8_t> previous_key_;
  bool has_previous_ = false;
  bool done_;
};
