// Shared set-up of the commit journal tests: two ledger tables A and B (a key, a name with a
// secondary index, a note in the BLOB file), the two kinds of commit (one record outside a
// transaction; a transaction appending the same codes to both tables), and the state of a
// table as a fresh session finds it: its codes, each note checked, and its checker's problems.
#pragma once

#include <string>
#include <vector>

#include "db/engine/table/table_check.h"
#include "tests/db/engine/locking/locking_test_util.h"

namespace engine_test {

inline TTableDefinition LedgerDefinition() {
  TTableDefinition d;
  d.Fields.push_back(MakeField(1, "CODE", kFieldInteger));
  d.Fields.push_back(MakeField(2, "NAME", kFieldString, 20));
  d.Fields.push_back(MakeField(3, "NOTE", kFieldBlob, 0, kSubtypeMemo));
  d.Indexes.push_back(MakeIndexDefinition("", {1}, true));
  d.Indexes.push_back(MakeIndexDefinition("BYNAME", {2}, false));
  d.BlobBlockSize = 64;  // a note takes a chain of blocks
  return d;
}

inline std::string NoteOf(int64_t code) {
  return "note of " + std::to_string(code) + std::string(static_cast<size_t>(code % 97), '.');
}

inline void AppendEntry(TDataCursor& c, int64_t code) {
  std::vector<uint8_t> row(c.RecordSize(), 0);
  const TRecordImage image(row.data(), row.size());
  SetFieldInteger(image, c.FieldDescriptors()[0], code);
  SetFieldString(image, c.FieldDescriptors()[1], "n" + std::to_string(code % 13));
  const std::string note = NoteOf(code);
  uint32_t size = 0;
  c.OpenBlob(3, row.data(), size, true, false, 2);
  c.PutBlob(3, row.data(), false, 0, static_cast<int64_t>(note.size()),
            reinterpret_cast<const uint8_t*>(note.data()));
  c.AppendRecord(row.data());
}

// One session with cursors on A and B.
struct TLedgers {
  TDataSession session;
  TDataDirectory* directory;
  std::unique_ptr<TDataCursor> a;
  std::unique_ptr<TDataCursor> b;
  TLedgers(const std::string& folder, bool forceFlush) {
    session.SetForceBufferFlush(forceFlush);
    session.SetFileLockAttempts(100000);
    directory = &session.OpenDirectory("j", folder);
    for (auto* c : {&a, &b}) {
      *c = std::make_unique<TDataCursor>(*directory);
      (*c)->SetTableName(c == &a ? "A" : "B");
      (*c)->OpenCursor();
    }
  }
  // Commit kinds: one record in A; or count records in each table in one transaction.
  void Single(int64_t code) { AppendEntry(*a, code); }
  void Multi(int64_t first, int64_t count) {
    directory->StartTransaction();
    try {
      for (int64_t code = first; code < first + count; ++code) {
        AppendEntry(*a, code);
        AppendEntry(*b, code);
      }
      directory->Commit();
    } catch (...) {
      if (directory->InTransaction()) directory->Rollback();
      throw;
    }
  }
};

// The commits a writer process makes, in order: every third is a transaction over both tables
// of hundreds of records, the others one record in A. Codes of commit j start at start + j*1000.
struct TPlannedCommit {
  bool multi;
  int64_t first;
  int64_t count;
};
inline TPlannedCommit PlannedCommit(int64_t start, int64_t j) {
  if (j % 3 == 2) return {true, start + j * 1000, 100 + (j % 4) * 50};
  return {false, start + j * 1000, 1};
}

inline void CreateLedgers(const std::string& folder) {
  CreateTable(folder, "A", LedgerDefinition());
  CreateTable(folder, "B", LedgerDefinition());
}

struct TLedgerState {
  std::vector<int64_t> codes;
  std::vector<std::string> problems;
};

// The table as a fresh session opens it: its checker's problems (under the write lock, without
// repair), then its codes in key order, each with its note.
inline TLedgerState StateOf(const std::string& folder, const std::string& table) {
  TLedgerState state;
  TSessionOn s(folder, table);
  s.Table().BeginWrite();
  state.problems = CheckTable(s.Table());
  s.Table().EndWrite();
  TDataCursor& c = *s.cursor;
  std::vector<uint8_t> row(c.RecordSize());
  c.SetToBegin();
  while (c.GetNextRecord(row.data()) == 0) {
    int64_t code = 0;
    GetFieldInteger(TConstRecordImage(row.data(), row.size()), c.FieldDescriptors()[0], code);
    uint32_t size = 0;
    std::string note;
    if (c.OpenBlob(3, row.data(), size, false, false, 1) == 0) {
      note.resize(size);
      uint32_t read = 0;
      c.GetBlob(3, row.data(), false, 0, size, reinterpret_cast<uint8_t*>(note.data()), read);
      c.FreeBlob(3, row.data());
    }
    if (note != NoteOf(code)) state.problems.push_back("note of " + std::to_string(code));
    state.codes.push_back(code);
  }
  return state;
}

}  // namespace engine_test
