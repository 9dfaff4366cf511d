// Fuzz target: arbitrary text parsed as a table filter and as an SQL expression with every
// flag. Beyond the sanitizers' own checks it asserts that every parsed tree (sub-selects aside)
// is one the tree reader accepts back from its current serialised form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/sql/expressions/exp_tree_stream.h"
#include "db/sql/expressions/exp_tree_text.h"
#include "db/sql/expressions/expression_parser.h"

namespace {

// Keeps parameters to itself and reads a sub-select as everything up to its ")".
class TFuzzOwner : public TExpressionOwner {
 public:
  void AddParameter(TExpToken*) override {}
  void ParseSubSelect(TExpressionParser& parser, TExpToken*) override {
    while (!parser.TokenIs(kTokenEnd) && !parser.TokenIs(')')) parser.NextToken();
  }
};

bool HasSubSelect(const TExpToken* node) {
  if (!node) return false;
  if (node->NodeClass == kNodeSubSelect) return true;
  if (HasSubSelect(node->Left) || HasSubSelect(node->Right)) return true;
  for (const TExpToken* arg : node->Args)
    if (HasSubSelect(arg)) return true;
  return false;
}

void CheckRoundTrip(TExpTokenStack& pool, const TExpToken* tree) {
  if (HasSubSelect(tree)) return;
  std::vector<uint8_t> bytes;
  SerializeTree(tree, 30800, bytes, pool);
  TExpToken* read = nullptr;
  try {
    read = ReadSerializedTree(bytes, 30800, pool);
  } catch (const EVUZODEEngineError&) {
    std::abort();  // the reader refused a tree the parser built
  }
  ReleaseExpTree(pool, read);
  try {
    SerializeTree(tree, 30000, bytes, pool);
    read = ReadSerializedTree(bytes, 30000, pool);
    ReleaseExpTree(pool, read);
  } catch (const EVUZODEEngineError&) {
    // The older form refuses what it cannot carry.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  TExpTokenStack& pool = GlobalExpTokenStack();
  TFuzzOwner owner;
  TExpressionParser parser(&owner, pool);
  try {
    TExpToken* tree = parser.ParseFilter(text);
    CheckRoundTrip(pool, tree);
    ReleaseExpTree(pool, tree);
  } catch (const EVUZODEEngineError&) {
  }
  parser.ErrorCode = VUZODE_SQLPARSE;
  parser.ContextName = "source column expression";
  try {
    parser.SetText(text);
    parser.NextToken();
    TExpToken* tree = parser.ParseOr(31);
    (void)ExpTreeText(tree);
    CheckRoundTrip(pool, tree);
    ReleaseExpTree(pool, tree);
  } catch (const EVUZODEEngineError&) {
  }
  return 0;
}
