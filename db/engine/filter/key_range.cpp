// Key ranges of comparisons and rank walks (see key_range.h).
#include "db/engine/filter/key_range.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "db/sql/expressions/evaluate_values.h"
#include "db/sql/expressions/exp_token.h"
#include "db/storage/index/btree.h"
#include "db/storage/locale/locale_compare.h"

namespace {

// Whether the constant's value can stand in the column's key exactly.
bool FitsColumn(const TKeyField& field, const TExpToken& constant) {
  switch (field.Type) {
    case kFieldString:
      return constant.ValueType == kFieldString &&
             constant.StringValue().size() + 1 <= field.StoredLength;
    case kFieldDate:
    case kFieldBoolean:
    case kFieldSmallInt:
    case kFieldInteger:
    case kFieldTime:
    case kFieldWord:
    case kFieldLargeInt:
      return constant.ValueType == field.Type && constant.ValueSize() >= field.StoredLength;
    case kFieldFloat:
    case kFieldTimestamp:
      return constant.ValueType == field.Type && constant.ValueSize() >= 8 &&
             !std::isnan(constant.FloatValue());
    case kFieldBcd:
      // The key holds ten-thousandths: exact for at most four places.
      return constant.ValueType == kFieldBcd && constant.ValueSize() >= int32_t{kBcdValueSize} &&
             (constant.Value()[1] & 0x3F) <= kMaxBcdScale;
    default:
      return false;
  }
}

// The key of a record whose first key field holds constant (null when constant is null).
void ProbeKey(const TKeyLayout& layout, uint32_t recordSize, const TExpToken* constant,
              IndexKey& key) {
  const TKeyField& field = layout.Fields[0];
  std::vector<uint8_t> image(std::max<size_t>(recordSize, kRecordHeaderSize), 0);
  if (constant != nullptr) {
    const size_t at = field.AutoIncrement ? kRowIdOffset : field.RecordOffset + 1u;
    if (!field.AutoIncrement) image[field.RecordOffset] = 1;
    if (field.Type == kFieldString) {
      const std::string_view text = constant->StringValue();
      std::memcpy(image.data() + at, text.data(), text.size());
    } else {
      std::memcpy(image.data() + at, constant->Value(), field.StoredLength);
    }
  }
  EncodeKey(layout, TConstRecordImage(image.data(), image.size()), key);
}

// Whether the empty string satisfies op against constant: a NULL string orders as ''.
bool EmptyStringPasses(const TKeyLayout& layout, uint8_t op, const TExpToken& constant,
                       bool noCase) {
  const int order = LocaleCompare(layout.LanguageId, layout.SortId, std::string_view(),
                                  constant.StringValue(), noCase);
  return OrderHolds(op, order);
}

// The ranks of one ordering comparison (not the null block): [first, last). low and atOrBelow
// are the ranks before and after the block of keys equal to the probe.
void OrderingRanks(uint8_t op, bool descending, int64_t low, int64_t atOrBelow, int64_t valuesFirst,
                   int64_t valuesLast, int64_t& first, int64_t& last) {
  const bool below = op == kOpLess || op == kOpLessEqual;
  const bool inclusive = op == kOpLessEqual || op == kOpGreaterEqual;
  // An ascending column shows the values below the probe before it, a descending one after.
  if (below != descending) {
    first = valuesFirst;
    last = inclusive ? atOrBelow : low;
  } else {
    first = inclusive ? low : atOrBelow;
    last = valuesLast;
  }
}

}  // namespace

bool BuildKeyRange(TIndexFile& index, int slot, uint32_t recordSize, uint8_t op,
                   const TExpToken* constant, const TExpToken* high, int32_t partialLength,
                   bool noCase, bool count, TRankRange& range) {
  range = TRankRange();
  const TKeyLayout& layout = index.Layout(slot);
  if (layout.Fields.empty() || slot > kMaxSecondaryIndexes) return false;
  const TKeyField& field = layout.Fields[0];
  if (constant != nullptr && IsNullValue(*constant)) {
    if (op != kOpEqual || partialLength > 0) return false;
    op = kOpIsNull;
    constant = nullptr;
  }
  const bool nullTest = op == kOpIsNull || op == kOpIsNotNull;
  if (!nullTest) {
    if (constant == nullptr || !FitsColumn(field, *constant)) return false;
    if (op == kOpBetween && (high == nullptr || IsNullValue(*high) || !FitsColumn(field, *high)))
      return false;
  }
  size_t length = field.KeyOffset + 1u + field.KeyLength;
  if (partialLength > 0) {
    // A prefix match is one block of keys only where keys compare byte by byte.
    if (op != kOpEqual || field.Type != kFieldString || layout.LanguageId != 0 ||
        static_cast<size_t>(partialLength) + 1 > field.StoredLength) {
      return false;
    }
    length = field.KeyOffset + 1u + static_cast<size_t>(partialLength);
  }
  // Strings ordered with a NULL as ''.
  const bool text = field.Type == kFieldString;
  bool withNulls = false;
  if (text && !nullTest && op != kOpEqual) {
    withNulls = op == kOpBetween ? EmptyStringPasses(layout, kOpGreaterEqual, *constant, noCase) &&
                                       EmptyStringPasses(layout, kOpLessEqual, *high, noCase)
                                 : EmptyStringPasses(layout, op, *constant, noCase);
  }
  if (!count) return true;

  TBTree tree(index, slot);
  const int64_t total = tree.Count();
  const bool descending = layout.Descending || field.Descending;
  IndexKey probe;
  // The null block, at the low end of the column's order; an auto-increment field (the row
  // id) is never null.
  int64_t nullFirst = descending ? total : 0;
  int64_t nullLast = nullFirst;
  if (!field.AutoIncrement) {
    ProbeKey(layout, recordSize, nullptr, probe);
    nullFirst = tree.CountBefore(probe.data(), field.KeyOffset + 1u, false);
    nullLast = tree.CountBefore(probe.data(), field.KeyOffset + 1u, true);
  }
  const int64_t valuesFirst = descending ? 0 : nullLast;
  const int64_t valuesLast = descending ? nullFirst : total;
  switch (op) {
    case kOpIsNull:
      range.Add(nullFirst, nullLast);
      return true;
    case kOpIsNotNull:
      range.Add(valuesFirst, valuesLast);
      return true;
    default:
      break;
  }
  auto ranksOf = [&](uint8_t which, const TExpToken& value, int64_t& first, int64_t& last) {
    ProbeKey(layout, recordSize, &value, probe);
    const int64_t low = tree.CountBefore(probe.data(), length, false);
    const int64_t atOrBelow = tree.CountBefore(probe.data(), length, true);
    if (which == kOpEqual) {
      first = low;
      last = atOrBelow;
    } else {
      OrderingRanks(which, descending, low, atOrBelow, valuesFirst, valuesLast, first, last);
    }
  };
  int64_t first = 0, last = 0;
  if (op == kOpBetween) {
    int64_t first2 = 0, last2 = 0;
    ranksOf(kOpGreaterEqual, *constant, first, last);
    ranksOf(kOpLessEqual, *high, first2, last2);
    first = std::max(first, first2);
    last = std::min(last, last2);
  } else {
    ranksOf(op, *constant, first, last);
  }
  range.Add(first, last);
  if (withNulls) range.Add(nullFirst, nullLast);
  return true;
}

namespace {

// Calls visit(record) for the entries of ranks [first, last) in order.
template <typename Visit>
void WalkRanks(TIndexFile& index, int slot, int64_t first, int64_t last, Visit visit) {
  if (first >= last) return;
  TBTree tree(index, slot);
  IndexKey key;
  int32_t record = 0;
  if (!tree.EntryAtRank(first, key, record)) throw TViewChanged{};
  TIndexPath path;
  int64_t rank = 0;
  if (!tree.FindKey(key.data(), false, path, rank) || path.Levels == 0) throw TViewChanged{};
  int32_t page = path.Level[path.Levels - 1].Page;
  int pos = path.Level[path.Levels - 1].Position;
  int64_t left = last - first;
  for (int64_t pages = 1;; ++pages) {
    const TPage* leaf = index.FetchPage(slot, page);
    if (leaf->Free || !leaf->IsLeaf() || pos > leaf->Count()) throw TViewChanged{};
    const int count = leaf->Count();
    for (; pos < count && left > 0; ++pos, --left) visit(leaf->Reference(pos));
    if (left == 0) break;
    page = leaf->Right;
    pos = 0;
    if (page == 0) throw TViewChanged{};
    // The walk holds no page across a trim: the cache stays within its size.
    if (pages % 256 == 0) index.TrimPages();
  }
  index.TrimPages();
}

}  // namespace

void CollectRanks(TIndexFile& index, int slot, int64_t first, int64_t last,
                  TRecordsBitmap& bitmap) {
  WalkRanks(index, slot, first, last,
            [&bitmap](int32_t record) { bitmap.Set(static_cast<uint32_t>(record)); });
}

int64_t CountMembers(TIndexFile& index, int slot, int64_t first, int64_t last,
                     const TRecordsBitmap& members) {
  int64_t count = 0;
  WalkRanks(index, slot, first, last,
            [&](int32_t record) { count += members.Test(static_cast<uint32_t>(record)) ? 1 : 0; });
  return count;
}
