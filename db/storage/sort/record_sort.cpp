// SortRecords (record_sort.h): the in-memory sort of a fully cached table, or the external sort
// (external_sort.h), both feeding the row emitter, which writes the output over the record area.
// Both give std::stable_sort of the active records by full key, passed through the emitter.
#include "db/storage/sort/record_sort.h"

#include <algorithm>

#include "db/storage/sort/external_sort.h"
#include "db/storage/sort/row_emitter.h"
#include "db/storage/sort/sort_output.h"
#include "db/storage/sort/sorted_batch.h"

namespace {

// Discards the record cache when the sort ends, also on failure: the cached records no longer
// match the rewritten record area.
class TDiscardOnExit {
 public:
  explicit TDiscardOnExit(TDataFile& file) : file_(file) {}
  ~TDiscardOnExit() { file_.DiscardRecords(); }
  TDiscardOnExit(const TDiscardOnExit&) = delete;
  TDiscardOnExit& operator=(const TDiscardOnExit&) = delete;

 private:
  TDataFile& file_;
};

// Sorts the cached records (REQUIRES: all are cached) and feeds them to emitter.
void SortInMemory(TDataFile& file, const TSortKeyLayout& layout, TRowEmitter& emitter) {
  const uint32_t count = file.RecordCount();
  std::vector<const uint8_t*> byNumber(count, nullptr);
  for (const TCacheEntry* e = file.RecordCache()->MostRecent(); e != nullptr; e = e->Older) {
    if (e->Number >= 1 && e->Number <= count) byNumber[e->Number - 1] = e->Buffer.data();
  }
  std::erase_if(byNumber,
                [](const uint8_t* image) { return image == nullptr || image[0] != kRecordActive; });
  const TSortedBatch batch(layout, std::move(byNumber), file.RecordSize());
  for (size_t i = 0; i < batch.Size(); ++i) {
    if (!emitter.Take({batch.Image(i), file.RecordSize()}, batch.Key(i))) return;
  }
}

}  // namespace

uint32_t SortRecords(TDataFile& file, const TSortRequest& request, const TSortOptions& options) {
  const uint32_t recordSize = file.RecordSize();
  const TSortKeyLayout layout(request.Fields, recordSize, request.CaseInsensitive,
                              static_cast<uint16_t>(file.LanguageId()),
                              static_cast<uint16_t>(file.SortId()));
  // A run's buffers (records with their keys) stay within one 32-bit transfer.
  const uint32_t entrySize = recordSize + layout.Length();
  const uint32_t runLength = std::max<uint32_t>(
      1, std::min({options.MaxRunRecords, options.MaxRunBytes / std::max<uint32_t>(recordSize, 1),
                   0x7FFFFFFFu / entrySize}));
  const uint32_t before = file.RecordCount();
  TDiscardOnExit discard(file);
  TSortOutput output(file, runLength);
  TRowEmitter emitter(request, layout, recordSize, output);
  if (before != 0 && !emitter.Done()) {
    if (file.RecordCache() != nullptr && file.RecordCache()->Count() == before) {
      SortInMemory(file, layout, emitter);
    } else {
      TExternalSort(file, layout, options, runLength).Run(emitter);
    }
  }
  const uint32_t rows = emitter.Finish();
  output.Flush();
  if (rows < before) file.CutRecords(rows);
  return rows;
}
