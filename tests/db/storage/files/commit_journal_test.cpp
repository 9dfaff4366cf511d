// The commit journal's image: random commits survive the round trip and apply exactly as the
// writes themselves would have; every torn or damaged image is refused; the header check tells
// a journal that may be replayed from a stale one.
#include "db/storage/files/commit_journal.h"

#include <gtest/gtest.h>

#include <random>

#include "db/storage/files/file_handler.h"

namespace {

using TBytes = std::vector<uint8_t>;

// Applies a write (count 0: a cut) to a model file.
void ModelWrite(TBytes& file, int64_t offset, const TBytes& bytes) {
  if (bytes.empty()) {
    file.resize(static_cast<size_t>(offset));
    return;
  }
  if (file.size() < offset + bytes.size()) file.resize(offset + bytes.size());
  std::copy(bytes.begin(), bytes.end(), file.begin() + offset);
}

// A journal of random writes (some at offset 0, some cuts; many small ones near each other,
// as scattered records give, which the apply joins into spans) over three files, and the model
// of the files it leaves, from empty files and from files of earlier content (base).
struct TRandomCommit {
  TCommitJournal journal;
  TBytes model[kJournalFiles];
  TBytes base[kJournalFiles];
  TBytes over_base[kJournalFiles];
  explicit TRandomCommit(uint32_t seed) {
    std::mt19937 random(seed);
    for (int f = 0; f < kJournalFiles; ++f) {
      base[f].resize(random() % 9000);
      for (uint8_t& b : base[f]) b = static_cast<uint8_t>(random());
      over_base[f] = base[f];
    }
    const int units = static_cast<int>(random() % (random() % 2 == 0 ? 12 : 120)) + 1;
    for (int u = 0; u < units; ++u) {
      const uint8_t file = static_cast<uint8_t>(random() % kJournalFiles);
      const int64_t offset = random() % 4 == 0 ? 0 : random() % 12000;
      TBytes bytes(random() % 23 == 0 ? 0 : random() % (random() % 2 == 0 ? 70 : 600) + 1);
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
      if (offset == 0 && bytes.empty()) continue;
      if (offset == 0) journal.RecordPreImage(file, static_cast<uint32_t>(bytes.size()), {});
      journal.Record(file, offset, bytes.data(), static_cast<uint32_t>(bytes.size()));
      ModelWrite(model[file], offset, bytes);
      ModelWrite(over_base[file], offset, bytes);
    }
  }
};

TEST(CommitJournal, RandomCommitsRoundTripAndApplyAsTheirWrites) {
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    SCOPED_TRACE(seed);
    TRandomCommit commit(seed);
    // What a reader sees while the commit is gathered: the writes over an empty file.
    for (int f = 0; f < kJournalFiles; ++f) {
      const TBytes& model = commit.model[f];
      EXPECT_EQ(commit.journal.SizeAfter(static_cast<uint8_t>(f), 0),
                static_cast<int64_t>(model.size()));
      TBytes seen(model.size() + 10, 0xEE);
      const uint32_t valid = commit.journal.Overlay(static_cast<uint8_t>(f), 0, seen.data(),
                                                    static_cast<uint32_t>(seen.size()), 0);
      EXPECT_EQ(valid, model.size());
      EXPECT_EQ(TBytes(seen.begin(), seen.begin() + valid), model);
    }
    TCommitJournal parsed;
    ASSERT_TRUE(parsed.Parse(commit.journal.Image()));
    EXPECT_EQ(parsed.UnitCount(), commit.journal.UnitCount());
    for (bool overBase : {false, true}) {
      TFileHandler files[kJournalFiles];
      TFileHandler* targets[kJournalFiles];
      for (int f = 0; f < kJournalFiles; ++f) {
        files[f].SetInMemory(true);
        files[f].SetFileName("JOURNALTEST" + std::to_string(f) + ".DAT");
        files[f].CreateFile();
        if (overBase && !commit.base[f].empty()) {
          files[f].Write(commit.base[f].data(), static_cast<uint32_t>(commit.base[f].size()));
        }
        targets[f] = &files[f];
      }
      // Applying twice ends in the same state (a replay after a partial write).
      parsed.Apply(targets);
      parsed.Apply(targets);
      for (int f = 0; f < kJournalFiles; ++f) {
        TBytes got(static_cast<size_t>(files[f].GetFileSize()));
        files[f].Seek(0);
        if (!got.empty()) files[f].Read(got.data(), static_cast<uint32_t>(got.size()), false);
        EXPECT_EQ(got, overBase ? commit.over_base[f] : commit.model[f])
            << "file " << f << (overBase ? " over earlier content" : "");
        files[f].Close();
        files[f].DeleteFile();
      }
    }
  }
}

TEST(CommitJournal, EveryTornOrDamagedImageIsRefused) {
  TRandomCommit commit(7);
  const TBytes image = commit.journal.Image();
  TCommitJournal parsed;
  ASSERT_TRUE(parsed.Parse(image));
  for (size_t size = 0; size < image.size(); ++size) {
    EXPECT_FALSE(parsed.Parse({image.data(), size})) << "cut at " << size;
  }
  TBytes longer = image;
  longer.push_back(0);
  EXPECT_FALSE(parsed.Parse(longer));
  for (size_t at = 0; at < image.size(); ++at) {
    TBytes damaged = image;
    damaged[at] ^= 0x20;
    EXPECT_FALSE(parsed.Parse(damaged)) << "byte " << at;
  }
}

TEST(CommitJournal, ReplaysOnlyOverTheHeaderBeforeOrAfterItsCommit) {
  const TBytes before = {1, 2, 3, 4, 5, 6, 7, 8};
  const TBytes after = {1, 2, 3, 4, 5, 6, 7, 9};
  const TBytes later = {1, 2, 3, 4, 5, 6, 7, 10};
  TCommitJournal journal;
  journal.RecordPreImage(0, 8, before);
  journal.Record(0, 0, after.data(), 8);
  journal.Record(1, 4096, later.data(), 8);  // no header of file 1: not checked
  TCommitJournal parsed;
  ASSERT_TRUE(parsed.Parse(journal.Image()));
  EXPECT_TRUE(parsed.Matches({before, {}, {}}));
  EXPECT_TRUE(parsed.Matches({after, later, {}}));
  EXPECT_FALSE(parsed.Matches({later, {}, {}}));
  // A header write torn part-way is a mix of the two, byte by byte.
  const TBytes torn = {1, 2, 3, 4, 5, 6, 7, 9};
  TCommitJournal wide;
  const TBytes old = {0, 0, 0, 0, 0, 0, 0, 0};
  wide.RecordPreImage(0, 8, old);
  wide.Record(0, 0, torn.data(), 8);
  ASSERT_TRUE(parsed.Parse(wide.Image()));
  EXPECT_TRUE(parsed.Matches({{1, 2, 3, 0, 0, 0, 0, 0}, {}, {}}));
  EXPECT_FALSE(parsed.Matches({{1, 2, 3, 0, 0, 0, 0, 1}, {}, {}}));
  EXPECT_FALSE(parsed.Matches({TBytes(before.begin(), before.begin() + 7), {}, {}}));
}

}  // namespace
