// The packed decimal value of BCD fields and expression values, read and written through a
// 64-bit count of ten-thousandths (four decimals, the most a BCD field keeps).
//
// Layout of the 34 bytes:
//   | Offset | Size | Content                                                              |
//   |--------|------|----------------------------------------------------------------------|
//   |   0    |  1   | precision: the number of digits held, 1..64                          |
//   |   1    |  1   | bit 7 sign (1 negative), bits 0..5 places (digits after the point)    |
//   |   2    |  32  | digits, two per byte, high nibble first, most significant first      |
//
// Invariants:
//   (1) Every value this file writes has places equal to the requested scale (0..4) and the
//       fewest digits that hold it (at least places + 1), so equal values have equal bytes.
//   (2) A value that does not fit the 64-bit count is never wrapped: the readers answer false.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr int64_t kBcdOne = 10000;  // ten-thousandths per unit

// Reads bcd (34 bytes). False when a digit nibble is above 9, the places exceed the precision,
// the precision exceeds 64, or the value does not fit 64-bit ten-thousandths; places beyond 4
// are rounded half away from zero.
bool BcdToTenThousandths(const uint8_t* bcd, int64_t& value);

// Writes value (ten-thousandths) into the 34 bytes at bcd with scale places (0..4), rounding
// half away from zero to that scale.
void BcdFromTenThousandths(int64_t value, uint8_t scale, uint8_t* bcd);

// Rounds a ten-thousandths count half away from zero to places decimals (0..4). False when the
// rounded value would leave the 64-bit range.
bool RoundTenThousandths(int64_t value, int places, int64_t& rounded);

// Decimal text ("-12.5", "3", ".25", optional blanks around) to ten-thousandths, rounding
// digits past the fourth decimal half away from zero. False for anything else or on overflow.
bool TenThousandthsFromText(std::string_view text, int64_t& value);

// The decimal text of value with at least scale decimals and no trailing zeros beyond them.
std::string TenThousandthsToText(int64_t value, uint8_t scale);
