// Comparison of the names a table holds (fields, indexes, tables): equal when they agree
// letter for letter without regard to ASCII case. Trimming, where a caller wants it, is the
// caller's.
#pragma once

#include <algorithm>
#include <cctype>
#include <string_view>

inline bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}
