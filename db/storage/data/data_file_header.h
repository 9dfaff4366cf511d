// TDataFileHeader: the decoded form of the 127-byte header at the start of a data file, and its
// codec. The byte layout is documented at the top of data_file_header.cpp, which writes it.
//
// The description and the password are kept here in their stored form: for an encrypted table
// their characters are scrambled with kHeaderTextKey (TDataFile turns them into plain text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr size_t kDataFileHeaderSize = 127;
inline constexpr uint8_t kDataFormatVersion = 5;
inline constexpr int64_t kWriterVersion = 33000;
inline constexpr size_t kMaxDescriptionLength = 50;
inline constexpr size_t kMaxPasswordLength = 15;
// Day number of 1899-12-30 counted from 0001-01-01 as day 1; LastUpdated is stored relative to
// it (and therefore negative).
inline constexpr int32_t kDayNumberOf18991230 = 693594;

struct TDataFileHeader {
  int32_t ChangeCount = 0;
  uint32_t BlobBlockSize = 0;  // 0 means 512
  uint8_t FormatVersion = kDataFormatVersion;
  int32_t FirstFreeRecord = 0;   // head of the deleted-record chain, 0 when empty
  int32_t NextRecordNumber = 1;  // one past the last physical record
  int32_t LastRowId = 0;
  uint16_t RecordSize = 0;
  uint16_t FieldCount = 0;
  int16_t BlobFieldCount = 0;
  double LastUpdated = 0;   // days since 1899-12-30 with fraction, minus 693594
  std::string Description;  // stored form, at most 50 bytes
  uint8_t Encrypted = 0;
  std::string TablePassword;  // stored form, at most 15 bytes
  int16_t LanguageId = 0;
  int16_t SortId = 0;
  int16_t UserMajorVersion = 0;
  int16_t UserMinorVersion = 0;
  uint8_t HeaderDirty = 0;
  int32_t LastBlobRevision = 0;
  int64_t WriterVersion = kWriterVersion;
};

// Writes header into the 127 bytes at bytes. Texts longer than their room are cut.
void EncodeDataFileHeader(const TDataFileHeader& header, uint8_t* bytes);
// Reads the 127 bytes at bytes. False when a text's length byte exceeds its room (the header is
// corrupt); every other value is taken as stored and checked by the caller.
bool DecodeDataFileHeader(const uint8_t* bytes, TDataFileHeader& header);

// The current local date-time in the header's LastUpdated form.
double CurrentLastUpdated();
