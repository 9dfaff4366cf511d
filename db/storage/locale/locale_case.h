// Upper- and lower-case mapping in place with a table's locale (LanguageId, SortId), or with the
// US English rules (identifier 1033) for LanguageId 0.
//
// Text is UTF-8 and keeps its byte length: a character is mapped only where its mapping is one
// character of the same byte length (see platform/locale/case_mapping.h), so a value mapped in
// its fixed-size key or record slot still fits. A pair that is no locale raises
// VUZODE_CANNOTLOADLDDRV. Stateless; any thread may call these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

void LocaleUpperCase(uint16_t languageId, uint16_t sortId, char* text, size_t length);
void LocaleUpperCase(uint16_t languageId, uint16_t sortId, std::string& text);
void LocaleLowerCase(uint16_t languageId, uint16_t sortId, char* text, size_t length);
void LocaleLowerCase(uint16_t languageId, uint16_t sortId, std::string& text);
