// TRecordsBitmapStack: the process-wide pool of record bitmaps. The engine creates the one pool
// when it starts and frees it, with the bitmaps it holds, when it stops; cursors and filters
// take their bitmaps from it and give them back when the filter is removed or the cursor closed,
// so that re-opening a cursor on a large table reuses the word arrays instead of reallocating.
//
// Invariants:
//   (1) The pool holds at most kCapacity bitmaps; Return frees any beyond that.
//   (2) Every pooled bitmap is owned by the pool alone; Take hands ownership to the caller and
//       Return takes it back, leaving the caller's pointer empty.
//   (3) lock_ guards pooled_ and nothing else. It is held only to push or pop a pointer: the
//       clearing of a taken bitmap and the freeing of a surplus one happen outside it, so one
//       session clearing a large bitmap never stalls another's take. pooled_ has room for
//       kCapacity pointers from construction, so Return never allocates and cannot fail.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "db/sql/bitmaps/records_bitmap.h"
#include "platform/os/system.h"

class TRecordsBitmapStack {
 public:
  static constexpr size_t kCapacity = 64;

  TRecordsBitmapStack();
  TRecordsBitmapStack(const TRecordsBitmapStack&) = delete;
  TRecordsBitmapStack& operator=(const TRecordsBitmapStack&) = delete;
  // Frees the pooled bitmaps.
  // REQUIRES: no thread is taking or returning.
  ~TRecordsBitmapStack() = default;

  // The most recently returned bitmap with all its records cleared (it keeps its size and its
  // allocation), or a new empty bitmap when the pool is empty. Raises VUZODE_OSENOMEM when a
  // new one cannot be allocated. Thread-safe.
  std::unique_ptr<TRecordsBitmap> Take();
  // Gives bitmap back to the pool, or frees it when the pool is full; bitmap is empty
  // afterwards. An empty bitmap pointer does nothing. Thread-safe.
  void Return(std::unique_ptr<TRecordsBitmap>& bitmap) noexcept;

  // The number of bitmaps held now (a snapshot; others may take or return at once).
  size_t PooledCount() const;

 private:
  mutable platform::TCriticalSection lock_;
  std::vector<std::unique_ptr<TRecordsBitmap>> pooled_;
};
