// TRunFile: one temporary file of sorted runs. Each run is written once, as one or more appends
// at the end of the file, and read back in order; the file stays open from its creation to its
// removal.
//
// Runs lie back to back; each entry is a record's file image followed by its sort key (so the
// merge does not encode keys again). When the table is encrypted the image and the key are each
// scrambled with the record key as units of their own, so no value is stored plain:
//
//   | Offset                    | Size        | Content                                   |
//   |---------------------------|-------------|-------------------------------------------|
//   | (e - 1) * (rs + ks)       | rs          | entry e's image (record size rs)          |
//   | (e - 1) * (rs + ks) + rs  | ks          | entry e's sort key (key length ks)        |
//
// The file is created exclusively under a fresh UniqueFileName with extension ".TMP" in the
// given directory, of the table's kind (memory or disk). One file for all runs of a merge pass
// keeps the sort to a few file creations and deletions however many runs it makes.
//
// Invariant: a TRunFile deletes its file: Remove on the normal path (raising when that fails),
// the destructor otherwise (after a failure, whose error is the one reported).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/storage/files/file_handler.h"

class TRunFile {
 public:
  // Creates the file for entries of a record of recordSize bytes and a key of keyLength bytes.
  // Raises the file error of the creation (after a few names that another holder took between
  // the name check and the creation).
  TRunFile(const std::string& directory, bool inMemory, uint32_t recordSize, uint32_t keyLength,
           bool encrypted);
  ~TRunFile();
  TRunFile(const TRunFile&) = delete;
  TRunFile& operator=(const TRunFile&) = delete;

  // Bytes of one entry: image and key.
  uint32_t EntrySize() const { return record_size_ + key_length_; }

  // Starts a new, empty run after the last one.
  void BeginRun();
  // Appends count plain entries at entries to the last run with one write; they are scrambled
  // in place first when encrypted. Raises VUZODE_WRITEERR. REQUIRES: BeginRun was called.
  void Append(uint8_t* entries, uint32_t count);

  size_t RunCount() const { return runs_.size(); }
  uint32_t RunLength(size_t run) const { return runs_[run].Count; }
  // Reads min(maxEntries, entries left) entries of run from its entry first on into buffer,
  // plain, with one read. Returns the number read. Raises VUZODE_READERR.
  uint32_t Read(size_t run, uint32_t first, uint8_t* buffer, uint32_t maxEntries);

  // Closes and deletes the file. Raises the file error of the deletion.
  void Remove();

 private:
  struct TRun {
    uint64_t Start = 0;  // entries before the run
    uint32_t Count = 0;
  };
  void ScrambleEntries(uint8_t* entries, uint32_t count) const;

  TFileHandler file_;
  uint32_t record_size_;
  uint32_t key_length_;
  bool encrypted_;
  bool exists_ = false;
  uint64_t entries_ = 0;  // in the file
  std::vector<TRun> runs_;
};
