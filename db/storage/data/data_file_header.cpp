// The data file header: 127 bytes at offset 0 of every data file, little-endian.
//
// Whole file:
//
//   | Offset                      | Size                      | Content                           |
//   |-----------------------------|---------------------------|-----------------------------------|
//   | 0                           | 127                       | header (below)                    |
//   | 127                         | 768 * FieldCount          | field descriptors in field order  |
//   |                             |                           | (field_descriptor.cpp), scrambled |
//   |                             |                           | as one unit when Encrypted        |
//   | 127 + 768 * FieldCount      | RecordSize * record count | records 1, 2, ... (record_image.h)|
//
// Header:
//
//   | Offset | Size | Field            | Meaning                                              |
//   |--------|------|------------------|------------------------------------------------------|
//   |   0    |  4   | ChangeCount      | signed; +1 at every header write, compared by others |
//   |   4    |  4   | BlobBlockSize    | unsigned; BLOB file block size, 0 means 512          |
//   |   8    |  1   | FormatVersion    | always 5                                             |
//   |   9    |  4   | FirstFreeRecord  | signed; head of the deleted chain, 0 when empty      |
//   |  13    |  4   | NextRecordNumber | signed; one past the last record (1 when empty)      |
//   |  17    |  4   | LastRowId        | signed; last row id handed out                       |
//   |  21    |  2   | RecordSize       | unsigned; bytes per record incl. its 9-byte header   |
//   |  23    |  2   | FieldCount       | unsigned; 0 to 1024                                  |
//   |  25    |  2   | BlobFieldCount   | signed; fields of type 3, 0 to 128                   |
//   |  27    |  8   | LastUpdated      | double; local days since 1899-12-30 minus 693594     |
//   |  35    |  51  | Description      | length byte + up to 50 characters (scrambled)        |
//   |  86    |  1   | Encrypted        | 1 when records, descriptors and texts are scrambled  |
//   |  87    |  16  | TablePassword    | length byte + up to 15 characters (scrambled)        |
//   | 103    |  2   | LanguageId       | signed; locale language, 0 = byte order              |
//   | 105    |  2   | SortId           | signed; locale sort identifier                       |
//   | 107    |  2   | UserMajorVersion | signed; application-defined                          |
//   | 109    |  2   | UserMinorVersion | signed; application-defined                          |
//   | 111    |  1   | HeaderDirty      | the in-memory flag as it stood when written          |
//   | 112    |  4   | LastBlobRevision | signed; last BLOB revision handed out                |
//   | 116    |  8   | WriterVersion    | signed 64; engine version * 10000, always 33000      |
//   | 124    |  3   | reserved         | zeros                                                |
//
// Scrambling of a text covers its characters only, never its length byte.
#include "db/storage/data/data_file_header.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "db/storage/le_codec.h"

namespace {

constexpr size_t kDescriptionAt = 35;
constexpr size_t kPasswordAt = 87;

void PutText(uint8_t* at, const std::string& text, size_t room) {
  const size_t n = std::min(text.size(), room);
  at[0] = static_cast<uint8_t>(n);
  std::memcpy(at + 1, text.data(), n);
}

bool GetText(const uint8_t* at, size_t room, std::string& text) {
  if (at[0] > room) return false;
  text.assign(reinterpret_cast<const char*>(at + 1), at[0]);
  return true;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

void EncodeDataFileHeader(const TDataFileHeader& h, uint8_t* b) {
  std::memset(b, 0, kDataFileHeaderSize);
  PutI32(b + 0, h.ChangeCount);
  PutU32(b + 4, h.BlobBlockSize);
  b[8] = h.FormatVersion;
  PutI32(b + 9, h.FirstFreeRecord);
  PutI32(b + 13, h.NextRecordNumber);
  PutI32(b + 17, h.LastRowId);
  PutU16(b + 21, h.RecordSize);
  PutU16(b + 23, h.FieldCount);
  PutI16(b + 25, h.BlobFieldCount);
  PutF64(b + 27, h.LastUpdated);
  PutText(b + kDescriptionAt, h.Description, kMaxDescriptionLength);
  b[86] = h.Encrypted;
  PutText(b + kPasswordAt, h.TablePassword, kMaxPasswordLength);
  PutI16(b + 103, h.LanguageId);
  PutI16(b + 105, h.SortId);
  PutI16(b + 107, h.UserMajorVersion);
  PutI16(b + 109, h.UserMinorVersion);
  b[111] = h.HeaderDirty;
  PutI32(b + 112, h.LastBlobRevision);
  PutI64(b + 116, h.WriterVersion);
}

bool DecodeDataFileHeader(const uint8_t* b, TDataFileHeader& h) {
  h.ChangeCount = GetI32(b + 0);
  h.BlobBlockSize = GetU32(b + 4);
  h.FormatVersion = b[8];
  h.FirstFreeRecord = GetI32(b + 9);
  h.NextRecordNumber = GetI32(b + 13);
  h.LastRowId = GetI32(b + 17);
  h.RecordSize = GetU16(b + 21);
  h.FieldCount = GetU16(b + 23);
  h.BlobFieldCount = GetI16(b + 25);
  h.LastUpdated = GetF64(b + 27);
  if (!GetText(b + kDescriptionAt, kMaxDescriptionLength, h.Description)) return false;
  h.Encrypted = b[86];
  if (!GetText(b + kPasswordAt, kMaxPasswordLength, h.TablePassword)) return false;
  h.LanguageId = GetI16(b + 103);
  h.SortId = GetI16(b + 105);
  h.UserMajorVersion = GetI16(b + 107);
  h.UserMinorVersion = GetI16(b + 109);
  h.HeaderDirty = b[111];
  h.LastBlobRevision = GetI32(b + 112);
  h.WriterVersion = GetI64(b + 116);
  return true;
}

double CurrentLastUpdated() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const int64_t days1970 =
      DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                    static_cast<unsigned>(local.tm_mday));
  // 1899-12-30 is 25569 days before 1970-01-01.
  const double days = static_cast<double>(days1970 + 25569) +
                      (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec) / 86400.0;
  return days - kDayNumberOf18991230;
}
