// Text helpers of the shell's output modes: JSON string escaping, base64, RFC 4180 quoting and
// the display width of UTF-8 text on a terminal (East Asian wide characters take two cells).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vuzode {

// text as a JSON string literal, quotes included. Bytes that are not valid UTF-8 become U+FFFD
// so that the output stays valid JSON.
std::string JsonString(std::string_view text);
// The standard base64 alphabet with "=" padding.
std::string Base64(std::span<const uint8_t> bytes);
// "X'...'" with two upper-case hexadecimal digits per byte.
std::string HexLiteral(std::span<const uint8_t> bytes);
// A CSV field: quoted (quotes doubled) when it holds the separator, a quote, CR or LF, or
// begins or ends with a blank; as it is otherwise.
std::string CsvField(std::string_view text, std::string_view separator);
// The terminal cells text takes: wide and full-width characters 2, combining marks 0, other
// characters 1.
size_t DisplayWidth(std::string_view text);

}  // namespace vuzode
