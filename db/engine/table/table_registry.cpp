// The directory's table registry: open, create, close, delete and rename tables by name and
// kind, sharing one TDataTable among the cursors of the session (see data_directory.h).
#include <algorithm>
#include <cstdlib>

#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/engine/session/table_file_names.h"
#include "db/sql/expressions/field_literal.h"
#include "db/storage/files/file_list.h"
#include "platform/os/system.h"

TDataDirectory::TDataDirectory(TDataSession& session, std::string_view databaseName,
                               std::string path)
    : session_(session), database_name_(databaseName), path_(std::move(path)) {}

TDataDirectory::~TDataDirectory() {
  if (in_transaction_) {
    try {
      Rollback();
    } catch (const EVUZODEEngineError&) {
      // Nobody is left to tell; each table's destructor closes its files regardless.
    }
  }
  tables_.clear();
}

std::string_view TDataDirectory::ErrorDatabaseText() const {
  if (session_.Remote() || session_.ServerSide() != 0) return database_name_;
  return path_;
}

TDataTable* TDataDirectory::FindTable(std::string_view name, uint8_t kind) const {
  const std::string wanted = TableFileName(name, kDataExtension);
  for (const auto& table : tables_) {
    if (table->Kind() == kind &&
        SameTableName(TableFileName(table->Name(), kDataExtension), wanted)) {
      return table.get();
    }
  }
  return nullptr;
}

void TDataDirectory::RemoveTable(TDataTable* table) {
  auto it = std::find_if(tables_.begin(), tables_.end(),
                         [table](const auto& t) { return t.get() == table; });
  if (it != tables_.end()) tables_.erase(it);
}

void TDataDirectory::ForgetWarmCaches(std::string_view name) {
  warm_caches_.Forget(path_ + TableFileName(name, kDataExtension));
}

void TDataDirectory::FreeIdleTables() {
  std::erase_if(tables_, [](const auto& t) { return !t->Active(); });
}

TDataTable* TDataDirectory::OpenTable(std::string_view name, const TOpenTableOptions& options,
                                      int& result) {
  result = 0;
  const bool countsResult = options.ResultCursor == options.LiveResult;
  TDataTable* table = FindTable(name, options.Kind);
  if (table != nullptr && table->Active()) {
    if ((table->Exclusive() || options.Exclusive) &&
        (table->OpenCount() > 0 || !table->InTransaction()) && !options.Sharing) {
      result = kTableHeld;
      return nullptr;
    }
    table->OpenFiles();
    if (countsResult) table->CountResultCursor(1);
    return table;
  }
  std::unique_ptr<TDataTable> created;
  if (table == nullptr) {
    created = std::make_unique<TDataTable>(*this, std::string(name), options.Kind);
    table = created.get();
  }
  table->SetExclusive(options.Exclusive);
  table->SetKind(options.Kind);
  table->SetTemporary(options.Temporary);
  table->OpenFiles();
  try {
    if (in_transaction_) table->StartTransaction();
  } catch (...) {
    table->CloseFiles(false);
    if (created == nullptr) RemoveTable(table);
    throw;
  }
  if (countsResult) table->CountResultCursor(1);
  if (created != nullptr) tables_.push_back(std::move(created));
  return table;
}

TDataTable* TDataDirectory::CreateTable(std::string_view name, uint8_t kind, bool temporary,
                                        const TTableDefinition& definition, int& result) {
  result = 0;
  TDataTable* table = FindTable(name, kind);
  if (table != nullptr && table->Active()) {
    result = kTableHeld;
    return nullptr;
  }
  ForgetWarmCaches(name);
  std::unique_ptr<TDataTable> created;
  if (table == nullptr) {
    created = std::make_unique<TDataTable>(*this, std::string(name), kind);
    table = created.get();
  }
  table->SetExclusive(true);
  table->SetKind(kind);
  table->SetTemporary(temporary);
  try {
    table->CreateFiles(definition);
  } catch (...) {
    if (created == nullptr) RemoveTable(table);
    throw;
  }
  if (created != nullptr) tables_.push_back(std::move(created));
  return table;
}

int TDataDirectory::CloseTable(TDataTable* table, bool discard, bool resultCursorCounted) {
  auto it = std::find_if(tables_.begin(), tables_.end(),
                         [table](const auto& t) { return t.get() == table; });
  if (it == tables_.end()) return kTableNotRegistered;
  if (resultCursorCounted && table->ResultCursorCount() > 0) table->CountResultCursor(-1);
  std::exception_ptr failure;
  try {
    if (table->FilesOpen()) table->CloseFiles(discard);
  } catch (...) {
    failure = std::current_exception();
  }
  if (!table->Active()) tables_.erase(it);
  if (failure) std::rethrow_exception(failure);
  return 0;
}

int TDataDirectory::DeleteTable(std::string_view name, uint8_t kind) {
  TDataTable* table = FindTable(name, kind);
  if (table != nullptr && table->Active()) return kTableHeld;
  ForgetWarmCaches(name);
  if (table != nullptr) {
    table->DeleteFiles();
    RemoveTable(table);
    return 0;
  }
  TDataTable scratch(*this, std::string(name), kind);
  scratch.DeleteFiles();
  return 0;
}

int TDataDirectory::RenameTable(std::string_view name, std::string_view newName, uint8_t kind,
                                bool backup) {
  TDataTable* table = FindTable(name, kind);
  if (table != nullptr && table->Active()) return kTableHeld;
  ForgetWarmCaches(name);
  ForgetWarmCaches(newName);
  if (table != nullptr) {
    table->RenameFiles(newName, backup);
    RemoveTable(table);
    return 0;
  }
  TDataTable scratch(*this, std::string(name), kind);
  scratch.RenameFiles(newName, backup);
  return 0;
}

bool TDataDirectory::TableExists(std::string_view name, uint8_t kind) const {
  if (FindTable(name, kind) != nullptr) return true;
  return FileList().FileExists(path_ + TableFileName(name, kDataExtension), kind == kMemoryTable);
}

namespace {

// The work table name with counter: the first five digits of the thread id, the counter, ".DAT".
std::string WorkTableName(uint32_t counter) {
  std::string prefix = std::to_string(std::abs(static_cast<int64_t>(platform::ThreadId())));
  if (prefix.size() > 5) prefix.resize(5);
  return prefix + std::to_string(counter) + std::string(kDataExtension);
}

}  // namespace

std::string TDataDirectory::UniqueTableName(uint8_t kind) const {
  for (uint32_t counter = 0;; ++counter) {
    std::string name = WorkTableName(counter);
    if (!TableExists(name, kind)) return name;
  }
}

std::string TDataDirectory::CreateWorkTable(uint8_t kind, const TTableDefinition& given) {
  TTableDefinition definition = given;
  CheckTableDefinition(definition, &FieldLiteralValid, ErrorDatabaseText(), WorkTableName(0));
  constexpr uint32_t kAttempts = 10000;
  for (uint32_t counter = 0; counter < kAttempts; ++counter) {
    const std::string name = WorkTableName(counter);
    if (TableExists(name, kind)) continue;
    int result = 0;
    try {
      TDataTable* table = CreateTable(name, kind, true, definition, result);
      if (table == nullptr) continue;
      try {
        CloseTable(table, false);
      } catch (...) {
        // A work table whose first write failed is of no use to anyone: it goes whole.
        try {
          DeleteTable(name, kind);
        } catch (const EVUZODEEngineError&) {
          // The write's failure is the one reported.
        }
        throw;
      }
      return name;
    } catch (const EVUZODEEngineError& e) {
      // Another process created the name between the look and the create: it holds the file
      // open exclusively, so the create is refused; take the next name.
      if (e.EngineCode() != VUZODE_OSEACCES) throw;
    }
  }
  RaiseEngineError(VUZODE_TABLEEXISTS, {}, {}, ErrorDatabaseText(), WorkTableName(kAttempts));
}
