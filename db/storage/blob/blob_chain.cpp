// Loading, saving and freeing BLOB values as checked chains of blocks (blob_chain.h).
#include "db/storage/blob/blob_chain.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

#include "db/engine/errors/engine_error.h"
#include "db/storage/blob/blob_file.h"

namespace {

enum class TUse { Load, Save, Free, Repair };

constexpr uint32_t Clamp32(uint64_t value) {
  return static_cast<uint32_t>(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
}

// Walks the chain from first, checking it for use, into blocks (and its bytes into bytes when
// given). False when a fetch asked to start over.
bool Walk(TBlobFile& file, int32_t first, int32_t revision, TUse use, std::vector<uint32_t>& blocks,
          std::vector<uint8_t>* bytes) {
  blocks.clear();
  if (bytes != nullptr) bytes->clear();
  if (first == 0) return true;
  const uint32_t count = file.BlockCount();
  if (first < 0 || static_cast<uint32_t>(first) > count) {
    file.RaiseBlobError(VUZODE_MEMOCORRUPT, "first block");
  }
  const bool repair = use == TUse::Repair;
  const uint64_t area = file.DataSize();

  TBlock block = file.FetchBlock(static_cast<uint32_t>(first), file.ReadAheadBlocks());
  if (!block) return false;
  if (block.OwnerRevision() != revision) {
    if (repair) {
      block.SetOwnerRevision(revision);
    } else if (use == TUse::Free) {
      file.RaiseBlobError(VUZODE_MEMOCORRUPT, "chain of another revision");
    } else {
      // The record and its chain disagree from the start: the value was replaced by someone
      // else after the record was read.
      file.RaiseBlobError(VUZODE_KEYORRECDELETED, "value replaced");
    }
  }
  const int32_t total = block.TotalLength();
  uint64_t expected = 0;
  if (!repair) {
    if (block.PreviousBlock() != 0) file.RaiseBlobError(VUZODE_MEMOCORRUPT, "first block link");
    // Checked before the buffer is sized: a length no chain of this file can hold is corrupt.
    if (total <= 0 || static_cast<uint64_t>(total) > count * area) {
      file.RaiseBlobError(VUZODE_MEMOCORRUPT, "total length");
    }
    expected = (static_cast<uint64_t>(total) + area - 1) / area;
    // The buffer grows with the blocks actually read: a header may claim far more blocks than
    // the file holds, and a length within that claim must not size a buffer by itself.
    if (bytes != nullptr) bytes->reserve(std::min<size_t>(static_cast<size_t>(total), 1 << 20));
  }

  // A block met twice is a loop; the set is bounded by the chain (or block count) length.
  std::unordered_set<uint32_t> seen;
  uint32_t previous = 0;
  uint64_t done = 0;
  for (uint64_t index = 0;; ++index) {
    const uint32_t n = block.Number();
    if (!seen.insert(n).second) file.RaiseBlobError(VUZODE_MEMOCORRUPT, "chain loops");
    blocks.push_back(n);
    if (index > 0) {
      if (block.OwnerRevision() != revision) {
        // The first block matched, so this link leads into another value's chain.
        if (!repair) file.RaiseBlobError(VUZODE_MEMOCORRUPT, "block of another revision");
        block.SetOwnerRevision(revision);
      }
      if (!repair &&
          (block.PreviousBlock() != static_cast<int32_t>(previous) || block.TotalLength() != 0)) {
        file.RaiseBlobError(VUZODE_MEMOCORRUPT, "chain link");
      }
    }
    const int32_t next = block.NextBlock();
    if (!repair) {
      const bool last = index + 1 == expected;
      const uint64_t want = last ? static_cast<uint64_t>(total) - done : area;
      if (block.BytesUsed() != want) file.RaiseBlobError(VUZODE_MEMOCORRUPT, "bytes used");
      if (bytes != nullptr) {
        bytes->resize(static_cast<size_t>(done + want));
        block.Read(0, static_cast<uint32_t>(want), bytes->data() + done);
      }
      done += want;
      if (last) {
        if (next != 0) file.RaiseBlobError(VUZODE_MEMOCORRUPT, "chain longer than its value");
        return true;
      }
      if (next == 0) file.RaiseBlobError(VUZODE_MEMOCORRUPT, "chain shorter than its value");
    } else if (next == 0) {
      return true;
    }
    if (next < 0 || static_cast<uint32_t>(next) > count) {
      file.RaiseBlobError(VUZODE_MEMOCORRUPT, "block link");
    }
    previous = n;
    const uint64_t missing = repair ? 1 : expected - index - 1;
    block = file.FetchBlock(static_cast<uint32_t>(next), Clamp32(missing));
    if (!block) return false;
  }
}

// Frees blocks in order. False when a fetch asked to start over.
bool FreeBlocks(TBlobFile& file, const std::vector<uint32_t>& blocks, size_t from) {
  for (size_t i = from; i < blocks.size(); ++i) {
    TBlock block = file.FetchBlock(blocks[i], Clamp32(blocks.size() - i));
    if (!block) return false;
    file.FreeBlock(block);
  }
  return true;
}

// Takes extra blocks for a growing value into chain. Gives them back when the allocation fails,
// so the free chain does not lose them. False when a fetch asked to start over.
bool AllocateInto(TBlobFile& file, std::vector<uint32_t>& chain, uint64_t needed) {
  const size_t first_fresh = chain.size();
  try {
    while (chain.size() < needed) {
      TBlock block = file.AllocateBlock();
      if (!block) return false;
      chain.push_back(block.Number());
    }
  } catch (...) {
    // Pushed back in reverse, so the free chain is as before.
    for (size_t i = chain.size(); i > first_fresh; --i) {
      TBlock block = file.FetchBlock(chain[i - 1]);
      if (block) file.FreeBlock(block);
    }
    throw;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> LoadChain(TBlobFile& file, int32_t first, int32_t revision) {
  std::vector<uint32_t> blocks;
  std::vector<uint8_t> bytes;
  while (!Walk(file, first, revision, TUse::Load, blocks, &bytes)) {
  }
  file.NoteInUse(blocks);
  return bytes;
}

std::vector<uint32_t> ChainBlocks(TBlobFile& file, int32_t first, int32_t revision) {
  std::vector<uint32_t> blocks;
  while (!Walk(file, first, revision, TUse::Load, blocks, nullptr)) {
  }
  file.NoteInUse(blocks);
  return blocks;
}

int32_t SaveChain(TBlobFile& file, int32_t first, int32_t oldRevision, int32_t newRevision,
                  const uint8_t* bytes, size_t length) {
  if (length > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    file.RaiseBlobError(VUZODE_INVALIDBLOBLEN, "value length");
  }
  const uint64_t area = file.DataSize();
  for (;;) {
    std::vector<uint32_t> old;
    if (!Walk(file, first, oldRevision, TUse::Save, old, nullptr)) continue;
    file.NoteInUse(old);
    if (length == 0) {
      if (!FreeBlocks(file, old, 0)) continue;
      return 0;
    }
    const uint64_t needed = (length + area - 1) / area;
    std::vector<uint32_t> chain(
        old.begin(), old.begin() + static_cast<ptrdiff_t>(std::min<uint64_t>(old.size(), needed)));
    // New blocks before any write, so that a full file or a corrupt free chain leaves the old
    // value whole.
    if (!AllocateInto(file, chain, needed)) continue;

    bool restart = false;
    size_t done = 0;
    for (size_t i = 0; i < chain.size() && !restart; ++i) {
      TBlock block = file.FetchBlock(chain[i], Clamp32(chain.size() - i));
      if (!block) {
        restart = true;
        break;
      }
      const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(area, length - done));
      block.SetPreviousBlock(i == 0 ? 0 : static_cast<int32_t>(chain[i - 1]));
      block.SetNextBlock(i + 1 < chain.size() ? static_cast<int32_t>(chain[i + 1]) : 0);
      block.SetOwnerRevision(newRevision);
      block.SetTotalLength(i == 0 ? static_cast<int32_t>(length) : 0);
      block.Write(0, chunk, bytes + done);
      done += chunk;
    }
    if (restart) continue;
    // The new last block ends the chain already; what the old value had beyond it is free.
    if (!FreeBlocks(file, old, chain.size() < old.size() ? chain.size() : old.size())) continue;
    return static_cast<int32_t>(chain[0]);
  }
}

void FreeChain(TBlobFile& file, int32_t first, int32_t revision, bool repair) {
  for (;;) {
    std::vector<uint32_t> blocks;
    if (!Walk(file, first, revision, repair ? TUse::Repair : TUse::Free, blocks, nullptr)) {
      continue;
    }
    if (FreeBlocks(file, blocks, 0)) return;
  }
}
