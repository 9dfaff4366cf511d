// TFileHandler: one logical handle on a shared file, the base of the data, index and BLOB files
// and of sort run files. It turns every failure into EVUZODEEngineError, with the file name as
// the table item of the error context.
//
// Calling order: construct; SetFileName, SetInMemory, SetExclusive, SetTemporary; Open or
// CreateFile; any number of seek/read/write pairs (bracketed by BeginAccess/EndAccess, since a
// disk file's position is shared by all its handles), locks and flushes; Close; destroy.
//
// Invariants:
//   (1) File() != null exactly while HandleId() != 0 (Open, CreateFile, Close).
//   (2) A destroyed handler has released its handle (the destructor closes).
#pragma once

#include <cstdint>
#include <string>

#include "db/storage/files/abstract_file.h"
#include "db/storage/files/file_copy.h"

class TCommitJournal;

class TFileHandler {
 public:
  TFileHandler() = default;
  virtual ~TFileHandler();
  TFileHandler(const TFileHandler&) = delete;
  TFileHandler& operator=(const TFileHandler&) = delete;

  // Opens FileName(). No effect when already opened. Raises VUZODE_OSENOENT when the file does
  // not exist, VUZODE_OSEACCES when exclusivity conflicts, the mapped OS error otherwise.
  virtual void Open();
  // Releases the handle; clears Opened() in any case.
  virtual void Close();
  // Creates (or empties) FileName() and opens it exclusively. Raises VUZODE_OSEACCES while the
  // file is open anywhere (also through this handler).
  virtual void CreateFile();
  // REQUIRES: nobody holds the file open (else VUZODE_OSEACCES).
  virtual void DeleteFile();
  // On success FileName() becomes newName. Never replaces an existing file.
  virtual void RenameFile(const std::string& newName);
  // Copy the whole file to or from another file of the same kind; nothing unless opened.
  // LoadFromFile leaves this file exactly as long as the source.
  virtual void SaveToFile(const std::string& destName, uint16_t progressStep,
                          TProgressCallback progress, void* userData);
  virtual void LoadFromFile(const std::string& sourceName, uint16_t progressStep,
                            TProgressCallback progress, void* userData);
  // Reads up to count bytes at the position. Raises VUZODE_READERR when fewer arrive, unless
  // allowShort; also when no file is held.
  virtual uint32_t Read(void* buffer, uint32_t count, bool allowShort);
  // Raises VUZODE_WRITEERR when fewer than count bytes are written (also when no file is held).
  // A count of 0 cuts the file at the position.
  virtual void Write(const void* buffer, uint32_t count);
  // Raises VUZODE_WRITEERR when the flush fails. Nothing when no file is held.
  virtual void Flush();

  // Positions at offset from the start: the new position; 0 when no file is held. Raises the
  // mapped OS error (VUZODE_OSUNKNOWN for a negative offset).
  int64_t Seek(int64_t offset);
  // The size; 0 when no file is held.
  int64_t GetFileSize();
  // The OS's stamp of the file (platform/os/file.h); false for a memory file, when no file is
  // held, or while writes are captured (they are not in the file yet).
  bool Stamp(platform::TFileStamp& stamp);
  // False also when no file is held.
  bool LockRegion(int64_t length, int64_t offset);
  bool UnlockRegion(int64_t length, int64_t offset);
  bool FileExists();
  // Enter and leave the shared file's guard; no effect when no file is held.
  // REQUIRES: every BeginAccess is matched by EndAccess before Close.
  void BeginAccess();
  void EndAccess();

  bool InMemory() const { return in_memory_; }
  void SetInMemory(bool value) { in_memory_ = value; }
  TAbstractFile* File() const { return file_; }
  const std::string& FileName() const { return file_name_; }
  void SetFileName(std::string name) { file_name_ = std::move(name); }
  uint32_t HandleId() const { return handle_id_; }
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value) { exclusive_ = value; }
  bool ReadOnly() const { return read_only_; }
  bool ReadOnlyAttribute() const { return read_only_attribute_; }
  bool Opened() const { return opened_; }
  bool Temporary() const { return temporary_; }
  void SetTemporary(bool value) { temporary_ = value; }

  // While a journal is set, writes go into it as units of file id instead of the file (those
  // wholly past the file's end go straight to it, commit_journal.h (4)), reads and the size see
  // them, and Flush does nothing: the commit writes the journal, then applies it. Null ends the
  // capture.
  void SetCapture(TCommitJournal* journal, uint8_t id);
  TCommitJournal* Capture() const { return capture_; }

 protected:
  // Raises code with FileName() as the table item.
  [[noreturn]] void RaiseFileError(uint16_t code) const;

 private:
  bool in_memory_ = false;
  TAbstractFile* file_ = nullptr;
  std::string file_name_;
  uint32_t handle_id_ = 0;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool read_only_attribute_ = false;
  bool opened_ = false;
  bool temporary_ = false;
  TCommitJournal* capture_ = nullptr;
  uint8_t capture_id_ = 0;

  int64_t Position() const;
  void CaptureWrite(const void* buffer, uint32_t count);
};

// Holds a file handler's access guard for one transfer, also when the transfer raises.
class TFileAccess {
 public:
  explicit TFileAccess(TFileHandler& file) : file_(file) { file_.BeginAccess(); }
  ~TFileAccess() { file_.EndAccess(); }
  TFileAccess(const TFileAccess&) = delete;
  TFileAccess& operator=(const TFileAccess&) = delete;

 private:
  TFileHandler& file_;
};
