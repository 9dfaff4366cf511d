// CSV import through a cursor (see csv_import.h).
#include "app/vuzode/csv_import.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "app/vuzode/csv_reader.h"
#include "app/vuzode/field_from_text.h"
#include "db/engine/cursor/data_cursor.h"
#include "db/engine/session/data_directory.h"

namespace vuzode {
namespace {

// Records appended between two commits: bounds the changes a transaction holds in memory.
constexpr uint64_t kCommitInterval = 20000;
// Bad records described one by one; the rest are only counted.
constexpr uint64_t kMaxReported = 100;

class TProgressBar {
 public:
  TProgressBar(bool shown, uint64_t total, std::ostream& out)
      : shown_(shown && total > 0), total_(total), out_(out) {}
  ~TProgressBar() {
    if (shown_ && percent_ >= 0) out_ << "\r" << std::string(60, ' ') << "\r" << std::flush;
  }
  void Update(uint64_t done) {
    if (!shown_) return;
    const int percent = static_cast<int>(done * 100 / total_);
    if (percent == percent_) return;
    percent_ = percent;
    const int filled = percent / 2;
    out_ << "\r[" << std::string(filled, '#') << std::string(50 - filled, ' ') << "] " << percent
         << "%" << std::flush;
  }

 private:
  bool shown_;
  uint64_t total_;
  std::ostream& out_;
  int percent_ = -1;
};

}  // namespace

TImportResult ImportCsv(TDataDirectory& directory, const TImportRequest& request,
                        std::ostream& errors) {
  std::ifstream in(request.File, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open \"" + request.File + "\"");
  std::error_code ignored;
  const uint64_t size = std::filesystem::file_size(request.File, ignored);

  TDataCursor cursor(directory);
  cursor.SetTableName(request.Table);
  cursor.OpenCursor();
  std::vector<const FieldDescriptor*> fields;
  for (const FieldDescriptor& f : cursor.FieldDescriptors())
    if (!f.Computed) fields.push_back(&f);

  // A transaction the user started stays the user's: the import joins it and commits nothing.
  const bool own = !directory.InTransaction();
  if (own) directory.StartTransaction();
  TImportResult result;
  uint64_t committed = 0;
  TProgressBar bar(request.Progress && size > (1u << 20), size, errors);
  const auto reject = [&](uint64_t line, const std::string& why) {
    if (++result.Rejected <= kMaxReported)
      errors << request.File << ":" << line << ": " << why << "\n";
  };
  try {
    TCsvReader reader(in, request.Separator);
    std::vector<std::string> values;
    std::vector<uint8_t> record(cursor.RecordSize());
    uint64_t records = 0;
    while (reader.Next(values)) {
      bar.Update(reader.BytesRead());
      if (++records <= request.SkipLines) continue;
      const uint64_t line = reader.RecordLine();
      if (reader.Unterminated()) {
        reject(line, "a quoted value is not closed before the end of the file");
        continue;
      }
      if (values.size() != fields.size()) {
        reject(line, "expected " + std::to_string(fields.size()) + " values, found " +
                         std::to_string(values.size()));
        continue;
      }
      std::fill(record.begin(), record.end(), 0);
      std::string why;
      bool good = true;
      for (size_t i = 0; i < fields.size() && good; ++i)
        good = StoreFieldText(*fields[i], values[i], record, why);
      if (!good) {
        reject(line, why);
        continue;
      }
      try {
        cursor.AppendRecord(record.data(), false);
      } catch (const EVUZODEEngineError& error) {
        // The table refused this record and took back what the append did; the others stay.
        const uint16_t code = error.EngineCode();
        if (code != VUZODE_KEYVIOL && code != VUZODE_REQDERR && code != VUZODE_MINVALERR &&
            code != VUZODE_MAXVALERR)
          throw;
        reject(line, error.what());
        continue;
      }
      ++result.Imported;
      if (own && result.Imported % kCommitInterval == 0) {
        directory.Commit(false);
        committed = result.Imported;
      }
    }
    if (own) directory.Commit(true);
  } catch (...) {
    if (own) {
      try {
        directory.Rollback();
      } catch (const EVUZODEEngineError&) {
        // The first failure is the one reported; the rollback's own is secondary.
      }
    }
    errors << request.File << ": import stopped; " << committed
           << " records were committed before the failure, later ones taken back\n";
    throw;
  }
  if (result.Rejected > kMaxReported)
    errors << request.File << ": " << result.Rejected - kMaxReported
           << " more bad records not shown\n";
  return result;
}

}  // namespace vuzode
