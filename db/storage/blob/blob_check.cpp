// CheckBlobChains: accounting for every block of a BLOB file (blob_check.h).
#include "db/storage/blob/blob_check.h"

#include "db/engine/errors/engine_error.h"
#include "db/storage/blob/blob_chain.h"
#include "db/storage/blob/blob_file.h"

namespace {

constexpr int64_t kFree = -1;

}  // namespace

std::vector<std::string> CheckBlobChains(TBlobFile& file,
                                         const std::vector<TBlobReference>& values) {
  std::vector<std::string> faults;
  const uint32_t count = file.BlockCount();
  // owner[n]: 0 none, kFree on the free chain, i + 1 in the chain of values[i].
  std::vector<int64_t> owner(size_t{count} + 1, 0);
  for (size_t i = 0; i < values.size(); ++i) {
    std::vector<uint32_t> blocks;
    try {
      blocks = ChainBlocks(file, values[i].FirstBlock, values[i].Revision);
    } catch (const EVUZODEEngineError& error) {
      // The check's contract is to report: a corrupt chain is one fault among the others.
      if (error.EngineCode() != VUZODE_MEMOCORRUPT &&
          error.EngineCode() != VUZODE_KEYORRECDELETED) {
        throw;
      }
      faults.push_back("value " + std::to_string(i) + ": " + error.ContextDetail());
      continue;
    }
    for (uint32_t n : blocks) {
      if (owner[n] != 0) {
        faults.push_back("block " + std::to_string(n) + " in two chains");
      } else {
        owner[n] = static_cast<int64_t>(i) + 1;
      }
    }
  }

  int32_t n = file.FirstFreeBlock();
  while (n != 0) {
    if (n < 0 || static_cast<uint32_t>(n) > count) {
      faults.push_back("free chain leaves the file at " + std::to_string(n));
      break;
    }
    if (owner[n] == kFree) {
      faults.push_back("free chain loops at " + std::to_string(n));
      break;
    }
    if (owner[n] != 0) {
      faults.push_back("free chain enters a value at " + std::to_string(n));
      break;
    }
    owner[n] = kFree;
    TBlock block;
    try {
      block = file.FetchBlock(static_cast<uint32_t>(n));
    } catch (const EVUZODEEngineError& error) {
      if (error.EngineCode() != VUZODE_MEMOCORRUPT) throw;
      faults.push_back("free block " + std::to_string(n) + ": " + error.ContextDetail());
      break;
    }
    if (!block) {
      // The caches were discarded for another user's change: the walk starts over.
      return CheckBlobChains(file, values);
    }
    n = block.NextBlock();
  }

  for (uint32_t b = 1; b <= count; ++b) {
    if (owner[b] == 0) faults.push_back("block " + std::to_string(b) + " in no chain");
  }
  return faults;
}
