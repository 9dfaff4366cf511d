// TGrowableBytes: a byte area that grows without copying or zero-filling what it holds. It is
// an anonymous mapping, asked to be backed by huge pages, that grows in place or moves by
// remapping its pages; the bytes a growth adds are unspecified (zeros from the system, or what
// an earlier use left). For buffers of tens of megabytes filled once and written out (a commit's
// journal): a vector would zero every byte, copy the whole at each doubling and fault once per
// 4 KiB page. An area released is kept (its pages marked free, so the system may take them back
// under memory pressure) for the next area the process asks for; one such area of at most
// 256 MiB is kept.
//
// Invariants:
//   (1) Size() <= Capacity(); Data() is null exactly while Capacity() is 0.
//   (2) Capacity() is a multiple of the mapping step (2 MiB) and only grows, until Release.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

class TGrowableBytes {
 public:
  TGrowableBytes() = default;
  ~TGrowableBytes();
  TGrowableBytes(const TGrowableBytes&) = delete;
  TGrowableBytes& operator=(const TGrowableBytes&) = delete;

  uint8_t* Data() { return data_; }
  const uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }
  size_t Capacity() const { return capacity_; }

  // Makes the size size, growing the mapping when needed; false (nothing changed) when the
  // system has no memory for it.
  bool Resize(size_t size);
  // Size 0; the mapping stays for the next use.
  void Clear() { size_ = 0; }
  // Size 0 and the mapping given back.
  void Release();

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace platform
