// Case mapping through ICU's full, locale-sensitive case rules, one character at a time.
// ASCII is looked up in a per-locale table built with the same rule, since almost every byte of
// engine text is ASCII.
#include "platform/locale/case_mapping.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <array>
#include <map>
#include <memory>
#include <mutex>

#include "platform/locale/locale_map.h"

namespace platform {
namespace {

// The mapping of c in the locale when it is one character of c's UTF-8 length; c otherwise.
UChar32 MapCharacter(UChar32 c, const char* icuLocale, TCaseMapping mapping) {
  UChar source[U16_MAX_LENGTH];
  int32_t sourceLength = 0;
  U16_APPEND_UNSAFE(source, sourceLength, c);
  UChar target[8];  // full mappings are at most three characters
  UErrorCode status = U_ZERO_ERROR;
  const int32_t targetLength =
      mapping == TCaseMapping::Upper
          ? u_strToUpper(target, 8, source, sourceLength, icuLocale, &status)
          : u_strToLower(target, 8, source, sourceLength, icuLocale, &status);
  if (U_FAILURE(status) || targetLength > 8) return c;
  int32_t i = 0;
  UChar32 mapped;
  U16_NEXT(target, i, targetLength, mapped);
  if (i != targetLength || U8_LENGTH(mapped) != U8_LENGTH(c)) return c;
  return mapped;
}

// One locale's mapping, with its ASCII part precomputed. Immutable once built.
class TCaseMapper {
 public:
  explicit TCaseMapper(const char* icuLocale) : icu_locale_(icuLocale) {
    // MapCharacter keeps the UTF-8 length, so an ASCII character maps to an ASCII one.
    for (UChar32 c = 0; c < 0x80; ++c) {
      upper_[c] = static_cast<char>(MapCharacter(c, icuLocale, TCaseMapping::Upper));
      lower_[c] = static_cast<char>(MapCharacter(c, icuLocale, TCaseMapping::Lower));
    }
  }

  void Map(char* text, size_t length, TCaseMapping mapping) const {
    const auto& ascii = mapping == TCaseMapping::Upper ? upper_ : lower_;
    auto* bytes = reinterpret_cast<uint8_t*>(text);
    size_t i = 0;
    while (i < length) {
      if (bytes[i] < 0x80) {
        text[i] = ascii[bytes[i]];
        ++i;
        continue;
      }
      const size_t start = i;
      UChar32 c;
      U8_NEXT(bytes, i, length, c);
      if (c < 0) continue;  // ill-formed: left as it is
      const UChar32 mapped = MapCharacter(c, icu_locale_, mapping);
      if (mapped == c) continue;
      size_t at = start;
      U8_APPEND_UNSAFE(bytes, at, mapped);  // same length, so it fills exactly [start, i)
    }
  }

 private:
  const char* icu_locale_;
  std::array<char, 0x80> upper_;
  std::array<char, 0x80> lower_;
};

// The mapper of a locale, built on first use and kept for the life of the process (mappers are
// immutable, so they are used without the lock).
const TCaseMapper* MapperFor(const char* icuLocale) {
  static std::mutex* const mutex = new std::mutex;
  static auto* const mappers = new std::map<const char*, std::unique_ptr<TCaseMapper>>;
  std::lock_guard<std::mutex> hold(*mutex);
  auto& mapper = (*mappers)[icuLocale];
  if (!mapper) mapper = std::make_unique<TCaseMapper>(icuLocale);
  return mapper.get();
}

}  // namespace

bool MapLocaleCase(uint16_t languageId, uint16_t sortId, char* text, size_t length,
                   TCaseMapping mapping) {
  const char* icuLocale = IcuLocaleFor(languageId, sortId);
  if (icuLocale == nullptr) return false;
  MapperFor(icuLocale)->Map(text, length, mapping);
  return true;
}

}  // namespace platform
