// writer_helper: a second process that changes a table through a cursor, for the tests of
// concurrent writers and of writers killed at random moments.
//
//   writer_helper FOLDER TABLE append START COUNT   appends codes START.. (each with a note),
//                                                   modifies every 10th and deletes every 25th
//                                                   of its own records; prints "done"
//   writer_helper FOLDER TABLE forever START        appends START, START+1, ... printing each
//                                                   code once its append has returned
// Lock attempts are generous: four writers share the table's write lock.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/storage/data/field_value.h"

namespace {

void Fill(TDataCursor& c, std::vector<uint8_t>& row, int64_t code) {
  std::fill(row.begin(), row.end(), 0);
  const TRecordImage image(row.data(), row.size());
  SetFieldInteger(image, c.FieldDescriptors()[1], code);
  SetFieldString(image, c.FieldDescriptors()[2], "w" + std::to_string(code % 1000));
  const std::string note = "note of " + std::to_string(code);
  uint32_t size = 0;
  c.OpenBlob(4, row.data(), size, true, false, 2);
  c.PutBlob(4, row.data(), false, 0, static_cast<int64_t>(note.size()),
            reinterpret_cast<const uint8_t*>(note.data()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  const std::string mode = argv[3];
  const int64_t start = std::atoll(argv[4]);
  const int64_t count = argc > 5 ? std::atoll(argv[5]) : 0;
  TDataSession session;
  session.SetFileLockAttempts(100000);
  session.SetLockRetryCount(200);
  session.SetLockWaitTime(5);
  TDataCursor c(session.OpenDirectory("w", argv[1]));
  c.SetTableName(argv[2]);
  try {
    c.OpenCursor();
    std::vector<uint8_t> row(c.RecordSize());
    if (mode == "forever") {
      for (int64_t code = start;; ++code) {
        Fill(c, row, code);
        c.AppendRecord(row.data());
        std::printf("%lld\n", static_cast<long long>(code));
        std::fflush(stdout);
      }
    }
    for (int64_t i = 0; i < count; ++i) {
      const int64_t code = start + i;
      Fill(c, row, code);
      c.AppendRecord(row.data());
      if (i % 10 == 9 || i % 25 == 24) {
        // The cursor stands on the new record: change or delete it.
        if (c.GetCurRecord(row.data()) != 0 || c.GetCurRecord(row.data(), true) != 0) return 3;
        if (i % 25 == 24) {
          c.DeleteRecord(row.data());
        } else {
          SetFieldString(TRecordImage(row.data(), row.size()), c.FieldDescriptors()[2], "changed");
          c.ModifyRecord(row.data());
        }
      }
    }
    std::printf("done\n");
  } catch (const EVUZODEEngineError& e) {
    std::printf("error %s\n", e.what());
    return 1;
  }
  return 0;
}
