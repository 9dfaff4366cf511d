// The change counter that every table file's header carries: other sessions compare it to see
// whether the file changed. It wraps from the largest value to the smallest.
#pragma once

#include <cstdint>

// Adds one without the undefined behaviour of signed overflow (a counter that wraps).
inline int32_t WrappingIncrement(int32_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(value) + 1u);
}
