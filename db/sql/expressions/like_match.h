// LIKE matching: "%" matches any run of characters (also none), "_" any one character, every
// other pattern character itself (case-sensitively: byte equality for language 0, else the
// collation's single-character comparison). There is no escape character.
//
// Invariant: the match backtracks only to the last "%" passed, so it takes at most
// O(|subject| * |pattern|) steps whatever the input.
#pragma once

#include <cstdint>
#include <string_view>

bool LikeMatches(std::string_view subject, std::string_view pattern, uint16_t languageId,
                 uint16_t sortId);
