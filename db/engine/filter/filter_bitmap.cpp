// TDataCursor: the bitmap of one filter from its candidates, recursively over the prepared
// tree as the servability test marked it: column-free subtrees are evaluated once, servable
// leaves collect their key ranges from an index, NOT inverts, AND narrows the candidates of
// its second side to what its first side let through, a fully servable OR joins both sides,
// and every other node is evaluated record by record on the candidates through the filter's
// compiled program (the tree evaluator for the terms it cannot compile).
//
// Invariant of ComputeNode: out ∩ candidates == { r in candidates : node holds for r }. Bits
// outside the candidates may be anything: the view ANDs the range, active-records and every
// filter's bitmap, and the candidates are always a superset of that AND.
#include <algorithm>
#include <bit>

#include "db/engine/cursor/cursor_environment.h"
#include "db/engine/cursor/data_cursor.h"
#include "db/engine/filter/cursor_index_source.h"
#include "db/sql/bitmaps/records_bitmap_stack.h"
#include "db/sql/expressions/filter_program.h"
#include "db/sql/expressions/prepare_filter.h"

namespace {

// A bitmap lent from the pool for the length of a scope.
class TLentBitmap {
 public:
  TLentBitmap() : bitmap_(ViewBitmapPool().Take()) {}
  ~TLentBitmap() { ViewBitmapPool().Return(bitmap_); }
  TLentBitmap(const TLentBitmap&) = delete;
  TLentBitmap& operator=(const TLentBitmap&) = delete;
  TRecordsBitmap& operator*() { return *bitmap_; }
  TRecordsBitmap* operator->() { return bitmap_.get(); }

 private:
  std::unique_ptr<TRecordsBitmap> bitmap_;
};

const TExpToken* LeftOf(const TExpToken& node) {
  return node.Left ? node.Left : (node.Args.size() > 0 ? node.Args[0] : nullptr);
}
const TExpToken* RightOf(const TExpToken& node) {
  return node.Right ? node.Right : (node.Args.size() > 1 ? node.Args[1] : nullptr);
}

// A comparison of a column with a constant that one key range answers (not <>).
bool IsBound(const TExpToken& node) {
  return node.NodeClass == kNodeBinary && node.OpCode >= kOpEqual && node.OpCode <= kOpLessEqual &&
         node.OpCode != kOpNotEqual && node.Left && node.Right &&
         node.Right->NodeClass == kNodeConstant && node.Servability == 2;
}

// Two bounds of one column joined by AND ("K >= a AND K < b"): the intersection of their rank
// ranges collected at once, instead of two wide ranges collected and ANDed. False when the
// node is not of that shape.
bool CollectBounds(TDataTable& table, const TExpToken& node, TRecordsBitmap& out) {
  const TExpToken& l = *node.Left;
  const TExpToken& r = *node.Right;
  if (!IsBound(l) || !IsBound(r) || l.NoCase != r.NoCase) return false;
  bool lCase = false, rCase = false;
  const TExpToken* lColumn = ServableColumn(*l.Left, l.NoCase != 0, lCase);
  const TExpToken* rColumn = ServableColumn(*r.Left, r.NoCase != 0, rCase);
  if (!lColumn || !rColumn || lColumn->FieldNo != rColumn->FieldNo || lCase != rCase) {
    return false;
  }
  TCursorIndexSource source(table);
  TRankRange a, b;
  const bool noCase = l.NoCase != 0;
  if (!source.SelectFor(*l.Left, noCase) ||
      !source.Range(l.OpCode, l.Right, nullptr, 0, noCase, a) ||
      !source.Range(r.OpCode, r.Right, nullptr, 0, noCase, b) || a.Parts > 1 || b.Parts > 1) {
    return false;
  }
  TRankRange both;
  if (a.Parts == 1 && b.Parts == 1) {
    both.Add(std::max(a.First[0], b.First[0]), std::min(a.Last[0], b.Last[0]));
  }
  out.ClearAll();
  source.Collect(both, out);
  return true;
}

}  // namespace

void TDataCursor::ComputeFilter(TFilter& filter, const TRecordsBitmap& candidates) {
  TRecordsBitmap& out = *filter.Bitmap;
  out.SetSize(candidates.BitCount());
  if (filter.CallbackKind) {
    EvaluateCandidates(filter, nullptr, candidates, out);
    return;
  }
  ComputeNode(filter, *filter.Expression, candidates, out);
}

void TDataCursor::ComputeNode(TFilter& filter, const TExpToken& node,
                              const TRecordsBitmap& candidates, TRecordsBitmap& out) {
  out.SetSize(candidates.BitCount());
  if (node.Servability == 0) {
    EvaluateCandidates(filter, &node, candidates, out);
    return;
  }
  if (IsColumnFree(node)) {
    TExpEvaluator evaluator(nullptr, static_cast<uint16_t>(table_->DataFile().SortId()),
                            static_cast<uint16_t>(table_->DataFile().LanguageId()));
    if (evaluator.Holds(node, nullptr)) {
      out.SetAll();
    } else {
      out.ClearAll();
    }
    return;
  }
  if (node.NodeClass == kNodeUnary && node.OpCode == kOpNot && node.Left) {
    ComputeNode(filter, *node.Left, candidates, out);
    out.Not();
    return;
  }
  if (node.NodeClass == kNodeBinary && node.OpCode == kOpAnd && node.Left && node.Right) {
    if (node.Servability == 2 && CollectBounds(*table_, node, out)) return;
    // The servable side is on the left: its result narrows what the other side evaluates.
    ComputeNode(filter, *node.Left, candidates, out);
    TLentBitmap narrowed;
    narrowed->CopyFrom(out);
    narrowed->AndWith(candidates);
    TLentBitmap right;
    ComputeNode(filter, *node.Right, *narrowed, *right);
    out.AndWith(*right);
    return;
  }
  if (node.NodeClass == kNodeBinary && node.OpCode == kOpOr && node.Left && node.Right) {
    ComputeNode(filter, *node.Left, candidates, out);
    TLentBitmap right;
    ComputeNode(filter, *node.Right, candidates, *right);
    out.OrWith(*right);
    return;
  }
  out.ClearAll();
  // An index that served the node when the filter was made may be gone since.
  if (!CollectLeaf(node, out)) EvaluateCandidates(filter, &node, candidates, out);
}

bool TDataCursor::CollectLeaf(const TExpToken& node, TRecordsBitmap& out) {
  TCursorIndexSource source(*table_);
  TRankRange range;
  const bool noCase = node.NoCase != 0;
  switch (node.NodeClass) {
    case kNodeUnary: {
      if ((node.OpCode != kOpIsNull && node.OpCode != kOpIsNotNull) || !node.Left ||
          node.Left->NodeClass != kNodeColumn ||
          !source.SelectIndexLedBy(node.Left->FieldNo, false, true) ||
          !source.Range(node.OpCode, nullptr, nullptr, 0, false, range)) {
        return false;
      }
      source.Collect(range, out);
      return true;
    }
    case kNodeBinary: {
      if (!node.Left || !node.Right || !source.SelectFor(*node.Left, noCase)) return false;
      const bool notEqual = node.OpCode == kOpNotEqual;
      const uint8_t op = notEqual ? uint8_t{kOpEqual} : node.OpCode;
      if (!source.Range(op, node.Right, nullptr, 0, noCase, range)) return false;
      source.Collect(range, out);
      if (notEqual) out.Not();
      return true;
    }
    case kNodeStringMatch: {
      const TExpToken* left = LeftOf(node);
      const TExpToken* right = RightOf(node);
      if (!left || !right || !source.SelectFor(*left, noCase) ||
          !source.Range(kOpEqual, right, nullptr, node.PartialLength, noCase, range)) {
        return false;
      }
      source.Collect(range, out);
      if (node.OpCode == kOpNotEqual || node.OpCode == kOpNotLike) out.Not();
      return true;
    }
    case kNodePredicate: {
      if (node.Args.size() < 2 || !source.SelectFor(*node.Args[0], noCase)) return false;
      if (node.OpCode == kOpIn || node.OpCode == kOpNotIn) {
        for (size_t i = 1; i < node.Args.size(); ++i) {
          if (!source.Range(kOpEqual, node.Args[i], nullptr, 0, noCase, range)) return false;
          source.Collect(range, out);
        }
        if (node.OpCode == kOpNotIn) out.Not();
        return true;
      }
      if ((node.OpCode == kOpBetween || node.OpCode == kOpNotBetween) && node.Args.size() == 3) {
        if (!source.Range(kOpBetween, node.Args[1], node.Args[2], 0, noCase, range)) return false;
        source.Collect(range, out);
        if (node.OpCode == kOpNotBetween) out.Not();
        return true;
      }
      return false;
    }
    default:
      return false;
  }
}

void TDataCursor::EvaluateCandidates(TFilter& filter, const TExpToken* node,
                                     const TRecordsBitmap& candidates, TRecordsBitmap& out) {
  out.CopyFrom(candidates);
  TDataFile& data = table_->DataFile();
  const uint32_t words = candidates.WordCount();
  for (uint32_t w = 0; w < words; ++w) {
    for (uint32_t bits = candidates.Word(w); bits != 0; bits &= bits - 1) {
      const uint32_t n = w * 32 + static_cast<uint32_t>(std::countr_zero(bits)) + 1;
      TRecord record = data.FetchRecord(n, true, true);
      // Another session's change was found and the caches dropped: the build starts again.
      if (!record.Valid()) throw TViewChanged{};
      bool passes = false;
      try {
        passes = !record.Deleted() && FilterHolds(filter, node, record.Image().data(), n);
      } catch (...) {
        data.Unpin(record);
        throw;
      }
      data.Unpin(record);
      if (!passes) out.Clear(n);
    }
  }
}

bool TDataCursor::FilterHolds(TFilter& filter, const TExpToken* node, const uint8_t* stored,
                              uint32_t record) {
  const uint8_t* image = stored;
  if (!computed_trees_.empty()) {
    // Computed fields live after the stored ones in the cursor's buffers.
    filter_record_.assign(record_size_, 0);
    std::memcpy(filter_record_.data(), stored, stored_size_);
    ComputeFields(filter_record_.data());
    image = filter_record_.data();
  }
  if (filter.CallbackKind) return filter.Callback(*this, image, record);
  if (!filter_environment_) filter_environment_ = std::make_unique<TCursorEnvironment>(fields_);
  TDataFile& data = table_->DataFile();
  return filter
      .ProgramFor(node ? *node : *filter.Expression, filter_environment_.get(),
                  static_cast<uint16_t>(data.SortId()), static_cast<uint16_t>(data.LanguageId()))
      .Holds(image);
}
