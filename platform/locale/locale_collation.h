// Locale string comparison and the installed-locale check, for the locales of the locale map.
// Texts are UTF-8; a byte sequence that is not well-formed UTF-8 compares as the replacement
// character. Stateless apart from the collator cache, so safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

// Compares a and b in the order of the locale (LanguageId, SortId): accents and other non-spacing
// marks are ignored, symbols sort with punctuation, and case is ignored when ignoreCase is set.
// Returns -1, 0 or 1; std::nullopt when the pair is not an installed locale (or ICU fails).
std::optional<int> CompareLocaleText(uint16_t languageId, uint16_t sortId, std::string_view a,
                                     std::string_view b, bool ignoreCase);

// Whether (LanguageId, SortId) is a locale of the map that ICU can collate. LanguageId 0 (byte
// order) is no locale.
bool IsLocaleInstalled(uint16_t languageId, uint16_t sortId);

}  // namespace platform
