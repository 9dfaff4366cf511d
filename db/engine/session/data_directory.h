// TDataDirectory: one open database of a session: a folder of table files, or the in-memory
// database. It owns the registry of the tables opened through it and carries the transaction
// state of all of them.
//
// Invariants:
//   (1) The registry holds at most one table per name (trimmed, without regard to case) and
//       kind (FindTable before every insertion).
//   (2) A table stays in the registry while it is active (open by a cursor, or in a
//       transaction); idle ones are freed by CloseTable, DeleteTable, the end of a transaction
//       and the directory's destruction.
//   (3) A failed OpenTable or CreateTable leaves the registry as it was and no file open or
//       half-created.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/engine/table/data_table.h"
#include "db/engine/table/warm_caches.h"

class TDataSession;

// The result of a registry operation refused because the table is held: the cursor raises its
// absolute value (VUZODE_OSEACCES).
inline constexpr int kTableHeld = -11013;
// The table is not in the registry (VUZODE_OSENOENT).
inline constexpr int kTableNotRegistered = -11010;

struct TOpenTableOptions {
  uint8_t Kind = kDiskTable;
  bool Exclusive = false;
  bool Temporary = false;
  bool ResultCursor = false;
  bool LiveResult = false;
  bool Sharing = false;  // a clone of an exclusive cursor
};

class TDataDirectory {
 public:
  TDataDirectory(TDataSession& session, std::string_view databaseName, std::string path);
  // Rolls back an open transaction and frees every table.
  ~TDataDirectory();
  TDataDirectory(const TDataDirectory&) = delete;
  TDataDirectory& operator=(const TDataDirectory&) = delete;

  TDataSession& Session() const { return session_; }
  const std::string& DatabaseName() const { return database_name_; }
  // Trimmed with a trailing separator; empty for the in-memory database.
  const std::string& Path() const { return path_; }
  int32_t UseCount() const { return use_count_; }
  void AddUser() { ++use_count_; }
  int32_t RemoveUser() { return --use_count_; }
  bool InTransaction() const { return in_transaction_; }
  const std::vector<std::unique_ptr<TDataTable>>& Tables() const { return tables_; }
  // The caches of tables closed lately, for their next open (warm_caches.h).
  TWarmCaches& WarmCaches() { return warm_caches_; }

  // The database item of every table-level error: the path (the database name in a remote or
  // server-side session).
  std::string_view ErrorDatabaseText() const;

  // Registry. OpenTable answers the shared table, opened once more, or kTableHeld when it is
  // held in a conflicting way. Errors of the files pass on.
  TDataTable* OpenTable(std::string_view name, const TOpenTableOptions& options, int& result);
  // Creates the files of a checked definition; the table is answered open and exclusive.
  // kTableHeld when the table is active.
  TDataTable* CreateTable(std::string_view name, uint8_t kind, bool temporary,
                          const TTableDefinition& definition, int& result);
  // Closes table once; frees it when no cursor has it open and it is not in a transaction.
  // 0, or kTableNotRegistered.
  int CloseTable(TDataTable* table, bool discard, bool resultCursorCounted = false);
  // 0, or kTableHeld while the table is open in this session.
  int DeleteTable(std::string_view name, uint8_t kind);
  // Renames the files; with backup, to the backup names of newName. 0 or kTableHeld.
  int RenameTable(std::string_view name, std::string_view newName, uint8_t kind, bool backup);
  TDataTable* FindTable(std::string_view name, uint8_t kind) const;

  // Whether a table of that name (".DAT" form) and kind exists: registered, or its data file.
  bool TableExists(std::string_view name, uint8_t kind) const;
  // A table name free in this directory: the first five digits of the thread id, a counter
  // and ".DAT". Free means neither registered nor on disk; callers create the name exclusively
  // and ask again when another process took it meanwhile.
  std::string UniqueTableName(uint8_t kind) const;
  // Checks definition and creates a temporary work table of it under a unique name and answers the
  // name (the table is created closed). Processes sharing a private directory can pick the same
  // name (only five digits of the thread id go into it): a name whose file exists, or that
  // another holder has open, is passed over for the next counter.
  std::string CreateWorkTable(uint8_t kind, const TTableDefinition& definition);

  // Transactions over every table of the registry (locking/transactions.cpp).
  void StartTransaction(bool flag = false);
  void Commit(bool end = true, bool flush = false, bool flag = false);
  void Rollback(bool flag = false);

 private:
  // Frees the tables that are neither open nor in a transaction.
  void FreeIdleTables();
  void RemoveTable(TDataTable* table);
  // Drops the warm caches of the table name (its files are deleted, renamed or made anew).
  void ForgetWarmCaches(std::string_view name);
  // The writes of a commit over several journaled tables, all or none (transactions.cpp);
  // written becomes 0 once every table has written.
  void CommitGroup(bool end, bool flush, size_t& written);

  TDataSession& session_;
  int32_t remote_handle_ = 0;
  std::string database_name_;
  std::string path_;
  std::vector<std::unique_ptr<TDataTable>> tables_;
  TWarmCaches warm_caches_;
  int32_t use_count_ = 0;
  bool in_transaction_ = false;
};
