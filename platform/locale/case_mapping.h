// Upper- and lower-case mapping of UTF-8 text in place with the case rules of a locale.
//
// Invariant: the text keeps its byte length and layout. A character is replaced only when the
// locale maps it to exactly one character of the same UTF-8 length (so "ß" stays, as its upper
// case is two letters, and Turkish "i" stays, as its upper case "İ" takes two bytes); bytes that
// are not well-formed UTF-8 are left as they are. Index keys and record fields are mapped in
// their fixed-size slots, which is why length may never change.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

enum class TCaseMapping { Upper, Lower };

// Maps the length bytes at text. Returns false, leaving the text untouched, when
// (LanguageId, SortId) is not a locale of the locale map. Thread-safe.
bool MapLocaleCase(uint16_t languageId, uint16_t sortId, char* text, size_t length,
                   TCaseMapping mapping);

}  // namespace platform
