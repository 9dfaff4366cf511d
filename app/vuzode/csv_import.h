// ImportCsv: appends the records of a CSV file to an existing table through a cursor, inside a
// transaction committed every few thousand records and at the end (so the records reach the
// files when the command reports done). A record whose value count differs from the table's
// field count, or whose value does not convert, or that the table refuses (a key violation, a
// required field) is left out and reported with its line number; nothing is left out without
// a message. A failure that stops the import (a lock, a disk error) takes back the records
// since the last commit and says how many were committed before it.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

class TDataDirectory;

namespace vuzode {

struct TImportRequest {
  std::string File;
  std::string Table;
  char Separator = ',';
  uint64_t SkipLines = 0;  // records skipped at the start (a header line)
  bool Progress = false;   // draw a progress bar on standard error
};

struct TImportResult {
  uint64_t Imported = 0;
  uint64_t Rejected = 0;
};

// Reports bad records to errors as "FILE:LINE: reason". Raises the engine error or a
// std::runtime_error that stopped the import (after the report of what was committed).
TImportResult ImportCsv(TDataDirectory& directory, const TImportRequest& request,
                        std::ostream& errors);

}  // namespace vuzode
