// TCommitJournal: the units of one commit of a table (its data, index and BLOB file writes),
// gathered in memory while the table's write path runs, written whole to the table's journal
// file, then applied in place; and the reading, checking and replaying of a journal file left
// behind by a commit that did not finish.
//
// Journal file (name.JNL), all integers little-endian:
//
//   | Offset | Size | Field                                                              |
//   |--------|------|--------------------------------------------------------------------|
//   |   0    |  8   | magic "PBJRNL\x01\x00"                                             |
//   |   8    |  4   | unit count                                                         |
//   |  12    |  4   | reserved (0)                                                       |
//   |  16    |  8   | group id: 0 for one table; else the commit record that must exist  |
//   |  24    |  8   | bytes of the unit area                                             |
//   |  32    | 36   | per file (data, index, BLOB): u32 header bytes (0 = the commit does |
//   |        |      | not write this file's header), u64 the size the file must have for |
//   |        |      | a replay (the end of the writes made straight to it, (4); 0: none) |
//   |  68    |  4   | reserved (0)                                                       |
//   |  72    |  4   | checksum of bytes 0..71                                            |
//   |  76    |  4   | reserved (0)                                                       |
//   |  80    |  n   | units, each: u8 file, u8 kind (0 write, 1 set size, 2 the header   |
//   |        |      | as it was before the commit: kept, never written), u16 0,          |
//   |        |      | u32 length, i64 offset, u32 checksum of the 16 bytes before and    |
//   |        |      | the payload, u32 0; then length payload bytes (none for set size)  |
//   | 80+n   |  8   | magic "PBJRNEND"                                                   |
//   | 88+n   |  4   | checksum of bytes 0 .. 80+n-1                                      |
//   | 92+n   |  4   | reserved (0)                                                       |
//
// Checksums are CRC-32. Invariants:
//   (1) A journal file is complete exactly when its size, both magics and every checksum agree
//       (Parse); anything else is torn and is discarded, since nothing was written in place
//       before the file was complete (Publish before Apply).
//   (2) Applying is idempotent: the units are whole images written in order, so a replay over
//       a partly applied commit, or over a fully applied one, ends in the commit's state.
//   (3) A journal is replayed only when every header it writes is on disk, byte by byte, as it
//       was before the commit or as the commit writes it (Matches; a header write torn part-way
//       is such a mix): a header in any other state means later work has happened and the
//       journal is stale.
//   (4) Writes wholly past a file's end as it was when the commit began (and past every unit
//       journaled before them, with no cut of the file so far) go straight to the file: no
//       state before the commit refers to those bytes, so a commit that never completes leaves
//       them as unused space past the end, and the journal keeps only the units that change
//       existing bytes and the headers that make the new space part of the file. Such a
//       journal is replayed only over a file at least as long as those writes reached (Covers);
//       the commit syncs them before the journal is written when flushes are forced.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/os/growable_bytes.h"

class TFileHandler;

inline constexpr int kJournalFiles = 3;  // data, index, BLOB
inline constexpr uint8_t kJournalWrite = 0;
inline constexpr uint8_t kJournalSetSize = 1;
inline constexpr uint8_t kJournalBeforeImage = 2;

class TCommitJournal {
 public:
  // Empties the gathered units (the buffer keeps its capacity for the next commit).
  void Clear();
  bool Empty() const { return units_ == 0; }
  uint32_t UnitCount() const { return units_; }
  uint64_t GroupId() const { return group_id_; }
  void SetGroupId(uint64_t id) { group_id_ = id; }

  // Records a write of count bytes at offset of file (count 0: cut the file there).
  void Record(uint8_t file, int64_t offset, const void* bytes, uint32_t count);
  // Starts gathering the writes of file, whose size on disk is diskSize (4).
  void StartFile(uint8_t file, int64_t diskSize);
  // Whether a write of file at offset may go straight to the file (4); when it does, the
  // caller notes it with WroteThrough.
  bool WritesThrough(uint8_t file, int64_t offset) const;
  void WroteThrough(uint8_t file, int64_t offset, uint32_t count);
  bool HasWritesThrough(uint8_t file) const { return through_[file] != 0; }
  // Whether files of these sizes on disk hold every write made straight to them (4).
  bool Covers(std::span<const int64_t> sizes) const;
  // Records file's header as it is before the commit (bytes: up to length bytes at offset 0,
  // fewer when the file is shorter). Only the first call per file counts.
  bool HasPreImage(uint8_t file) const { return header_length_[file] != 0; }
  void RecordPreImage(uint8_t file, uint32_t length, std::span<const uint8_t> bytes);
  // Puts the gathered writes of file over buffer, which holds count bytes read at offset of
  // which got came from the file. Returns the bytes now valid (at least got).
  uint32_t Overlay(uint8_t file, int64_t offset, uint8_t* buffer, uint32_t count,
                   uint32_t got) const;
  // The file's size as the gathered writes leave it, given its size on disk.
  int64_t SizeAfter(uint8_t file, int64_t diskSize) const;

  // The journal file's image (header, units, trailer), whole or in its three parts (which
  // spare a copy of the units).
  std::vector<uint8_t> Image() const;
  std::vector<uint8_t> Header() const;
  std::span<const uint8_t> Units() const;
  std::vector<uint8_t> Trailer(const std::vector<uint8_t>& header) const;
  // Reads a journal file's image; false when it is torn or damaged (1).
  bool Parse(std::span<const uint8_t> image);
  // Whether the headers on disk allow a replay (3): current[f] holds the first bytes of file f
  // (as many as the journal's header length for f, fewer when the file is shorter).
  bool Matches(const std::vector<std::vector<uint8_t>>& current) const;
  uint32_t HeaderLength(uint8_t file) const { return header_length_[file]; }

  // Writes every unit in order through files[file] (the table's open files); each may raise.
  void Apply(TFileHandler* const files[kJournalFiles]) const;

 private:
  template <typename TVisit>
  void ForEachUnit(TVisit&& visit) const;

  // Records one unit of kind.
  void Add(uint8_t file, uint8_t kind, int64_t offset, const void* bytes, uint32_t count);

  platform::TGrowableBytes units_area_;
  uint32_t area_checksum_ = 0;  // of units_area_, kept as units are added
  uint32_t units_ = 0;
  uint64_t group_id_ = 0;
  uint32_t header_length_[kJournalFiles] = {};
  // Per file: where the writes end (from the last cut on, when there is one), for SizeAfter.
  int64_t extent_[kJournalFiles] = {};
  bool cut_[kJournalFiles] = {};
  // Per file (4): the size on disk when the commit began (-1: nothing may go straight to the
  // file), the end of the journaled writes, and the end of the writes made straight to it.
  int64_t base_[kJournalFiles] = {-1, -1, -1};
  int64_t journaled_end_[kJournalFiles] = {};
  int64_t through_[kJournalFiles] = {};
};

uint32_t JournalChecksum(std::span<const uint8_t> bytes, uint32_t seed = 0);
