// CheckTable: the consistency check of a whole table: the index file's trees and free chains,
// every active record's key in every index and in the row-id index (and no key without its
// record), the text index against the words of the records' text fields, the active record
// count, and the BLOB file's chains against the values the records name. Damage is reported, never
// repaired; a file so damaged that it cannot be read is reported with its corruption code.
#pragma once

#include <string>
#include <vector>

class TDataTable;

// One text per problem found; empty for a sound table.
// REQUIRES: the table is open; no other session writes it meanwhile (the caller holds a
// lock or the table exclusively).
std::vector<std::string> CheckTable(TDataTable& table);
