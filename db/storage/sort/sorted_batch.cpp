// Sorting a batch of keys (sorted_batch.h). Byte-comparable keys are sorted on a 64-bit prefix
// held beside the position, so most comparisons touch no key bytes at all; the rest use the
// layout's comparison.
#include "db/storage/sort/sorted_batch.h"

#include <algorithm>
#include <cstring>

namespace {

struct TPrefixed {
  uint64_t Prefix;
  uint32_t Position;
};

// The first (up to) 8 bytes of key as a big-endian number, zero-padded: it orders as the bytes.
uint64_t PrefixOf(const uint8_t* key, uint32_t length) {
  uint64_t prefix = 0;
  const uint32_t n = std::min<uint32_t>(length, 8);
  for (uint32_t i = 0; i < 8; ++i) prefix = (prefix << 8) | (i < n ? key[i] : 0u);
  return prefix;
}

std::vector<uint32_t> SortBytewise(const uint8_t* keys, uint32_t length, uint32_t count) {
  std::vector<TPrefixed> items(count);
  for (uint32_t i = 0; i < count; ++i) {
    items[i] = {PrefixOf(keys + static_cast<size_t>(i) * length, length), i};
  }
  const uint32_t rest = length > 8 ? length - 8 : 0;
  std::sort(items.begin(), items.end(), [=](const TPrefixed& a, const TPrefixed& b) {
    if (a.Prefix != b.Prefix) return a.Prefix < b.Prefix;
    if (rest != 0) {
      const int r = std::memcmp(keys + static_cast<size_t>(a.Position) * length + 8,
                                keys + static_cast<size_t>(b.Position) * length + 8, rest);
      if (r != 0) return r < 0;
    }
    return a.Position < b.Position;
  });
  std::vector<uint32_t> order(count);
  for (uint32_t i = 0; i < count; ++i) order[i] = items[i].Position;
  return order;
}

}  // namespace

std::vector<uint32_t> SortedOrder(const TSortKeyLayout& layout, const uint8_t* keys,
                                  uint32_t count) {
  const uint32_t length = layout.Length();
  if (layout.Bytewise()) return SortBytewise(keys, length, count);
  std::vector<uint32_t> order(count);
  for (uint32_t i = 0; i < count; ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    const int r = layout.Compare(keys + static_cast<size_t>(a) * length,
                                 keys + static_cast<size_t>(b) * length, true);
    return r != 0 ? r < 0 : a < b;
  });
  return order;
}

TSortedBatch::TSortedBatch(const TSortKeyLayout& layout, std::vector<const uint8_t*> images,
                           uint32_t recordSize)
    : images_(std::move(images)),
      key_length_(layout.Length()),
      keys_(images_.size() * key_length_) {
  for (size_t i = 0; i < images_.size(); ++i) {
    layout.Encode({images_[i], recordSize}, keys_.data() + i * key_length_);
  }
  order_ = SortedOrder(layout, keys_.data(), static_cast<uint32_t>(images_.size()));
}
