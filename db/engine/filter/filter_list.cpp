// TDataCursor: the filter list (adding, dropping, activating, deactivating, replacing) and the
// change of view each causes. The list holds at most kMaxFilters filters, every after-others
// filter behind all others. A filter whose candidates were narrowed by the filters before it
// (after-others and not fully servable) is only right on those candidates, so a change that
// widens them (dropping, deactivating or replacing a filter before it) rebuilds the whole
// view; other changes compute the one filter and recombine.
#include <algorithm>
#include <cstring>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/filter/cursor_index_source.h"
#include "db/engine/filter/filter_parse.h"
#include "db/engine/filter/key_range.h"
#include "db/engine/session/data_directory.h"
#include "db/sql/bitmaps/records_bitmap_stack.h"
#include "db/sql/expressions/exp_token_stack.h"

namespace {

// Whether an active after-others filter that is not fully servable follows position from.
bool NarrowedFilterAfter(const std::vector<std::unique_ptr<TFilter>>& filters, size_t from) {
  for (size_t i = from; i < filters.size(); ++i) {
    if (filters[i]->Active && filters[i]->AfterOthers && filters[i]->Servability != 2) return true;
  }
  return false;
}

}  // namespace

TFilter* TDataCursor::AddFilter(std::string_view text, const TFilterOptions& options) {
  if (!Opened()) Raise(VUZODE_NOCURRREC);
  if (filters_.size() >= kMaxFilters) Raise(VUZODE_INTERNALLIMIT);
  TFilterTextContext context;
  context.Fields = &fields_;
  context.Source = this;
  context.SortId = static_cast<uint16_t>(table_->DataFile().SortId());
  context.LanguageId = static_cast<uint16_t>(table_->DataFile().LanguageId());
  context.Database = directory_.ErrorDatabaseText();
  context.Table = table_name_;
  auto filter = std::make_unique<TFilter>();
  filter->Expression = PrepareFilterText(text, options, context);
  filter->OwnsExpression = true;
  return InsertFilter(std::move(filter), options);
}

TFilter* TDataCursor::AddFilter(const TFilterOptions& options, TExpToken* tree) {
  if (!Opened()) Raise(VUZODE_NOCURRREC);
  if (filters_.size() >= kMaxFilters) Raise(VUZODE_INTERNALLIMIT);
  auto filter = std::make_unique<TFilter>();
  if (tree != nullptr) {
    filter->Expression = tree;
    filter->OwnsExpression = false;  // until the filter is in the list
  } else if (options.Callback) {
    filter->CallbackKind = true;
    filter->Callback = options.Callback;
  } else {
    Raise(VUZODE_INVALIDFILTER, {}, "filter expression is invalid");
  }
  TFilter* added = InsertFilter(std::move(filter), options);
  if (tree != nullptr) added->OwnsExpression = options.OwnsExpression;
  return added;
}

TFilter* TDataCursor::InsertFilter(std::unique_ptr<TFilter> filter, const TFilterOptions& options) {
  filter->Cursor = this;
  filter->CallbackOwner = options.CallbackOwner;
  filter->AfterOthers = options.AfterOthers;
  filter->EstimateFlag = options.Estimate;
  // Reading every record beats an index range of almost all of them only for live results.
  filter->ThresholdFlag = options.Threshold && live_result_ && !result_cursor_;
  if (!filter->CallbackKind) {
    {
      TCursorReadScope bracket(*this, true);
      TCursorIndexSource source(*table_);
      TestServability(*filter->Expression, source, filter->EstimateFlag, filter->ThresholdFlag);
    }
    filter->Servability = filter->Expression->Servability;
  }
  TFilter* added = filter.get();
  if (filter->AfterOthers) {
    filters_.push_back(std::move(filter));
  } else {
    const auto at = std::find_if(filters_.begin(), filters_.end(),
                                 [](const std::unique_ptr<TFilter>& f) { return f->AfterOthers; });
    filters_.insert(at, std::move(filter));
  }
  return added;
}

TFilter* TDataCursor::FindFilter(TFilter* filter) const {
  for (const auto& f : filters_) {
    if (f.get() == filter) return filter;
  }
  Raise(VUZODE_NOSUCHFILTER);
}

void TDataCursor::DropFilter(TFilter* filter) {
  if (!Opened()) Raise(VUZODE_NOCURRREC);
  bool rebuild = false;
  if (filter == nullptr) {
    filters_.clear();
  } else {
    FindFilter(filter);
    const auto at =
        std::find_if(filters_.begin(), filters_.end(),
                     [filter](const std::unique_ptr<TFilter>& f) { return f.get() == filter; });
    const size_t position = static_cast<size_t>(at - filters_.begin());
    rebuild = filter->Active && NarrowedFilterAfter(filters_, position + 1);
    filters_.erase(at);
  }
  ChangeView(rebuild);
}

void TDataCursor::ActivateFilter(TFilter* filter) {
  // Before the filter counts: the rows are appended into the view they were read in.
  RequireTable();
  if (filter == nullptr) {
    for (const auto& f : filters_) f->Active = true;
    ChangeView(true);
    return;
  }
  FindFilter(filter);
  if (filter->Active) return;
  filter->Active = true;
  if (!view_flag_ || !view_built_) {
    ChangeView(true);
    return;
  }
  // The view's bitmaps are built: only this filter is computed.
  BeginCursorRead(true);
  try {
    if (view_built_ && view_flag_) {
      const uint32_t highest = table_->DataFile().RecordCount();
      std::unique_ptr<TRecordsBitmap> candidates = ViewBitmapPool().Take();
      try {
        candidates->SetSize(highest);
        candidates->CopyFrom(*active_bitmap_);
        if (range_active_ && !record_order_) candidates->AndWith(*range_bitmap_);
        if (filter->AfterOthers && filter->Servability != 2) {
          for (const auto& before : filters_) {
            if (before.get() == filter) break;
            if (before->Active) candidates->AndWith(*before->Bitmap);
          }
        }
        ComputeFilter(*filter, *candidates);
      } catch (...) {
        ViewBitmapPool().Return(candidates);
        throw;
      }
      ViewBitmapPool().Return(candidates);
    }
  } catch (const TViewChanged&) {
    // Another session's change: the whole view is built below.
    view_built_ = false;
  } catch (...) {
    filter->Active = false;
    EndCursorRead();
    throw;
  }
  EndCursorRead();
  ChangeView(!view_built_);
}

void TDataCursor::DeactivateFilter(TFilter* filter) {
  if (!Opened()) Raise(VUZODE_NOCURRREC);
  bool rebuild = false;
  if (filter == nullptr) {
    for (const auto& f : filters_) f->Active = false;
  } else {
    FindFilter(filter);
    if (!filter->Active) return;
    filter->Active = false;
    for (size_t i = 0; i < filters_.size(); ++i) {
      if (filters_[i].get() == filter) rebuild = NarrowedFilterAfter(filters_, i + 1);
    }
  }
  ChangeView(rebuild);
}

void TDataCursor::ReplaceFilterExpression(TExpToken* tree, TFilter* filter) {
  if (!Opened()) Raise(VUZODE_NOCURRREC);
  if (filter == nullptr || tree == nullptr) Raise(VUZODE_NOSUCHFILTER);
  FindFilter(filter);
  if (!filter->Active || filter->CallbackKind) Raise(VUZODE_NOSUCHFILTER);
  {
    TCursorReadScope bracket(*this, true);
    const bool owns = filter->OwnsExpression;
    filter->ReleaseExpression();
    filter->Expression = tree;
    filter->OwnsExpression = owns;
    filter->EstimateFlag = filter->ThresholdFlag = false;
    TCursorIndexSource source(*table_);
    TestServability(*tree, source, false, false);
    filter->Servability = tree->Servability;
  }
  // Its result may widen as well as narrow: every filter computed on it is computed again.
  ChangeView(true);
}

void TDataCursor::ChangeView(bool rebuild) {
  TCursorReadScope bracket(*this, true);
  {
    uint8_t bookmark[kMaxKeyLength];
    const bool had = GetBookmark(bookmark);
    const bool wasBof = bof_;
    bool flag = record_order_;
    for (const auto& f : filters_) flag = flag || f->Active;
    if (rebuild || flag != view_flag_ || !view_built_ || !flag) {
      RebuildView();
    } else {
      Recombine();
    }
    ClearPosition();
    if (!had) {
      // Before the first or after the last record: the next move goes to the first or last
      // record of the view itself, so the position only stands at the end of the index (a
      // search for the view's first record under a filter could walk much of the index).
      if (ViewCount() == 0) {
        ClearPosition();
      } else if (record_order_) {
        wasBof ? GoFirst() : GoLast();
      } else if (!PlaceAtRank(wasBof ? FirstPosition() : LastPosition())) {
        ClearPosition();
      }
      if (!(bof_ && eof_)) {
        bof_ = wasBof;
        eof_ = !wasBof;
        logical_ = wasBof ? (record_order_ ? 0 : FirstPosition() - 1)
                          : (record_order_ ? ViewCount() + 1 : LastPosition() + 1);
      }
      view_place_ = -1;
    } else if (record_order_) {
      uint32_t n = 0;
      std::memcpy(&n, bookmark, 4);
      current_record_ = n;
      bof_ = eof_ = false;
      if (visible_.Test(n)) {
        logical_ = visible_.Rank(n) + 1;
      } else if (!Step(true)) {
        Step(false);
      }
    } else {
      SeekKey(bookmark);
    }
    if (!bof_ && !eof_) LoadCurrentRecord();
  }
}
