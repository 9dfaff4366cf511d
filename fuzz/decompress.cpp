// Arbitrary bytes as a compressed reply: Decompress must either return the inflated bytes
// within its limit or raise VUZODE_UNCOMPRESS; it must never crash, hang or grow past the limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "db/engine/errors/engine_error.h"
#include "db/storage/compression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte picks the limit, so that small and large limits are both exercised.
  if (size == 0) return 0;
  const size_t limit = size_t{1} << (data[0] % 21);
  const std::span<const uint8_t> input(data + 1, size - 1);
  try {
    const std::vector<uint8_t> out = Decompress(input, limit);
    if (out.size() > limit) std::abort();
    // What inflates must deflate and inflate back to the same bytes.
    if (Decompress(Compress(out), limit) != out) std::abort();
  } catch (const EVUZODEEngineError& e) {
    if (e.EngineCode() != VUZODE_UNCOMPRESS) std::abort();
  }
  return 0;
}
