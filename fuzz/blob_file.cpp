// Arbitrary bytes as a BLOB file: opening, checking, loading every chain that a block claims to
// start, accounting for all blocks, then growing, shrinking and freeing values, writing back and
// reopening must either work or raise an engine error. It must never crash, hang, read outside a
// buffer, return other bytes than were saved, or hand one block to two values.
//
// Input: 2 bytes block size (little-endian, as the data file header gives it), 1 byte flags
// (bit 0: encrypted), then the file.
#include "db/storage/blob/blob_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/storage/blob/blob_chain.h"
#include "db/storage/blob/blob_check.h"
#include "db/storage/files/file_handler.h"

namespace {

const std::string kName = "fuzz_blob_file.BLB";

void LoadBytes(const uint8_t* data, size_t size) {
  TFileHandler file;
  file.SetFileName(kName);
  file.SetInMemory(true);
  file.CreateFile();
  if (size != 0) file.Write(data, static_cast<uint32_t>(size));
  file.Close();
}

void Check(bool condition) {
  if (!condition) std::abort();
}

struct TValue {
  TBlobReference ref;
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Bytes(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

// Every block that looks like the first of a value (at most the first 256 blocks), loaded.
std::vector<TValue> LoadCandidates(TBlobFile& file, uint32_t limit) {
  std::vector<TValue> values;
  for (uint32_t n = 1; n <= limit; ++n) {
    TBlobReference ref;
    try {
      TBlock block = file.FetchBlock(n);
      if (block.PreviousBlock() != 0 || block.TotalLength() == 0) continue;
      ref = {static_cast<int32_t>(n), block.OwnerRevision()};
    } catch (const EVUZODEEngineError&) {
      continue;  // a block past the end of a truncated file
    }
    try {
      values.push_back({ref, LoadChain(file, ref.FirstBlock, ref.Revision)});
      Check(values.back().bytes.size() == static_cast<size_t>(file.FetchBlock(n).TotalLength()));
    } catch (const EVUZODEEngineError&) {
      // A corrupt chain: reported, as it must be.
    }
  }
  return values;
}

void Exercise(TBlobFile& file, uint32_t blockSize, bool encrypted) {
  const int64_t size = file.GetFileSize();
  const uint32_t physical =
      size <= 512 ? 0 : static_cast<uint32_t>((size - 512) / file.BlockSize());
  try {
    file.VerifyStructure();
  } catch (const EVUZODEEngineError&) {
    // A file that fails the full check may still be read safely: go on.
  }
  std::vector<TValue> values = LoadCandidates(file, std::min<uint32_t>(file.BlockCount(), 256));
  // Two loaded values never share a block.
  if (file.BlockCount() > 4096) return;
  std::vector<TBlobReference> refs;
  for (const TValue& v : values) refs.push_back(v.ref);
  const bool sound = CheckBlobChains(file, refs).empty();
  // Changes only where appending stays near the end of the real file.
  if (file.BlockCount() > physical + 64) return;
  int32_t revision = 1000000;
  for (size_t i = 0; i < values.size() && i < 8; ++i) {
    TValue& v = values[i];
    const size_t new_size = (v.bytes.size() * (i % 3 == 0 ? 3 : 1)) / (i % 3 == 1 ? 2 : 1);
    std::vector<uint8_t> bytes = Bytes(std::min<size_t>(new_size, 20000), static_cast<uint32_t>(i));
    try {
      if (i % 4 == 3) {
        FreeChain(file, v.ref.FirstBlock, v.ref.Revision, false);
        v.ref = {0, 0};
        v.bytes.clear();
      } else {
        const int32_t first = SaveChain(file, v.ref.FirstBlock, v.ref.Revision, ++revision,
                                        bytes.data(), bytes.size());
        v.ref = {first, revision};
        v.bytes = bytes;
      }
    } catch (const EVUZODEEngineError&) {
      Check(!sound);
      return;
    }
  }
  TValue fresh{{0, 0}, Bytes(3 * file.DataSize() + 1, 99)};
  try {
    fresh.ref.FirstBlock =
        SaveChain(file, 0, 0, ++revision, fresh.bytes.data(), fresh.bytes.size());
    fresh.ref.Revision = revision;
    values.push_back(fresh);
  } catch (const EVUZODEEngineError&) {
    Check(!sound);
    return;
  }
  file.FlushBlocks();
  file.WriteHeader(false);
  file.Close();

  TBlobFile again;
  again.SetFileName(kName);
  again.SetInMemory(true);
  again.SetBlockSize(blockSize);
  again.SetEncrypted(encrypted);
  again.Open();
  refs.clear();
  for (const TValue& v : values) {
    if (v.ref.FirstBlock == 0) continue;
    // What was saved reads back, whatever the rest of the file holds.
    Check(LoadChain(again, v.ref.FirstBlock, v.ref.Revision) == v.bytes);
    refs.push_back(v.ref);
  }
  if (sound) Check(CheckBlobChains(again, refs).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint32_t block_size = static_cast<uint32_t>(data[0] | (data[1] << 8));
  const bool encrypted = (data[2] & 1) != 0;
  LoadBytes(data + 3, size - 3);
  TBlobFile file;
  file.SetFileName(kName);
  file.SetInMemory(true);
  file.SetBlockSize(block_size);
  file.SetEncrypted(encrypted);
  try {
    file.Open();
    Exercise(file, block_size, encrypted);
  } catch (const EVUZODEEngineError&) {
    // Refused as corrupt or unreadable: the expected end for most inputs.
  }
  return 0;
}
