// The locale-sorted string list.
//
// The search always continues to the left of an equal entry. Stopping at the first equal entry
// met would report an arbitrary one of several equal entries: of duplicates when they are
// accepted, and of all the entries sharing a prefix in a prefix search, where the first one is
// what callers walk from.
#include "db/storage/locale/language_string_list.h"

#include <algorithm>

#include "db/storage/locale/locale_compare.h"

int TLanguageStringList::Compare(std::string_view a, std::string_view b) const {
  return LocaleCompare(language_id_, sort_id_, a, b, true);
}

void TLanguageStringList::SetLocale(uint16_t languageId, uint16_t sortId) {
  language_id_ = languageId;
  sort_id_ = sortId;
  std::stable_sort(strings_.begin(), strings_.end(),
                   [&](const std::string& a, const std::string& b) { return Compare(a, b) < 0; });
}

size_t TLanguageStringList::Add(std::string text) {
  size_t index;
  if (Find(text, index) && !accept_duplicates_) return index;
  strings_.insert(strings_.begin() + static_cast<ptrdiff_t>(index), std::move(text));
  return index;
}

void TLanguageStringList::Delete(size_t index) {
  strings_.erase(strings_.begin() + static_cast<ptrdiff_t>(index));
}

bool TLanguageStringList::Find(std::string_view text, size_t& index) const {
  return Search(text, 0, 0, index);
}

bool TLanguageStringList::FindPrefix(std::string_view text, size_t length, size_t start,
                                     size_t& index) const {
  return Search(text, length, start, index);
}

long TLanguageStringList::IndexOf(std::string_view text) const {
  size_t index;
  return Find(text, index) ? static_cast<long>(index) : -1;
}

// length 0 compares whole texts; otherwise the first length bytes of each.
bool TLanguageStringList::Search(std::string_view text, size_t length, size_t start,
                                 size_t& index) const {
  const std::string_view key = length == 0 ? text : text.substr(0, length);
  size_t low = start;
  size_t high = strings_.size();  // the answer lies in [low, high]
  bool found = false;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    std::string_view entry = strings_[middle];
    if (length != 0) entry = entry.substr(0, length);
    const int result = Compare(entry, key);
    if (result < 0) {
      low = middle + 1;
    } else {
      high = middle;
      if (result == 0) found = true;
    }
  }
  index = low;
  return found;
}
