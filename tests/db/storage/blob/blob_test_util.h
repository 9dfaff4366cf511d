// Test helpers for BLOB files: a file under test with its values and revisions, byte access to
// memory files for corruption and truncation, and value patterns.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/storage/blob/blob_chain.h"
#include "db/storage/blob/blob_file.h"
#include "db/storage/files/file_handler.h"

namespace blob_test {

inline std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = seed * 2654435761u + 1;
  for (uint8_t& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& name) {
  TFileHandler file;
  file.SetFileName(name);
  file.SetInMemory(true);
  file.Open();
  std::vector<uint8_t> bytes(static_cast<size_t>(file.GetFileSize()));
  file.Seek(0);
  if (!bytes.empty()) file.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), false);
  file.Close();
  return bytes;
}

inline void WriteFileBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
  TFileHandler file;
  file.SetFileName(name);
  file.SetInMemory(true);
  file.CreateFile();
  if (!bytes.empty()) file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  file.Close();
}

inline void IncrementByte(const std::string& name, size_t offset, int delta = 1) {
  std::vector<uint8_t> bytes = ReadFileBytes(name);
  bytes.at(offset) = static_cast<uint8_t>(bytes.at(offset) + delta);
  WriteFileBytes(name, bytes);
}

inline void ShrinkSize(const std::string& name, size_t bytes) {
  std::vector<uint8_t> content = ReadFileBytes(name);
  content.resize(content.size() - bytes);
  WriteFileBytes(name, content);
}

template <class Action>
uint16_t EngineCodeOf(Action&& action) {
  try {
    action();
  } catch (const EVUZODEEngineError& error) {
    return error.EngineCode();
  }
  return 0;
}

// A link with a small cache, so that tests evict and flush.
class TSmallCacheLink : public TBlobTableLink {
 public:
  explicit TSmallCacheLink(uint32_t bytes) : bytes_(bytes) {}
  uint32_t BlobCacheBytes() const override { return bytes_; }

 private:
  uint32_t bytes_;
};

// A BLOB file in memory, created empty, with a revision counter like the data file's.
class TBlobFixture {
 public:
  TBlobFixture(std::string name, uint32_t blockSize, bool encrypted, TBlobTableLink* link = nullptr)
      : name_(std::move(name)), block_size_(blockSize), encrypted_(encrypted), link_(link) {
    file_ = Make();
    file_->CreateFile();
    file_->WriteHeader(true);
  }

  TBlobFile& File() { return *file_; }
  const std::string& Name() const { return name_; }
  int32_t NextRevision() { return ++revision_; }

  // Everything to the file, then closed.
  void Close() {
    file_->FlushBlocks();
    file_->WriteHeader(false);
    file_->Close();
  }
  void Open() {
    file_ = Make();
    file_->Open();
  }
  void Reopen() {
    Close();
    Open();
  }

  // Saves bytes as a new value; its first block and revision.
  TBlobReference Save(const std::vector<uint8_t>& bytes, TBlobReference old = {}) {
    const int32_t revision = NextRevision();
    const int32_t first =
        SaveChain(*file_, old.FirstBlock, old.Revision, revision, bytes.data(), bytes.size());
    return {first, first == 0 ? 0 : revision};
  }
  std::vector<uint8_t> Load(TBlobReference value) {
    return LoadChain(*file_, value.FirstBlock, value.Revision);
  }

  // Byte offset of block n in the file.
  size_t BlockOffset(uint32_t n) const {
    return kBlobFileHeaderSize + size_t{n - 1} * (block_size_ == 0 ? 512 : block_size_);
  }

 private:
  std::unique_ptr<TBlobFile> Make() {
    auto file = std::make_unique<TBlobFile>(link_);
    file->SetFileName(name_);
    file->SetInMemory(true);
    file->SetBlockSize(block_size_);
    file->SetEncrypted(encrypted_);
    return file;
  }

  std::string name_;
  uint32_t block_size_;
  bool encrypted_;
  TBlobTableLink* link_;
  std::unique_ptr<TBlobFile> file_;
  int32_t revision_ = 0;
};

}  // namespace blob_test
