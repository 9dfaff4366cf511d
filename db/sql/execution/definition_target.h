// The table a definition statement works on: the query's target table name, split into its
// directory (the statement's database, a folder named with the table, or the in-memory
// database for MEMORY) and its bare name, and a cursor on it with the options the
// statement needs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TDataCursor;
class TDataDirectory;
class TDataQuery;
class TQueryStatement;

struct TDefinitionTarget {
  TDataDirectory* Directory = nullptr;
  std::string Name;
  bool Memory = false;
  uint8_t Kind = 0;  // kDiskTable or kMemoryTable

  // Whether the table exists (registered, or its data file).
  bool Exists() const;
};

// The target of query. Raises when the statement has no database to put it in.
TDefinitionTarget DefinitionTargetOf(TQueryStatement& statement, const TDataQuery& query);

// A closed cursor on target, exclusive and writable, that asks the statement's password
// callback for a password the session does not know.
std::unique_ptr<TDataCursor> ExclusiveCursorOn(TQueryStatement& statement,
                                               const TDefinitionTarget& target);
