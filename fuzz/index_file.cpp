// Fuzz target: arbitrary bytes opened as an index file (plain and, by the first byte, as an
// encrypted one), checked, walked and changed. Engine errors are the expected outcome of bad
// input; a crash, hang or sanitizer report is a bug.
#include "db/storage/index/index_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/storage/files/file_list.h"
#include "db/storage/files/memory_file.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/index_checker.h"
#include "db/storage/index/text_index.h"

namespace {

std::vector<FieldDescriptor> Fields() {
  // Matches the seed corpus: large integer, string of 20, small integer.
  std::vector<FieldDescriptor> fields(3);
  const uint8_t types[3] = {kFieldLargeInt, kFieldString, kFieldSmallInt};
  const uint8_t sizes[3] = {0, 20, 0};
  uint16_t offset = kRecordHeaderSize;
  for (int i = 0; i < 3; ++i) {
    fields[i].FieldNumber = static_cast<uint16_t>(i + 1);
    fields[i].Name = "F" + std::to_string(i + 1);
    fields[i].Type = types[i];
    fields[i].Size = sizes[i];
    fields[i].StoredLength = static_cast<uint8_t>(StoredLengthOf(types[i], sizes[i]));
    fields[i].Offset = offset;
    offset = static_cast<uint16_t>(offset + fields[i].StoredLength + 1);
  }
  return fields;
}

template <class Action>
void Try(Action&& action) {
  try {
    action();
  } catch (const EVUZODEEngineError&) {
  }
}

void Exercise(TIndexFile& file) {
  Try([&] { file.VerifyStructure(); });
  Try([&] { CheckIndexFile(file); });
  Try([&] { ReadTextIndexParameters(file); });
  for (int slot = 0; slot < kIndexSlotCount; ++slot) {
    if (!SlotInUse(file.Header(), slot)) continue;
    TBTree tree(file, slot);
    IndexKey key(tree.KeyLength());
    for (size_t i = 0; i < key.Length; ++i) key.Bytes[i] = static_cast<uint8_t>(i * 37 + slot);
    Try([&] { tree.Count(); });
    Try([&] { tree.CountBefore(key.data(), 0, true); });
    Try([&] {
      IndexKey found;
      int32_t record = 0;
      tree.EntryAtRank(1, found, record);
    });
    Try([&] {
      TIndexPath path;
      int64_t rank = 0;
      tree.FindKey(key.data(), true, path, rank, 3);
    });
    Try([&] { tree.InsertKey(key.data(), 7); });
    Try([&] {
      IndexKey found;
      int32_t record = 0;
      if (tree.EntryAtRank(0, found, record)) tree.DeleteKey(found.data());
    });
    Try([&] { tree.DeleteKey(key.data()); });
  }
  Try([&] { CheckIndexFile(file); });
  Try([&] { file.FlushPages(); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  static const std::vector<FieldDescriptor> kFields = Fields();
  const std::string name = "fuzz_index_file.IDX";
  for (bool encrypted : {false, true}) {
    {
      TAbstractFile* raw = nullptr;
      const int64_t id = FileList().CreateFile(name, true, false, raw);
      if (id <= 0) return 0;
      raw->Write(static_cast<uint32_t>(id), data, static_cast<uint32_t>(size));
      FileList().CloseFile(raw, true, static_cast<uint32_t>(id));
    }
    {
      TIndexFile file;
      file.SetFileName(name);
      file.SetInMemory(true);
      file.SetEncrypted(encrypted);
      file.SetTableInfo(0, 0, kFields);
      file.SetPageCacheCapacity(8);
      bool opened = false;
      Try([&] {
        file.Open();
        opened = true;
      });
      if (opened) Exercise(file);
    }
    FileList().DeleteFile(name, true);
    if (size == 0 || (data[0] & 1) == 0) break;
  }
  return 0;
}
