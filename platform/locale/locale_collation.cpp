// Locale string comparison through the cached ICU collators.
#include "platform/locale/locale_collation.h"

#include <unicode/ucol.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/locale/collator_cache.h"

namespace platform {
namespace {

// ICU takes 32-bit lengths. Engine texts are far shorter; a longer one is compared over its
// first 2 GiB rather than having its length wrap around.
int32_t IcuLength(std::string_view text) {
  return static_cast<int32_t>(std::min<size_t>(text.size(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

std::optional<int> CompareLocaleText(uint16_t languageId, uint16_t sortId, std::string_view a,
                                     std::string_view b, bool ignoreCase) {
  const UCollator* collator = TCollatorCache::Instance().Collator(languageId, sortId, !ignoreCase);
  if (collator == nullptr) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult result =
      ucol_strcollUTF8(collator, a.data(), IcuLength(a), b.data(), IcuLength(b), &status);
  if (U_FAILURE(status)) return std::nullopt;
  return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
}

bool IsLocaleInstalled(uint16_t languageId, uint16_t sortId) {
  return TCollatorCache::Instance().Collator(languageId, sortId, true) != nullptr;
}

}  // namespace platform
