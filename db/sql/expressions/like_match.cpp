// LIKE with a single backtrack point (the last "%" passed), see like_match.h.
#include "db/sql/expressions/like_match.h"

#include "db/storage/locale/locale_compare.h"

bool LikeMatches(std::string_view s, std::string_view p, uint16_t languageId, uint16_t sortId) {
  size_t si = 0, pi = 0;
  size_t starPattern = std::string_view::npos, starSubject = 0;
  while (true) {
    if (p.substr(pi) == "%") return true;
    if (si == s.size() && pi == p.size()) return true;
    if (pi < p.size() && p[pi] == '%') {
      starPattern = pi;
      starSubject = si;
      ++pi;
      continue;
    }
    if (si < s.size() && pi < p.size() &&
        (p[pi] == '_' || p[pi] == s[si] ||
         (languageId != 0 && LocaleCompareChar(languageId, sortId, p[pi], s[si]) == 0))) {
      ++si;
      ++pi;
      continue;
    }
    if (starPattern == std::string_view::npos || starSubject >= s.size()) return false;
    pi = starPattern + 1;
    si = ++starSubject;
  }
}
