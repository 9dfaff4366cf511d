// TExternalSort (external_sort.h).
#include "db/storage/sort/external_sort.h"

#include <algorithm>
#include <cstring>

#include "db/storage/data/data_file_structure.h"
#include "db/storage/scramble.h"
#include "db/storage/sort/run_merger.h"
#include "db/storage/sort/sorted_batch.h"

namespace {

// The active records among count images at buffer, in file order.
std::vector<const uint8_t*> ActiveImages(const uint8_t* buffer, uint32_t count,
                                         uint32_t recordSize) {
  std::vector<const uint8_t*> images;
  images.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* image = buffer + static_cast<size_t>(i) * recordSize;
    if (image[0] == kRecordActive) images.push_back(image);
  }
  return images;
}

}  // namespace

TExternalSort::TExternalSort(TDataFile& file, const TSortKeyLayout& layout,
                             const TSortOptions& options, uint32_t runLength)
    : file_(file),
      layout_(layout),
      options_(options),
      record_size_(file.RecordSize()),
      run_length_(runLength),
      entry_size_(record_size_ + layout.Length()),
      buffer_(static_cast<size_t>(runLength) * record_size_),
      staged_(static_cast<size_t>(runLength) * entry_size_) {}

size_t TExternalSort::FanIn() const {
  return std::max<uint32_t>(options_.MaxMergeRuns, 2);
}

void TExternalSort::Run(TRowEmitter& emitter) {
  file_.FlushRecords();
  file_.DiscardRecords();
  const uint32_t count = file_.RecordCount();
  if (count <= run_length_) {
    ReadRecords(1, count);
    const TSortedBatch batch(layout_, ActiveImages(buffer_.data(), count, record_size_),
                             record_size_);
    for (size_t i = 0; i < batch.Size(); ++i) {
      if (!emitter.Take({batch.Image(i), record_size_}, batch.Key(i))) return;
    }
    return;
  }
  std::unique_ptr<TRunFile> runs = NewRunFile();
  for (uint32_t first = 1; first <= count; first += run_length_) {
    const uint32_t n = std::min(run_length_, count - first + 1);
    ReadRecords(first, n);
    const TSortedBatch batch(layout_, ActiveImages(buffer_.data(), n, record_size_), record_size_);
    if (batch.Size() == 0) continue;
    for (size_t i = 0; i < batch.Size(); ++i) {
      uint8_t* entry = staged_.data() + i * entry_size_;
      std::memcpy(entry, batch.Image(i), record_size_);
      std::memcpy(entry + record_size_, batch.Key(i), layout_.Length());
    }
    runs->BeginRun();
    runs->Append(staged_.data(), static_cast<uint32_t>(batch.Size()));
  }
  while (runs->RunCount() > FanIn()) runs = MergePass(*runs);
  Merge(*runs, 0, runs->RunCount(), [&](const uint8_t* entry) {
    return emitter.Take({entry, record_size_}, entry + record_size_);
  });
  runs->Remove();
}

void TExternalSort::ReadRecords(uint32_t first, uint32_t n) {
  if (n == 0) return;
  {
    TFileAccess access(file_);
    file_.Seek(FirstRecordOffset(file_.FieldCount()) +
               static_cast<int64_t>(first - 1) * record_size_);
    file_.Read(buffer_.data(), n * record_size_, false);
  }
  if (file_.Encrypted()) {
    for (uint32_t i = 0; i < n; ++i) {
      Scramble(buffer_.data() + static_cast<size_t>(i) * record_size_, record_size_, kRecordKey);
    }
  }
}

std::unique_ptr<TRunFile> TExternalSort::NewRunFile() {
  return std::make_unique<TRunFile>(options_.PrivateDirectory, file_.InMemory(), record_size_,
                                    layout_.Length(), file_.Encrypted());
}

std::unique_ptr<TRunFile> TExternalSort::MergePass(TRunFile& runs) {
  std::unique_ptr<TRunFile> merged = NewRunFile();
  for (size_t first = 0; first < runs.RunCount(); first += FanIn()) {
    merged->BeginRun();
    uint32_t held = 0;
    Merge(runs, first, std::min(runs.RunCount(), first + FanIn()), [&](const uint8_t* entry) {
      if (held == run_length_) {
        merged->Append(staged_.data(), held);
        held = 0;
      }
      std::memcpy(staged_.data() + static_cast<size_t>(held) * entry_size_, entry, entry_size_);
      ++held;
      return true;
    });
    merged->Append(staged_.data(), held);
  }
  runs.Remove();
  return merged;
}

void TExternalSort::Merge(TRunFile& file, size_t first, size_t last,
                          const std::function<bool(const uint8_t* entry)>& take) {
  TRunMerger(file, first, last, layout_, record_size_, run_length_).Merge(take);
}
