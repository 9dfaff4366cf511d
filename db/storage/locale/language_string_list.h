// TLanguageStringList: a sorted list of texts ordered by a table's locale without regard to
// case, as the text index keeps its words.
//
// Invariants:
//   (1) Strings() is sorted by LocaleCompare (LanguageId, SortId, case-insensitive); Add and
//       SetLocale keep it so (by insertion and by re-sorting).
//   (2) Without AcceptDuplicates no two entries compare equal; Add of an equal text is ignored.
//   (3) A search reports the first of the entries that compare equal to the text, and otherwise
//       the position where the text would be inserted.
// Not thread-safe: one owner uses a list at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TLanguageStringList {
 public:
  explicit TLanguageStringList(uint16_t languageId = 0, uint16_t sortId = 0,
                               bool acceptDuplicates = false)
      : language_id_(languageId), sort_id_(sortId), accept_duplicates_(acceptDuplicates) {}

  uint16_t LanguageId() const { return language_id_; }
  uint16_t SortId() const { return sort_id_; }
  bool AcceptDuplicates() const { return accept_duplicates_; }
  // Changes the locale and re-sorts. Entries that become equal under the new locale all stay.
  void SetLocale(uint16_t languageId, uint16_t sortId);

  size_t Count() const { return strings_.size(); }
  // REQUIRES: index < Count().
  const std::string& operator[](size_t index) const { return strings_[index]; }
  const std::vector<std::string>& Strings() const { return strings_; }

  // Inserts text at its sorted position and returns that position; without AcceptDuplicates an
  // equal entry already present is kept instead and its position returned.
  size_t Add(std::string text);
  // REQUIRES: index < Count().
  void Delete(size_t index);
  void Clear() { strings_.clear(); }

  // Binary search for text. True when an entry compares equal; index receives the first equal
  // entry, or where text would be inserted.
  bool Find(std::string_view text, size_t& index) const;
  // The same over entries start .. Count() - 1, comparing only the first length bytes of text
  // and of each entry (a prefix search with length = the prefix's length).
  // REQUIRES: start <= Count(), length > 0.
  bool FindPrefix(std::string_view text, size_t length, size_t start, size_t& index) const;
  // The position of the first entry equal to text, or -1.
  long IndexOf(std::string_view text) const;

 private:
  int Compare(std::string_view a, std::string_view b) const;
  bool Search(std::string_view text, size_t length, size_t start, size_t& index) const;

  uint16_t language_id_;
  uint16_t sort_id_;
  bool accept_duplicates_;
  std::vector<std::string> strings_;
};
