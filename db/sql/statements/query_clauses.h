// The clause objects of a parsed query: select-list items, ORDER BY and GROUP BY items, the
// columns and values of INSERT and UPDATE, the column and index definitions of CREATE and ALTER,
// the source tables and their joins. All are plain objects owned by their query (TDataQuery);
// the expression trees they hold return to the node pool with them.
//
// Invariants:
//   (1) Every name and short text here is at most kMaxSqlNameLength (255) characters; the
//       parser refuses longer ones (statement_limits.h).
//   (2) Pointers to other objects (Owner, Source, Table) point into the same query and stay
//       valid while it lives: source tables are held by pointer, so adding one never moves
//       another.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "db/sql/statements/owned_exp_tree.h"
#include "db/storage/index/index_descriptor.h"

class TDataQuery;
class TDataDirectory;  // engine objects, opened by the execution layer
class TDataCursor;

// Aggregate kinds of a select-list item.
enum : uint8_t {
  kAggregateNone = 0,
  kAggregateSum = 1,
  kAggregateRunSum = 2,
  kAggregateMin = 3,
  kAggregateMax = 4,
  kAggregateAvg = 5,
  kAggregateCount = 6,
};

// The aggregate kind of an expression node: the aggregate function it calls, else none.
inline uint8_t AggregateKindOf(const TExpToken& node) {
  if (node.NodeClass != kNodeFunction) return kAggregateNone;
  switch (node.OpCode) {
    case kOpSum:
      return kAggregateSum;
    case kOpRunSum:
      return kAggregateRunSum;
    case kOpMin:
      return kAggregateMin;
    case kOpMax:
      return kAggregateMax;
    case kOpAvg:
      return kAggregateAvg;
    case kOpCount:
      return kAggregateCount;
    default:
      return kAggregateNone;
  }
}

// Join kinds.
enum : uint8_t { kJoinInner = 1, kJoinLeftOuter = 2, kJoinRightOuter = 3 };

// Character case of a created column (CHARCASE).
enum : uint8_t { kCharCaseNoChange = 0, kCharCaseLower = 1, kCharCaseUpper = 2 };

// Index compression (COMPRESS) takes the index format's codes (index_descriptor.h).

// A set of 256 byte values (the space and include characters of a text index).
using TCharacterSet = std::array<uint8_t, 32>;
inline bool InCharacterSet(const TCharacterSet& set, unsigned char c) {
  return (set[c >> 3] >> (c & 7)) & 1;
}

struct TSourceTable {
  TDataQuery* Owner = nullptr;
  TDataDirectory* Database = nullptr;  // the directory the table is opened in
  TDataCursor* Cursor = nullptr;       // opened and closed by the execution layer
  bool InMemory = false;
  int16_t TableNumber = 0;   // 1-based position in FROM and JOIN order
  std::string DatabaseName;  // a directory from the table's path, "Memory", or empty: the
                             // statement's own database
  std::string TableName;
  std::string CorrelationName;  // defaults to TableName
};

struct TJoinExpression {
  TDataQuery* Owner = nullptr;
  uint8_t Kind = kJoinInner;
  TSourceTable* Table = nullptr;  // the joined (right-hand) table
  TOwnedExpTree Condition;        // the ON condition
};

struct TResultField {
  TDataQuery* Owner = nullptr;
  TSourceTable* Source = nullptr;  // once bound
  std::string ColumnName;          // of a column item or an aggregate over a column
  std::string TableAlias;          // the column's correlation name as written
  std::string ResultName;          // AS name, else the column name or the expression's text
  uint8_t Aggregate = kAggregateNone;
  bool IsExpression = false;
  std::string ExpressionText;  // the item as written, line breaks removed
  TOwnedExpTree Expression;
};

struct TGroupByField {
  TDataQuery* Owner = nullptr;
  std::string ColumnName;
  std::string TableAlias;
  int16_t ColumnNumber = 0;  // 1-based position in the select list; 0: by name
};

struct TOrderByField : TGroupByField {
  bool Descending = false;
};

struct TUpdateField {
  TDataQuery* Owner = nullptr;
  uint16_t FieldNo = 0;     // once bound
  bool AllColumns = false;  // INSERT without a column list: every column in table order
  std::string ColumnName;
  std::string TableAlias;
  TOwnedExpTree Column;
};

struct TUpdateValue {
  TDataQuery* Owner = nullptr;
  std::string ValueText;  // as written, line breaks removed
  TOwnedExpTree Value;
};

struct TCreateField {
  TDataQuery* Owner = nullptr;
  std::string ColumnName;
  std::string NewColumnName;  // ALTER ... REDEFINE old new: the new name
  uint8_t DataType = 0;       // field type code; 0 when no type was given (ALTER)
  uint8_t SubType = 0;
  std::string Description;
  bool NotNull = false;
  uint8_t CharCase = kCharCaseNoChange;
  std::string MinValue, MaxValue, DefaultValue;  // value texts: sign and number joined
  bool MinGiven = false, MaxGiven = false, DefaultGiven = false;
  bool DescriptionGiven = false, NotNullGiven = false, CharCaseGiven = false;
  bool Add = false, Redefine = false, Drop = false;  // ALTER TABLE actions
  int16_t AtPosition = 0;                            // ADD ... AT n; 0 when not given
  std::string ColumnText;                            // the definition as written
  // The column node: ColumnName, type data and the type's arguments (length, precision and
  // scale, BLOB size and type) in Args. For a renaming REDEFINE this is the new name's node and
  // its Left is the old name's node.
  TOwnedExpTree Column;
};

struct TCreateIndex {
  TDataQuery* Owner = nullptr;
  std::string IndexName;  // empty for a primary key
  bool PrimaryKey = false;
  bool Descending = false;
  bool Unique = false;
  bool NoCase = false;
  uint8_t Compression = kCompressNone;
  bool Add = false, Redefine = false, Drop = false;  // ALTER TABLE actions
  std::string ColumnsText;                           // the column list as written
  std::vector<TOwnedExpTree> Columns;
};
