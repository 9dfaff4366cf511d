// TAbstractFile: a file shared by every table object that opens the same name, with its logical
// handles, its held byte ranges and its guard. TMemoryFile and TPhysicalFile are its two kinds.
//
// Operations return results instead of raising: a negative result is a negated engine code, and
// the OS last-error value then holds the number of the failing call (0 where none failed).
//
// Invariants:
//   (1) Handle ids are unique within the object: they start at 1 and only grow (AddHandle).
//   (2) OpenCount() == the number of handles.
//   (3) The held ranges of the lock list never overlap (LockRegion).
//   (4) Every operation runs under Guard, which is re-entrant; the registry's guard may be held
//       around it, never taken inside it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os/file.h"
#include "platform/os/system.h"

// A byte range held by LockRegion: Last = First + Length - 1.
struct TLockRange {
  int64_t First;
  int64_t Last;
  int64_t Length;
};

// A logical handle: its id and, for the memory kind, its own position.
struct TFileHandle {
  uint32_t Id;
  int64_t Position;
};

enum TSeekOrigin : int { kSeekFromStart = 0, kSeekFromCurrent = 1, kSeekFromEnd = 2 };

class TAbstractFile {
 public:
  TAbstractFile() = default;
  virtual ~TAbstractFile() = default;
  TAbstractFile(const TAbstractFile&) = delete;
  TAbstractFile& operator=(const TAbstractFile&) = delete;

  // The index of handle id in the handle list, or -1 when the id is unknown.
  virtual int FindHandle(uint32_t id) const;
  virtual int64_t GetSize();
  // Empties the file (creating it when needed) and adds a handle: its id, or a negated code.
  virtual int64_t CreateFile();
  // Opens the file when no handle is open yet and adds a handle at position 0: its id, or a
  // negated code.
  virtual int64_t OpenFile();
  // Forgets handle id; unknown ids are ignored.
  virtual void CloseHandle(uint32_t id);
  // 0, or a negated code. On success FileName() becomes newName.
  virtual int Rename(const std::string& newName);
  virtual int Delete();
  // The bytes transferred at the handle's position, which advances by them; -1 on an OS failure
  // or an unknown handle.
  virtual int64_t Read(uint32_t id, void* buffer, uint32_t count);
  // As Read; a count of 0 truncates (or extends) the file at the handle's position.
  virtual int64_t Write(uint32_t id, const void* buffer, uint32_t count);
  virtual bool Flush(uint32_t id);
  // The OS's stamp of the open file; false for files the OS does not hold (the memory kind).
  virtual bool Stamp(platform::TFileStamp& /*stamp*/) { return false; }
  // The new position: offset from the start, the current position or the end (size + offset).
  // -1 (EINVAL) for an unknown handle or origin or a position that would be negative or overflow;
  // the position is then unchanged.
  virtual int64_t Seek(uint32_t id, int origin, int64_t offset);
  // True when [offset, offset + length - 1] was free and is now held. False for length < 1 or
  // offset < 0.
  virtual bool LockRegion(int64_t length, int64_t offset);
  // True when a range of exactly this offset and length was held and is now released.
  virtual bool UnlockRegion(int64_t length, int64_t offset);

  void Enter() { guard_.Enter(); }
  void Leave() { guard_.Leave(); }

  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value) { exclusive_ = value; }
  bool ReadOnly() const { return read_only_; }
  bool ReadOnlyAttribute() const { return read_only_attribute_; }
  bool Temporary() const { return temporary_; }
  void SetTemporary(bool value) { temporary_ = value; }
  const std::string& FileName() const { return file_name_; }
  void SetFileName(std::string name) { file_name_ = std::move(name); }
  uint16_t OpenCount() const { return static_cast<uint16_t>(handles_.size()); }

 protected:
  // Adds a handle at position 0: its id, or -VUZODE_OSEMFILE when ids or the 16-bit count of
  // handles are exhausted.
  int64_t AddHandle();
  // The handle record of id, or null.
  TFileHandle* HandleOf(uint32_t id);

  platform::TCriticalSection guard_;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool read_only_attribute_ = false;
  bool temporary_ = false;
  std::string file_name_;
  int64_t size_ = 0;
  std::vector<TLockRange> locks_;
  std::vector<TFileHandle> handles_;
  uint32_t last_handle_id_ = 0;
};

// Holds a file's guard for a scope.
class TFileAccessGuard {
 public:
  explicit TFileAccessGuard(TAbstractFile& file) : file_(file) { file_.Enter(); }
  ~TFileAccessGuard() { file_.Leave(); }
  TFileAccessGuard(const TFileAccessGuard&) = delete;
  TFileAccessGuard& operator=(const TFileAccessGuard&) = delete;

 private:
  TAbstractFile& file_;
};
