// Column binding and value reading for queries (see source_binding.h).
#include "db/sql/execution/source_binding.h"

#include <cstring>

#include "db/engine/errors/engine_error.h"
#include "db/sql/execution/value_compare.h"
#include "db/sql/expressions/value_conversion.h"

bool SameSqlName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (std::toupper(x) != std::toupper(y)) return false;
  }
  return true;
}

void TypeNodeAsField(TExpToken& node, const FieldDescriptor& field) {
  node.ValueType = field.Type;
  node.SubType = field.SubType;
  node.Scale = field.Scale;
  node.SetValueSize(field.IsAutoIncrement() ? 4 : field.StoredLength);
}

namespace {

int FieldNamed(const std::vector<FieldDescriptor>& fields, const std::string& name) {
  for (size_t i = 0; i < fields.size(); ++i)
    if (SameSqlName(fields[i].Name, name)) return static_cast<int>(i);
  return -1;
}

}  // namespace

TSourceState* TSourceResolver::SourceNamed(const std::string& alias) const {
  for (const auto& source : plan_.Sources)
    if (SameSqlName(source->Table->CorrelationName, alias)) return source.get();
  return nullptr;
}

bool TSourceResolver::ResolveColumn(TExpToken& node) {
  if (plan_.Sources.empty()) return false;
  TSourceState* source = nullptr;
  int field = -1;
  if (!node.TableAlias.empty()) {
    source = SourceNamed(node.TableAlias);
    if (!source) return false;
    field = FieldNamed(source->Cursor->FieldDescriptors(), node.ColumnName);
  } else if (node.ColumnName == "*" || node.ColumnName.empty()) {
    source = plan_.Sources.front().get();
  } else {
    for (const auto& candidate : plan_.Sources) {
      field = FieldNamed(candidate->Cursor->FieldDescriptors(), node.ColumnName);
      if (field >= 0) {
        source = candidate.get();
        break;
      }
    }
  }
  if (!source) return false;
  node.SourceTable = source;
  node.TableAlias = source->Table->CorrelationName;
  if (field < 0) {
    if (node.ColumnName != "*" && !node.ColumnName.empty()) return false;
    node.FieldNo = 0;
    return true;
  }
  node.FieldNo = static_cast<uint16_t>(field + 1);
  TypeNodeAsField(node, source->Cursor->FieldDescriptors()[field]);
  return true;
}

int TSourceResolver::BindSubSelect(TExpToken& node) {
  TQueryPlan* sub = node.SubQuery ? lookup_(node.SubQuery) : nullptr;
  if (!sub) return -1;
  if (sub->Fields.size() == 1) TypeNodeAsField(node, sub->Fields.front());
  return static_cast<int>(sub->Fields.size());
}

bool TResultResolver::ResolveColumn(TExpToken& node) {
  for (size_t i = 0; i < plan_.Fields.size(); ++i) {
    if (!SameSqlName(plan_.Fields[i].Name, node.ColumnName)) continue;
    node.SourceTable = &plan_;
    node.FieldNo = static_cast<uint16_t>(i + 1);
    TypeNodeAsField(node, plan_.Fields[i]);
    return true;
  }
  return false;
}

void TJoinEnvironment::FetchColumn(const uint8_t* record, const TExpToken& column,
                                   TExpToken& value) {
  (void)record;
  auto* source = static_cast<TSourceState*>(column.SourceTable);
  if (!source)
    RaiseEngineError(VUZODE_SQLPARSE, {}, {}, {}, {}, {}, {},
                     "Column '" + column.ColumnName + "' is not bound to a source table");
  if (source->NullRow) {
    StoreNull(value, column.ValueType, column.SubType, column.ValueSize());
    return;
  }
  source->Environment->FetchColumn(source->Buffer.data(), column, value);
}

bool TJoinEnvironment::SubSelectHolds(const TExpToken& subSelect, const TExpToken& value) {
  TQueryPlan* sub = subSelect.SubQuery ? lookup_(subSelect.SubQuery) : nullptr;
  if (!sub)
    RaiseEngineError(VUZODE_SQLPARSE, {}, {}, {}, {}, {}, {}, "Sub-select query is not prepared");
  return sub->Values.count(ValueKeyOf(value)) > 0;
}

namespace {

std::string NumberKey(double number) {
  if (number == 0) number = 0;  // -0 and 0 alike
  std::string key(1 + sizeof number, 'D');
  std::memcpy(key.data() + 1, &number, sizeof number);
  return key;
}

}  // namespace

std::string ValueKeyOf(const TExpToken& value) {
  if (value.IsNull) return "N";
  if (value.ValueType == kFieldString) {
    const std::string_view text = value.StringValue();
    if (text.empty()) return "N";
    return "S" + std::string(text);
  }
  TNumber number;
  if (NumberOf(value, number)) return NumberKey(NumberAsDouble(number));
  if (value.ValueType == kFieldDate || value.ValueType == kFieldTime ||
      value.ValueType == kFieldTimestamp)
    return NumberKey(StoredNumber(value.ValueType, value.Value()));
  return "B" + std::string(reinterpret_cast<const char*>(value.Value()),
                           static_cast<size_t>(value.ValueSize()));
}

std::string FieldKeyOf(const FieldDescriptor& field, const uint8_t* record) {
  const uint8_t* at = record + field.Offset;
  if (at[0] == 0) return "N";
  if (field.Type == kFieldString) {
    const size_t room = field.StoredLength > 0 ? field.StoredLength - 1u : 0u;
    const size_t length = strnlen(reinterpret_cast<const char*>(at + 1), room);
    if (length == 0) return "N";
    return "S" + std::string(reinterpret_cast<const char*>(at + 1), length);
  }
  if (field.Type == kFieldBytes || field.Type == kFieldVarBytes || field.Type == kFieldBlob ||
      field.Type == kFieldInternal)
    return "B" + std::string(reinterpret_cast<const char*>(at + 1), field.StoredLength);
  return NumberKey(StoredNumber(field.Type, at + 1));
}
