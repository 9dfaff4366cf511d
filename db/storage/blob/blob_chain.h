// BLOB values as chains of blocks: loading, saving and freeing one value of a BLOB file.
//
// A value of L > 0 bytes (L <= 2147483647) owns k = ceil(L / d) blocks, d = the data area, in
// a chain: block 1 has PreviousBlock 0 and TotalLength L, every other block TotalLength 0 and
// PreviousBlock its predecessor; each links to its successor by NextBlock, the last with 0;
// every block but the last uses all d bytes, the last L - (k - 1) * d; every block carries
// the value's revision. An empty value owns no block (first block 0).
//
// Every chain is checked against all of that before it is used, for loading, saving and
// freeing alike; saving and freeing check the whole old chain before they change a block, so a
// corrupt chain leaves the file as it was. A fetch that asks to start over (another user's
// change discarded the caches) starts the operation over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TBlobFile;

// The bytes of the value whose chain starts at first. Raises VUZODE_KEYORRECDELETED when the
// first block carries another revision (the value was replaced since its record was read),
// VUZODE_MEMOCORRUPT for a chain that breaks any rule above (a link or first block outside
// 1 .. block count, a loop, a bad length, a block of another revision after the first).
std::vector<uint8_t> LoadChain(TBlobFile& file, int32_t first, int32_t revision);

// Stores length bytes as the value whose old chain starts at first (0: none) and carries
// oldRevision, stamping newRevision into every block; reuses the old chain's blocks in order,
// takes further ones from AllocateBlock and frees the old chain's surplus. An empty value frees
// the whole old chain. Returns the new first block (0 for an empty value). Raises as LoadChain
// for the old chain, VUZODE_INVALIDBLOBLEN for a length above 2147483647, and what
// AllocateBlock raises (then the old value is left whole).
// REQUIRES: the caller holds the BLOB file's write lock.
int32_t SaveChain(TBlobFile& file, int32_t first, int32_t oldRevision, int32_t newRevision,
                  const uint8_t* bytes, size_t length);

// Puts every block of the chain from first onto the free chain (nothing for 0). Outside repair
// mode every rule above is checked and a block of another revision is VUZODE_MEMOCORRUPT; in
// repair mode only the links are (range and loops) and the revisions are overwritten.
// REQUIRES: the caller holds the BLOB file's write lock.
void FreeChain(TBlobFile& file, int32_t first, int32_t revision, bool repair);

// The blocks of the chain from first after the checks of LoadChain (empty for 0); marks them in
// use in file. Raises as LoadChain.
std::vector<uint32_t> ChainBlocks(TBlobFile& file, int32_t first, int32_t revision);
