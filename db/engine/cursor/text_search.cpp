// TextMatches and TextOccurrences (see the header).
#include "db/engine/cursor/text_search.h"

#include <string>
#include <vector>

#include "db/storage/index/index_key.h"
#include "db/storage/locale/locale_case.h"
#include "db/storage/locale/locale_compare.h"

namespace {

struct TWord {
  std::string Text;  // upper-cased
  int32_t Count = 0;
};

// The distinct words of text with their counts; with star the asterisk is a word character.
std::vector<TWord> Words(std::string_view text, const TTextIndexParameters& p, bool star,
                         uint16_t languageId, uint16_t sortId) {
  std::vector<TWord> words;
  std::string current;
  auto finish = [&] {
    if (current.empty()) return;
    LocaleUpperCase(languageId, sortId, current);
    for (TWord& w : words) {
      if (LocaleCompare(languageId, sortId, w.Text, current, true) == 0) {
        ++w.Count;
        current.clear();
        return;
      }
    }
    words.push_back({current, 1});
    current.clear();
  };
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (star && ch == '*') {
      current.push_back(ch);
    } else if (p.SpaceCharacters[c]) {
      finish();
    } else if (p.IncludeCharacters[c] && current.size() < kTextWordLength) {
      current.push_back(ch);
    }
  }
  finish();
  return words;
}

bool IsStopWord(const std::string& word, const TTextIndexParameters& p, uint16_t languageId,
                uint16_t sortId) {
  for (const std::string& stop : p.StopWords) {
    if (LocaleCompare(languageId, sortId, stop, word, true) == 0) return true;
  }
  return false;
}

bool BeginsWith(const std::string& word, const std::string& prefix, uint16_t languageId,
                uint16_t sortId) {
  if (word.size() < prefix.size()) return false;
  return LocaleCompare(languageId, sortId, std::string_view(word).substr(0, prefix.size()), prefix,
                       true) == 0;
}

// The occurrences in text of search word w; -1 for a stop word, which counts nothing.
int32_t Occurrences(const TWord& w, const std::vector<TWord>& text, const TTextIndexParameters& p,
                    uint16_t languageId, uint16_t sortId) {
  if (!w.Text.empty() && w.Text.back() == '*') {
    const std::string prefix = w.Text.substr(0, w.Text.size() - 1);
    int32_t count = 0;
    for (const TWord& t : text) {
      if (BeginsWith(t.Text, prefix, languageId, sortId)) count += t.Count;
    }
    return count;
  }
  if (IsStopWord(w.Text, p, languageId, sortId)) return -1;
  for (const TWord& t : text) {
    if (LocaleCompare(languageId, sortId, t.Text, w.Text, true) == 0) return t.Count;
  }
  return 0;
}

}  // namespace

bool TextMatches(std::string_view search, std::string_view text, const TTextIndexParameters& p,
                 uint16_t languageId, uint16_t sortId) {
  const std::vector<TWord> words = Words(text, p, false, languageId, sortId);
  for (const TWord& w : Words(search, p, true, languageId, sortId)) {
    if (Occurrences(w, words, p, languageId, sortId) == 0) return false;
  }
  return true;
}

int32_t TextOccurrences(std::string_view search, std::string_view text,
                        const TTextIndexParameters& p, uint16_t languageId, uint16_t sortId) {
  const std::vector<TWord> words = Words(text, p, false, languageId, sortId);
  int32_t total = 0;
  for (const TWord& w : Words(search, p, true, languageId, sortId)) {
    const int32_t n = Occurrences(w, words, p, languageId, sortId);
    if (n > 0) total += n;
  }
  return total;
}
