// TRecord: one record of a data file as the record cache holds it (plain, never scrambled), and
// the layout of its image:
//
//   | Offset | Size | Content                                                               |
//   |--------|------|-----------------------------------------------------------------------|
//   |   0    |  1   | status: 0 active, 1 deleted                                           |
//   |   1    |  4   | signed; active: the record's own number; deleted: next record of the  |
//   |        |      | deleted chain, 0 at its end                                           |
//   |   5    |  4   | signed; row id given at insertion (an auto-increment field's value)   |
//   |   9    |  ... | fields in descriptor order, each an indicator byte (1 present, 0      |
//   |        |      | null) and its value (field_types.h, field_value.h)                    |
//
// A TRecord is a handle on a cache entry of a TDataFile: copying it does not pin the entry
// again, and the holder that received it from TDataFile::FetchRecord or AllocateRecord releases
// it exactly once with TDataFile::Unpin. Setters mark the entry dirty, so the next flush writes
// it.
#pragma once

#include <cstdint>
#include <span>

#include "db/storage/data/field_types.h"
#include "db/storage/data/field_value.h"
#include "db/storage/files/cache_entry.h"

class TDataFile;

inline constexpr uint8_t kRecordActive = 0;
inline constexpr uint8_t kRecordDeleted = 1;

class TRecord {
 public:
  TRecord() = default;
  TRecord(TDataFile* file, TCacheEntry* entry) : file_(file), entry_(entry) {}

  // False for the empty handle (a fetch that must be started over).
  bool Valid() const { return entry_ != nullptr; }
  TDataFile* File() const { return file_; }
  TCacheEntry* Entry() const { return entry_; }

  uint32_t Number() const { return entry_->Number; }
  bool Dirty() const { return entry_->Dirty; }
  uint16_t PinCount() const { return entry_->PinCount; }
  uint32_t Size() const { return static_cast<uint32_t>(entry_->Buffer.size()); }

  // The raw status byte; anything but kRecordActive counts as deleted.
  uint8_t Status() const { return entry_->Buffer[0]; }
  bool Deleted() const { return Status() != kRecordActive; }
  void SetStatus(uint8_t status);
  // The deleted chain's next record; 0 for an active record.
  int32_t Link() const;
  void SetLink(int32_t link);
  int32_t RowId() const;
  void SetRowId(int32_t rowId);
  // Renumbers the entry and, for an active record, rewrites bytes 1-4.
  void SetNumber(uint32_t number);

  // Zeroes the image (an active record), writes its number into bytes 1-4 and, when assignRowId,
  // gives it the file's next row id (which raises VUZODE_TABLEFULL when the row ids are used up).
  // The record is dirty afterwards: its new content must reach the file.
  void Initialize(bool assignRowId);
  // Copies the field area (bytes 9 to the end) from fields, which holds a whole record image of
  // this size. REQUIRES: fields.size() == Size().
  void CopyFields(std::span<const uint8_t> fields);
  // Copies the whole image of other (same record size) and marks this record dirty.
  void CopyFrom(const TRecord& other);
  // True when image equals this record's image byte for byte.
  bool SameAs(std::span<const uint8_t> image) const;

  TConstRecordImage Image() const { return {entry_->Buffer.data(), entry_->Buffer.size()}; }
  // The image for writing: marks the record dirty.
  TRecordImage MutableImage();

  // Field values (field_value.h); setters mark the record dirty.
  bool IsNull(const FieldDescriptor& field) const { return IsFieldNull(Image(), field); }
  void SetNull(const FieldDescriptor& field) { SetFieldNull(MutableImage(), field); }
  bool GetInteger(const FieldDescriptor& field, int64_t& value) const {
    return GetFieldInteger(Image(), field, value);
  }
  void SetInteger(const FieldDescriptor& field, int64_t value) {
    SetFieldInteger(MutableImage(), field, value);
  }
  bool GetFloat(const FieldDescriptor& field, double& value) const {
    return GetFieldFloat(Image(), field, value);
  }
  void SetFloat(const FieldDescriptor& field, double value) {
    SetFieldFloat(MutableImage(), field, value);
  }
  bool GetString(const FieldDescriptor& field, std::string& value) const {
    return GetFieldString(Image(), field, value);
  }
  void SetString(const FieldDescriptor& field, std::string_view value) {
    SetFieldString(MutableImage(), field, value);
  }
  bool GetBytes(const FieldDescriptor& field, std::vector<uint8_t>& value) const {
    return GetFieldBytes(Image(), field, value);
  }
  void SetBytes(const FieldDescriptor& field, std::span<const uint8_t> value) {
    SetFieldBytes(MutableImage(), field, value);
  }
  bool GetBlob(const FieldDescriptor& field, TBlobReference& value) const {
    return GetFieldBlob(Image(), field, value);
  }
  void SetBlob(const FieldDescriptor& field, const TBlobReference& value) {
    SetFieldBlob(MutableImage(), field, value);
  }

 private:
  TDataFile* file_ = nullptr;
  TCacheEntry* entry_ = nullptr;
};
