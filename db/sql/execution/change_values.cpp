// The values of INSERT and UPDATE: evaluated (or read from the source row of INSERT ...
// SELECT), converted to their column's type and written into a record of the target.
//
// A value the column cannot hold (a number out of the column's range, a text that is no value
// of its type) fails the statement with the type-mismatch message instead of being stored as
// NULL; a text longer than its column is cut to the column's size. A NULL value makes the field
// NULL and a BLOB empty. The auto-increment field lives in the record's row id (its value is
// kept by the table only under NOAUTOINC). A column's CHARCASE applies to every text stored in
// it; a column an INSERT does not name takes its DEFAULT.
#include <cstring>

#include "db/sql/execution/change_plan.h"
#include "db/sql/execution/row_walker.h"
#include "db/sql/execution/sql_failure.h"
#include "db/sql/execution/value_compare.h"
#include "db/sql/expressions/evaluate.h"
#include "db/sql/expressions/field_literal.h"
#include "db/sql/expressions/value_conversion.h"
#include "db/storage/locale/locale_case.h"

namespace {

// A value of a result record's field as a node (the raw stored bytes carry every type but
// BLOBs, which a result table never holds).
void ValueOfField(const FieldDescriptor& field, const uint8_t* record, TExpToken& out) {
  const uint8_t* at = record + field.Offset;
  if (at[0] == 0) {
    StoreNull(out, field.Type, field.SubType, field.StoredLength);
    return;
  }
  out.SetValueSize(field.StoredLength);
  std::memcpy(out.Value(), at + 1, field.StoredLength);
  out.ValueType = field.Type;
  out.SubType = field.SubType;
  out.Scale = field.Scale;
  out.IsNull = 0;
}

[[noreturn]] void Mismatch(const TChangePlan& plan, const FieldDescriptor& field,
                           const std::string& text) {
  SqlFail("Type mismatch between column " + field.Name + " and constant value " + text + " in " +
          plan.StatementName + " statement");
}

// The bytes a value gives a BLOB: texts and memos without their terminator, other values
// their text form.
std::string BlobBytes(const TExpToken& value) {
  if (value.ValueType == kFieldString) return std::string(value.StringValue());
  if (value.ValueType == kFieldBlob || value.ValueType == kFieldBytes ||
      value.ValueType == kFieldVarBytes) {
    std::string bytes(reinterpret_cast<const char*>(value.Value()),
                      static_cast<size_t>(value.ValueSize()));
    if (value.SubType == kSubtypeMemo && !bytes.empty() && bytes.back() == '\0') bytes.pop_back();
    return bytes;
  }
  std::string text;
  ValueText(value, text);
  return text;
}

// Writes a text value into a string field of image, in the field's letter case.
void PutText(const TChangePlan& plan, const FieldDescriptor& field, const TExpToken& value,
             uint8_t* at) {
  if (field.CharCase != kCaseLower && field.CharCase != kCaseUpper) {
    PutFieldValue(field, value, at);
    return;
  }
  static thread_local TExpToken cased;
  std::string text(value.StringValue());
  TDataFile& data = plan.Target->Cursor->Table()->DataFile();
  const auto language = static_cast<uint16_t>(data.LanguageId());
  const auto sort = static_cast<uint16_t>(data.SortId());
  if (field.CharCase == kCaseUpper) {
    LocaleUpperCase(language, sort, text);
  } else {
    LocaleLowerCase(language, sort, text);
  }
  cased.SetString(text);
  PutFieldValue(field, cased, at);
}

// Writes value, converted to field's type, into the field's slot at; false when it does not
// convert. Longer texts are cut to the column; the empty text is NULL.
bool PutConverted(const TChangePlan& plan, const FieldDescriptor& field, const TExpToken& value,
                  uint8_t* at) {
  static thread_local TExpToken converted;
  const TExpToken* from = &value;
  if (value.ValueType != field.Type || (field.Type == kFieldBcd && value.Scale != field.Scale)) {
    const int32_t size = field.Type == kFieldString ? field.StoredLength : field.Size;
    if (!ConvertValue(value, converted, field.Type, field.SubType, size, field.Scale) ||
        converted.IsNull) {
      return false;
    }
    from = &converted;
  }
  if (field.Type == kFieldString) {
    PutText(plan, field, *from, at);
  } else {
    PutFieldValue(field, *from, at);
  }
  return true;
}

// Writes value into field of image, or raises the mismatch.
void StoreField(const TChangePlan& plan, const TAssignment& assignment,
                const FieldDescriptor& field, const TExpToken& value, uint8_t* image) {
  static thread_local TExpToken scratch;
  const bool empty = value.IsNull || value.ValueType == 0;
  if (field.IsAutoIncrement()) {
    if (empty) return;
    if (!ConvertValue(value, scratch, kFieldInteger, 0, 4, 0))
      Mismatch(plan, field, assignment.ValueText);
    std::memcpy(image + kRowIdOffset, scratch.Value(), 4);
    return;
  }
  uint8_t* at = image + field.Offset;
  std::memset(at, 0, 1u + field.StoredLength);
  if (empty) return;
  if (!PutConverted(plan, field, value, at)) Mismatch(plan, field, assignment.ValueText);
}

}  // namespace

void PutDefaults(const TChangePlan& plan, uint8_t* record) {
  const auto& fields = plan.Target->Cursor->FieldDescriptors();
  std::vector<bool> assigned(fields.size(), false);
  for (const TAssignment& a : plan.Assignments) assigned[a.Field] = true;
  TExpToken value;
  for (size_t f = 0; f < fields.size(); ++f) {
    const FieldDescriptor& field = fields[f];
    if (assigned[f] || field.DefaultValue.empty() || field.Computed || field.IsAutoIncrement() ||
        field.Type == kFieldBlob) {
      continue;
    }
    // The definition was checked when the table was made; a default that no longer converts
    // (a table written elsewhere) leaves the field NULL, as no default would.
    if (!FieldLiteralValue(field, field.DefaultValue, value)) continue;
    static_cast<void>(PutConverted(plan, field, value, record + field.Offset));
  }
}

void EvaluateAssignments(TChangePlan& plan, TExpEvaluator& evaluator, const uint8_t* sourceRow,
                         TRowValues& values) {
  static thread_local TExpToken fromSource;
  const auto& fields = plan.Target->Cursor->FieldDescriptors();
  values.Image.resize(plan.Target->Cursor->RecordSize());
  values.Blobs.resize(plan.Assignments.size());
  TExpTokenStack& pool = ThreadExpTokenPool();
  for (size_t i = 0; i < plan.Assignments.size(); ++i) {
    const TAssignment& assignment = plan.Assignments[i];
    const FieldDescriptor& field = fields[assignment.Field];
    TExpToken* evaluated = nullptr;
    const TExpToken* value = &fromSource;
    if (assignment.Value) {
      // Used at once, so the value needs no copy of its own (an untyped NULL takes the copy
      // that gives it its checked type).
      value = evaluator.EvaluateInPlace(*assignment.Value, nullptr);
      if (value == nullptr) value = evaluated = evaluator.Evaluate(*assignment.Value, nullptr);
    } else {
      ValueOfField(plan.Source->Fields[assignment.SourceColumn], sourceRow, fromSource);
    }
    try {
      if (field.Type == kFieldBlob) {
        values.Blobs[i].reset();
        if (!value->IsNull && value->ValueType != 0) values.Blobs[i] = BlobBytes(*value);
      } else {
        StoreField(plan, assignment, field, *value, values.Image.data());
      }
    } catch (...) {
      if (evaluated) pool.Return(evaluated);
      throw;
    }
    if (evaluated) pool.Return(evaluated);
  }
}

void ApplyAssignments(const TChangePlan& plan, TDataCursor& cursor, const TRowValues& values,
                      uint8_t* record) {
  const auto& fields = cursor.FieldDescriptors();
  const bool sameImage = record == values.Image.data();
  for (size_t i = 0; i < plan.Assignments.size(); ++i) {
    const uint16_t number = plan.Assignments[i].Field;
    const FieldDescriptor& field = fields[number];
    if (field.Type == kFieldBlob) {
      const uint16_t blobField = static_cast<uint16_t>(number + 1);
      uint32_t size = 0;
      cursor.CheckFieldCode(cursor.OpenBlob(blobField, record, size, true, false, 2), field.Name);
      cursor.CheckFieldCode(cursor.TruncateBlob(blobField, record, false, 0), field.Name);
      if (const auto& bytes = values.Blobs[i]; bytes && !bytes->empty())
        cursor.CheckFieldCode(
            cursor.PutBlob(blobField, record, false, 0, static_cast<int64_t>(bytes->size()),
                           reinterpret_cast<const uint8_t*>(bytes->data())),
            field.Name);
      continue;
    }
    if (sameImage) continue;
    if (field.IsAutoIncrement())
      std::memcpy(record + kRowIdOffset, values.Image.data() + kRowIdOffset, 4);
    else
      std::memcpy(record + field.Offset, values.Image.data() + field.Offset,
                  1u + field.StoredLength);
  }
}

void PackValues(const TChangePlan& plan, const TRowValues& values, TPendingRows& pending) {
  const auto& fields = plan.Target->Cursor->FieldDescriptors();
  const uint8_t* image = values.Image.data();
  for (size_t i = 0; i < plan.Assignments.size(); ++i) {
    const FieldDescriptor& field = fields[plan.Assignments[i].Field];
    if (field.Type == kFieldBlob)
      pending.Blobs.push_back(values.Blobs[i]);
    else if (field.IsAutoIncrement())
      pending.Packed.insert(pending.Packed.end(), image + kRowIdOffset, image + kRowIdOffset + 4);
    else
      pending.Packed.insert(pending.Packed.end(), image + field.Offset,
                            image + field.Offset + 1 + field.StoredLength);
  }
}

void UnpackValues(const TChangePlan& plan, const TPendingRows& pending, size_t r,
                  TRowValues& values) {
  const auto& fields = plan.Target->Cursor->FieldDescriptors();
  values.Image.resize(plan.Target->Cursor->RecordSize());
  values.Blobs.resize(plan.Assignments.size());
  const uint8_t* from = pending.Packed.data() + r * plan.PackedWidth;
  size_t blob = r * plan.BlobCount;
  for (size_t i = 0; i < plan.Assignments.size(); ++i) {
    const FieldDescriptor& field = fields[plan.Assignments[i].Field];
    if (field.Type == kFieldBlob) {
      values.Blobs[i] = pending.Blobs[blob++];
    } else if (field.IsAutoIncrement()) {
      std::memcpy(values.Image.data() + kRowIdOffset, from, 4);
      from += 4;
    } else {
      std::memcpy(values.Image.data() + field.Offset, from, 1u + field.StoredLength);
      from += 1u + field.StoredLength;
    }
  }
}
