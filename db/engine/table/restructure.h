// RestructureTable: gives an existing table a new definition with the least work the
// difference needs, and loses nothing it was not told to lose.
//
//   kRewrite  only texts and numbers changed (names, descriptions, password, versions): the
//             stored definitions are rewritten in place; no record or key moves.
//   kRebuild  the records stay, indexes changed: the index file is backed up (.IBK) and every
//             index built anew from the records.
//   kCopy     the record layout changed: every record is converted into a work table in the
//             private directory, which then takes the table's place.
//
// Invariants:
//   (1) A failure, an exception or a stop asked by a callback leaves the table as it was: on
//       the copy path the old files are only moved to their backup names (.DBK, .IBK, .BBK)
//       and come back when the work table cannot be moved in; on the rebuild path the index
//       file comes back from its backup. The work table never outlives the call.
//   (2) A record is given up only when the data-loss callback, told why, answers to go on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "db/engine/table/index_definitions.h"
#include "db/engine/table/table_definition.h"

class TDataCursor;
class TDataTable;

// Why a record or value is not carried over, as told to the data-loss callback.
enum TDataLossKind : int {
  kLossOther = 0,
  kLossDuplicateKey = 1,  // text: the index name
  kLossValidity = 2,      // text: the field name
  kLossFieldDropped = 3,  // text: the field name
  kLossConversion = 4,    // text: the field name
};

struct TRestructureCallbacks {
  // Given the percentage of records done; answering false stops the restructuring and keeps
  // the table as it was.
  TPercentCallback Progress;
  // Told each loss; without it nothing is given up (the first loss stops). stopAsking set keeps
  // further losses from being told (they are then taken as carryOn says); carryOn cleared stops the
  // restructuring and keeps the table as it was.
  std::function<void(TDataLossKind kind, std::string_view text, bool& stopAsking, bool& carryOn)>
      DataLoss;
};

enum class TRestructureWork { kRewrite, kRebuild, kCopy };

// The table's definition as its files hold it (indexes in slot order, primary first).
TTableDefinition CurrentDefinition(TDataTable& table);

// The work that turns current into next, both checked (CheckTableDefinition). Raises
// VUZODE_OUTOFRANGE when an index of next names a field next does not have.
TRestructureWork RestructureWorkOf(const TTableDefinition& current, const TTableDefinition& next);

// Restructures the cursor's table to definition. The cursor must be closed, exclusive and
// writable (VUZODE_TABLEOPEN, VUZODE_NEEDEXCLACCESS, VUZODE_OSEACCES); it is opened for the
// work and closed again. A LastAutoIncrement of -1 keeps the table's; empty text index
// parameters keep the table's. With noBackup the backup files are deleted at the end,
// otherwise they stay (copy: .DBK, .IBK, .BBK; rebuild: .IBK). Answers the work done.
TRestructureWork RestructureTable(TDataCursor& cursor, TTableDefinition definition, bool noBackup,
                                  const TRestructureCallbacks& callbacks = {});

// The copy path (restructure_copy.cpp). REQUIRES: cursor open and exclusive.
// Answers false when a callback stopped it (the table then unchanged).
bool CopyIntoNewStructure(TDataCursor& cursor, const TTableDefinition& definition, bool noBackup,
                          const TRestructureCallbacks& callbacks);
