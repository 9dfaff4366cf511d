// TPhysicalFile: a disk file. All its logical handles share one OS file (one descriptor, one
// position); the OS file is opened with the first handle and closed with the last.
//
// Invariants:
//   (1) The OS file is open exactly while OpenCount() > 0 (OpenFile, CreateFile, CloseHandle).
//   (2) Locks are OS byte-range locks on the OS file (platform/os/file.h): they conflict with
//       other processes and with other holders in this process, and go with the last handle.
#pragma once

#include <cstdint>

#include "db/storage/files/abstract_file.h"
#include "platform/os/file.h"

class TPhysicalFile : public TAbstractFile {
 public:
  TPhysicalFile() = default;

  // The size the OS reports, -1 when it cannot (the file is not open and does not exist).
  int64_t GetSize() override;
  // Creates or truncates the file, exclusively; refused (-VUZODE_OSEACCES) while anyone else
  // holds it.
  int64_t CreateFile() override;
  // With the first handle: reads the attributes (read-only attribute => ReadOnly), opens for
  // reading and writing (reading only when ReadOnly), shared or Exclusive, deleted at its close
  // when Temporary; a failed read-write open is retried once for reading and then sets ReadOnly.
  int64_t OpenFile() override;
  void CloseHandle(uint32_t id) override;
  // Through the OS; never replaces an existing file. REQUIRES: no handle is open.
  int Rename(const std::string& newName) override;
  // REQUIRES: no handle is open.
  int Delete() override;
  int64_t Read(uint32_t id, void* buffer, uint32_t count) override;
  int64_t Write(uint32_t id, const void* buffer, uint32_t count) override;
  bool Flush(uint32_t id) override;
  bool Stamp(platform::TFileStamp& stamp) override;
  int64_t Seek(uint32_t id, int origin, int64_t offset) override;
  bool LockRegion(int64_t length, int64_t offset) override;
  bool UnlockRegion(int64_t length, int64_t offset) override;

  const platform::TOsFile& OsFile() const { return os_file_; }

 private:
  platform::TOsFile os_file_;
  int64_t position_ = 0;  // shared by all handles
};
