// The transaction of a data-changing statement (see change_transaction.h).
#include "db/sql/execution/change_transaction.h"

#include <algorithm>
#include <exception>
#include <string>

#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/sql/execution/statement_headers.h"

TChangeTransaction::TChangeTransaction(TDataDirectory& directory, TDataQuery& query,
                                       uint32_t recordSize)
    : directory_(directory), query_(query) {
  query_.RowCount = 0;
  if (query.CommitIntervalGiven) interval_ = query.CommitInterval;
  if (directory_.InTransaction()) return;
  if (!query.CommitIntervalGiven) {
    const TDataSession& session = directory_.Session();
    const int64_t bySize =
        2 * int64_t{session.DataBufferBytes()} / std::max<uint32_t>(recordSize, 1);
    interval_ = std::max<int64_t>(1, std::min<int64_t>(bySize, session.DataBufferCount()));
  }
  directory_.StartTransaction();
  own_ = true;
}

void TChangeTransaction::RowDone() {
  ++changed_;
  if (interval_ <= 0 || changed_ - committed_ < interval_) return;
  directory_.Commit(false, false);
  committed_ = changed_;
  query_.RowCount = committed_;
}

void TChangeTransaction::Finish() {
  if (own_) {
    own_ = false;
    directory_.Commit(true, query_.Flush);
  }
  query_.RowCount = changed_;
}

void TChangeTransaction::Fail() {
  const std::exception_ptr failure = std::current_exception();
  if (own_) {
    own_ = false;
    try {
      directory_.Rollback();
    } catch (const EVUZODEEngineError&) {
      // The statement's own error is the one to report; the rollback released what it could.
    }
  }
  query_.RowCount = committed_;
  if (committed_ > 0) {
    try {
      std::rethrow_exception(failure);
    } catch (const EVUZODEEngineError& error) {
      std::string detail = error.ContextDetail();
      detail += (detail.empty() ? "" : "; ") + std::to_string(committed_) +
                " rows were committed at the commit interval before the error";
      RaiseEngineError(error.EngineCode(), error.ContextServer(), error.ContextUser(),
                       error.ContextDatabase(), error.ContextTable(), error.ContextField(),
                       error.ContextIndex(), detail);
    } catch (...) {
      throw;
    }
  }
  std::rethrow_exception(failure);
}
