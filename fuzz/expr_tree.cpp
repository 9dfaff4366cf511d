// Fuzz target: arbitrary bytes read as a serialised expression tree. The first byte picks the
// form (odd: the older one), the rest is the tree. A tree that is read must write back and read
// again to the same tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/sql/expressions/exp_tree_stream.h"
#include "db/sql/expressions/exp_tree_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  int32_t version = (data[0] & 1) ? 30000 : 30800;
  TExpTokenStack& pool = GlobalExpTokenStack();
  TExpToken* tree = nullptr;
  try {
    tree = ReadSerializedTree(std::span<const uint8_t>(data + 1, size - 1), version, pool);
  } catch (const EVUZODEEngineError&) {
    return 0;
  }
  std::string text = ExpTreeText(tree);
  std::vector<uint8_t> bytes;
  SerializeTree(tree, 30800, bytes, pool);  // any tree read has a current form
  TExpToken* again = ReadSerializedTree(bytes, 30800, pool);
  if (ExpTreeText(again) != text) std::abort();
  ReleaseExpTree(pool, again);
  ReleaseExpTree(pool, tree);
  return 0;
}
