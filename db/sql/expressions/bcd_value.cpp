// Packed decimal codec: see bcd_value.h for the byte layout.
#include "db/sql/expressions/bcd_value.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int64_t kPowers[] = {1, 10, 100, 1000, 10000};

// |value| as unsigned, safe for INT64_MIN.
uint64_t Magnitude(int64_t value) {
  return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

// Applies sign to a magnitude; false when it does not fit.
bool Signed(uint64_t magnitude, bool negative, int64_t& value) {
  if (negative) {
    if (magnitude > static_cast<uint64_t>(INT64_MAX) + 1) return false;
    value = static_cast<int64_t>(0 - magnitude);
    return true;
  }
  if (magnitude > static_cast<uint64_t>(INT64_MAX)) return false;
  value = static_cast<int64_t>(magnitude);
  return true;
}

// Accumulates digits (most significant first) into a magnitude of ten-thousandths given how
// many of them are decimals. Digits past the fourth decimal round half away from zero.
bool Accumulate(const uint8_t* digits, int count, int places, uint64_t& magnitude) {
  unsigned __int128 total = 0;
  const int kept = count - places + (places < 4 ? places : 4);
  for (int i = 0; i < kept; ++i) {
    total = total * 10 + digits[i];
    if (total > (static_cast<unsigned __int128>(1) << 64)) return false;
  }
  for (int i = places; i < 4; ++i) {
    total *= 10;
    if (total > (static_cast<unsigned __int128>(1) << 64)) return false;
  }
  if (places > 4 && digits[kept] >= 5) total += 1;
  if (total > UINT64_MAX) return false;
  magnitude = static_cast<uint64_t>(total);
  return true;
}

}  // namespace

bool BcdToTenThousandths(const uint8_t* bcd, int64_t& value) {
  const int precision = bcd[0];
  const int places = bcd[1] & 0x3F;
  const bool negative = (bcd[1] & 0x80) != 0;
  if (precision > 64 || places > precision) return false;
  uint8_t digits[65] = {};
  for (int i = 0; i < precision; ++i) {
    const uint8_t pair = bcd[2 + i / 2];
    digits[i] = (i % 2 == 0) ? pair >> 4 : pair & 0x0F;
    if (digits[i] > 9) return false;
  }
  uint64_t magnitude = 0;
  if (!Accumulate(digits, precision, places, magnitude)) return false;
  return Signed(magnitude, negative && magnitude != 0, value);
}

bool RoundTenThousandths(int64_t value, int places, int64_t& rounded) {
  if (places >= 4) {
    rounded = value;
    return true;
  }
  const int64_t unit = kPowers[4 - places];
  const uint64_t magnitude = Magnitude(value);
  uint64_t whole = magnitude / unit * unit;
  if (magnitude % unit >= static_cast<uint64_t>(unit / 2)) whole += unit;
  return Signed(whole, value < 0, rounded);
}

void BcdFromTenThousandths(int64_t value, uint8_t scale, uint8_t* bcd) {
  if (scale > 4) scale = 4;
  int64_t rounded = value;
  if (!RoundTenThousandths(value, scale, rounded)) rounded = value;  // only at the very edge
  uint64_t magnitude = Magnitude(rounded) / static_cast<uint64_t>(kPowers[4 - scale]);
  uint8_t digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<uint8_t>(magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count < scale + 1) digits[count++] = 0;
  std::memset(bcd, 0, 34);
  bcd[0] = static_cast<uint8_t>(count);
  bcd[1] = static_cast<uint8_t>(scale | (rounded < 0 ? 0x80 : 0));
  for (int i = 0; i < count; ++i) {
    const uint8_t digit = digits[count - 1 - i];
    bcd[2 + i / 2] |= (i % 2 == 0) ? static_cast<uint8_t>(digit << 4) : digit;
  }
}

bool TenThousandthsFromText(std::string_view text, int64_t& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  uint8_t digits[80];
  int count = 0, places = 0;
  bool point = false;
  for (char c : text) {
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return false;
    if (count == 64) return false;
    digits[count++] = static_cast<uint8_t>(c - '0');
    if (point) ++places;
  }
  if (count == 0) return false;
  digits[count] = 0;
  uint64_t magnitude = 0;
  if (!Accumulate(digits, count, places, magnitude)) return false;
  return Signed(magnitude, negative, value);
}

std::string TenThousandthsToText(int64_t value, uint8_t scale) {
  const uint64_t magnitude = Magnitude(value);
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, "%04u", static_cast<unsigned>(magnitude % 10000));
  int keep = 4;
  while (keep > scale && fraction[keep - 1] == '0') --keep;
  char text[40];
  std::snprintf(text, sizeof text, "%s%llu%s%.*s", value < 0 ? "-" : "",
                static_cast<unsigned long long>(magnitude / 10000), keep > 0 ? "." : "", keep,
                fraction);
  return text;
}
