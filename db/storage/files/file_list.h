// TFileList: the process-wide registry of open shared files. Every table object that opens the
// same file gets the same TAbstractFile, and the registry enforces exclusive use.
//
// A file is identified by its kind (memory or disk) and its name; names are compared after
// trimming surrounding blanks, with "\" and "/" alike, without regard to letter case
// (platform::SameFileName). Results: a handle id (>= 1), 0, or a negated engine code; on a
// failure the OS last-error value is that of the failing call (EBUSY for a sharing conflict,
// ENOENT for a missing memory file).
//
// Invariants:
//   (1) At most one object per kind and name is registered (Find before every insertion).
//   (2) A registered disk file has at least one open handle: it is removed and freed at its last
//       close (CloseFile). A memory file stays registered with its content until DeleteFile.
//   (3) A failed create or open leaves no new entry behind, also when it raises.
//   (4) Lock order: the registry's guard, then a file's guard; file code never takes the
//       registry's guard.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/storage/files/abstract_file.h"
#include "db/storage/files/file_copy.h"
#include "platform/os/system.h"

class TFileList {
 public:
  TFileList() = default;
  ~TFileList();  // Frees every remaining file object.
  TFileList(const TFileList&) = delete;
  TFileList& operator=(const TFileList&) = delete;

  // Creates (or empties) the file and opens a handle on it, for exclusive use. -VUZODE_OSEACCES
  // while the file has open handles.
  int64_t CreateFile(const std::string& name, bool inMemory, bool temporary, TAbstractFile*& file);

  // Opens a handle. -VUZODE_OSEACCES when the file has handles and either it is exclusive or
  // exclusive is asked; -VUZODE_OSENOENT for an unknown memory file. readOnly and
  // readOnlyAttribute are reported from the file object.
  int64_t OpenFile(const std::string& name, bool inMemory, bool temporary, bool exclusive,
                   bool& readOnly, bool& readOnlyAttribute, TAbstractFile*& file);

  // Closes handle id of file. -VUZODE_OSENOENT when file is not registered (by identity and
  // kind) or has no handles. At the last close a disk file is freed (a temporary one that was
  // opened disappears from the disk); a memory file keeps its content.
  int CloseFile(TAbstractFile* file, bool inMemory, uint32_t id);

  // 0, or -VUZODE_OSEACCES while the file has handles, -VUZODE_OSENOENT for an unknown memory
  // file, -VUZODE_OSUNKNOWN (EEXIST) when newName is taken.
  int RenameFile(const std::string& name, bool inMemory, const std::string& newName);
  // 0, or -VUZODE_OSEACCES while the file has handles, -VUZODE_OSENOENT for an unknown file.
  int DeleteFile(const std::string& name, bool inMemory);
  // A registered file of that kind and name, or for the disk kind a regular file on disk.
  bool FileExists(const std::string& name, bool inMemory);

  // Copies the whole of file (through handle id) into destName, which is created (not
  // temporary). 0 or a negated code (see CopyFileContent); every handle the copy opened is
  // closed again, also when progress raises.
  int CopyToFile(TAbstractFile* file, uint32_t id, uint16_t progressStep,
                 TProgressCallback progress, void* userData, const std::string& destName,
                 bool destInMemory);
  // Copies the whole of sourceName, opened exclusively, over file (through handle id) and cuts
  // file at the copied length. 0 or a negated code.
  int CopyFromFile(TAbstractFile* file, uint32_t id, uint16_t progressStep,
                   TProgressCallback progress, void* userData, const std::string& sourceName,
                   bool sourceInMemory);

  // The number of registered objects, for tests.
  size_t Count();

 private:
  struct TEntry {
    bool in_memory;
    std::unique_ptr<TAbstractFile> file;
  };
  // The registered object of that kind and name; null when none. REQUIRES: guard_ is held.
  TAbstractFile* Find(const std::string& name, bool inMemory);

  platform::TCriticalSection guard_;
  std::vector<TEntry> files_;
};

// The registry of the process.
TFileList& FileList();
