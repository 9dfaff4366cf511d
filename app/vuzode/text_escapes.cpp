// Text helpers of the output modes (see text_escapes.h).
#include "app/vuzode/text_escapes.h"

namespace vuzode {
namespace {

// Decodes one UTF-8 character at text[at]; answers its length, 0 for an invalid sequence.
size_t DecodeUtf8(std::string_view text, size_t at, uint32_t& code) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t first = byte(at);
  size_t length = 0;
  if (first < 0x80) {
    code = first;
    return 1;
  } else if ((first & 0xE0) == 0xC0) {
    length = 2;
    code = first & 0x1F;
  } else if ((first & 0xF0) == 0xE0) {
    length = 3;
    code = first & 0x0F;
  } else if ((first & 0xF8) == 0xF0) {
    length = 4;
    code = first & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool IsWide(uint32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
         (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
         (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

bool IsCombining(uint32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0xFE00 && c <= 0xFE0F) || c == 0x3099 || c == 0x309A;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (size_t at = 0; at < text.size();) {
    uint32_t code = 0;
    const size_t length = DecodeUtf8(text, at, code);
    if (length == 0) {
      out += "\\ufffd";
      ++at;
      continue;
    }
    switch (code) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (code < 0x20) {
          static constexpr char kHex[] = "0123456789abcdef";
          out += "\\u00";
          out += kHex[code >> 4];
          out += kHex[code & 15];
        } else {
          out.append(text.substr(at, length));
        }
    }
    at += length;
  }
  out += '"';
  return out;
}

std::string Base64(std::span<const uint8_t> bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t left = bytes.size() - i;
    const uint32_t group = (uint32_t{bytes[i]} << 16) |
                           (left > 1 ? uint32_t{bytes[i + 1]} << 8 : 0) |
                           (left > 2 ? uint32_t{bytes[i + 2]} : 0);
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
    out += left > 2 ? kAlphabet[group & 63] : '=';
  }
  return out;
}

std::string HexLiteral(std::span<const uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "X'";
  for (uint8_t b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  out += '\'';
  return out;
}

std::string CsvField(std::string_view text, std::string_view separator) {
  const bool quote = text.find_first_of("\"\r\n") != std::string_view::npos ||
                     (!separator.empty() && text.find(separator) != std::string_view::npos) ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

size_t DisplayWidth(std::string_view text) {
  size_t width = 0;
  for (size_t at = 0; at < text.size();) {
    uint32_t code = 0;
    const size_t length = DecodeUtf8(text, at, code);
    if (length == 0) {
      ++width;
      ++at;
      continue;
    }
    width += IsCombining(code) ? 0 : IsWide(code) ? 2 : 1;
    at += length;
  }
  return width;
}

}  // namespace vuzode
