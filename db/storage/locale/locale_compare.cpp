// Locale comparison: byte order for LanguageId 0, the platform's collation otherwise.
#include "db/storage/locale/locale_compare.h"

#include <cstring>
#include <string>

#include "db/engine/errors/engine_error.h"
#include "db/storage/locale/locale_case.h"
#include "platform/locale/locale_collation.h"

namespace {

int Sign(int value) {
  return (value > 0) - (value < 0);
}

int CompareBytes(std::string_view a, std::string_view b) {
  return Sign(a.compare(b));
}

int CompareWithLocale(uint16_t languageId, uint16_t sortId, std::string_view a, std::string_view b,
                      bool caseInsensitive) {
  const auto result = platform::CompareLocaleText(languageId, sortId, a, b, caseInsensitive);
  if (!result) RaiseEngineError(VUZODE_CANNOTLOADLDDRV);
  return *result;
}

std::string UpperCopy(std::string_view text) {
  std::string copy(text);
  LocaleUpperCase(0, 0, copy);
  return copy;
}

}  // namespace

int LocaleCompare(uint16_t languageId, uint16_t sortId, const char* a, const char* b,
                  bool caseInsensitive, size_t length) {
  if (languageId != 0) {
    const std::string_view textA =
        length == 0 ? std::string_view(a) : std::string_view(a, strnlen(a, length));
    const std::string_view textB =
        length == 0 ? std::string_view(b) : std::string_view(b, strnlen(b, length));
    return CompareWithLocale(languageId, sortId, textA, textB, caseInsensitive);
  }
  if (length > 0) {
    if (!caseInsensitive) return Sign(std::memcmp(a, b, length));
    return CompareBytes(UpperCopy({a, length}), UpperCopy({b, length}));
  }
  // Up to and including a's terminating zero. Comparing the texts without their terminators
  // gives the same answer: a shorter text is a prefix, and its terminator is below any byte of
  // the longer one.
  if (!caseInsensitive) return CompareBytes(a, b);
  return CompareBytes(UpperCopy(a), UpperCopy(b));
}

int LocaleCompare(uint16_t languageId, uint16_t sortId, std::string_view a, std::string_view b,
                  bool caseInsensitive) {
  if (languageId != 0) return CompareWithLocale(languageId, sortId, a, b, caseInsensitive);
  if (!caseInsensitive) return CompareBytes(a, b);
  return CompareBytes(UpperCopy(a), UpperCopy(b));
}

int LocaleCompareChar(uint16_t languageId, uint16_t sortId, char c1, char c2) {
  if (languageId == 0) {
    return Sign(static_cast<int>(static_cast<uint8_t>(c1)) - static_cast<uint8_t>(c2));
  }
  return CompareWithLocale(languageId, sortId, {&c1, 1}, {&c2, 1}, false);
}
