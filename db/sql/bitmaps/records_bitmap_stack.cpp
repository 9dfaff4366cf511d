// TRecordsBitmapStack: take and return under the pool's lock (see the header for why the lock
// covers only the list).
#include "db/sql/bitmaps/records_bitmap_stack.h"

#include <mutex>
#include <new>

#include "db/engine/errors/engine_error.h"

TRecordsBitmapStack::TRecordsBitmapStack() {
  pooled_.reserve(kCapacity);
}

std::unique_ptr<TRecordsBitmap> TRecordsBitmapStack::Take() {
  std::unique_ptr<TRecordsBitmap> bitmap;
  {
    std::lock_guard<platform::TCriticalSection> guard(lock_);
    if (!pooled_.empty()) {
      bitmap = std::move(pooled_.back());
      pooled_.pop_back();
    }
  }
  if (bitmap) {
    bitmap->ClearAll();
    return bitmap;
  }
  try {
    return std::make_unique<TRecordsBitmap>();
  } catch (const std::bad_alloc&) {
    RaiseEngineError(VUZODE_OSENOMEM);
  }
}

void TRecordsBitmapStack::Return(std::unique_ptr<TRecordsBitmap>& bitmap) noexcept {
  if (!bitmap) return;
  std::unique_ptr<TRecordsBitmap> surplus = std::move(bitmap);
  {
    std::lock_guard<platform::TCriticalSection> guard(lock_);
    // push_back cannot allocate: the capacity was reserved at construction (invariant (3)).
    if (pooled_.size() < kCapacity) pooled_.push_back(std::move(surplus));
  }
  // surplus, when the pool was full, is freed here, outside the lock.
}

size_t TRecordsBitmapStack::PooledCount() const {
  std::lock_guard<platform::TCriticalSection> guard(lock_);
  return pooled_.size();
}
