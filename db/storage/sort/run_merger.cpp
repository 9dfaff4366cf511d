// TRunMerger (run_merger.h).
#include "db/storage/sort/run_merger.h"

#include <algorithm>

TRunMerger::TRunMerger(TRunFile& file, size_t first, size_t last, const TSortKeyLayout& layout,
                       uint32_t recordSize, uint32_t bufferEntries)
    : file_(file),
      layout_(layout),
      record_size_(recordSize),
      entry_size_(recordSize + layout.Length()),
      buffer_entries_(std::max<uint32_t>(
          1, bufferEntries / static_cast<uint32_t>(std::max<size_t>(last - first, 1)))),
      bytewise_(layout.Bytewise()),
      cursors_(last - first) {
  for (size_t i = 0; i < cursors_.size(); ++i) cursors_[i].Run = first + i;
}

bool TRunMerger::Refill(TCursor& c) {
  const uint32_t capacity = std::min(buffer_entries_, file_.RunLength(c.Run));
  c.Entries.resize(static_cast<size_t>(capacity) * entry_size_);
  c.Count = file_.Read(c.Run, c.Read, c.Entries.data(), capacity);
  c.Read += c.Count;
  c.Next = 0;
  if (c.Count == 0) return false;
  NewHead(c);
  return true;
}

void TRunMerger::NewHead(TCursor& c) const {
  if (!bytewise_) return;
  const uint8_t* key = Head(c) + record_size_;
  const uint32_t length = layout_.Length();
  uint64_t prefix = 0;
  for (uint32_t i = 0; i < 8; ++i) prefix = (prefix << 8) | (i < length ? key[i] : 0u);
  c.Prefix = prefix;
}

bool TRunMerger::Less(const TCursor* a, const TCursor* b) const {
  if (a->Prefix != b->Prefix) return a->Prefix < b->Prefix;
  const int r = layout_.Compare(Head(*a) + record_size_, Head(*b) + record_size_, true);
  return r != 0 ? r < 0 : a->Run < b->Run;
}

void TRunMerger::SiftDown(size_t index) {
  const size_t n = heap_.size();
  TCursor* moving = heap_[index];
  for (;;) {
    size_t child = 2 * index + 1;
    if (child >= n) break;
    if (child + 1 < n && Less(heap_[child + 1], heap_[child])) ++child;
    if (!Less(heap_[child], moving)) break;
    heap_[index] = heap_[child];
    index = child;
  }
  heap_[index] = moving;
}

void TRunMerger::Merge(const std::function<bool(const uint8_t*)>& take) {
  heap_.clear();
  for (TCursor& c : cursors_) {
    if (Refill(c)) heap_.push_back(&c);
  }
  for (size_t i = heap_.size() / 2; i-- > 0;) SiftDown(i);
  while (!heap_.empty()) {
    TCursor& top = *heap_.front();
    if (!take(Head(top))) return;
    if (++top.Next < top.Count) {
      NewHead(top);
    } else if (!Refill(top)) {
      heap_.front() = heap_.back();
      heap_.pop_back();
      if (heap_.empty()) break;
    }
    SiftDown(0);
  }
}
