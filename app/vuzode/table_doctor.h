// The shell's table checks and repairs.
//
// CheckShellTable runs the engine's data, index and BLOB checkers over one table under its
// read lock (other shells may read meanwhile, none writes). A table whose files cannot even be
// opened is reported with the engine's corruption message.
//
// RepairShellTable opens the table exclusively, copies its index file to the backup name
// (.IBK), rebuilds every index and the text index from the records and checks the table
// again. The backup is deleted only when the table then checks sound; when the rebuild fails
// the index file comes back from it. Damage the rebuild cannot mend (in the data or BLOB
// file) is reported as such, and the backup stays. An index file that cannot even be opened
// (its header is damaged) is moved to the backup name and the engine makes a new one from the
// records: the records become readable again, but the index definitions that only the damaged
// header held are lost, which the report says.
#pragma once

#include <string>
#include <vector>

class TDataDirectory;

namespace vuzode {

// The problems of table; empty when it is sound.
std::vector<std::string> CheckShellTable(TDataDirectory& directory, const std::string& table);

struct TRepairReport {
  bool Sound = false;                  // the table checks sound afterwards
  std::vector<std::string> Remaining;  // problems the rebuild did not mend
  std::vector<std::string> Notes;      // what was done, for the user
};

// folder is where the table's files are (for moving a damaged index file aside).
TRepairReport RepairShellTable(TDataDirectory& directory, const std::string& folder,
                               const std::string& table);

}  // namespace vuzode
