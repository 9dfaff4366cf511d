// CheckTableDefinition and the conversions of a checked definition (see the header).
#include "db/engine/table/table_definition.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "db/engine/errors/engine_error.h"
#include "db/engine/session/table_file_names.h"
#include "db/storage/index/index_header.h"
#include "db/storage/locale/locale_check.h"

namespace {

constexpr size_t kMaxIndexCount = 32;
constexpr size_t kMaxPasswordLength = 15;
constexpr uint32_t kMinBlobBlockSize = 64;

bool IdentifierStart(std::string_view name) {
  if (name.empty()) return false;
  const unsigned char c = static_cast<unsigned char>(name[0]);
  return std::isalpha(c) || c == '_' || (c >= 128 && c <= 254);
}

std::string UpperAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

class TDefinitionChecker {
 public:
  TDefinitionChecker(TTableDefinition& d, TLiteralCheck textCheck, std::string_view database,
                     std::string_view table)
      : d_(d), text_check_(textCheck), database_(database), table_(table) {}

  void Run() {
    CheckTable();
    CheckFields();
    CheckIndexes();
    CheckTextIndex();
  }

 private:
  [[noreturn]] void Raise(uint16_t code, std::string_view field = {},
                          std::string_view index = {}) const {
    RaiseEngineError(code, {}, {}, database_, table_, field, index);
  }

  void CheckTable() {
    if (d_.Encrypted) {
      const std::string password = TrimmedText(d_.Password);
      if (password.empty() || password.size() > kMaxPasswordLength) {
        Raise(VUZODE_INVALIDPASSWORD);
      }
      d_.Password = password;
    }
    if (d_.LocaleGiven || d_.LanguageId != 0) {
      CheckTableLocale(static_cast<uint16_t>(d_.LanguageId), static_cast<uint16_t>(d_.SortId),
                       database_, table_);
    }
    if (d_.Fields.size() > kMaxFieldCount || d_.LastAutoIncrement < -1) Raise(VUZODE_FLDLIMIT);
    if (d_.Indexes.size() > kMaxIndexCount) Raise(VUZODE_INDEXLIMIT);
    if (d_.BlobBlockSize < kMinBlobBlockSize) Raise(VUZODE_BLOBLIMIT);
  }

  void CheckFields() {
    std::set<std::string> names;
    std::set<uint16_t> numbers;
    uint32_t offset = kRecordHeaderSize;
    for (FieldDescriptor& f : d_.Fields) {
      std::string name = TrimmedText(f.Name);
      if (name.size() > kMaxFieldNameLength) name.resize(kMaxFieldNameLength);
      f.Name = name;
      if (!IdentifierStart(name)) Raise(VUZODE_INVALIDFIELDNAME, name);
      if (!names.insert(UpperAscii(name)).second) Raise(VUZODE_INVALIDFIELDNAME, name);
      if (!numbers.insert(f.FieldNumber).second) Raise(VUZODE_INVALIDFLDTYPE, name);
      if (f.Type == 0 || !IsValidFieldType(f.Type)) Raise(VUZODE_INVALIDFLDTYPE, name);
      if (IsSizedFieldType(f.Type)) {
        if (f.Size < 1 || f.Size > kMaxSizedFieldSize) Raise(VUZODE_INVALIDFLDTYPE, name);
      } else {
        f.Size = 0;
      }
      for (const std::string* text : {&f.DefaultValue, &f.MinValue, &f.MaxValue}) {
        if (!text->empty() && text_check_ != nullptr && !text_check_(f, *text)) {
          Raise(VUZODE_INVALIDVCHKSTRUCT, name);
        }
      }
      if (f.Type != kFieldBcd) f.Scale = 0;
      if (f.Type == kFieldBcd && f.Scale > kMaxBcdScale) Raise(VUZODE_INVALIDFLDTYPE, name);
      f.StoredLength = static_cast<uint8_t>(StoredLengthOf(f.Type, f.Size));
      if (f.IsAutoIncrement()) {
        f.Offset = static_cast<uint16_t>(kRowIdOffset);
      } else {
        if (offset > kMaxRecordSize) Raise(VUZODE_RECTOOBIG);
        f.Offset = static_cast<uint16_t>(offset);
        offset += f.StoredLength + 1u;
      }
    }
    if (offset > kMaxRecordSize) Raise(VUZODE_RECTOOBIG);
  }

  void CheckIndexes() {
    if (d_.Indexes.size() > 1 + static_cast<size_t>(kMaxSecondaryIndexes)) {
      Raise(VUZODE_INDEXLIMIT);
    }
    std::set<std::string> names;
    for (size_t i = 0; i < d_.Indexes.size(); ++i) {
      IndexDescriptor& index = d_.Indexes[i];
      const bool primary = i == 0;
      if (primary) {
        index.Name.clear();
        index.Unique = true;
      } else {
        index.Name = UpperAscii(TrimmedText(index.Name));
        if (!IdentifierStart(index.Name) || index.Name.size() > kMaxIndexNameLength) {
          Raise(VUZODE_INVALIDINDEXNAME, {}, index.Name);
        }
        if (!names.insert(index.Name).second) Raise(VUZODE_INDEXEXISTS, {}, index.Name);
      }
      CheckIndexFields(index, primary);
    }
  }

  // The field numbers of index, then its key length exactly as the index file will compute it.
  void CheckIndexFields(IndexDescriptor& index, bool primary) {
    if (index.FieldCount > kMaxIndexFields) Raise(VUZODE_INDEXLIMIT, {}, index.Name);
    bool gap = false;
    uint8_t count = 0;
    for (size_t k = 0; k < kMaxIndexFields; ++k) {
      const uint16_t number = index.FieldNumbers[k];
      if (number == 0) {
        gap = true;
        continue;
      }
      if (gap || number > d_.Fields.size()) {
        Raise(VUZODE_INVALIDIDXDESC, std::to_string(number), index.Name);
      }
      if (d_.Fields[number - 1].Type == kFieldBlob) {
        Raise(VUZODE_SEARCHCOLREQD, d_.Fields[number - 1].Name, index.Name);
      }
      ++count;
    }
    index.FieldCount = count;
    if (count == 0) {
      if (!primary) Raise(VUZODE_INVALIDKEY, {}, index.Name);
      index.KeyLength = 0;
      return;
    }
    const uint32_t length = ComputeKeyLength(index, d_.Fields);
    if (length == 0 || length > kMaxKeyLength) Raise(VUZODE_INVALIDKEY, {}, index.Name);
    index.KeyLength = static_cast<uint16_t>(length);
  }

  void CheckTextIndex() {
    IndexDescriptor& text = d_.TextIndex;
    uint8_t count = 0;
    for (size_t k = 0; k < kMaxIndexFields; ++k) {
      const uint16_t number = text.FieldNumbers[k];
      if (number == 0) continue;
      if (number > d_.Fields.size()) Raise(VUZODE_INVALIDIDXDESC, std::to_string(number));
      const FieldDescriptor& f = d_.Fields[number - 1];
      const bool memo = f.Type == kFieldBlob && f.SubType == kSubtypeMemo;
      if (f.Type != kFieldString && !memo) Raise(VUZODE_SEARCHCOLREQD, f.Name);
      text.FieldNumbers[count++] = number;
    }
    for (size_t k = count; k < kMaxIndexFields; ++k) text.FieldNumbers[k] = 0;
    text.FieldCount = count;
  }

  TTableDefinition& d_;
  TLiteralCheck text_check_;
  std::string_view database_;
  std::string_view table_;
};

}  // namespace

void CheckTableDefinition(TTableDefinition& definition, TLiteralCheck textCheck,
                          std::string_view databaseText, std::string_view tableName) {
  TDefinitionChecker(definition, textCheck, databaseText, tableName).Run();
}

TDataFileDefinition DataFileDefinitionOf(const TTableDefinition& d) {
  TDataFileDefinition out;
  out.Fields = d.Fields;
  out.LanguageId = d.LanguageId;
  out.SortId = d.SortId;
  out.BlobBlockSize = d.BlobBlockSize;
  out.Description = d.Description;
  out.Password = d.Password;
  out.Encrypted = d.Encrypted;
  out.UserMajorVersion = d.UserMajorVersion;
  out.UserMinorVersion = d.UserMinorVersion;
  return out;
}

TTextIndexParameters TextIndexParametersOf(const TTableDefinition& d) {
  TTextIndexParameters p = TTextIndexParameters::Defaults();
  if (!d.StopWords.empty()) {
    std::vector<std::string> words = d.StopWords;
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    p.StopWords = std::move(words);
  }
  if (!d.SpaceCharacters.empty()) {
    p.SpaceCharacters.reset();
    for (char c : d.SpaceCharacters) p.SpaceCharacters.set(static_cast<unsigned char>(c));
  }
  if (!d.IncludeCharacters.empty()) {
    p.IncludeCharacters.reset();
    for (char c : d.IncludeCharacters) p.IncludeCharacters.set(static_cast<unsigned char>(c));
  }
  return p;
}
