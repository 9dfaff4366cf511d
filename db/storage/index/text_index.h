// The full-text index ("Sys Text", slot 32): its parameters, kept in a chain of type 4 pages,
// the splitting of a text into words, and the upkeep of its keys when records are inserted,
// deleted or changed.
//
// Parameter chain, from ParameterPage, linked through the pages' right links; each item is
// written whole on one page, starting on the next page when it does not fit the rest of the
// current one (4083 bytes per page):
//
//   | Item                     | Bytes                                       |
//   |--------------------------|---------------------------------------------|
//   | stop word count          | i32                                         |
//   | each stop word           | i32 length (at most 255), then its bytes    |
//   | 32                       | i32                                         |
//   | SpaceCharacters          | 32 bytes: character b is bit b%8 of byte b/8|
//   | 32                       | i32                                         |
//   | IncludeCharacters        | 32 bytes                                    |
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TIndexFile;

struct TTextIndexParameters {
  std::vector<std::string> StopWords;
  std::bitset<256> SpaceCharacters;
  std::bitset<256> IncludeCharacters;

  // A, AN, AND, ... WILL; spaces: bytes 1-32 and * + , - . / : ; < = > \ `; included: A-Z,
  // a-z, 0-9, _ and bytes 128-254.
  static TTextIndexParameters Defaults();
};

inline constexpr size_t kMaxStopWordLength = 255;

// Writes parameters into the file's parameter chain, reusing its pages and allocating more from
// slot 32 as needed. Raises VUZODE_INVALIDKEY for a stop word longer than 255 bytes.
void WriteTextIndexParameters(TIndexFile& file, const TTextIndexParameters& parameters);
// Reads the chain; the defaults when the file has none. Raises VUZODE_INDEXCORRUPT for a chain
// that loops, ends early, holds a page of another kind, or a count, length or marker out of
// bounds.
TTextIndexParameters ReadTextIndexParameters(TIndexFile& file);

// The distinct words of text, upper-cased with the locale, each cut to 61 bytes, without stop
// words: characters in SpaceCharacters end a word, those in IncludeCharacters are kept, any
// other is skipped. Words compare with the locale without regard to case.
std::vector<std::string> TextIndexWords(std::string_view text,
                                        const TTextIndexParameters& parameters, uint16_t languageId,
                                        uint16_t sortId);

// Adds (or removes) the keys of text of field fieldNumber of the record with rowId.
// REQUIRES: the text index is defined (slot 32 has key length 68).
void AddTextKeys(TIndexFile& file, const TTextIndexParameters& parameters, uint16_t fieldNumber,
                 std::string_view text, int32_t rowId, int32_t recordNumber);
void RemoveTextKeys(TIndexFile& file, const TTextIndexParameters& parameters, uint16_t fieldNumber,
                    std::string_view text, int32_t rowId);
// A changed value: removes the words only the old text has and adds those only the new has.
void ChangeTextKeys(TIndexFile& file, const TTextIndexParameters& parameters, uint16_t fieldNumber,
                    std::string_view oldText, std::string_view newText, int32_t rowId,
                    int32_t recordNumber);
