// TRowWalker: the nested loop over a plan's join levels. For each level in loop order it
// positions the level's table on every record that partners the rows of the levels before it
// (by an index seek when the plan has one, else by reading the table's filtered view; a unique
// seek on an integer column of a table no larger than the driving one looks the key up in a
// copy of the table read at the start of the walk, finding the same record), keeps
// a LEFT OUTER level's row without partner as a NULL row, and hands every joined row that
// passes the checks to the sink.
//
// Invariants:
//   (1) While the sink runs, every source's Buffer holds its record of the row (or NullRow is
//       set); the sink must not move the source cursors.
//   (2) The filters installed on the source cursors are the plan's CursorConditions, made
//       anew at each Walk (so parameters bound since the last run take effect).
#pragma once

#include <functional>

#include "db/sql/execution/query_plan.h"
#include "db/sql/expressions/evaluate.h"

// The node pool of this thread, for the values evaluation takes and gives back during one
// execution (never for trees that outlive it).
TExpTokenStack& ThreadExpTokenPool();

// The host's progress callback during a walk: called with the percent of the driving table's
// records done whenever it has grown by at least Step since the last call, and with 100 once
// at the end unless that was the last call; the callback's abort flag ends the walk early.
struct TProgressReporter {
  void (*Callback)(void* userData, int percent, bool& abort) = nullptr;
  void* UserData = nullptr;
  int Step = 1;
  uint32_t Total = 0;
  uint32_t Done = 0;
  int Last = 0;
  bool Aborted = false;
  // One more driving record done; false once the host asked to stop.
  bool Advance();
  void Finish();
};

class TRowWalker {
 public:
  TRowWalker(TQueryPlan& plan, TExpEvaluator& evaluator, TExpTokenStack& pool,
             TProgressReporter* progress = nullptr)
      : plan_(plan), evaluator_(evaluator), pool_(pool), progress_(progress) {}
  // Installs the plan's filters, sets each level's index and walks. sink answers false to end
  // the walk early.
  void Walk(const std::function<bool()>& sink);
  // Drops the filters the last Walk installed.
  static void DropFilters(TQueryPlan& plan);
  static void InstallFilters(TQueryPlan& plan, TExpTokenStack& pool);

 private:
  bool WalkLevel(size_t level);
  bool AllHold(const std::vector<const TExpToken*>& conditions);
  uint16_t First(TJoinLevel& level);
  uint16_t Next(TJoinLevel& level);
  // Takes the record of key from level's memory copy into its buffer, or answers VUZODE_EOF.
  uint16_t FirstFromMemory(TJoinLevel& level, int64_t key);
  // Reads level's table into level.MemoryKeys/MemoryRecords when its seek may be served so.
  void LoadMemorySeek(TJoinLevel& level, uint32_t drivingRecords);

  TQueryPlan& plan_;
  TExpEvaluator& evaluator_;
  TExpTokenStack& pool_;
  TProgressReporter* progress_;
  const std::function<bool()>* sink_ = nullptr;
  TExpToken scratch_;
};
