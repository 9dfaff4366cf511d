// TSortedBatch: record images with their sort keys, in sorted order; the unit of the in-memory
// sort and of every run.
//
// The order is ascending by the full key and, between equal keys, by position in the batch, so
// a batch comes out as std::stable_sort would leave it.
#pragma once

#include <cstdint>
#include <vector>

#include "db/storage/sort/sort_key.h"

// The positions 0 ... count - 1 of the keys at keys (count keys of layout.Length() bytes back to
// back) in ascending order.
std::vector<uint32_t> SortedOrder(const TSortKeyLayout& layout, const uint8_t* keys,
                                  uint32_t count);

class TSortedBatch {
 public:
  // Computes the keys of images (whole records of recordSize bytes, which must outlive the
  // batch) and sorts them.
  TSortedBatch(const TSortKeyLayout& layout, std::vector<const uint8_t*> images,
               uint32_t recordSize);

  size_t Size() const { return order_.size(); }
  // The i-th image and key in sorted order.
  const uint8_t* Image(size_t i) const { return images_[order_[i]]; }
  const uint8_t* Key(size_t i) const { return keys_.data() + order_[i] * size_t{key_length_}; }

 private:
  std::vector<const uint8_t*> images_;
  uint32_t key_length_;
  std::vector<uint8_t> keys_;
  std::vector<uint32_t> order_;
};
