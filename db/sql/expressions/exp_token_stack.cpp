// TExpTokenStack: take and return under the pool's lock, and the release of a whole tree.
#include "db/sql/expressions/exp_token_stack.h"

#include <mutex>
#include <new>

#include "db/engine/errors/engine_error.h"

TExpTokenStack::TExpTokenStack() {
  pooled_.reserve(kCapacity);
}

TExpTokenStack::~TExpTokenStack() {
  for (TExpToken* node : pooled_) delete node;
}

TExpToken* TExpTokenStack::Take() {
  TExpToken* node = nullptr;
  {
    std::lock_guard<platform::TCriticalSection> guard(lock_);
    if (!pooled_.empty()) {
      node = pooled_.back();
      pooled_.pop_back();
    }
  }
  if (node) {
    node->Reset();
    return node;
  }
  try {
    return new TExpToken();
  } catch (const std::bad_alloc&) {
    RaiseEngineError(VUZODE_OSENOMEM);
  }
}

void TExpTokenStack::Return(TExpToken*& node) noexcept {
  if (!node) return;
  TExpToken* surplus = node;
  node = nullptr;
  {
    std::lock_guard<platform::TCriticalSection> guard(lock_);
    // Cannot allocate: the capacity was reserved at construction (invariant (3)).
    if (pooled_.size() < kCapacity) {
      pooled_.push_back(surplus);
      surplus = nullptr;
    }
  }
  delete surplus;
}

size_t TExpTokenStack::PooledCount() const {
  std::lock_guard<platform::TCriticalSection> guard(lock_);
  return pooled_.size();
}

TExpTokenStack& GlobalExpTokenStack() {
  // Never destroyed: a node returned during process exit must still find its pool.
  static TExpTokenStack* pool = new TExpTokenStack();
  return *pool;
}

void ReleaseExpTree(TExpTokenStack& pool, TExpToken*& root) noexcept {
  if (!root) return;
  // The pending list reuses the links of the nodes being released: each popped node's children
  // are pushed onto a chain threaded through their Parent pointers, so releasing never
  // allocates (it may run while handling an out-of-memory error).
  TExpToken* pending = root;
  root->Parent = nullptr;
  root = nullptr;
  while (pending) {
    TExpToken* node = pending;
    pending = node->Parent;
    auto push = [&pending](TExpToken* child) {
      if (!child) return;
      child->Parent = pending;
      pending = child;
    };
    push(node->Left);
    push(node->Right);
    push(node->Child);
    for (TExpToken* arg : node->Args) push(arg);
    node->Left = node->Right = node->Child = nullptr;
    node->Args.clear();
    pool.Return(node);
  }
}
