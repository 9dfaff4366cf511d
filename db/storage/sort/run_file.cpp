// TRunFile (run_file.h).
#include "db/storage/sort/run_file.h"

#include <algorithm>

#include "db/engine/errors/engine_error.h"
#include "db/storage/files/unique_file_name.h"
#include "db/storage/scramble.h"

namespace {

// Names another holder may take between UniqueFileName's check and the creation.
constexpr int kCreateAttempts = 8;

}  // namespace

TRunFile::TRunFile(const std::string& directory, bool inMemory, uint32_t recordSize,
                   uint32_t keyLength, bool encrypted)
    : record_size_(recordSize), key_length_(keyLength), encrypted_(encrypted) {
  file_.SetInMemory(inMemory);
  file_.SetExclusive(true);
  for (int attempt = 1;; ++attempt) {
    file_.SetFileName(UniqueFileName(directory, ".TMP", inMemory));
    try {
      file_.CreateFile();
      break;
    } catch (const EVUZODEEngineError& error) {
      // The name was free when checked but is held now: the next check skips it.
      if (error.EngineCode() != VUZODE_OSEACCES || attempt == kCreateAttempts) throw;
    }
  }
  exists_ = true;
}

TRunFile::~TRunFile() {
  if (!exists_) return;
  file_.Close();
  try {
    file_.DeleteFile();
  } catch (const EVUZODEEngineError&) {
    // Only reached while another error unwinds the sort: that error is the one to report, and a
    // destructor cannot raise a second.
  }
}

void TRunFile::ScrambleEntries(uint8_t* entries, uint32_t count) const {
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* entry = entries + static_cast<size_t>(i) * EntrySize();
    Scramble(entry, record_size_, kRecordKey);
    Scramble(entry + record_size_, key_length_, kRecordKey);
  }
}

void TRunFile::BeginRun() {
  runs_.push_back({entries_, 0});
}

void TRunFile::Append(uint8_t* entries, uint32_t count) {
  if (count == 0) return;
  if (encrypted_) ScrambleEntries(entries, count);
  {
    TFileAccess access(file_);
    file_.Seek(static_cast<int64_t>(entries_ * EntrySize()));
    file_.Write(entries, count * EntrySize());
  }
  entries_ += count;
  runs_.back().Count += count;
}

uint32_t TRunFile::Read(size_t run, uint32_t first, uint8_t* buffer, uint32_t maxEntries) {
  const TRun& r = runs_[run];
  const uint32_t n = std::min(maxEntries, r.Count - std::min(first, r.Count));
  if (n == 0) return 0;
  {
    TFileAccess access(file_);
    file_.Seek(static_cast<int64_t>((r.Start + first) * EntrySize()));
    file_.Read(buffer, n * EntrySize(), false);
  }
  if (encrypted_) ScrambleEntries(buffer, n);
  return n;
}

void TRunFile::Remove() {
  if (!exists_) return;
  file_.Close();
  exists_ = false;
  file_.DeleteFile();
}
