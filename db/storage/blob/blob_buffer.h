// TBlobBuffer: the in-memory copy of one open BLOB value of one cursor, read from and written
// back to the table's BLOB file as a chain of blocks (blob_chain.h).
//
// Invariants:
//   (1) FirstBlock() and Revision() name the chain the bytes were loaded from or last saved to
//       (LoadValue, SaveValue, FreeValue), so a save re-checks exactly the chain it replaces.
//   (2) Modified() is set by every change of the bytes and cleared by LoadValue and SaveValue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "db/storage/data/field_value.h"

class TBlobFile;

class TBlobBuffer {
 public:
  // file must outlive the buffer. reference is the field's value in the record.
  TBlobBuffer(TBlobFile& file, uint32_t recordNumber, uint16_t fieldNumber,
              TBlobReference reference);

  // Reads the value's bytes (none when the first block is 0) and clears Modified(). Raises as
  // LoadChain (blob_chain.h).
  void LoadValue();
  // Writes the bytes as the value's chain, stamped with newRevision (the data file's
  // NextBlobRevision); FirstBlock() and Revision() then name the new chain (first block 0 for
  // no bytes). Clears Modified(). Raises as SaveChain.
  // REQUIRES: the caller holds the BLOB file's write lock.
  void SaveValue(int32_t newRevision);
  // Frees the value's chain (FreeChain) and sets the first block to 0. The bytes stay.
  // REQUIRES: the caller holds the BLOB file's write lock.
  void FreeValue(bool repair);

  // The value's bytes.
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  void SetBytes(const uint8_t* bytes, size_t length);
  // Cuts or zero-extends the bytes; marks them modified.
  void SetLength(size_t length);
  // Copies count bytes to offset, growing the value with zeros first when it is shorter;
  // marks the bytes modified (also a write inside the current length, which must be saved).
  // REQUIRES: offset + count fits the caller's limit (the cursor checks it).
  void WriteAt(size_t offset, const uint8_t* data, size_t count);
  // Keeps a copy of the bytes as they are now (for removing the old value's words from a text
  // index after the save), and drops it.
  void KeepCopy() { saved_ = bytes_; }
  void DropCopy() { saved_.clear(); }
  const std::vector<uint8_t>& SavedBytes() const { return saved_; }

  // The field's value for the record.
  TBlobReference Reference() const { return {first_block_, revision_}; }
  int32_t FirstBlock() const { return first_block_; }
  int32_t Revision() const { return revision_; }
  uint32_t RecordNumber() const { return record_number_; }
  uint16_t FieldNumber() const { return field_number_; }
  bool Modified() const { return modified_; }
  uint8_t OpenMode() const { return open_mode_; }
  void SetOpenMode(uint8_t mode) { open_mode_ = mode; }
  uint16_t OpenCount() const { return open_count_; }
  void IncrementOpenCount() { ++open_count_; }
  // Never below 0.
  void DecrementOpenCount() {
    if (open_count_ > 0) --open_count_;
  }

 private:
  TBlobFile& file_;
  bool modified_ = false;
  int32_t revision_;
  uint32_t record_number_;
  uint16_t field_number_;
  int32_t first_block_;
  std::vector<uint8_t> bytes_;
  std::vector<uint8_t> saved_;
  uint8_t open_mode_ = 0;
  uint16_t open_count_ = 0;
};
