// TRecordsBitmap: sizing, membership, combination, counting and walking. Whole 64-bit words are
// counted with one popcount, so runs of all-ones and all-zeros words cost one step per word
// whatever their content; only the word where a walk stops is looked at bit by bit.
#include "db/sql/bitmaps/records_bitmap.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <new>

#include "db/engine/errors/engine_error.h"

namespace {

constexpr uint64_t kAllOnes = ~uint64_t{0};

// Mask of the bits 0 .. count - 1 of a word. REQUIRES: count <= 64.
constexpr uint64_t LowBits(unsigned count) {
  return count >= 64 ? kAllOnes : (uint64_t{1} << count) - 1;
}

// The default x86-64 target has no popcnt instruction and its portable popcount is several
// times slower over long arrays; these loops get a popcnt clone chosen once at load time.
#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__))
#define PEBRIO_POPCNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define PEBRIO_POPCNT_CLONES
#endif

// Set bits in words[0 .. count - 1].
PEBRIO_POPCNT_CLONES uint32_t CountWords(const uint64_t* words, size_t count) {
  uint32_t total = 0;
  for (size_t w = 0; w < count; ++w) total += std::popcount(words[w]);
  return total;
}

// Passes up to remaining set bits upward from word w (first holding word, already masked) to
// last_word, a whole word at a time while it does not overshoot. Returns the bits not passed;
// reached receives the 0-based index of the last bit passed (untouched when none was).
PEBRIO_POPCNT_CLONES uint32_t WalkUp(const uint64_t* words, size_t w, size_t last_word,
                                     uint64_t word, uint32_t remaining, uint64_t& reached) {
  for (;;) {
    if (word != 0) {
      if (remaining == 1) {  // the common single step needs no count
        reached = w * 64 + std::countr_zero(word);
        return 0;
      }
      uint32_t members = std::popcount(word);
      if (members < remaining) {
        remaining -= members;
        reached = w * 64 + (63 - std::countl_zero(word));
      } else {
        for (uint32_t i = 1; i < remaining; ++i) word &= word - 1;  // drop the lowest member
        reached = w * 64 + std::countr_zero(word);
        return 0;
      }
    }
    if (w == last_word) return remaining;
    word = words[++w];
  }
}

// The same downward from word w to word 0.
PEBRIO_POPCNT_CLONES uint32_t WalkDown(const uint64_t* words, size_t w, uint64_t word,
                                       uint32_t remaining, uint64_t& reached) {
  for (;;) {
    if (word != 0) {
      if (remaining == 1) {
        reached = w * 64 + (63 - std::countl_zero(word));
        return 0;
      }
      uint32_t members = std::popcount(word);
      if (members < remaining) {
        remaining -= members;
        reached = w * 64 + std::countr_zero(word);
      } else {
        for (uint32_t i = 1; i < remaining; ++i) {
          word &= ~(uint64_t{1} << (63 - std::countl_zero(word)));  // drop the highest member
        }
        reached = w * 64 + (63 - std::countl_zero(word));
        return 0;
      }
    }
    if (w == 0) return remaining;
    word = words[--w];
  }
}

}  // namespace

void TRecordsBitmap::Reserve(size_t words) {
  if (words <= words_.size()) return;
  // Growing one record at a time (a table gaining rows) would copy the array every 2048
  // records with plain 256-byte steps; growing an existing array by at least half keeps the
  // copying linear overall. A first sizing takes exactly what it needs.
  size_t target = std::max(words, words_.size() + words_.size() / 2);
  target = (target + kAllocationStepWords - 1) / kAllocationStepWords * kAllocationStepWords;
  try {
    words_.resize(target, 0);
  } catch (const std::bad_alloc&) {
    RaiseEngineError(VUZODE_OSENOMEM);
  }
}

void TRecordsBitmap::ClearBits(uint64_t first, uint64_t last) {
  while (first < last) {
    size_t w = first / kWordBits;
    unsigned from = first % kWordBits;
    unsigned to = static_cast<unsigned>(std::min<uint64_t>(last - w * kWordBits, kWordBits));
    words_[w] &= ~(LowBits(to) & ~LowBits(from));
    first = w * kWordBits + to;
  }
}

void TRecordsBitmap::ClearTail() {
  unsigned used = bit_count_ % kWordBits;
  if (used != 0) words_[bit_count_ / kWordBits] &= LowBits(used);
}

void TRecordsBitmap::SetSize(uint32_t count) {
  Changed();
  if (count == bit_count_) return;
  if (count < bit_count_) {
    ClearBits(count, bit_count_);
  } else {
    Reserve((size_t{count} + kWordBits - 1) / kWordBits);
  }
  bit_count_ = count;
}

uint32_t TRecordsBitmap::Word(uint32_t w) const {
  assert(w < WordCount() && "32-bit word beyond the bitmap");
  return static_cast<uint32_t>(words_[w / 2] >> (32 * (w % 2)));
}

bool TRecordsBitmap::Test(uint32_t record) const {
  if (record == 0 || record > bit_count_) return false;
  uint32_t bit = record - 1;
  return (words_[bit / kWordBits] >> (bit % kWordBits)) & 1;
}

void TRecordsBitmap::Set(uint32_t record) {
  Changed();
  if (record == 0) return;
  if (record > bit_count_) SetSize(record);
  uint32_t bit = record - 1;
  words_[bit / kWordBits] |= uint64_t{1} << (bit % kWordBits);
}

void TRecordsBitmap::Clear(uint32_t record) {
  Changed();
  if (record == 0 || record > bit_count_) return;
  uint32_t bit = record - 1;
  words_[bit / kWordBits] &= ~(uint64_t{1} << (bit % kWordBits));
}

// Words beyond the used ones are already zero (invariant (1)), so a pooled bitmap that once was
// large costs only its present size to clear.
void TRecordsBitmap::ClearAll() {
  Changed();
  std::fill_n(words_.begin(), UsedWords(), 0);
}

void TRecordsBitmap::SetAll() {
  Changed();
  std::fill_n(words_.begin(), UsedWords(), kAllOnes);
  ClearTail();
}

void TRecordsBitmap::CopyFrom(const TRecordsBitmap& other) {
  Changed();
  if (&other == this) return;
  size_t theirs = other.UsedWords();
  size_t ours = UsedWords();
  Reserve(theirs);
  // Both arrays are clean beyond their used words, so copying other's used words and zeroing
  // the rest of ours gives a clean copy.
  std::copy_n(other.words_.begin(), theirs, words_.begin());
  if (ours > theirs) std::fill(words_.begin() + theirs, words_.begin() + ours, 0);
  bit_count_ = other.bit_count_;
}

void TRecordsBitmap::AndWith(const TRecordsBitmap& other) {
  Changed();
  size_t used = UsedWords();
  size_t shared = std::min(used, other.UsedWords());
  for (size_t w = 0; w < shared; ++w) words_[w] &= other.words_[w];
  std::fill(words_.begin() + shared, words_.begin() + used, 0);
}

void TRecordsBitmap::OrWith(const TRecordsBitmap& other) {
  Changed();
  size_t shared = std::min(UsedWords(), other.UsedWords());
  for (size_t w = 0; w < shared; ++w) words_[w] |= other.words_[w];
  ClearTail();  // other may be longer than this bitmap
}

void TRecordsBitmap::Not() {
  Changed();
  size_t used = UsedWords();
  for (size_t w = 0; w < used; ++w) words_[w] = ~words_[w];
  ClearTail();
}

uint32_t TRecordsBitmap::Count() const {
  return CountWords(words_.data(), UsedWords());
}

void TRecordsBitmap::BuildRankBlocks() const {
  const size_t used = UsedWords();
  rank_blocks_.assign(used / kRankBlockWords + 1, 0);
  uint32_t count = 0;
  for (size_t b = 1; b < rank_blocks_.size(); ++b) {
    count += CountWords(words_.data() + (b - 1) * kRankBlockWords, kRankBlockWords);
    rank_blocks_[b] = count;
  }
  rank_ready_ = true;
}

uint32_t TRecordsBitmap::Rank(uint32_t record) const {
  if (record <= 1) return 0;
  uint32_t bits = std::min(record - 1, bit_count_);  // bit indexes 0 .. bits - 1
  size_t whole = bits / kWordBits;
  uint32_t count = 0;
  if (whole < 2 * kRankBlockWords) {
    count = CountWords(words_.data(), whole);
  } else {
    if (!rank_ready_) BuildRankBlocks();
    const size_t block = whole / kRankBlockWords;
    count = rank_blocks_[block] +
            CountWords(words_.data() + block * kRankBlockWords, whole - block * kRankBlockWords);
  }
  if (bits % kWordBits != 0) count += std::popcount(words_[whole] & LowBits(bits % kWordBits));
  return count;
}

TBitmapWalk TRecordsBitmap::Next(uint32_t& position, uint32_t steps, int64_t& counter) const {
  if (steps == 0) return {true, 0};
  if (position >= bit_count_) return {false, 0};
  size_t w = position / kWordBits;
  uint64_t word = words_[w] & ~LowBits(position % kWordBits);
  uint64_t reached = 0;
  uint32_t made = 1;
  if (steps == 1 && word != 0) {  // a cursor moving record by record mostly stays in the word
    reached = w * kWordBits + std::countr_zero(word);
  } else {
    made = steps - WalkUp(words_.data(), w, UsedWords() - 1, word, steps, reached);
  }
  if (made != 0) {
    position = static_cast<uint32_t>(reached + 1);
    counter += made;
  }
  return {made == steps, made};
}

TBitmapWalk TRecordsBitmap::Prior(uint32_t& position, uint32_t steps, int64_t& counter) const {
  if (steps == 0) return {true, 0};
  if (position <= 1 || bit_count_ == 0) return {false, 0};
  uint32_t start = std::min(position - 1, bit_count_) - 1;  // 0-based bit index
  size_t w = start / kWordBits;
  uint64_t word = words_[w] & LowBits(start % kWordBits + 1);
  uint64_t reached = 0;
  uint32_t made = 1;
  if (steps == 1 && word != 0) {
    reached = w * kWordBits + (kWordBits - 1 - std::countl_zero(word));
  } else {
    made = steps - WalkDown(words_.data(), w, word, steps, reached);
  }
  if (made != 0) {
    position = static_cast<uint32_t>(reached + 1);
    counter -= made;
  }
  return {made == steps, made};
}
