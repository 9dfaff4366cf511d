// CREATE statements from table definitions (see schema_text.h).
#include "app/vuzode/schema_text.h"

#include <algorithm>
#include <string_view>

#include "db/engine/table/table_definition.h"

namespace vuzode {
namespace {

std::string Quoted(std::string_view text, char quote) {
  std::string out(1, quote);
  for (char c : text) {
    if (c == quote) out += quote;
    out += c;
  }
  out += quote;
  return out;
}

bool IsNumberText(std::string_view text) {
  size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
  bool digit = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c != '.' && c != 'e' && c != 'E' && c != '+' && c != '-') {
      return false;
    }
  }
  return digit;
}

// A DEFAULT, MIN or MAX value as the column definition reads it back.
std::string ValueSql(const std::string& value) {
  static constexpr std::string_view kKeywords[] = {"CURRENT_DATE", "CURRENT_TIME",
                                                   "CURRENT_TIMESTAMP", "TRUE", "FALSE"};
  for (std::string_view keyword : kKeywords)
    if (value == keyword) return value;
  return IsNumberText(value) ? value : Quoted(value, '\'');
}

// The SQL type of field; empty when SQL has no name for it.
std::string TypeSql(const FieldDescriptor& f) {
  switch (f.Type) {
    case kFieldString:
      return (f.SubType == kSubtypeFixedChar ? "CHAR(" : "VARCHAR(") + std::to_string(f.Size) + ")";
    case kFieldDate:
      return "DATE";
    case kFieldTime:
      return "TIME";
    case kFieldTimestamp:
      return "TIMESTAMP";
    case kFieldBoolean:
      return "BOOLEAN";
    case kFieldSmallInt:
      return "SMALLINT";
    case kFieldWord:
      return "WORD";
    case kFieldInteger:
      return f.SubType == kSubtypeAutoIncrement ? "AUTOINC" : "INTEGER";
    case kFieldLargeInt:
      return "LARGEINT";
    case kFieldFloat:
      return f.SubType == kSubtypeMoney ? "MONEY" : "FLOAT";
    case kFieldBcd:
      return "DECIMAL(20," + std::to_string(f.Scale) + ")";
    case kFieldBytes:
      return "BYTES(" + std::to_string(f.Size) + ")";
    case kFieldBlob:
      return f.SubType == kSubtypeMemo ? "MEMO" : f.SubType == kSubtypeGraphic ? "GRAPHIC" : "BLOB";
    default:
      return {};
  }
}

std::string ColumnSql(const FieldDescriptor& f, std::string& notes) {
  std::string type = TypeSql(f);
  if (type.empty()) {
    notes += "-- column " + f.Name + " is of type " + std::to_string(f.Type) +
             ", which has no SQL name; written as INTEGER\n";
    type = "INTEGER";
  }
  std::string sql = QuotedName(f.Name) + " " + type;
  if (!f.Description.empty()) sql += " DESCRIPTION " + Quoted(f.Description, '\'');
  if (f.Required) sql += " NOT NULL";
  if (!f.DefaultValue.empty()) sql += " DEFAULT " + ValueSql(f.DefaultValue);
  if (!f.MinValue.empty()) sql += " MIN " + ValueSql(f.MinValue);
  if (!f.MaxValue.empty()) sql += " MAX " + ValueSql(f.MaxValue);
  if (f.CharCase == kCaseUpper) sql += " CHARCASE UPPER";
  if (f.CharCase == kCaseLower) sql += " CHARCASE LOWER";
  return sql;
}

// Whether every field of index has the same direction; direction gets it.
bool OneDirection(const IndexDescriptor& index, bool& descending) {
  descending = index.Descending;
  if (index.FieldCount == 0) return true;
  const size_t count = std::min<size_t>(index.FieldCount, kMaxIndexFields);
  descending = index.FieldDescending[0] || index.Descending;
  for (size_t i = 1; i < count; ++i)
    if ((index.FieldDescending[i] || index.Descending) != descending) return false;
  return true;
}

std::string ColumnList(const IndexDescriptor& index, const TTableDefinition& d, bool directions) {
  std::string list = "(";
  for (size_t i = 0; i < index.FieldCount && i < kMaxIndexFields; ++i) {
    if (i) list += ", ";
    const uint16_t number = index.FieldNumbers[i];
    list += number >= 1 && number <= d.Fields.size() ? QuotedName(d.Fields[number - 1].Name)
                                                     : "?" + std::to_string(number);
    if (directions) list += index.FieldDescending[i] ? " DESC" : " ASC";
  }
  return list + ")";
}

std::string Modifiers(const IndexDescriptor& index, bool descending) {
  std::string sql;
  if (index.Unique) sql += "UNIQUE ";
  if (descending) sql += "DESC ";
  if (index.CaseInsensitive) sql += "NOCASE ";
  return sql;
}

std::string Compression(const IndexDescriptor& index) {
  switch (index.Compression) {
    case kCompressDuplicates:
      return " COMPRESS DUPBYTE";
    case kCompressTrailing:
      return " COMPRESS TRAILBYTE";
    case kCompressFull:
      return " COMPRESS FULL";
    default:
      return {};
  }
}

std::string MixedIndexNote(const std::string& table, const std::string& index,
                           const IndexDescriptor& descriptor, const TTableDefinition& d) {
  return "-- index " + index + " of " + table + " on " + ColumnList(descriptor, d, true) +
         Compression(descriptor) +
         " mixes directions, which CREATE INDEX cannot express: make it through the engine\n";
}

}  // namespace

std::string QuotedName(const std::string& name) {
  return Quoted(name, '"');
}

std::string SchemaText(const std::string& name, const TTableDefinition& d) {
  std::string notes;
  std::string sql = "CREATE TABLE " + QuotedName(name) + " (\n";
  for (size_t i = 0; i < d.Fields.size(); ++i) {
    if (i) sql += ",\n";
    sql += "  " + ColumnSql(d.Fields[i], notes);
  }
  if (!d.Indexes.empty() && d.Indexes[0].FieldCount > 0) {
    const IndexDescriptor& primary = d.Indexes[0];
    bool descending = false;
    if (OneDirection(primary, descending)) {
      sql += ",\n  " + Modifiers(primary, descending) + "PRIMARY KEY " +
             ColumnList(primary, d, false) + Compression(primary);
    } else {
      notes += MixedIndexNote(name, "PRIMARY", primary, d);
    }
  }
  sql += "\n";
  if (d.TextIndex.FieldCount > 0) {
    sql += "  TEXT INDEX " + ColumnList(d.TextIndex, d, false);
    if (!d.StopWords.empty()) {
      std::string words;
      for (const std::string& word : d.StopWords) words += (words.empty() ? "" : " ") + word;
      sql += " STOP WORDS " + Quoted(words, '\'');
    }
    sql += "\n";
  }
  if (!d.Description.empty()) sql += "  DESCRIPTION " + Quoted(d.Description, '\'') + "\n";
  if (d.BlobBlockSize != 512) sql += "  BLOB BLOCK SIZE " + std::to_string(d.BlobBlockSize) + "\n";
  if (d.Encrypted) notes += "-- " + name + " is encrypted; its password is not written here\n";
  if (d.UserMajorVersion != 1 || d.UserMinorVersion != 0)
    sql += "  USER MAJOR VERSION " + std::to_string(d.UserMajorVersion) + " USER MINOR VERSION " +
           std::to_string(d.UserMinorVersion) + "\n";
  sql += ");\n";
  for (size_t i = 1; i < d.Indexes.size(); ++i) {
    const IndexDescriptor& index = d.Indexes[i];
    bool descending = false;
    if (!OneDirection(index, descending)) {
      notes += MixedIndexNote(name, index.Name, index, d);
      continue;
    }
    sql += "CREATE " + Modifiers(index, descending) + "INDEX " + QuotedName(index.Name) + " ON " +
           QuotedName(name) + " " + ColumnList(index, d, false) + Compression(index) + ";\n";
  }
  return sql + notes;
}

std::string IndexNamesText(const TTableDefinition& d) {
  std::string text;
  if (!d.Indexes.empty() && d.Indexes[0].FieldCount > 0) text += "PRIMARY\n";
  for (size_t i = 1; i < d.Indexes.size(); ++i) text += d.Indexes[i].Name + "\n";
  if (d.TextIndex.FieldCount > 0) text += "Sys Text\n";
  return text;
}

}  // namespace vuzode
