// The collator cache: configured ICU collators made once per locale and case option.
#include "platform/locale/collator_cache.h"

#include <unicode/ucol.h>

#include "platform/locale/locale_map.h"

namespace platform {
namespace {

// Opens and configures a collator for the engine's order; nullptr when ICU fails.
UCollator* OpenCollator(const char* icuLocale, bool caseSensitive) {
  UErrorCode status = U_ZERO_ERROR;
  UCollator* collator = ucol_open(icuLocale, &status);
  if (U_FAILURE(status)) return nullptr;
  ucol_setStrength(collator, UCOL_PRIMARY);
  // At primary strength case would be ignored; the case level brings it back without also
  // bringing back the accent differences that the secondary level would add.
  ucol_setAttribute(collator, UCOL_CASE_LEVEL, caseSensitive ? UCOL_ON : UCOL_OFF, &status);
  ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
  ucol_setAttribute(collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
  if (U_FAILURE(status)) {
    ucol_close(collator);
    return nullptr;
  }
  return collator;
}

}  // namespace

void TCollatorCache::TCloser::operator()(UCollator* collator) const {
  ucol_close(collator);
}

TCollatorCache& TCollatorCache::Instance() {
  // Never destroyed: a thread still comparing while the process exits keeps a valid collator.
  static TCollatorCache* const cache = new TCollatorCache;
  return *cache;
}

const UCollator* TCollatorCache::Collator(uint16_t languageId, uint16_t sortId,
                                          bool caseSensitive) {
  const TKey key = TKey{languageId} | TKey{sortId} << 16 | TKey{caseSensitive} << 32;
  std::lock_guard<std::mutex> hold(mutex_);
  if (auto it = collators_.find(key); it != collators_.end()) return it->second.get();
  const char* icuLocale = IcuLocaleFor(languageId, sortId);
  if (icuLocale == nullptr) return nullptr;
  UCollator* collator = OpenCollator(icuLocale, caseSensitive);
  if (collator == nullptr) return nullptr;
  collators_.emplace(key, std::unique_ptr<UCollator, TCloser>(collator));
  return collator;
}

}  // namespace platform
