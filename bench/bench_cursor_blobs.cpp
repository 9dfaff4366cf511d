// The BLOB round trip of bench_cursor (bench_cursor_blobs.h). Each round writes a new value
// (its bytes differ per round, so no round finds the previous one's blocks) and reads it back
// in one call; the best round counts.
#include "bench/bench_cursor_blobs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_support.h"
#include "db/engine/cursor/data_cursor.h"
#include "db/storage/blob/blob_buffer.h"
#include "db/storage/blob/blob_file.h"
#include "db/storage/data/field_value.h"

namespace {

constexpr size_t kValueBytes = 1u << 20;
constexpr const char* kBlobTable = "BLOBS";

using bench::Clock;
using bench::Seconds;

std::vector<uint8_t> ValueOf(int round) {
  std::vector<uint8_t> value(kValueBytes);
  uint32_t state = 2166136261u + static_cast<uint32_t>(round);
  for (uint8_t& b : value) {
    state = state * 1103515245u + 12345u;
    b = static_cast<uint8_t>(state >> 24);
  }
  return value;
}

void Expect(bool same, const char* what) {
  if (same) return;
  std::fprintf(stderr, "BLOB round trip through the %s read back other bytes\n", what);
  std::exit(1);
}

TTableDefinition BlobDefinition() {
  TTableDefinition d;
  FieldDescriptor id, value;
  id.FieldNumber = 1;
  id.Name = "ID";
  id.Type = kFieldInteger;
  value.FieldNumber = 2;
  value.Name = "B";
  value.Type = kFieldBlob;
  d.Fields = {id, value};
  IndexDescriptor primary;
  primary.Unique = true;
  primary.FieldCount = 1;
  primary.FieldNumbers[0] = 1;
  d.Indexes.push_back(primary);
  return d;
}

double CursorRound(TDataCursor& cursor, int round, const std::vector<uint8_t>& value) {
  std::vector<uint8_t> record(cursor.RecordSize(), 0), back(kValueBytes);
  SetFieldInteger(TRecordImage(record.data(), record.size()), cursor.FieldDescriptors()[0], round);
  const auto start = Clock::now();
  uint32_t size = 0;
  bool ok = cursor.OpenBlob(2, record.data(), size, true, false, 2) == 0 &&
            cursor.PutBlob(2, record.data(), false, 0, kValueBytes, value.data()) == 0;
  cursor.AppendRecord(record.data());
  ok = ok && cursor.GetCurRecord(record.data(), false) == 0 &&
       cursor.OpenBlob(2, record.data(), size, false, false, 1) == 0 && size == kValueBytes;
  uint32_t read = 0;
  ok = ok && cursor.GetBlob(2, record.data(), false, 0, kValueBytes, back.data(), read) == 0 &&
       cursor.FreeBlob(2, record.data()) == 0;
  const double time = Seconds(start);
  Expect(ok && read == kValueBytes && back == value, "cursor");
  return time;
}

double FileRound(TBlobFile& file, int round, const std::vector<uint8_t>& value) {
  const auto start = Clock::now();
  TBlobBuffer writer(file, static_cast<uint32_t>(round), 2, TBlobReference{});
  writer.SetBytes(value.data(), value.size());
  writer.SaveValue(round);
  file.FlushBlocks();
  file.WriteHeader(true);
  TBlobBuffer reader(file, static_cast<uint32_t>(round), 2, writer.Reference());
  reader.LoadValue();
  const double time = Seconds(start);
  Expect(reader.Bytes() == value, "file layer");
  return time;
}

}  // namespace

TBlobTimes TimeBlobRoundTrips(TDataDirectory& directory, const std::filesystem::path& folder) {
  TBlobTimes times;
  TDataCursor cursor(directory);
  cursor.SetTableName(kBlobTable);
  // Creating takes the table to itself; the cursor then opens it shared.
  cursor.SetExclusive(true);
  cursor.CreateTable(BlobDefinition(), true);
  cursor.SetExclusive(false);
  cursor.OpenCursor();
  TBlobFile file;
  file.SetFileName((folder / "DIRECT.MB").string());
  file.CreateFile();
  file.WriteHeader(true);
  for (int round = 1; round <= kBlobRounds; ++round) {
    const std::vector<uint8_t> value = ValueOf(round);
    times.Cursor = std::min(times.Cursor, CursorRound(cursor, round, value));
    times.File = std::min(times.File, FileRound(file, round, value));
  }
  file.Close();
  cursor.CloseCursor();
  return times;
}
