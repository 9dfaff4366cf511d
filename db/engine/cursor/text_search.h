// The per-record text search of TEXTSEARCH and TEXTOCCURS: a search text against one field's
// text (a string, or a memo's bytes), split into words by the table's text index parameters
// (space characters end a word, include characters belong to it, others are skipped; in the
// search text the asterisk belongs to words too). Words compare upper-cased under the table's
// locale.
//   - TextMatches: true unless some search word fails: "data*" fails when no word of the text
//     begins with DATA; any other word that is not a stop word fails when the text lacks it.
//     A search text without words matches.
//   - TextOccurrences: over the search words, the occurrences in the text of that word (of
//     every word with that beginning for "data*"); stop words count nothing.
#pragma once

#include <cstdint>
#include <string_view>

#include "db/storage/index/text_index.h"

bool TextMatches(std::string_view search, std::string_view text,
                 const TTextIndexParameters& parameters, uint16_t languageId, uint16_t sortId);
int32_t TextOccurrences(std::string_view search, std::string_view text,
                        const TTextIndexParameters& parameters, uint16_t languageId,
                        uint16_t sortId);
