// Building and caching collation maps.
#include "db/storage/locale/collation_map.h"

#include <algorithm>
#include <mutex>
#include <numeric>

#include "db/storage/locale/locale_compare.h"

namespace {

TCollationMap BuildMap(uint16_t languageId, uint16_t sortId) {
  TCollationMap map;
  std::iota(map.begin(), map.end(), 0);
  if (languageId == 0) return map;
  // Stable, so bytes the locale finds equal keep byte order and the map is reproducible.
  std::stable_sort(map.begin(), map.end(), [&](uint8_t a, uint8_t b) {
    return LocaleCompareChar(languageId, sortId, static_cast<char>(a), static_cast<char>(b)) < 0;
  });
  return map;
}

}  // namespace

TLanguageCharMapsList& TLanguageCharMapsList::Instance() {
  // Never destroyed, like the collators the maps are built with.
  static TLanguageCharMapsList* const list = new TLanguageCharMapsList;
  return *list;
}

TCollationMap TLanguageCharMapsList::Map(uint16_t languageId, uint16_t sortId) {
  // Byte order needs no building; not caching it also keeps any SortId a data file header may
  // carry next to LanguageId 0 from adding entries.
  if (languageId == 0) return BuildMap(0, 0);
  std::lock_guard<platform::TCriticalSection> hold(guard_);
  for (const TEntry& entry : maps_) {
    if (entry.LanguageId == languageId && entry.SortId == sortId) return entry.Map;
  }
  maps_.push_back({languageId, sortId, BuildMap(languageId, sortId)});
  return maps_.back().Map;
}

size_t TLanguageCharMapsList::Count() {
  std::lock_guard<platform::TCriticalSection> hold(guard_);
  return maps_.size();
}

TCollationMap CollationMap(uint16_t languageId, uint16_t sortId) {
  return TLanguageCharMapsList::Instance().Map(languageId, sortId);
}
