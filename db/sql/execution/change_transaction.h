// TChangeTransaction: the transaction an INSERT ... SELECT, UPDATE or DELETE runs in, and its
// commit interval.
//
// Without a transaction in progress the statement starts its own: it commits, keeping the
// transaction open, after every interval-th changed row (the COMMIT INTERVAL value, else the
// smaller of twice the session's data buffer bytes over the record size and its data buffer
// count), and at the end commits and ends it (flushing with FLUSH). With a transaction in
// progress it joins it and commits only at a COMMIT INTERVAL given in the statement.
//
// Invariants:
//   (1) Committed() rows are those that interval commits made lasting; the query's RowCount is
//       set to it at each commit and to the whole count at the end.
//   (2) A failed statement (Fail) rolls its own transaction back; the error it raises names the
//       rows earlier interval commits hold, when there are any, and keeps its code.
#pragma once

#include <cstdint>

class TDataDirectory;
class TDataQuery;

class TChangeTransaction {
 public:
  TChangeTransaction(TDataDirectory& directory, TDataQuery& query, uint32_t recordSize);
  TChangeTransaction(const TChangeTransaction&) = delete;
  TChangeTransaction& operator=(const TChangeTransaction&) = delete;

  // One more row changed; commits when the interval is reached.
  void RowDone();
  // Commits and ends an own transaction; sets the query's RowCount.
  void Finish();
  // Called from a catch block: rolls an own transaction back and raises the error in flight,
  // with the committed rows added to its detail when there are any.
  [[noreturn]] void Fail();

  // The rows that may still change before the next interval commit (all, without interval).
  int64_t RowsBeforeCommit() const {
    return interval_ <= 0 ? INT64_MAX : interval_ - (changed_ - committed_);
  }
  int64_t Changed() const { return changed_; }
  int64_t Committed() const { return committed_; }

 private:
  TDataDirectory& directory_;
  TDataQuery& query_;
  bool own_ = false;
  int64_t interval_ = 0;  // 0: no interval commits
  int64_t changed_ = 0;
  int64_t committed_ = 0;
};
