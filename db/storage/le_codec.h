// Little-endian readers and writers for the table file formats. Every integer and double of a
// data file goes through these byte by byte, so the layout does not depend on the host's byte
// order, alignment or struct padding.
#pragma once

#include <bit>
#include <cstdint>

inline uint16_t GetU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline int16_t GetI16(const uint8_t* p) {
  return static_cast<int16_t>(GetU16(p));
}
inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t GetI32(const uint8_t* p) {
  return static_cast<int32_t>(GetU32(p));
}
inline uint64_t GetU64(const uint8_t* p) {
  return static_cast<uint64_t>(GetU32(p)) | (static_cast<uint64_t>(GetU32(p + 4)) << 32);
}
inline int64_t GetI64(const uint8_t* p) {
  return static_cast<int64_t>(GetU64(p));
}
inline double GetF64(const uint8_t* p) {
  return std::bit_cast<double>(GetU64(p));
}

inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutI16(uint8_t* p, int16_t v) {
  PutU16(p, static_cast<uint16_t>(v));
}
inline void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline void PutI32(uint8_t* p, int32_t v) {
  PutU32(p, static_cast<uint32_t>(v));
}
inline void PutU64(uint8_t* p, uint64_t v) {
  PutU32(p, static_cast<uint32_t>(v));
  PutU32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline void PutI64(uint8_t* p, int64_t v) {
  PutU64(p, static_cast<uint64_t>(v));
}
inline void PutF64(uint8_t* p, double v) {
  PutU64(p, std::bit_cast<uint64_t>(v));
}
