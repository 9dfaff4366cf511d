// TCommitJournal: gathering, encoding, checking and applying the units of one commit; see the
// header for the file layout.
#include "db/storage/files/commit_journal.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "db/engine/errors/engine_error.h"
#include "db/storage/files/abstract_file.h"
#include "db/storage/files/file_handler.h"

namespace {

constexpr uint8_t kMagic[8] = {'P', 'B', 'J', 'R', 'N', 'L', 1, 0};
constexpr uint8_t kEndMagic[8] = {'P', 'B', 'J', 'R', 'N', 'E', 'N', 'D'};
constexpr size_t kHeaderSize = 80;
constexpr size_t kTrailerSize = 16;
constexpr size_t kUnitHeaderSize = 24;
// Apply joins units at most kApplyGap bytes apart into one write of at most kApplySpan bytes.
constexpr int64_t kApplyGap = 4096;
constexpr int64_t kApplySpan = int64_t{1} << 20;
// Payloads from this size on are checksummed once, the two checksums combined.
constexpr uint32_t kCombineFrom = 512;
// A span with at most this many gaps reads only its gaps.
constexpr size_t kApplyGapReads = 32;

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
uint64_t Get64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

uint32_t JournalChecksum(std::span<const uint8_t> bytes, uint32_t seed) {
  return libdeflate_crc32(seed, bytes.data(), bytes.size());
}

void TCommitJournal::Clear() {
  units_area_.Clear();
  area_checksum_ = 0;
  units_ = 0;
  group_id_ = 0;
  for (int f = 0; f < kJournalFiles; ++f) {
    header_length_[f] = 0;
    extent_[f] = 0;
    cut_[f] = false;
    base_[f] = -1;
    journaled_end_[f] = 0;
    through_[f] = 0;
  }
}

void TCommitJournal::StartFile(uint8_t file, int64_t diskSize) {
  base_[file] = diskSize;
}

bool TCommitJournal::WritesThrough(uint8_t file, int64_t offset) const {
  // Never a header (offset 0): its before-image decides whether a journal is stale (3).
  return offset > 0 && base_[file] >= 0 && !cut_[file] && offset >= base_[file] &&
         offset >= journaled_end_[file];
}

void TCommitJournal::WroteThrough(uint8_t file, int64_t offset, uint32_t count) {
  through_[file] = std::max(through_[file], offset + count);
}

bool TCommitJournal::Covers(std::span<const int64_t> sizes) const {
  for (int f = 0; f < kJournalFiles; ++f) {
    if (through_[f] == 0) continue;
    if (static_cast<size_t>(f) >= sizes.size() || sizes[f] < through_[f]) return false;
  }
  return true;
}

void TCommitJournal::Record(uint8_t file, int64_t offset, const void* bytes, uint32_t count) {
  Add(file, count == 0 ? kJournalSetSize : kJournalWrite, offset, bytes, count);
}

void TCommitJournal::Add(uint8_t file, uint8_t kind, int64_t offset, const void* bytes,
                         uint32_t count) {
  if (kind == kJournalSetSize) {
    cut_[file] = true;
    extent_[file] = offset;
    // Bytes written straight past the cut are gone once it is applied: a replay over a file
    // already cut there must still be allowed (4).
    through_[file] = std::min(through_[file], offset);
  } else if (kind == kJournalWrite) {
    extent_[file] = std::max(extent_[file], offset + count);
    journaled_end_[file] = std::max(journaled_end_[file], offset + count);
  }
  const size_t at = units_area_.Size();
  if (!units_area_.Resize(at + kUnitHeaderSize + count)) throw std::bad_alloc();
  uint8_t* unit = units_area_.Data() + at;
  std::memset(unit, 0, kUnitHeaderSize);
  unit[0] = file;
  unit[1] = kind;
  Put32(unit + 4, count);
  Put64(unit + 8, static_cast<uint64_t>(offset));
  if (count > 0) std::memcpy(unit + kUnitHeaderSize, bytes, count);
  const uint8_t* payload = unit + kUnitHeaderSize;
  if (count < kCombineFrom) {
    // A small unit (a record): the running checksums simply go over it again, cheaper than
    // putting them together.
    const uint32_t crc = libdeflate_crc32(libdeflate_crc32(0, unit, 16), payload, count);
    Put32(unit + 16, crc);
    area_checksum_ =
        libdeflate_crc32(libdeflate_crc32(area_checksum_, unit, kUnitHeaderSize), payload, count);
  } else {
    // One pass over a large payload: the unit's checksum and the unit area's running checksum
    // are put together from the pieces' (crc32_combine), not computed twice.
    const uLong head = libdeflate_crc32(0, unit, 16);
    const uLong body = libdeflate_crc32(0, payload, count);
    const uLong crc = crc32_combine(head, body, count);
    Put32(unit + 16, static_cast<uint32_t>(crc));
    const uLong area = libdeflate_crc32(area_checksum_, unit, kUnitHeaderSize);
    area_checksum_ = static_cast<uint32_t>(crc32_combine(area, body, count));
  }
  ++units_;
}

void TCommitJournal::RecordPreImage(uint8_t file, uint32_t length, std::span<const uint8_t> bytes) {
  if (length == 0 || HasPreImage(file)) return;
  header_length_[file] = length;
  Add(file, kJournalBeforeImage, 0, bytes.data(),
      static_cast<uint32_t>(std::min<size_t>(bytes.size(), length)));
}

template <typename TVisit>
void TCommitJournal::ForEachUnit(TVisit&& visit) const {
  size_t at = 0;
  while (at + kUnitHeaderSize <= units_area_.Size()) {
    const uint8_t* unit = units_area_.Data() + at;
    const uint32_t length = Get32(unit + 4);
    const uint32_t payload = unit[1] == kJournalSetSize ? 0 : length;
    visit(unit[0], unit[1], static_cast<int64_t>(Get64(unit + 8)), length, unit + kUnitHeaderSize);
    at += kUnitHeaderSize + payload;
  }
}

uint32_t TCommitJournal::Overlay(uint8_t file, int64_t offset, uint8_t* buffer, uint32_t count,
                                 uint32_t got) const {
  std::memset(buffer + got, 0, count - got);
  uint32_t valid = got;
  const int64_t end = offset + count;
  ForEachUnit([&](uint8_t f, uint8_t kind, int64_t at, uint32_t length, const uint8_t* bytes) {
    if (f != file || kind == kJournalBeforeImage) return;
    if (kind == kJournalSetSize) {
      // A cut: what lay past it reads as nothing until written again; a cut past the end
      // extends the file with zeros.
      const uint32_t cut = static_cast<uint32_t>(std::clamp<int64_t>(at - offset, 0, count));
      if (cut < valid) std::memset(buffer + cut, 0, valid - cut);
      valid = cut;
      return;
    }
    const int64_t from = std::max(at, offset);
    const int64_t to = std::min(at + length, end);
    if (from >= to) return;
    std::memcpy(buffer + (from - offset), bytes + (from - at), static_cast<size_t>(to - from));
    valid = std::max(valid, static_cast<uint32_t>(to - offset));
  });
  return valid;
}

int64_t TCommitJournal::SizeAfter(uint8_t file, int64_t diskSize) const {
  return cut_[file] ? extent_[file] : std::max(diskSize, extent_[file]);
}

std::vector<uint8_t> TCommitJournal::Image() const {
  std::vector<uint8_t> image;
  const std::vector<uint8_t> header = Header();
  const std::vector<uint8_t> trailer = Trailer(header);
  const std::span<const uint8_t> units = Units();
  image.reserve(header.size() + units.size() + trailer.size());
  image.insert(image.end(), header.begin(), header.end());
  image.insert(image.end(), units.begin(), units.end());
  image.insert(image.end(), trailer.begin(), trailer.end());
  return image;
}

std::vector<uint8_t> TCommitJournal::Header() const {
  std::vector<uint8_t> image(kHeaderSize, 0);
  uint8_t* h = image.data();
  std::memcpy(h, kMagic, 8);
  Put32(h + 8, units_);
  Put64(h + 16, group_id_);
  Put64(h + 24, units_area_.Size());
  for (int f = 0; f < kJournalFiles; ++f) {
    Put32(h + 32 + 12 * f, header_length_[f]);
    Put64(h + 36 + 12 * f, static_cast<uint64_t>(through_[f]));
  }
  Put32(h + 72, JournalChecksum({h, 72}));
  return image;
}

std::vector<uint8_t> TCommitJournal::Trailer(const std::vector<uint8_t>& header) const {
  std::vector<uint8_t> trailer(kTrailerSize, 0);
  std::memcpy(trailer.data(), kEndMagic, 8);
  const uLong whole = crc32_combine(JournalChecksum(header), area_checksum_,
                                    static_cast<z_off_t>(units_area_.Size()));
  Put32(trailer.data() + 8, static_cast<uint32_t>(whole));
  return trailer;
}

std::span<const uint8_t> TCommitJournal::Units() const {
  return {units_area_.Data(), units_area_.Size()};
}

bool TCommitJournal::Parse(std::span<const uint8_t> image) {
  Clear();
  if (image.size() < kHeaderSize + kTrailerSize) return false;
  const uint8_t* h = image.data();
  if (std::memcmp(h, kMagic, 8) != 0 || Get32(h + 72) != JournalChecksum({h, 72})) return false;
  const uint64_t area = Get64(h + 24);
  if (area != image.size() - kHeaderSize - kTrailerSize) return false;
  const uint8_t* t = h + kHeaderSize + area;
  if (std::memcmp(t, kEndMagic, 8) != 0 || Get32(t + 12) != 0) return false;
  if (Get32(t + 8) != JournalChecksum({h, kHeaderSize + static_cast<size_t>(area)})) return false;
  // Every unit within the area and sound, and exactly the count the header names.
  const uint8_t* units = h + kHeaderSize;
  size_t at = 0;
  uint32_t count = 0;
  while (at < area) {
    if (area - at < kUnitHeaderSize) return false;
    const uint8_t* unit = units + at;
    const uint32_t length = Get32(unit + 4);
    if (unit[0] >= kJournalFiles || unit[1] > kJournalBeforeImage) return false;
    const uint32_t payload = unit[1] == kJournalSetSize ? 0 : length;
    if (unit[1] == kJournalSetSize && length != 0) return false;
    if (area - at - kUnitHeaderSize < payload) return false;
    if (static_cast<int64_t>(Get64(unit + 8)) < 0) return false;
    uint32_t crc = JournalChecksum({unit, 16});
    crc = JournalChecksum({unit + kUnitHeaderSize, payload}, crc);
    if (crc != Get32(unit + 16)) return false;
    at += kUnitHeaderSize + payload;
    ++count;
  }
  if (count != Get32(h + 8)) return false;
  if (!units_area_.Resize(area)) throw std::bad_alloc();
  if (area > 0) std::memcpy(units_area_.Data(), units, area);
  units_ = count;
  group_id_ = Get64(h + 16);
  for (int f = 0; f < kJournalFiles; ++f) {
    header_length_[f] = Get32(h + 32 + 12 * f);
    through_[f] = static_cast<int64_t>(Get64(h + 36 + 12 * f));
    if (through_[f] < 0) return false;
  }
  return true;
}

bool TCommitJournal::Matches(const std::vector<std::vector<uint8_t>>& current) const {
  for (int f = 0; f < kJournalFiles; ++f) {
    const uint32_t length = header_length_[f];
    if (length == 0) continue;
    if (static_cast<size_t>(f) >= current.size()) return false;
    // The header before the commit and the last one it writes.
    std::span<const uint8_t> before;
    std::span<const uint8_t> after;
    ForEachUnit([&](uint8_t u, uint8_t kind, int64_t at, uint32_t size, const uint8_t* bytes) {
      if (u != f || at != 0) return;
      if (kind == kJournalBeforeImage) before = {bytes, size};
      if (kind == kJournalWrite) after = {bytes, std::min(size, length)};
    });
    const std::vector<uint8_t>& now = current[f];
    for (size_t i = 0; i < length; ++i) {
      const bool asBefore =
          i < now.size() ? i < before.size() && now[i] == before[i] : i >= before.size();
      const bool asAfter = i < now.size() && i < after.size() && now[i] == after[i];
      if (!asBefore && !asAfter) return false;
    }
  }
  return true;
}

void TCommitJournal::Apply(TFileHandler* const files[kJournalFiles]) const {
  struct TUnit {
    int64_t at;
    uint32_t length;
    uint32_t order;  // position in the journal: where units overlap, the later one wins
    const uint8_t* bytes;
  };
  std::vector<TUnit> writes[kJournalFiles];
  bool cut[kJournalFiles] = {};
  uint32_t order = 0;
  ForEachUnit([&](uint8_t f, uint8_t kind, int64_t at, uint32_t length, const uint8_t* bytes) {
    if (kind == kJournalBeforeImage) return;
    TFileHandler* file = files[f];
    // A unit for a file the table does not have open: the journal is not this table's.
    if (file == nullptr || !file->Opened()) RaiseEngineError(VUZODE_FILECORRUPT);
    if (kind == kJournalSetSize) cut[f] = true;
    writes[f].push_back({at, length, order++, bytes});
  });
  auto put = [&](TFileHandler& file, int64_t at, const uint8_t* bytes, uint32_t length) {
    TFileAccess access(file);
    file.Seek(at);
    file.Write(bytes, length);
  };
  std::vector<uint8_t> span;
  std::vector<std::pair<int64_t, int64_t>> gaps;  // position and length
  for (int f = 0; f < kJournalFiles; ++f) {
    std::vector<TUnit>& units = writes[f];
    if (units.empty()) continue;
    TFileHandler& file = *files[f];
    if (cut[f]) {
      // A cut makes the order matter: every unit as it came.
      for (const TUnit& u : units) put(file, u.at, u.bytes, u.length);
      continue;
    }
    // Units close to each other (records scattered over a file) go in one write of the span
    // they lie in, its gaps read from the file first (the commit does not change them), so
    // that a commit of many small changes makes few large writes instead of one each.
    std::stable_sort(units.begin(), units.end(),
                     [](const TUnit& a, const TUnit& b) { return a.at < b.at; });
    size_t first = 0;
    while (first < units.size()) {
      int64_t end = units[first].at + units[first].length;
      size_t last = first + 1;
      while (last < units.size() && units[last].at <= end + kApplyGap &&
             std::max(end, units[last].at + units[last].length) - units[first].at <= kApplySpan) {
        end = std::max(end, units[last].at + units[last].length);
        ++last;
      }
      const int64_t start = units[first].at;
      if (last == first + 1) {
        put(file, start, units[first].bytes, units[first].length);
        first = last;
        continue;
      }
      const uint32_t bytes = static_cast<uint32_t>(end - start);
      span.assign(bytes, 0);
      // The gaps between the units (sorted by position here): a few are read one by one, many
      // (small units scattered over the span) with the whole span in one read.
      gaps.clear();
      int64_t covered = start;
      for (size_t i = first; i < last && gaps.size() <= kApplyGapReads; ++i) {
        if (units[i].at > covered) gaps.emplace_back(covered, units[i].at - covered);
        covered = std::max(covered, units[i].at + units[i].length);
      }
      if (gaps.size() > kApplyGapReads) {
        gaps.assign(1, {start, bytes});
      }
      std::sort(units.begin() + static_cast<ptrdiff_t>(first),
                units.begin() + static_cast<ptrdiff_t>(last),
                [](const TUnit& a, const TUnit& b) { return a.order < b.order; });
      bool read = true;
      {
        TFileAccess access(file);
        // Past the end of the file the span stays zeros. A read that fails only costs the
        // joining: the units are then written one by one, as they would be without it.
        TAbstractFile* raw = file.File();
        for (const auto& [at, length] : gaps) {
          file.Seek(at);
          read = read && raw != nullptr &&
                 raw->Read(file.HandleId(), span.data() + (at - start),
                           static_cast<uint32_t>(length)) >= 0;
        }
      }
      if (!read) {
        for (size_t i = first; i < last; ++i) {
          put(file, units[i].at, units[i].bytes, units[i].length);
        }
        first = last;
        continue;
      }
      for (size_t i = first; i < last; ++i) {
        std::memcpy(span.data() + (units[i].at - start), units[i].bytes, units[i].length);
      }
      put(file, start, span.data(), bytes);
      first = last;
    }
  }
}
