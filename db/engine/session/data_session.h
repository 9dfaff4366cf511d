// TDataSession: the engine's session. It holds the settings that govern locking, buffering and
// change detection, the table passwords the user has given, the private directory for
// temporary files, and the data directories opened through it.
//
// Invariants:
//   (1) At most one local directory per path (trimmed, compared without regard to case and
//       separator kind) and at most one remote directory per database name (OpenDirectory).
//   (2) A directory lives while its use count is above 0 (CloseDirectory frees it at 0).
//   (3) The working directory is captured at construction, trimmed, with a trailing separator.
// A session is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/storage/files/buffer_cache.h"
#include "db/storage/files/lock_layout.h"

class TDataDirectory;

class TDataSession {
 public:
  // serverSide is non-zero only for a session a database server keeps for one of its clients.
  explicit TDataSession(int32_t serverSide = 0);
  // Frees every directory, first to last (each rolls back an open transaction).
  ~TDataSession();
  TDataSession(const TDataSession&) = delete;
  TDataSession& operator=(const TDataSession&) = delete;

  int32_t ServerSide() const { return server_side_; }

  // Settings. A remote session that is logged in would forward these to its server; the remote
  // client does not exist yet, so they are only stored.
  bool ForceBufferFlush() const { return force_buffer_flush_; }
  void SetForceBufferFlush(bool value) { force_buffer_flush_ = value; }
  bool StrictChangeDetection() const { return strict_change_detection_; }
  void SetStrictChangeDetection(bool value) { strict_change_detection_ = value; }
  // Whether the tables' writes go through their commit journals (on by default). Off, a
  // process killed or a machine losing power while a commit is written may leave a table's
  // files out of step (for bulk loads that can be redone).
  bool CommitJournal() const { return commit_journal_; }
  void SetCommitJournal(bool value) { commit_journal_ = value; }
  uint8_t LockRetryCount() const { return lock_retry_count_; }
  void SetLockRetryCount(uint8_t value) { lock_retry_count_ = value; }
  uint16_t LockWaitTime() const { return lock_wait_time_; }
  void SetLockWaitTime(uint16_t milliseconds) { lock_wait_time_ = milliseconds; }
  // 0 pessimistic, 1 optimistic.
  uint8_t LockProtocol() const { return lock_protocol_; }
  void SetLockProtocol(uint8_t value) { lock_protocol_ = value; }
  uint16_t ProgressSteps() const { return progress_steps_; }
  void SetProgressSteps(uint16_t value) { progress_steps_ = value; }
  // 100 / progress steps, or 100 when the steps are 0.
  uint16_t ProgressPercentStep() const;

  // Our own setting: the attempts, 3 ms apart, of a table read, write or transaction lock
  // (32767 by default, about 98 seconds). Tests set it small so a timeout takes milliseconds.
  uint32_t FileLockAttempts() const { return file_lock_attempts_; }
  void SetFileLockAttempts(uint32_t value) { file_lock_attempts_ = value == 0 ? 1 : value; }

  // Our own setting: the record locks a table may hold inside a transaction before it takes
  // the lock bytes of all its records at once (escalation, 1000 by default; 0 never). From then
  // on a record lock of that table costs no lock call until the transaction ends, and every
  // other session, of this process or another, fails to lock any of its records
  // (RECLOCKFAILED after its retries) until then; reads are unaffected. When another session
  // holds a record lock of the table the escalation waits for twice as many locks and tries
  // again. A record locked while escalated and kept locked past the transaction keeps the
  // escalation until it is unlocked.
  uint32_t RecordLockEscalation() const { return record_lock_escalation_; }
  void SetRecordLockEscalation(uint32_t count) { record_lock_escalation_ = count; }

  // The five cache figures, in the order the component layer hands them over.
  uint32_t DataBufferBytes() const { return data_buffer_bytes_; }
  uint32_t DataBufferCount() const { return data_buffer_count_; }
  uint32_t IndexBufferBytes() const { return index_buffer_bytes_; }
  uint32_t BlobBufferBytes() const { return blob_buffer_bytes_; }
  uint32_t BlobBufferCount() const { return blob_buffer_count_; }
  void SetBufferSettings(uint32_t dataBytes, uint32_t dataCount, uint32_t indexBytes,
                         uint32_t blobBytes, uint32_t blobCount);

  // Directories. The working directory is where a database without a folder lives.
  const std::string& WorkingDirectory() const { return working_directory_; }
  // An empty text empties the private directory; otherwise it is trimmed and given a trailing
  // separator.
  void SetPrivateDir(std::string_view folder);
  // The private directory, or the working directory when it is empty.
  const std::string& GetPrivateDir() const;

  // Table passwords, compared exactly (letter case included).
  void AddPassword(std::string_view password);
  void RemovePassword(std::string_view password);
  void RemoveAllPasswords();
  bool HasPassword(std::string_view password) const;
  size_t PasswordCount() const { return passwords_.size(); }

  // Returns the directory of databaseName on folder, counted once more. "Memory" (any case)
  // names the in-memory database, whose path is the folder or empty. A local folder is not
  // checked here; a missing one shows when a table is opened in it. A remote session raises
  // VUZODE_REMOTECONNECT (the remote client is not built) and leaves no directory behind.
  TDataDirectory& OpenDirectory(std::string_view databaseName, std::string_view folder,
                                bool flag = false);
  // Counts one user less and frees the directory at 0. Unknown directories are ignored.
  void CloseDirectory(TDataDirectory* directory, bool flag = false);
  const std::vector<std::unique_ptr<TDataDirectory>>& Directories() const { return directories_; }

  // Remote settings: kept for the remote client.
  bool Remote() const { return remote_; }
  void SetRemote(bool value) { remote_ = value; }
  struct TRemoteSettings {
    int32_t SessionNumber = 0;
    int64_t ServerVersion = 0;  // fixed point with four decimals
    bool Uncompressed = true;
    bool Connected = false;
    bool LoggedIn = false;
    std::string Host;
    std::string Address = "127.0.0.1";
    int32_t Port = 12005;
    std::string Service;
    std::string User;
    std::string Password;
    bool Trace = false;
    int32_t ReplyTimeout = 300;  // seconds
  };
  TRemoteSettings& RemoteSettings() { return remote_settings_; }
  const TRemoteSettings& RemoteSettings() const { return remote_settings_; }

 private:
  int32_t server_side_;
  std::vector<std::unique_ptr<TDataDirectory>> directories_;
  std::string working_directory_;
  std::string private_directory_;
  uint16_t progress_steps_ = 20;
  std::vector<std::string> passwords_;
  bool force_buffer_flush_ = false;
  bool strict_change_detection_ = false;
  bool commit_journal_ = true;
  uint8_t lock_retry_count_ = 15;
  uint16_t lock_wait_time_ = 100;
  uint8_t lock_protocol_ = 0;
  uint32_t file_lock_attempts_ = kLockAttempts;
  uint32_t record_lock_escalation_ = 1000;
  bool remote_ = false;
  TRemoteSettings remote_settings_;
  uint32_t data_buffer_bytes_ = kDefaultDataCacheBytes;
  uint32_t data_buffer_count_ = kDefaultMaxCachedRecords;
  uint32_t index_buffer_bytes_ = kDefaultIndexCacheBytes;
  uint32_t blob_buffer_bytes_ = kDefaultBlobCacheBytes;
  uint32_t blob_buffer_count_ = kDefaultMaxCachedBlocks;
};
