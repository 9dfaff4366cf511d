// The installed-locale check for a table's (LanguageId, SortId) pair.
#pragma once

#include <cstdint>
#include <string_view>

// Whether the pair forms a locale installed on this system. LanguageId 0 (byte order) forms
// none: callers test it only for tables that have a locale.
bool IsLocaleInstalled(uint16_t languageId, uint16_t sortId);

// Raises VUZODE_CANNOTLOADLDDRV naming the table when LanguageId is not 0 and the pair is not an
// installed locale; a table with such a locale can be neither created nor opened.
void CheckTableLocale(uint16_t languageId, uint16_t sortId, std::string_view database,
                      std::string_view table);
