// The commit record of a transaction over several tables; see commit_record.h.
#include "db/engine/locking/commit_record.h"

#include <cstdio>
#include <cstring>
#include <random>

#include "db/storage/files/commit_journal.h"
#include "platform/os/path.h"
#include "platform/os/whole_file.h"

namespace {

constexpr uint8_t kRecordMagic[8] = {'P', 'B', 'J', 'G', 'R', 'P', 1, 0};

void Append(std::vector<uint8_t>& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t Take(const std::vector<uint8_t>& in, size_t& at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= uint64_t{in[at + i]} << (8 * i);
  at += bytes;
  return value;
}

}  // namespace

std::string CommitRecordPath(const std::string& directory, uint64_t group) {
  char name[32];
  std::snprintf(name, sizeof name, "PB%016llX.JCR", static_cast<unsigned long long>(group));
  return platform::IncludeTrailingSeparator(directory) + name;
}

uint64_t NewCommitGroup() {
  static std::mt19937_64 random{std::random_device{}()};
  uint64_t id = 0;
  while (id == 0) id = random();
  return id;
}

bool WriteCommitRecord(const std::string& path, uint64_t group,
                       const std::vector<std::string>& journals, bool sync) {
  std::vector<uint8_t> image(kRecordMagic, kRecordMagic + 8);
  Append(image, group, 8);
  Append(image, journals.size(), 4);
  for (const std::string& journal : journals) {
    Append(image, journal.size(), 4);
    image.insert(image.end(), journal.begin(), journal.end());
  }
  Append(image, JournalChecksum(image), 4);
  if (!platform::WriteWholeFile(path, {image}, sync)) return false;
  return !sync || platform::SyncDirectory(platform::FileDirectory(path));
}

bool ReadCommitRecord(const std::string& path, uint64_t group, std::vector<std::string>& journals) {
  journals.clear();
  std::vector<uint8_t> image;
  if (!platform::ReadWholeFile(path, image) || image.size() < 24) return false;
  size_t at = image.size() - 4;
  if (Take(image, at, 4) != JournalChecksum({image.data(), image.size() - 4})) return false;
  if (std::memcmp(image.data(), kRecordMagic, 8) != 0) return false;
  at = 8;
  if (Take(image, at, 8) != group) return false;
  const uint64_t count = Take(image, at, 4);
  for (uint64_t i = 0; i < count; ++i) {
    if (image.size() - 4 - at < 4) return false;
    const uint64_t length = Take(image, at, 4);
    if (image.size() - 4 - at < length) return false;
    journals.emplace_back(reinterpret_cast<const char*>(image.data() + at), length);
    at += length;
  }
  return at == image.size() - 4;
}
