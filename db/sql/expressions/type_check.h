// CheckTypes: binds the column references of a parsed tree, gives every node its value type,
// subtype, size and scale, converts string constants that stand against dates, times and
// timestamps, and reports the first type error as an engine error.
//
// Invariants after a successful check:
//   (1) Every node has the type data of the value Evaluate will give it; only the NULL
//       constant and parameters stay untyped (ValueType 0).
//   (2) With RewriteBooleanColumns set, no boolean column stands alone at the top or directly
//       under NOT, AND or OR: each became the comparison column = TRUE.
//   (3) Every node's Parent is the node above it (null at the top).
// On an error the tree stays with its owner, partly checked, and is released as it is.
#pragma once

#include <cstdint>
#include <string>

#include "db/sql/expressions/exp_token.h"
#include "db/sql/expressions/exp_token_stack.h"

// Binds names to columns. Implemented by the filter and the SQL sources above this layer.
class TColumnResolver {
 public:
  virtual ~TColumnResolver() = default;
  // Looks up node.ColumnName (with node.TableAlias when set). When found, fills SourceTable,
  // FieldNo, TableAlias, ValueType, SubType, Scale and the value size from the field and
  // answers true; otherwise answers false and leaves the node as it was.
  virtual bool ResolveColumn(TExpToken& node) = 0;
  // Binds the sub-select node: answers the number of columns its query produces and, when
  // that is 1, gives node the column's type data. The default refuses sub-selects (-1).
  virtual int BindSubSelect(TExpToken& node) {
    (void)node;
    return -1;
  }
};

struct TTypeCheckOptions {
  uint16_t ErrorCode = 0;  // VUZODE_SQLPARSE or VUZODE_INVALIDFILTER
  std::string Database;    // the error's context texts
  std::string Table;
  bool StringsMayBeColumns = false;    // a string constant may name a column
  bool RewriteBooleanColumns = false;  // invariant (2): WHERE, JOIN, HAVING, filters
  TColumnResolver* Resolver = nullptr;
  std::string ContextName = "SQL statement";
  TExpTokenStack* Pool = nullptr;  // for the nodes of the boolean rewrite; null: the global pool
};

// Checks the tree at node in place (node may be replaced by the boolean rewrite); parent is
// the node above it or null. Raises options.ErrorCode with the message as detail on the first
// error. REQUIRES: a tree as the parser or the readers build it (bounded height).
void CheckTypes(const TTypeCheckOptions& options, TExpToken* parent, TExpToken*& node);
