// Disk files for the engine on POSIX: one descriptor per open file, positioned transfers,
// byte-range locks that conflict between processes and between holders in this process,
// sharing modes enforced across processes, delete-on-close temporary files.
//
// Sharing. Linux lets anyone open, truncate, delete or rename a file another process holds; the
// engine relies on the opposite. Every open therefore takes an open-file-description lock (OFD,
// F_OFD_SETLK: owned by the descriptor, not the process, and dropped only when that descriptor
// closes) on sentinel bytes past every lock the engine uses:
//
//   | Offset      | Length | Held by                                                        |
//   |-------------|--------|----------------------------------------------------------------|
//   | 0x100000000 | 1      | read lock: every open of the file, shared or exclusive         |
//   | 0x100000001 | 1      | read lock: an exclusive open; and create, delete, rename while |
//   |             |        | they act                                                        |
//
// A shared open takes byte 0 and then fails when someone else holds byte 1; an exclusive open
// (and a create, delete or rename) takes bytes 0 and 1 and then fails when someone else holds
// byte 0. Each side takes its lock before it looks for the other's, so of two racing openers at
// most one succeeds. Only read locks are used, so a descriptor opened for reading can take them.
// A refused open, create, delete or rename fails with EBUSY (a sharing violation).
//
// Byte-range locks (LockRange) are refused when they touch the sentinels; they are write locks on
// descriptors opened for writing and read locks on read-only descriptors (which the OS requires),
// so two read-only holders in different processes do not exclude each other, while holders in
// one process always do (see range_lock_table.h).
//
// Errors: every operation that fails returns false or -1 and leaves the OS error number of the
// failing call in LastOsError(), also after its own clean-up.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/os/range_lock_table.h"

namespace platform {

inline constexpr int64_t kOpenSentinelOffset = 0x100000000LL;
inline constexpr int64_t kExclusiveSentinelOffset = 0x100000001LL;

enum class TFileAccess { Read, ReadWrite };

// A file as it stands: which file (device and inode), its length and when it was last written
// (nanoseconds since the epoch). Two equal stamps taken apart mean the file was not written in
// between, provided the first was taken well after the write before it (the clock that dates
// writes is coarse: see StampSettled).
struct TFileStamp {
  TFileIdentity Identity;
  int64_t Size = 0;
  int64_t Modified = 0;
  bool operator==(const TFileStamp&) const = default;
};
// Whether a write after the stamp's moment is sure to give the file another modification time:
// the last write lies at least this margin before now, beyond the coarse clock's step.
bool StampSettled(const TFileStamp& stamp);

class TOsFile {
 public:
  TOsFile() = default;
  ~TOsFile();  // Closes the file.
  TOsFile(const TOsFile&) = delete;
  TOsFile& operator=(const TOsFile&) = delete;

  // Opens the existing regular file name (resolved case-insensitively, "\" accepted) with
  // access; exclusive refuses every other holder and is refused while anyone holds the file.
  // deleteOnClose removes the file when Close runs. False with the OS error on failure (EBUSY
  // for a sharing conflict, EISDIR for a directory).
  // REQUIRES: the file is not open.
  bool Open(std::string_view name, TFileAccess access, bool exclusive, bool deleteOnClose);

  // Creates name, or truncates it when it exists, and opens it for reading and writing,
  // exclusively. An existing file that someone else holds is refused with EBUSY and left as it
  // is. REQUIRES: the file is not open.
  bool Create(std::string_view name);

  // Releases every lock and the descriptor; removes a delete-on-close file. No effect when
  // closed.
  void Close();

  bool IsOpen() const { return fd_ >= 0; }
  bool Writable() const { return access_ == TFileAccess::ReadWrite; }
  // The on-disk path the file was opened under (updated by Renamed).
  const std::string& Path() const { return path_; }
  // Tells the object that its file now lives under path (it was renamed while open).
  void Renamed(std::string path) { path_ = std::move(path); }

  // Reads up to count bytes at offset; fewer only at the end of the file. Returns the count
  // read, or -1.
  int64_t Read(int64_t offset, void* buffer, uint32_t count);
  // Writes count bytes at offset. Returns count, the bytes written before a failure (with the
  // failure's OS error), or -1 when nothing was written.
  int64_t Write(int64_t offset, const void* buffer, uint32_t count);
  // Sets the file's length.
  bool SetSize(int64_t size);
  // The file's length, or -1.
  int64_t Size() const;
  // Forces written data to the disk.
  bool Flush();

  // Locks [offset, offset + length - 1] without waiting. False when any part of it is held by
  // another holder in this process or by another process (EAGAIN), or the range is invalid
  // (EINVAL: length < 1, offset < 0, or touching the sentinels).
  bool LockRange(int64_t offset, int64_t length);
  // Releases the range this object locked with exactly this offset and length. False (ENOLCK)
  // when it holds no such range.
  bool UnlockRange(int64_t offset, int64_t length);

  TFileIdentity Identity() const { return identity_; }
  // What the OS says of the open file now: identity, length and time of last change. False
  // when it cannot tell.
  bool Stamp(TFileStamp& stamp) const;

 private:
  // Takes the sharing locks; false (EBUSY) on a conflict.
  bool ClaimSharing(bool exclusive);

  int fd_ = -1;
  TFileAccess access_ = TFileAccess::Read;
  bool delete_on_close_ = false;
  std::string path_;
  TFileIdentity identity_;
};

// Attributes of an existing file: readOnly when no write permission bit is set, directory when
// it is a directory. False with the OS error when name does not exist.
bool OsFileAttributes(std::string_view name, bool& readOnly, bool& directory);

// True when name exists as a regular file (not a directory).
bool OsFileExists(std::string_view name);

// Deletes the file name; refused with EBUSY while anyone holds it open.
bool DeleteOsFile(std::string_view name);

// Renames oldName to newName. Never replaces an existing file (EEXIST), also not one whose name
// differs from newName only in letter case; changing only the case of a name is allowed.
// Refused with EBUSY while anyone holds oldName open.
bool RenameOsFile(std::string_view oldName, std::string_view newName);

}  // namespace platform
