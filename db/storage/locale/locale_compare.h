// String comparison with a table's locale (LanguageId, SortId).
//
// LanguageId 0 is byte order: unsigned bytes compared one by one; without regard to case both
// texts are first upper-cased with the US English rules (identifier 1033), then compared as
// bytes. Any other LanguageId compares with the locale's collation: non-spacing marks ignored,
// symbols sorted with punctuation, case ignored on request (see platform/locale).
//
// Every function here returns -1, 0 or 1 and keeps no state, so any thread may call it. A pair
// that is no installed locale raises VUZODE_CANNOTLOADLDDRV: tables are checked when opened, so
// that only happens for a locale a caller made up, and a wrong order must not pass silently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Compares the zero-terminated texts a and b, or with length > 0 their first length bytes.
// With LanguageId 0 exactly length bytes are compared (length 0: up to and including the
// terminating zero of a); with a locale each text also ends at its first zero byte, since the
// bytes after it are padding and not text.
// REQUIRES: with length > 0, length bytes are readable at a and at b.
int LocaleCompare(uint16_t languageId, uint16_t sortId, const char* a, const char* b,
                  bool caseInsensitive, size_t length = 0);

// Compares the whole texts a and b; with LanguageId 0 a text that is a prefix of the other is
// less, as if both ended in a zero byte.
int LocaleCompare(uint16_t languageId, uint16_t sortId, std::string_view a, std::string_view b,
                  bool caseInsensitive);

// Compares two one-byte characters, case-sensitively.
int LocaleCompareChar(uint16_t languageId, uint16_t sortId, char c1, char c2);
