// The consistency check of a whole BLOB file against the values its records hold: every block
// belongs to exactly one value's chain or to the free chain. Used by table checks and repairs,
// and by tests after every change.
#pragma once

#include <string>
#include <vector>

#include "db/storage/data/field_value.h"

class TBlobFile;

// Checks each value's chain as LoadChain does, walks the free chain, and accounts for every
// block 1 .. BlockCount(). Returns one text per fault (a corrupt chain, a block in two chains,
// a free chain that loops, leaves the file or enters a value, a block in no chain); empty when
// the file is sound. Raises only the file layer's read errors.
// REQUIRES: file is open; memory for 4 bytes per block.
std::vector<std::string> CheckBlobChains(TBlobFile& file,
                                         const std::vector<TBlobReference>& values);
