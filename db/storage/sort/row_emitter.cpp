// TRowEmitter (row_emitter.h).
#include "db/storage/sort/row_emitter.h"

#include <cstring>

#include "db/storage/le_codec.h"

TRowEmitter::TRowEmitter(const TSortRequest& request, const TSortKeyLayout& layout,
                         uint32_t recordSize, TSortOutput& output)
    : request_(request),
      layout_(layout),
      output_(output),
      record_size_(recordSize),
      compare_keys_(request.Distinct || request.AccumulateRow != nullptr),
      row_(recordSize),
      next_row_(recordSize),
      previous_key_(layout.FieldsLength()),
      done_(request.Limit == 0) {}

bool TRowEmitter::Take(TConstRecordImage record, const uint8_t* key) {
  if (done_) return false;
  bool starts = true;
  if (compare_keys_) {
    starts = !has_previous_ || layout_.Compare(previous_key_.data(), key, false) != 0;
    std::memcpy(previous_key_.data(), key, previous_key_.size());
    has_previous_ = true;
  }
  const bool grouping = Grouping();
  if (!starts) {
    if (grouping) request_.AccumulateRow(false, record, row_);
    return true;
  }
  if (grouping) {
    // The caller's aggregates see the calls in this order: the new group's AccumulateRow, then
    // the open group's FinishRow and AcceptRow.
    std::memcpy(next_row_.data(), record.data(), record_size_);
    request_.AccumulateRow(true, next_row_, next_row_);
  }
  if (open_) {
    CloseRow();
    if (done_) return false;
  }
  if (grouping) {
    row_.swap(next_row_);
  } else {
    std::memcpy(row_.data(), record.data(), record_size_);
  }
  const uint32_t position = output_.Rows() + 1;
  PutU32(row_.data() + 1, position);
  PutI32(row_.data() + kRowIdOffset, static_cast<int32_t>(position));
  open_ = true;
  // Without grouping nothing more joins the row, so it is complete now.
  if (!grouping) CloseRow();
  return !done_;
}

void TRowEmitter::CloseRow() {
  open_ = false;
  if (request_.FinishRow) request_.FinishRow(row_);
  if (request_.AcceptRow && !request_.AcceptRow(row_)) return;
  output_.Append(row_.data());
  if (request_.Limit >= 0 && output_.Rows() >= static_cast<uint64_t>(request_.Limit)) done_ = true;
}

uint32_t TRowEmitter::Finish() {
  if (open_) CloseRow();
  return output_.Rows();
}
