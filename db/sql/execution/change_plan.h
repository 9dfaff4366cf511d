// TChangePlan: what the execution layer keeps for one prepared INSERT, UPDATE or DELETE, and
// the steps that build and run it, each in its own file:
//   change_binding.cpp      opening the tables, binding the columns and checking the values;
//   change_values.cpp       evaluating the values and storing them into a target record;
//   change_transaction.cpp  the statement's own transaction and its commit interval;
//   insert_statement.cpp    INSERT ... VALUES and INSERT ... SELECT;
//   update_delete_statements.cpp  UPDATE and DELETE.
//
// Invariants:
//   (1) Select.Sources[0] is the target table (source table 1 of the query), opened read-write;
//       the other sources of UPDATE ... FROM and DELETE are opened read-only.
//   (2) Every Assignment names a stored field of the target (never a computed one), and each
//       field at most once.
//   (3) Writer, when set, is a second cursor on the target in row-id order without filters:
//       UPDATE and DELETE change records through it, so the walk's cursor and its filters never
//       see a half-done statement.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/sql/execution/query_plan.h"
#include "db/sql/execution/source_binding.h"

class TExpEvaluator;
class TQueryStatement;
class TSelectRunner;

// One column the statement writes and where its value comes from.
struct TAssignment {
  uint16_t Field = 0;                // 0-based in the target's descriptors
  const TExpToken* Value = nullptr;  // a value tree of the query (VALUES, SET)
  int SourceColumn = -1;             // INSERT ... SELECT: the source's result column
  std::string ValueText;             // as written, for the messages
};

struct TChangePlan {
  TDataQuery* Query = nullptr;
  TQueryPlan Select;  // the sources, WHERE and the join levels (UPDATE, DELETE)
  TSourceState* Target = nullptr;
  std::unique_ptr<TDataCursor> Writer;
  std::vector<TAssignment> Assignments;
  TQueryPlan* Source = nullptr;    // the prepared SELECT of INSERT ... SELECT
  const char* StatementName = "";  // "INSERT", "UPDATE" for the conversion message
  std::vector<uint8_t> Record;     // the record being built
  // The packed size of a row's non-BLOB assignments, and the number of BLOB ones.
  size_t PackedWidth = 0;
  size_t BlobCount = 0;
};

// The values of one changed row, evaluated before the record is written: the new image (only
// the assigned fields are meaningful) and the bytes of assigned BLOB fields (nullopt: NULL).
struct TRowValues {
  std::vector<uint8_t> Image;
  std::vector<std::optional<std::string>> Blobs;  // parallel to the plan's Assignments
};

// The values of the rows an UPDATE will change, evaluated while the qualifying rows are
// collected: per row the bytes of its assigned fields, packed in assignment order, and the
// bytes of its assigned BLOB fields.
struct TPendingRows {
  std::vector<uint32_t> Records;                  // row ids of the records, in the order collected
  std::vector<uint32_t> Numbers;                  // where each was found: its record number
  std::vector<uint8_t> Packed;                    // Width() bytes per record
  std::vector<std::optional<std::string>> Blobs;  // BlobCount() per record
};

// change_binding.cpp: binds query (INSERT, UPDATE or DELETE) into plan. lookup answers the
// plans of the statement's SELECTs (an INSERT's source, IN sub-selects).
void BindChangeQuery(TQueryStatement& statement, TDataQuery& query, TChangePlan& plan,
                     const TPlanLookup& lookup);

// change_values.cpp.
// Evaluates every assignment of plan (sources: the walk's current row; an INSERT ... SELECT's
// source row: sourceRow) into values. A value the column cannot hold raises the statement's
// type-mismatch message; texts longer than their column are cut.
void EvaluateAssignments(TChangePlan& plan, TExpEvaluator& evaluator, const uint8_t* sourceRow,
                         TRowValues& values);
// Writes into record (zeros) the default value of every field of the target that plan does not
// assign and that has one: the record an INSERT starts from.
void PutDefaults(const TChangePlan& plan, uint8_t* record);
// Appends the assigned fields of values to pending (the record number is the caller's), and
// reads those of pending row r back into values.
void PackValues(const TChangePlan& plan, const TRowValues& values, TPendingRows& pending);
void UnpackValues(const TChangePlan& plan, const TPendingRows& pending, size_t r,
                  TRowValues& values);
// Writes the assigned fields of values into record, a buffer of cursor (the target's table);
// BLOB values are opened on record and written, to be saved by the append or modify.
void ApplyAssignments(const TChangePlan& plan, TDataCursor& cursor, const TRowValues& values,
                      uint8_t* record);

// insert_statement.cpp: runs a bound INSERT; sets the query's RowCount.
void ExecuteInsert(TSelectRunner& runner, TChangePlan& plan);
// update_delete_statements.cpp: runs a bound UPDATE or DELETE; sets the query's RowCount.
void ExecuteUpdateOrDelete(TSelectRunner& runner, TChangePlan& plan);
// transaction_statements.cpp: START TRANSACTION, COMMIT and ROLLBACK on the statement's
// database.
void ExecuteTransactionStatement(TQueryStatement& statement, TDataQuery& query);
