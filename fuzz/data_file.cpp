// Arbitrary bytes as a data file: opening, checking, reading every record and field, walking
// the deleted chain, deleting, writing back and reopening must either work or raise an engine
// error. It must never crash, hang, read outside a buffer or hand out one record twice.
#include "db/storage/data/data_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "db/engine/errors/engine_error.h"
#include "db/storage/files/file_handler.h"

namespace {

const std::string kName = "fuzz_data_file.DAT";

void LoadBytes(const uint8_t* data, size_t size) {
  TFileHandler file;
  file.SetFileName(kName);
  file.SetInMemory(true);
  file.CreateFile();
  if (size != 0) file.Write(data, static_cast<uint32_t>(size));
  file.Close();
}

// Reads every field of every record (at most the first 256).
void ReadAll(TDataFile& file) {
  const uint32_t count = std::min<uint32_t>(file.RecordCount(), 256);
  for (uint32_t n = 1; n <= count; ++n) {
    TRecord r = file.FetchRecord(n, true, true);
    for (const FieldDescriptor& d : file.Descriptors()) {
      if (d.IsAutoIncrement() || r.IsNull(d)) continue;
      int64_t i;
      double f;
      std::string s;
      std::vector<uint8_t> b;
      TBlobReference blob;
      switch (d.Type) {
        case kFieldString:
          r.GetString(d, s);
          break;
        case kFieldFloat:
        case kFieldTimestamp:
          r.GetFloat(d, f);
          break;
        case kFieldBlob:
          r.GetBlob(d, blob);
          break;
        case kFieldBcd:
        case kFieldBytes:
        case kFieldInternal:
        case kFieldVarBytes:
          r.GetBytes(d, b);
          break;
        default:
          r.GetInteger(d, i);
          break;
      }
    }
    file.Unpin(r);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LoadBytes(data, size);
  TDataFile file;
  file.SetFileName(kName);
  file.SetInMemory(true);
  try {
    file.Open();
    ReadAll(file);
    try {
      file.VerifyStructure();
    } catch (const EVUZODEEngineError&) {
      // A file that fails the full check may still be read safely: go on.
    }
    // Walk the deleted chain: no record in use may be handed out again.
    std::set<uint32_t> handed;
    const uint32_t records = std::min<uint32_t>(file.RecordCount(), 64);
    for (uint32_t i = 0; i <= records; ++i) {
      TRecord r = file.AllocateRecord();
      if (!handed.insert(r.Number()).second) std::abort();
      // A record freed again may be handed out again; one still in use may not.
      if (i % 2 == 0) {
        file.FreeRecord(r);
        handed.erase(r.Number());
      }
      file.Unpin(r);
    }
    file.FlushRecords();
    file.WriteDescriptors();
    file.WriteHeader(true);
    file.Close();
    file.Open();
    ReadAll(file);
  } catch (const EVUZODEEngineError&) {
  }
  return 0;
}
