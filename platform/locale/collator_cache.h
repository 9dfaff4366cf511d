// The process-wide cache of ICU collators, one per (LanguageId, SortId, case option).
//
// Each collator is configured for the engine's string order: primary strength (accents and other
// non-spacing marks are ignored), the case level on when the comparison is case-sensitive,
// alternate handling non-ignorable (symbols and punctuation take part in the order instead of
// being skipped) and normalization on (composed and decomposed forms compare equal).
//
// Invariants:
//   (1) An entry, once made, is never changed or freed before the process ends, so a pointer
//       returned by Collator stays valid without holding the lock.
//   (2) Comparing with a returned collator only reads it (ICU allows any number of threads to
//       compare with one collator at a time); only lookups and insertions take the lock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

struct UCollator;

namespace platform {

class TCollatorCache {
 public:
  // The process's one cache.
  static TCollatorCache& Instance();

  TCollatorCache() = default;
  TCollatorCache(const TCollatorCache&) = delete;
  TCollatorCache& operator=(const TCollatorCache&) = delete;

  // The configured collator of the locale, made and cached on first use; nullptr when the pair
  // is no locale of the locale map or ICU cannot build a collator for it (nothing is cached
  // then, so the answer stays the same). Thread-safe.
  const UCollator* Collator(uint16_t languageId, uint16_t sortId, bool caseSensitive);

 private:
  struct TCloser {
    void operator()(UCollator* collator) const;
  };
  using TKey = uint64_t;  // languageId | sortId << 16 | caseSensitive << 32

  std::mutex mutex_;
  std::map<TKey, std::unique_ptr<UCollator, TCloser>> collators_;
};

}  // namespace platform
