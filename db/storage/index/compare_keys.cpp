// Key comparison with a locale; the rules are in compare_keys.h.
#include "db/storage/index/compare_keys.h"

#include <algorithm>

#include "db/storage/index/index_header.h"
#include "db/storage/locale/locale_compare.h"

namespace {

int Bytes(const uint8_t* a, const uint8_t* b, size_t n) {
  if (n == 0) return 0;
  const int r = std::memcmp(a, b, n);
  return (r > 0) - (r < 0);
}

int Collate(const TKeyLayout& layout, const uint8_t* a, const uint8_t* b, size_t n) {
  if (n == 0) return 0;
  return LocaleCompare(layout.LanguageId, layout.SortId, reinterpret_cast<const char*>(a),
                       reinterpret_cast<const char*>(b), false, n);
}

}  // namespace

int CompareKeysSlow(const TKeyLayout& layout, const uint8_t* a, const uint8_t* b, size_t length) {
  if (layout.Slot == kTextSlot) {
    int r = Bytes(a, b, std::min<size_t>(length, 3));
    if (r != 0 || length <= 3) return r;
    r = Collate(layout, a + 3, b + 3, std::min<size_t>(length, 64) - 3);
    if (r != 0 || length <= 64) return r;
    return Bytes(a + 64, b + 64, length - 64);
  }
  size_t pos = 0;
  for (const TKeyField& f : layout.Fields) {
    if (pos >= length) return 0;
    const size_t fieldEnd = std::min<size_t>(length, f.KeyOffset + 1u + f.KeyLength);
    int r = Bytes(a + pos, b + pos, 1);
    if (r == 0 && fieldEnd > pos + 1) {
      r = f.Type == kFieldString ? Collate(layout, a + pos + 1, b + pos + 1, fieldEnd - pos - 1)
                                 : Bytes(a + pos + 1, b + pos + 1, fieldEnd - pos - 1);
    }
    if (r != 0) return (layout.Descending || f.Descending) ? -r : r;
    pos = fieldEnd;
  }
  if (pos >= length) return 0;
  const int r = Bytes(a + pos, b + pos, length - pos);
  return layout.Descending ? -r : r;
}
