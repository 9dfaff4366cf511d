// Whole-buffer compression with zlib, for the requests and replies of remote sessions on
// Internet connections (table files are never compressed).
//
// Compress deflates at level 9 into a zlib stream (with its header and Adler-32 trailer);
// Decompress inflates exactly one such stream. Both keep no state; any thread may call them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The zlib stream of input. Raises VUZODE_COMPRESS when zlib fails.
std::vector<uint8_t> Compress(std::span<const uint8_t> input);

// The bytes of the zlib stream input. Raises VUZODE_UNCOMPRESS when input is not exactly one
// complete, intact stream (empty, truncated, corrupt, or followed by further bytes) or when it
// inflates to more than maxSize bytes; the output never grows past maxSize + 1 bytes, so a small
// hostile stream cannot exhaust memory.
std::vector<uint8_t> Decompress(std::span<const uint8_t> input, size_t maxSize);
