// Descriptors of the definition statements (see definition_descriptors.h).
#include "db/sql/execution/definition_descriptors.h"

#include <limits>
#include <string>

#include "db/sql/execution/source_binding.h"
#include "db/sql/execution/sql_failure.h"
#include "db/sql/execution/statement_headers.h"
#include "db/storage/data/field_types.h"

namespace {

// The value of a type argument (a length, scale or BLOB type), or -1 when it is not an
// integer constant.
int64_t ArgumentValue(const TExpToken* node) {
  if (node == nullptr || node->NodeClass != kNodeConstant || node->ValueType != kFieldInteger ||
      node->IsNull || node->IsParam)
    return -1;
  return node->IntegerValue();
}

// The node whose arguments belong to the column's type: for a renaming REDEFINE the old
// name's node when the type was written after it, else the column node itself.
const TExpToken& TypeNodeOf(const TCreateField& column) {
  const TExpToken& node = *column.Column;
  if (!column.NewColumnName.empty() && node.Args.empty() && node.Left != nullptr &&
      node.Left->ValueType == column.DataType && !node.Left->Args.empty())
    return *node.Left;
  return node;
}

// A size or scale the field byte can hold; anything else becomes a value the engine refuses.
uint8_t SizeByte(int64_t value, uint8_t refused) {
  if (value < 0 || value > std::numeric_limits<uint8_t>::max()) return refused;
  return static_cast<uint8_t>(value);
}

// The name an index column node stands for: a column reference, or a string constant.
std::string IndexColumnName(const TExpToken& node) {
  if (node.NodeClass == kNodeColumn) return node.ColumnName;
  if (node.NodeClass == kNodeConstant && node.ValueType == kFieldString && !node.IsNull)
    return std::string(node.StringValue());
  return node.Text;
}

// The field numbers of definition's columns among fields; failure names what is indexed.
void PutIndexFields(const TCreateIndex& definition, const std::vector<FieldDescriptor>& fields,
                    const std::string& indexed, IndexDescriptor& index) {
  if (definition.Columns.size() > kMaxIndexFields)
    SqlFail("At most " + std::to_string(kMaxIndexFields) + " columns can be " + indexed);
  uint8_t count = 0;
  for (const TOwnedExpTree& column : definition.Columns) {
    const std::string name = IndexColumnName(*column);
    const int at = FindFieldNamed(fields, name);
    if (at < 0) SqlFail("Invalid field name '" + name + "' specified for " + indexed);
    index.FieldNumbers[count++] = static_cast<uint16_t>(at + 1);
  }
  index.FieldCount = count;
}

int16_t Version(int32_t value, std::string_view which) {
  if (value > std::numeric_limits<int16_t>::max())
    SqlFail("USER " + std::string(which) + " VERSION must not be greater than " +
            std::to_string(std::numeric_limits<int16_t>::max()));
  return static_cast<int16_t>(value);
}

std::string CharactersOf(const TCharacterSet& set) {
  std::string characters;
  for (int c = 0; c < 256; ++c)
    if (InCharacterSet(set, static_cast<unsigned char>(c)))
      characters.push_back(static_cast<char>(c));
  return characters;
}

}  // namespace

int FindFieldNamed(const std::vector<FieldDescriptor>& fields, std::string_view name) {
  for (size_t i = 0; i < fields.size(); ++i)
    if (SameSqlName(fields[i].Name, name)) return static_cast<int>(i);
  return -1;
}

void ApplyColumnType(const TCreateField& column, FieldDescriptor& field) {
  if (column.DataType == 0) return;
  const TExpToken& node = TypeNodeOf(column);
  const TExpToken* first = node.Args.size() > 0 ? node.Args[0] : nullptr;
  const TExpToken* second = node.Args.size() > 1 ? node.Args[1] : nullptr;
  field.Type = column.DataType;
  field.SubType = column.SubType;
  field.Size = 0;
  field.Scale = 0;
  switch (column.DataType) {
    case kFieldString:
    case kFieldBytes:
    case kFieldVarBytes:
      // Out of 1..250 the engine refuses the size with the field's name.
      field.Size = SizeByte(ArgumentValue(first), 0);
      break;
    case kFieldBcd:
      if (second) field.Scale = SizeByte(ArgumentValue(second), kMaxBcdScale + 1);
      break;
    case kFieldBlob:
      if (first) {
        const int64_t kind = ArgumentValue(second);
        if (kind != 1 && kind != 2 && kind != 3 && kind != 5 && kind != 7)
          SqlFail("BLOB type argument must be an integer with a value of 1,2,3,5, or 7");
        field.SubType = static_cast<uint8_t>(21 + kind);
      }
      break;
    default:
      break;
  }
}

void ApplyColumnOptions(const TCreateField& column, FieldDescriptor& field, bool onlyGiven) {
  if (!onlyGiven || column.DescriptionGiven) field.Description = column.Description;
  if (!onlyGiven || column.NotNullGiven) field.Required = column.NotNull;
  if (!onlyGiven || column.DefaultGiven) field.DefaultValue = column.DefaultValue;
  if (!onlyGiven || column.MinGiven) field.MinValue = column.MinValue;
  if (!onlyGiven || column.MaxGiven) field.MaxValue = column.MaxValue;
  if (!onlyGiven || column.CharCaseGiven) field.CharCase = column.CharCase;
}

FieldDescriptor FieldDescriptorOf(const TCreateField& column, uint16_t number) {
  FieldDescriptor field;
  field.FieldNumber = number;
  field.Name = column.ColumnName;
  ApplyColumnType(column, field);
  ApplyColumnOptions(column, field, false);
  return field;
}

IndexDescriptor IndexDescriptorOf(const TCreateIndex& definition,
                                  const std::vector<FieldDescriptor>& fields) {
  IndexDescriptor index;
  index.Name = definition.IndexName;
  index.Unique = definition.Unique || definition.PrimaryKey;
  index.Descending = definition.Descending;
  index.FieldDescending.fill(definition.Descending);
  index.CaseInsensitive = definition.NoCase;
  index.Compression = definition.Compression;
  PutIndexFields(definition, fields, "index '" + definition.IndexName + "'", index);
  return index;
}

IndexDescriptor TextIndexDescriptorOf(const TCreateIndex& definition,
                                      const std::vector<FieldDescriptor>& fields) {
  IndexDescriptor index;
  index.Name = "Sys Text";
  index.Compression = kCompressFull;
  PutIndexFields(definition, fields, "text index", index);
  return index;
}

void ApplyTableOptions(const TDataQuery& query, TTableDefinition& definition, bool onlyGiven) {
  if (!onlyGiven || query.EncryptedGiven) {
    definition.Encrypted = query.Encrypted;
    definition.Password = query.Encrypted ? query.Password : std::string();
  }
  if (!onlyGiven || query.LanguageGiven) {
    definition.LocaleGiven = query.LanguageGiven;
    definition.LanguageId = static_cast<int16_t>(query.LanguageGiven ? query.LanguageId : 0);
    definition.SortId = static_cast<int16_t>(query.LanguageGiven ? query.SortId : 0);
  }
  if (!onlyGiven || query.BlobBlockSizeGiven)
    definition.BlobBlockSize = static_cast<uint32_t>(query.BlobBlockSize);
  if (!onlyGiven || query.DescriptionGiven) definition.Description = query.Description;
  if (!onlyGiven || query.UserMajorVersionGiven)
    definition.UserMajorVersion = Version(query.UserMajorVersion, "MAJOR");
  if (!onlyGiven || query.UserMinorVersionGiven)
    definition.UserMinorVersion = Version(query.UserMinorVersion, "MINOR");
  if (query.LastAutoIncrement > std::numeric_limits<int32_t>::max())
    SqlFail("Next auto-increment number must not be greater than " +
            std::to_string(std::numeric_limits<int32_t>::max()));
  // Below -1 the engine refuses it; -1 (not given) keeps the table's.
  definition.LastAutoIncrement = static_cast<int32_t>(
      std::max<int64_t>(query.LastAutoIncrement, std::numeric_limits<int32_t>::min()));
  if (query.StopWordsGiven) definition.StopWords = query.StopWords;
  definition.SpaceCharacters = CharactersOf(query.SpaceChars);
  definition.IncludeCharacters = CharactersOf(query.IncludeChars);
}
