// TExpTokenStack: the pool every expression node is taken from and returned to, and
// ReleaseExpTree, which returns a whole tree.
//
// Invariants:
//   (1) The pool holds at most kCapacity nodes; Return frees any beyond that.
//   (2) A pooled node is owned by the pool alone: Take hands it to the caller, Return takes it
//       back and clears the caller's pointer.
//   (3) lock_ guards pooled_ only and is held just to push or pop one pointer; the reset of a
//       taken node and the freeing of a surplus one happen outside it. pooled_ has room for
//       kCapacity pointers from construction, so Return never allocates and cannot fail.
#pragma once

#include <cstddef>
#include <vector>

#include "db/sql/expressions/exp_token.h"
#include "platform/os/system.h"

class TExpTokenStack {
 public:
  static constexpr size_t kCapacity = 256;

  TExpTokenStack();
  TExpTokenStack(const TExpTokenStack&) = delete;
  TExpTokenStack& operator=(const TExpTokenStack&) = delete;
  // Frees the pooled nodes. REQUIRES: no thread is taking or returning.
  ~TExpTokenStack();

  // The last returned node, reset, or a new node when the pool is empty. Raises
  // VUZODE_OSENOMEM when a new node cannot be allocated. Thread-safe.
  TExpToken* Take();
  // Gives node back (or frees it when the pool is full) and sets node to null. A null node does
  // nothing. Only the node itself is returned, not its children. Thread-safe.
  void Return(TExpToken*& node) noexcept;

  // The number of nodes held now (a snapshot).
  size_t PooledCount() const;

 private:
  mutable platform::TCriticalSection lock_;
  std::vector<TExpToken*> pooled_;
};

// The process-wide pool. It lives for the whole process, so nodes may be returned to it from
// anywhere, including static destructors.
TExpTokenStack& GlobalExpTokenStack();

// Returns root and every node reachable from it through Left, Right, Child and Args to pool,
// and sets root to null. Iterative, so a tree of any height is released without deep recursion.
// REQUIRES: the nodes form a tree (no node is reachable twice), as every tree built by the
// parser and the readers does; a copied node shares its argument nodes, so release the copy
// with pool.Return alone.
void ReleaseExpTree(TExpTokenStack& pool, TExpToken*& root) noexcept;
