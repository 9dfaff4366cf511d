// TQueryPlan: what the execution layer keeps for one prepared SELECT of a statement: the open
// source tables, the bound result columns, where each WHERE and ON condition is checked, and
// the rows of the last execution. Plans are made by PrepareSelect, run by RunSelect and freed
// with their query (TSelectRunner::ReleaseQuery).
//
// Invariants:
//   (1) Sources[i] stands for Query->SourceTables[i] (FROM and JOIN order); column nodes of the
//       query's trees point at these states (SourceTable), so they never move once made.
//   (2) Columns and Fields run in parallel: Fields[i] is the result field of Columns[i], with
//       its record offset assigned (CheckTableDefinition), RecordSize the bytes of a row.
//   (3) Every condition tree named here belongs to the query; the plan never frees one.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/sql/execution/statement_headers.h"
// (first: see statement_headers.h)
#include "db/engine/cursor/cursor_environment.h"
#include "db/engine/cursor/data_cursor.h"
#include "db/storage/data/field_types.h"

// One source table while the query runs.
struct TSourceState {
  TSourceTable* Table = nullptr;
  std::unique_ptr<TDataCursor> Cursor;
  std::vector<uint8_t> Buffer;  // the current record
  std::unique_ptr<TCursorEnvironment> Environment;
  bool NullRow = false;  // an outer join found no partner: every column reads as NULL
  int Number = 0;        // 0-based FROM order
  // How the cursor is opened again after a live result took it (ReopenSource).
  TDataDirectory* Directory = nullptr;
  bool ReadOnly = false;
  bool LiveResult = false;
  bool Fresh = false;  // opened for this execution: nothing to refresh
};

// One column of the result.
struct TResultColumn {
  std::string Name;
  uint8_t Aggregate = kAggregateNone;
  // A plain column: copied from the source's record (1-based field number there).
  TSourceState* Source = nullptr;
  uint16_t SourceField = 0;
  // An expression item, or an aggregate's argument (null for COUNT(*)).
  const TExpToken* Expression = nullptr;
};

// One table of the nested loop, in the order the loop walks them.
struct TJoinLevel {
  TSourceState* Source = nullptr;
  bool Outer = false;                   // a LEFT OUTER link: no partner keeps the row
  std::vector<const TExpToken*> Match;  // decide which records partner the outer tables
  std::vector<const TExpToken*> After;  // checked on the joined row (also a NULL partner)
  // An index seek for the equality Source.SeekField = SeekValue (tables before this one).
  int SeekIndex = -1;
  uint16_t SeekField = 0;
  const TExpToken* SeekValue = nullptr;
  const TExpToken* SeekCondition = nullptr;  // the equality itself: records past it end the seek
  bool SeekUnique = false;                   // a unique one-field index: at most one record matches
  std::vector<uint8_t> Probe;                // a record of the table holding the sought value
  // A unique seek on an integer column of a small table, served from memory: the table's
  // records (RecordSize bytes each, in index order) by their non-NULL key, read at each walk.
  bool Memory = false;
  std::unordered_map<int64_t, uint32_t> MemoryKeys;
  std::vector<uint8_t> MemoryRecords;
  bool FromMemory = false;  // the current record came from MemoryRecords (no cursor move)
};

struct TQueryPlan {
  TDataQuery* Query = nullptr;
  std::vector<std::unique_ptr<TSourceState>> Sources;
  std::vector<TResultColumn> Columns;
  std::vector<FieldDescriptor> Fields;
  uint32_t RecordSize = 0;
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;

  bool Live = false;
  int LiveIndex = kRecordOrder;   // the index that serves ORDER BY on a live result
  bool Grouped = false;           // GROUP BY or the implicit group
  std::vector<int> GroupColumns;  // 0-based result columns
  std::vector<int> OrderColumns;
  std::vector<bool> OrderDescending;

  // Single-table WHERE conditions installed as filters on their table's cursor at execution.
  std::vector<std::pair<TSourceState*, const TExpToken*>> CursorConditions;
  std::vector<TFilter*> InstalledFilters;
  std::vector<TJoinLevel> Levels;
  std::vector<const TExpToken*> Residual;  // checked on every complete row

  // The rows of the last execution, RecordSize bytes each.
  std::vector<uint8_t> Rows;
  size_t RowCount() const { return RecordSize ? Rows.size() / RecordSize : 0; }
  // Of an IN sub-query: the normalised values of its one column.
  std::set<std::string> Values;
};
