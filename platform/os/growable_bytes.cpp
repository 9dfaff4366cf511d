// The growable byte area (see growable_bytes.h): mmap, then mremap to grow.
#include "platform/os/growable_bytes.h"

#include <sys/mman.h>

#include <algorithm>
#include <mutex>
#include <utility>

#include "platform/os/memory_chunks.h"

namespace platform {
namespace {

constexpr size_t kStep = size_t{2} << 20;

size_t RoundUp(size_t bytes) {
  return (bytes + kStep - 1) / kStep * kStep;
}

// One area given back is kept for the next one asked for: a table's journal lives as long as the
// table is open, and statements open their tables anew, so each commit would otherwise map,
// fault in and have the system zero its pages again. The kept pages are marked free: the
// system takes them back when it needs memory, and until then they are reused as they are.
constexpr size_t kKeptLimit = size_t{256} << 20;
std::mutex g_kept_guard;
uint8_t* g_kept = nullptr;
size_t g_kept_capacity = 0;

}  // namespace

TGrowableBytes::~TGrowableBytes() {
  Release();
}

bool TGrowableBytes::Resize(size_t size) {
  if (size <= capacity_) {
    size_ = size;
    return true;
  }
  if (size > SIZE_MAX / 2) return false;
  const size_t capacity = RoundUp(std::max(size, capacity_ * 2));
  if (data_ == nullptr) {
    std::lock_guard hold(g_kept_guard);
    data_ = std::exchange(g_kept, nullptr);
    capacity_ = std::exchange(g_kept_capacity, 0);
    if (size <= capacity_) {
      size_ = size;
      return true;
    }
  }
  void* area = nullptr;
  if (data_ == nullptr) {
    area = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  } else {
    area = mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
  }
  if (area == MAP_FAILED) return false;
  AdviseHugePages(area, capacity);
  data_ = static_cast<uint8_t*>(area);
  capacity_ = capacity;
  size_ = size;
  return true;
}

void TGrowableBytes::Release() {
  if (data_ != nullptr && capacity_ <= kKeptLimit) {
#ifdef MADV_FREE
    static_cast<void>(madvise(data_, capacity_, MADV_FREE));
#endif
    std::lock_guard hold(g_kept_guard);
    std::swap(data_, g_kept);
    std::swap(capacity_, g_kept_capacity);
  }
  if (data_ != nullptr) munmap(data_, capacity_);
  data_ = nullptr;
  size_ = capacity_ = 0;
}

}  // namespace platform
