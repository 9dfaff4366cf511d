// TOwnedExpTree: an expression tree owned by a clause object, returned node by node to the pool
// it was taken from when the owner goes away. Holding trees this way means a query that is
// freed halfway through a failed parse never leaks a node.
#pragma once

#include <memory>

#include "db/sql/expressions/exp_token.h"
#include "db/sql/expressions/exp_token_stack.h"

struct TExpTreeRelease {
  TExpTokenStack* Pool = nullptr;
  void operator()(TExpToken* root) const noexcept { ReleaseExpTree(*Pool, root); }
};

using TOwnedExpTree = std::unique_ptr<TExpToken, TExpTreeRelease>;

// Takes ownership of root (which may be null), to be released to pool.
inline TOwnedExpTree OwnExpTree(TExpTokenStack& pool, TExpToken* root) {
  return TOwnedExpTree(root, TExpTreeRelease{&pool});
}
