// RestructureTable: choosing the work, rewriting definitions in place and rebuilding indexes
// (see the header); the copy path is in restructure_copy.cpp.
#include "db/engine/table/restructure.h"

#include <bitset>
#include <set>
#include <string>
#include <vector>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/engine/session/table_file_names.h"
#include "db/engine/table/index_rebuild.h"
#include "db/sql/expressions/field_literal.h"
#include "db/storage/blob/blob_chain.h"
#include "db/storage/files/file_handler.h"
#include "db/storage/index/index_header.h"
#include "db/storage/index/text_index.h"

namespace {

// Validity and default texts compare trimmed and without regard to letter case.
bool SameText(std::string_view a, std::string_view b) {
  return SameTableName(a, b);
}

bool SameField(const FieldDescriptor& a, const FieldDescriptor& b) {
  return a.FieldNumber == b.FieldNumber && a.Type == b.Type && a.SubType == b.SubType &&
         a.Size == b.Size && a.Scale == b.Scale && a.Required == b.Required &&
         a.CharCase == b.CharCase && SameText(a.DefaultValue, b.DefaultValue) &&
         SameText(a.MinValue, b.MinValue) && SameText(a.MaxValue, b.MaxValue);
}

bool SameIndex(const IndexDescriptor& a, const IndexDescriptor& b) {
  if (a.FieldCount == 0 && b.FieldCount == 0) return true;
  if (a.KeyLength != b.KeyLength || a.FieldCount != b.FieldCount || a.Unique != b.Unique ||
      a.Descending != b.Descending || a.CaseInsensitive != b.CaseInsensitive ||
      a.Compression != b.Compression) {
    return false;
  }
  for (size_t i = 0; i < a.FieldCount && i < kMaxIndexFields; ++i) {
    if (a.FieldNumbers[i] != b.FieldNumbers[i] || a.FieldDescending[i] != b.FieldDescending[i]) {
      return false;
    }
  }
  return true;
}

// The text index compares by its fields; its key length is the index file's own.
bool SameTextIndex(const IndexDescriptor& a, const IndexDescriptor& b) {
  if (a.FieldCount != b.FieldCount) return false;
  for (size_t i = 0; i < a.FieldCount && i < kMaxIndexFields; ++i) {
    if (a.FieldNumbers[i] != b.FieldNumbers[i]) return false;
  }
  return true;
}

// Whether the text index parameters differ (they matter only with a text index).
bool ParametersDiffer(const TTableDefinition& current, const TTableDefinition& next) {
  if (next.TextIndex.FieldCount == 0) return false;
  const TTextIndexParameters a = TextIndexParametersOf(current);
  const TTextIndexParameters b = TextIndexParametersOf(next);
  return a.StopWords != b.StopWords || a.SpaceCharacters != b.SpaceCharacters ||
         a.IncludeCharacters != b.IncludeCharacters;
}

std::string CharactersOf(const std::bitset<256>& set) {
  std::string text;
  for (size_t c = 0; c < set.size(); ++c) {
    if (set.test(c)) text.push_back(static_cast<char>(c));
  }
  return text;
}

// Names, descriptions, validity texts, password, table texts and numbers, written in place.
void WriteDefinitions(TDataTable& table, const TTableDefinition& next) {
  TDataFile& data = table.DataFile();
  TIndexFile& index = table.IndexFile();
  for (const FieldDescriptor& field : next.Fields)
    data.SetDescriptorTexts(field.FieldNumber, field);
  data.SetTablePassword(next.Encrypted ? next.Password : std::string());
  data.SetDescription(next.Description);
  data.SetUserVersions(next.UserMajorVersion, next.UserMinorVersion);
  if (next.LastAutoIncrement > data.Header().LastRowId) data.SetLastRowId(next.LastAutoIncrement);
  for (int slot = 1; slot <= index.Header().SecondaryIndexCount; ++slot) {
    if (static_cast<size_t>(slot) >= next.Indexes.size()) break;
    if (index.Descriptor(slot).Name == next.Indexes[slot].Name) continue;
    IndexDescriptor d = index.Descriptor(slot);
    const int32_t root = d.RootPage;
    d.Name = next.Indexes[slot].Name;
    index.SetIndexDefinition(slot, d);
    index.SetRootPage(slot, root);
  }
  data.MarkHeaderChanged();
  index.MarkHeaderChanged();
  table.FlushBuffers(false, true);
}

// Puts next's index definitions into the index file's slots (their trees are rebuilt after).
void RedefineIndexes(TIndexFile& index, const TTableDefinition& current,
                     const TTableDefinition& next) {
  const int oldCount = index.Header().SecondaryIndexCount;
  const int newCount = static_cast<int>(next.Indexes.size()) - 1;
  for (int slot = oldCount; slot > newCount; --slot) index.RemoveIndex(slot, true);
  const IndexDescriptor& primary = next.Indexes[0];
  if (primary.FieldCount == 0) {
    index.RemoveIndex(kPrimarySlot, false);
  } else {
    index.SetIndexDefinition(kPrimarySlot, primary);
    index.SetNoPrimaryIndex(false);
  }
  for (int slot = 1; slot <= newCount; ++slot) {
    if (slot <= oldCount) {
      index.SetIndexDefinition(slot, next.Indexes[slot]);
    } else {
      index.AddSecondaryIndex(next.Indexes[slot]);
    }
  }
  if (!SameTextIndex(current.TextIndex, next.TextIndex) || ParametersDiffer(current, next)) {
    index.SetIndexDefinition(kTextSlot, next.TextIndex);
    if (next.TextIndex.FieldCount > 0) {
      WriteTextIndexParameters(index, TextIndexParametersOf(next));
    }
  }
}

// The records whose key of a unique index an earlier record already has, each told to the
// data-loss callback; false when it stopped.
bool FindDuplicates(TDataTable& table, const TRestructureCallbacks& callbacks,
                    std::vector<uint32_t>& doomed) {
  TDataFile& data = table.DataFile();
  TIndexFile& index = table.IndexFile();
  std::vector<int> slots;
  if (!index.NoPrimaryIndex() && index.Descriptor(kPrimarySlot).FieldCount > 0) slots.push_back(0);
  for (int slot = 1; slot <= index.Header().SecondaryIndexCount; ++slot) {
    if (index.Descriptor(slot).Unique) slots.push_back(slot);
  }
  // Keys as byte strings: ordered sets of byte vectors trip a false overread warning at -O3.
  std::vector<std::set<std::string>> seen(slots.size());
  bool stopAsking = false;
  // With nobody to ask, nothing is given up.
  bool carryOn = static_cast<bool>(callbacks.DataLoss);
  TProgressSteps progress(callbacks.Progress, table.Session().ProgressPercentStep());
  IndexKey key;
  const uint32_t highest = data.RecordCount();
  for (uint32_t n = 1; n <= highest; ++n) {
    TRecord record = data.FetchRecordSettled(n, true);
    std::vector<std::string> keys;
    int clash = -1;
    if (!record.Deleted()) {
      for (size_t k = 0; k < slots.size(); ++k) {
        EncodeKey(index.Layout(slots[k]), record.Image(), key);
        keys.emplace_back(reinterpret_cast<const char*>(key.data()),
                          index.Descriptor(slots[k]).KeyLength);
        if (clash < 0 && seen[k].contains(keys.back())) clash = slots[k];
      }
    }
    data.Unpin(record);
    if (clash >= 0) {
      if (!stopAsking && callbacks.DataLoss) {
        callbacks.DataLoss(kLossDuplicateKey, index.Descriptor(clash).Name, stopAsking, carryOn);
      }
      if (!carryOn) return false;
      doomed.push_back(n);
    } else {
      for (size_t k = 0; k < keys.size(); ++k) seen[k].insert(std::move(keys[k]));
    }
    if (!progress.Record(n, highest)) return false;
  }
  return progress.Finish();
}

// Frees the records (their BLOB values with them); the indexes are rebuilt after.
void FreeRecords(TDataTable& table, const std::vector<uint32_t>& doomed) {
  TDataFile& data = table.DataFile();
  for (uint32_t n : doomed) {
    TRecord record = data.FetchRecordSettled(n);
    try {
      for (const FieldDescriptor& field : data.Descriptors()) {
        TBlobReference blob;
        if (field.Type != kFieldBlob || !table.HasBlobFile()) continue;
        if (GetFieldBlob(record.Image(), field, blob) && blob.FirstBlock != 0) {
          FreeChain(table.BlobFile(), blob.FirstBlock, blob.Revision, false);
        }
      }
      data.FreeRecord(record);
    } catch (...) {
      data.Unpin(record);
      throw;
    }
    data.Unpin(record);
  }
  data.MarkHeaderChanged();
}

// Drops every unwritten change and takes the index file back from its backup, which goes.
// The index file is restored first: the headers read after it must not be the half-built
// file's.
void PutBack(TDataCursor& cursor) {
  TDataTable& table = *cursor.Table();
  table.DiscardBuffers(true, false);
  cursor.RestoreIndex(false, true);
  table.DiscardBuffers(true, true);
}

// Copies of the data and BLOB files (.DBK, .BBK) taken before a rebuild gives records up, so
// that a failure before the last write puts them back together with the index file.
class TRecordFilesBackup {
 public:
  explicit TRecordFilesBackup(TDataTable& table) : table_(table) {}
  void Take() {
    const uint16_t step = table_.Session().ProgressPercentStep();
    DeleteCopies();
    try {
      table_.DataFile().SaveToFile(table_.FileNameOf(kDataBackupExtension), step, nullptr, nullptr);
      if (table_.HasBlobFile()) {
        table_.BlobFile().SaveToFile(table_.FileNameOf(kBlobBackupExtension), step, nullptr,
                                     nullptr);
      }
    } catch (...) {
      try {
        DeleteCopies();  // a partial copy is no backup
      } catch (const EVUZODEEngineError&) {
        // The copy's failure is the one reported.
      }
      throw;
    }
    taken_ = true;
  }
  // REQUIRES: before the index file is put back (its headers are read after this).
  void PutBack() {
    if (!taken_) return;
    const uint16_t step = table_.Session().ProgressPercentStep();
    table_.DiscardBuffers(true, false);
    table_.DataFile().LoadFromFile(table_.FileNameOf(kDataBackupExtension), step, nullptr, nullptr);
    if (table_.HasBlobFile()) {
      table_.BlobFile().LoadFromFile(table_.FileNameOf(kBlobBackupExtension), step, nullptr,
                                     nullptr);
    }
    Drop();
  }
  void Drop() {
    if (!taken_) return;
    DeleteCopies();
    taken_ = false;
  }

 private:
  void DeleteCopies() {
    for (std::string_view extension : {kDataBackupExtension, kBlobBackupExtension}) {
      TFileHandler copy;
      copy.SetFileName(table_.FileNameOf(extension));
      copy.SetInMemory(table_.InMemory());
      if (copy.FileExists()) copy.DeleteFile();
    }
  }

  TDataTable& table_;
  bool taken_ = false;
};

// The rebuild path; false when the data-loss callback stopped it (the index file restored).
bool RebuildWithDefinition(TDataCursor& cursor, const TTableDefinition& current,
                           const TTableDefinition& next, bool noBackup,
                           const TRestructureCallbacks& callbacks) {
  TDataTable& table = *cursor.Table();
  try {
    cursor.BackupIndex();
  } catch (...) {
    try {
      cursor.RestoreIndex(true, true);  // a partial copy is no backup
    } catch (const EVUZODEEngineError&) {
      // The copy's failure is the one reported.
    }
    throw;
  }
  cursor.SetIndexNumber(kRecordOrder);
  // Every change stays in the caches until it is whole, so a failure drops it unwritten.
  table.SetChangeInProgress(true);
  bool done = false;
  TRecordFilesBackup records(table);
  try {
    RedefineIndexes(table.IndexFile(), current, next);
    std::vector<uint32_t> doomed;
    if (FindDuplicates(table, callbacks, doomed)) {
      if (!doomed.empty()) records.Take();
      FreeRecords(table, doomed);
      RebuildIndexes(table);
      table.SetChangeInProgress(false);
      WriteDefinitions(table, next);
      done = true;
    }
  } catch (...) {
    table.SetChangeInProgress(false);
    try {
      records.PutBack();
      PutBack(cursor);
    } catch (const EVUZODEEngineError&) {
      // The first failure is reported; the backup stays as .IBK for a repair.
    }
    throw;
  }
  if (!done) {
    table.SetChangeInProgress(false);
    PutBack(cursor);
    return false;
  }
  records.Drop();
  if (noBackup) cursor.RestoreIndex(true, true);
  return true;
}

}  // namespace

TTableDefinition CurrentDefinition(TDataTable& table) {
  TDataFile& data = table.DataFile();
  TIndexFile& index = table.IndexFile();
  const TDataFileHeader& h = data.Header();
  TTableDefinition d;
  d.Fields = data.Descriptors();
  IndexDescriptor primary = index.Descriptor(kPrimarySlot);
  if (index.NoPrimaryIndex() || primary.KeyLength == 0) primary = IndexDescriptor{};
  d.Indexes.push_back(primary);
  for (int slot = 1; slot <= index.Header().SecondaryIndexCount; ++slot) {
    d.Indexes.push_back(index.Descriptor(slot));
  }
  d.TextIndex = index.Descriptor(kTextSlot);
  if (d.TextIndex.FieldCount > 0) {
    const TTextIndexParameters parameters = ReadTextIndexParameters(index);
    d.StopWords = parameters.StopWords;
    d.SpaceCharacters = CharactersOf(parameters.SpaceCharacters);
    d.IncludeCharacters = CharactersOf(parameters.IncludeCharacters);
  }
  d.Description = h.Description;
  d.Password = h.TablePassword;
  d.Encrypted = h.Encrypted != 0;
  d.LanguageId = h.LanguageId;
  d.SortId = h.SortId;
  d.LastAutoIncrement = h.LastRowId;
  d.BlobBlockSize = h.BlobBlockSize == 0 ? 512 : h.BlobBlockSize;
  d.UserMajorVersion = h.UserMajorVersion;
  d.UserMinorVersion = h.UserMinorVersion;
  return d;
}

TRestructureWork RestructureWorkOf(const TTableDefinition& current, const TTableDefinition& next) {
  for (const IndexDescriptor& index : next.Indexes) {
    for (size_t i = 0; i < index.FieldCount && i < kMaxIndexFields; ++i) {
      if (index.FieldNumbers[i] == 0 || index.FieldNumbers[i] > next.Fields.size()) {
        RaiseEngineError(VUZODE_OUTOFRANGE, {}, {}, {}, {}, std::to_string(index.FieldNumbers[i]),
                         index.Name);
      }
    }
  }
  if (current.Encrypted != next.Encrypted || current.BlobBlockSize != next.BlobBlockSize ||
      current.LanguageId != next.LanguageId || current.SortId != next.SortId ||
      current.Fields.size() != next.Fields.size()) {
    return TRestructureWork::kCopy;
  }
  for (size_t i = 0; i < next.Fields.size(); ++i) {
    if (!SameField(current.Fields[i], next.Fields[i])) return TRestructureWork::kCopy;
  }
  if (current.Indexes.size() != next.Indexes.size() || ParametersDiffer(current, next) ||
      !SameTextIndex(current.TextIndex, next.TextIndex)) {
    return TRestructureWork::kRebuild;
  }
  for (size_t i = 0; i < next.Indexes.size(); ++i) {
    if (!SameIndex(current.Indexes[i], next.Indexes[i])) return TRestructureWork::kRebuild;
  }
  return TRestructureWork::kRewrite;
}

TRestructureWork RestructureTable(TDataCursor& cursor, TTableDefinition definition, bool noBackup,
                                  const TRestructureCallbacks& callbacks) {
  if (cursor.Opened()) cursor.CheckCode(VUZODE_TABLEOPEN);
  if (!cursor.Exclusive()) cursor.CheckCode(VUZODE_NEEDEXCLACCESS);
  if (cursor.ReadOnly()) cursor.CheckCode(VUZODE_OSEACCES);
  CheckTableDefinition(definition, &FieldLiteralValid, cursor.Directory().ErrorDatabaseText(),
                       cursor.TableName());
  cursor.OpenCursor();
  TRestructureWork work = TRestructureWork::kRewrite;
  try {
    TDataTable& table = *cursor.Table();
    if (table.ReadOnly()) cursor.CheckCode(VUZODE_OSEACCES);
    const TTableDefinition current = CurrentDefinition(table);
    if (definition.LastAutoIncrement == -1) {
      definition.LastAutoIncrement = current.LastAutoIncrement;
    }
    // Text index parameters not given stay the table's.
    if (definition.StopWords.empty()) definition.StopWords = current.StopWords;
    if (definition.SpaceCharacters.empty()) definition.SpaceCharacters = current.SpaceCharacters;
    if (definition.IncludeCharacters.empty()) {
      definition.IncludeCharacters = current.IncludeCharacters;
    }
    work = RestructureWorkOf(current, definition);
    switch (work) {
      case TRestructureWork::kCopy:
        CopyIntoNewStructure(cursor, definition, noBackup, callbacks);
        break;
      case TRestructureWork::kRebuild:
        RebuildWithDefinition(cursor, current, definition, noBackup, callbacks);
        break;
      case TRestructureWork::kRewrite:
        WriteDefinitions(table, definition);
        break;
    }
  } catch (...) {
    if (cursor.Opened()) {
      try {
        cursor.CloseCursor();
      } catch (const EVUZODEEngineError&) {
        // The restructuring's own failure is the one reported.
      }
    }
    throw;
  }
  if (cursor.Opened()) cursor.CloseCursor();
  return work;
}
