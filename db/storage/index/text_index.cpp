// The text index: parameters, words and key upkeep; the chain layout is in text_index.h.
#include "db/storage/index/text_index.h"

#include <cstring>
#include <unordered_set>

#include "db/engine/errors/engine_error.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/index_file.h"
#include "db/storage/le_codec.h"
#include "db/storage/locale/language_string_list.h"
#include "db/storage/locale/locale_case.h"

namespace {

// Sequential writer over the chain: items never straddle pages.
class TChainWriter {
 public:
  explicit TChainWriter(TIndexFile& file) : file_(file) {}

  void Put(const uint8_t* bytes, uint32_t length) {
    if (page_ == nullptr || pos_ + length > kPageAreaSize) NextPage();
    std::memcpy(page_->Raw() + pos_, bytes, length);
    pos_ += length;
    page_->Dirty = true;
  }
  void PutNumber(int32_t value) {
    uint8_t b[4];
    PutI32(b, value);
    Put(b, 4);
  }

 private:
  void NextPage() {
    int32_t next = page_ == nullptr ? file_.Descriptor(kTextSlot).ParameterPage : page_->Right;
    TPage* page = nullptr;
    if (next != 0) {
      page = file_.FetchPage(kTextSlot, next);
      if (page->Type != kPageParameter || !seen_.insert(next).second) {
        file_.RaiseIndexCorrupt(kTextSlot, "parameter chain");
      }
    } else {
      page = file_.AllocatePage(kTextSlot);
      page->Type = kPageParameter;
      next = static_cast<int32_t>(page->Number());
      seen_.insert(next);
      if (page_ == nullptr) {
        file_.SetParameterPage(next);
      } else {
        page_->Right = next;
        page_->Dirty = true;
      }
    }
    std::memset(page->Raw(), 0, kPageAreaSize);
    page->Dirty = true;
    page_ = page;
    pos_ = 0;
  }

  TIndexFile& file_;
  TPage* page_ = nullptr;
  uint32_t pos_ = 0;
  std::unordered_set<int32_t> seen_;
};

class TChainReader {
 public:
  explicit TChainReader(TIndexFile& file) : file_(file) {}

  void Get(uint8_t* bytes, uint32_t length) {
    if (page_ == nullptr || pos_ + length > kPageAreaSize) NextPage();
    std::memcpy(bytes, page_->Raw() + pos_, length);
    pos_ += length;
  }
  int32_t GetNumber() {
    uint8_t b[4];
    Get(b, 4);
    return GetI32(b);
  }
  [[noreturn]] void Fail(const char* what) { file_.RaiseIndexCorrupt(kTextSlot, what); }

 private:
  void NextPage() {
    const int32_t next =
        page_ == nullptr ? file_.Descriptor(kTextSlot).ParameterPage : page_->Right;
    if (next == 0) Fail("parameter chain ends early");
    if (!seen_.insert(next).second) Fail("parameter chain loops");
    TPage* page = file_.FetchPage(kTextSlot, next);
    if (page->Type != kPageParameter) Fail("parameter chain reaches another page");
    page_ = page;
    pos_ = 0;
  }

  TIndexFile& file_;
  TPage* page_ = nullptr;
  uint32_t pos_ = 0;
  std::unordered_set<int32_t> seen_;
};

void PutBits(TChainWriter& w, const std::bitset<256>& bits) {
  uint8_t b[32] = {};
  for (int c = 0; c < 256; ++c) {
    if (bits[c]) b[c / 8] = static_cast<uint8_t>(b[c / 8] | (1u << (c % 8)));
  }
  w.PutNumber(32);
  w.Put(b, 32);
}

std::bitset<256> GetBits(TChainReader& r) {
  if (r.GetNumber() != 32) r.Fail("character set size");
  uint8_t b[32];
  r.Get(b, 32);
  std::bitset<256> bits;
  for (int c = 0; c < 256; ++c) bits[c] = (b[c / 8] >> (c % 8)) & 1;
  return bits;
}

}  // namespace

TTextIndexParameters TTextIndexParameters::Defaults() {
  TTextIndexParameters p;
  p.StopWords = {"A",  "AN",   "AND", "BE",   "FOR", "HOW", "IN",   "IS",   "IT",    "OF",  "ON",
                 "OR", "THAT", "THE", "THIS", "TO",  "WAS", "WHAT", "WHEN", "WHICH", "WHY", "WILL"};
  for (int c = 1; c <= 32; ++c) p.SpaceCharacters[c] = true;
  for (unsigned char c : std::string_view("*+,-./:;<=>\\`")) p.SpaceCharacters[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) p.IncludeCharacters[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) p.IncludeCharacters[c] = true;
  for (int c = '0'; c <= '9'; ++c) p.IncludeCharacters[c] = true;
  p.IncludeCharacters['_'] = true;
  for (int c = 128; c <= 254; ++c) p.IncludeCharacters[c] = true;
  return p;
}

void WriteTextIndexParameters(TIndexFile& file, const TTextIndexParameters& p) {
  for (const std::string& word : p.StopWords) {
    if (word.size() > kMaxStopWordLength) {
      RaiseEngineError(VUZODE_INVALIDKEY, {}, {}, {}, file.ErrorTableName(), {}, "Sys Text");
    }
  }
  TChainWriter w(file);
  w.PutNumber(static_cast<int32_t>(p.StopWords.size()));
  for (const std::string& word : p.StopWords) {
    w.PutNumber(static_cast<int32_t>(word.size()));
    if (!word.empty())
      w.Put(reinterpret_cast<const uint8_t*>(word.data()), static_cast<uint32_t>(word.size()));
  }
  PutBits(w, p.SpaceCharacters);
  PutBits(w, p.IncludeCharacters);
}

TTextIndexParameters ReadTextIndexParameters(TIndexFile& file) {
  if (file.Descriptor(kTextSlot).ParameterPage == 0) return TTextIndexParameters::Defaults();
  TChainReader r(file);
  TTextIndexParameters p;
  const int32_t count = r.GetNumber();
  // Each stop word takes at least its 4-byte length, so the count is bounded by the pages the
  // file can hold; checking it first keeps a damaged count from reserving memory.
  if (count < 0 || count > file.Header().NextPageNumber * int64_t{kPageAreaSize / 4}) {
    r.Fail("stop word count");
  }
  for (int32_t i = 0; i < count; ++i) {
    const int32_t length = r.GetNumber();
    if (length < 0 || length > static_cast<int32_t>(kMaxStopWordLength)) {
      r.Fail("stop word length");
    }
    std::string word(static_cast<size_t>(length), '\0');
    if (length > 0) r.Get(reinterpret_cast<uint8_t*>(word.data()), static_cast<uint32_t>(length));
    p.StopWords.push_back(std::move(word));
  }
  p.SpaceCharacters = GetBits(r);
  p.IncludeCharacters = GetBits(r);
  return p;
}

std::vector<std::string> TextIndexWords(std::string_view text, const TTextIndexParameters& p,
                                        uint16_t languageId, uint16_t sortId) {
  TLanguageStringList stop(languageId, sortId);
  for (const std::string& word : p.StopWords) stop.Add(word);
  TLanguageStringList words(languageId, sortId);
  std::string current;
  auto finish = [&] {
    if (current.empty()) return;
    size_t at = 0;
    if (!stop.Find(current, at)) words.Add(current);
    current.clear();
  };
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (p.SpaceCharacters[c]) {
      finish();
    } else if (p.IncludeCharacters[c] && current.size() < kTextWordLength) {
      current.push_back(ch);
    }
  }
  finish();
  std::vector<std::string> result;
  for (std::string word : words.Strings()) {
    LocaleUpperCase(languageId, sortId, word);
    result.push_back(std::move(word));
  }
  return result;
}

namespace {

uint16_t LanguageOf(const TIndexFile& file) {
  return file.Layout(kTextSlot).LanguageId;
}
uint16_t SortOf(const TIndexFile& file) {
  return file.Layout(kTextSlot).SortId;
}

}  // namespace

void AddTextKeys(TIndexFile& file, const TTextIndexParameters& p, uint16_t fieldNumber,
                 std::string_view text, int32_t rowId, int32_t recordNumber) {
  TBTree tree(file, kTextSlot);
  IndexKey key;
  for (const std::string& word : TextIndexWords(text, p, LanguageOf(file), SortOf(file))) {
    EncodeTextKey(fieldNumber, word, rowId, key);
    tree.InsertKey(key.data(), recordNumber);
  }
}

void RemoveTextKeys(TIndexFile& file, const TTextIndexParameters& p, uint16_t fieldNumber,
                    std::string_view text, int32_t rowId) {
  TBTree tree(file, kTextSlot);
  IndexKey key;
  for (const std::string& word : TextIndexWords(text, p, LanguageOf(file), SortOf(file))) {
    EncodeTextKey(fieldNumber, word, rowId, key);
    tree.DeleteKey(key.data());
  }
}

void ChangeTextKeys(TIndexFile& file, const TTextIndexParameters& p, uint16_t fieldNumber,
                    std::string_view oldText, std::string_view newText, int32_t rowId,
                    int32_t recordNumber) {
  const uint16_t language = LanguageOf(file);
  const uint16_t sort = SortOf(file);
  const std::vector<std::string> before = TextIndexWords(oldText, p, language, sort);
  const std::vector<std::string> after = TextIndexWords(newText, p, language, sort);
  TLanguageStringList beforeList(language, sort);
  TLanguageStringList afterList(language, sort);
  for (const std::string& w : before) beforeList.Add(w);
  for (const std::string& w : after) afterList.Add(w);
  TBTree tree(file, kTextSlot);
  IndexKey key;
  size_t at = 0;
  for (const std::string& w : before) {
    if (afterList.Find(w, at)) continue;
    EncodeTextKey(fieldNumber, w, rowId, key);
    tree.DeleteKey(key.data());
  }
  for (const std::string& w : after) {
    if (beforeList.Find(w, at)) continue;
    EncodeTextKey(fieldNumber, w, rowId, key);
    tree.InsertKey(key.data(), recordNumber);
  }
}
