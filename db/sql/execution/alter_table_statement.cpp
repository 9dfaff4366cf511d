// ALTER TABLE: the table's current definition with the statement's actions applied, handed
// to the engine's restructuring.
//
// Fields: each new field descriptor carries, as its field number, the number of the old
// field it continues; an added field gets a number above every old one. ADD appends (or
// inserts at AT n), REDEFINE replaces only what it gives and may rename and move, DROP
// removes. Indexes: the primary key actions replace or empty the primary index (ADD only
// when there is none); every index kept, and the text index unless TEXT INDEX is given, has
// its key fields moved to their new positions, and one that still names a dropped column is
// refused. Table options not given keep the table's values.
//
// Data loss: a dropped column's values are meant to go; any other loss (a value that no
// longer fits, a duplicate key, a failed check) stops the restructuring at the first such
// value, which leaves the table as it was, and the statement raises.
#include <algorithm>
#include <string>
#include <vector>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/table/restructure.h"
#include "db/sql/execution/definition_descriptors.h"
#include "db/sql/execution/definition_kinds.h"
#include "db/sql/execution/definition_target.h"
#include "db/sql/execution/source_binding.h"
#include "db/sql/execution/sql_failure.h"
#include "db/sql/execution/statement_headers.h"

namespace {

// One field of the altered table: the number of the old field it continues as the table
// stores it (above every stored number for an added field), and that field's 1-based
// position, as index field numbers count (0 for an added field).
struct TNewField {
  FieldDescriptor Field;
  uint16_t Continues = 0;
  uint16_t OldPosition = 0;
};

class TAlteration {
 public:
  explicit TAlteration(TTableDefinition current) : next_(std::move(current)) {
    for (const FieldDescriptor& field : next_.Fields) {
      const auto position = static_cast<uint16_t>(fields_.size() + 1);
      fields_.push_back({field, field.FieldNumber, position});
      old_names_.push_back(field.Name);
      last_number_ = std::max(last_number_, field.FieldNumber);
    }
  }

  void ApplyColumn(const TCreateField& column) {
    if (column.Add) {
      TNewField added{FieldDescriptorOf(column, 0), ++last_number_, 0};
      Place(std::move(added), column.AtPosition);
      return;
    }
    const size_t at = Find(column.ColumnName);
    if (column.Drop) {
      fields_.erase(fields_.begin() + static_cast<std::ptrdiff_t>(at));
      return;
    }
    TNewField& field = fields_[at];
    if (!column.NewColumnName.empty()) field.Field.Name = column.NewColumnName;
    ApplyColumnType(column, field.Field);
    ApplyColumnOptions(column, field.Field, true);
    if (column.AtPosition > 0) {
      TNewField moved = std::move(field);
      fields_.erase(fields_.begin() + static_cast<std::ptrdiff_t>(at));
      Place(std::move(moved), column.AtPosition);
    }
  }

  void ApplyKey(const TCreateIndex& key) {
    IndexDescriptor& primary = next_.Indexes.front();
    if (key.Add && primary.FieldCount > 0)
      SqlFail("Cannot REDEFINE the primary key using the ADD keyword");
    primary = key.Drop ? IndexDescriptor{} : IndexDescriptorOf(key, NewDescriptors());
    primary_given_ = true;
  }

  // The new definition: fields numbered by the old fields they continue, indexes over the
  // new positions, the statement's table options.
  TTableDefinition Finish(const TDataQuery& query) {
    const std::vector<FieldDescriptor> fields = NewDescriptors();
    for (size_t i = 0; i < next_.Indexes.size(); ++i) {
      if (i == 0 && primary_given_) continue;
      const std::string what =
          i == 0 ? std::string("the primary key") : "index '" + next_.Indexes[i].Name + "'";
      MoveKeyFields(next_.Indexes[i], what);
    }
    if (query.HasTextIndex)
      next_.TextIndex = TextIndexDescriptorOf(query.TextIndex, fields);
    else
      MoveKeyFields(next_.TextIndex, "the text index");
    next_.Fields = fields;
    for (size_t i = 0; i < fields_.size(); ++i) next_.Fields[i].FieldNumber = fields_[i].Continues;
    ApplyTableOptions(query, next_, true);
    return std::move(next_);
  }

 private:
  size_t Find(const std::string& name) const {
    for (size_t i = 0; i < fields_.size(); ++i)
      if (SameSqlName(fields_[i].Field.Name, name)) return i;
    SqlFail("Column " + name + " not found");
  }

  // Inserts field at the 1-based position (0: at the end; past the end: at the end).
  void Place(TNewField field, int16_t position) {
    const size_t at = position > 0
                          ? std::min<size_t>(static_cast<size_t>(position - 1), fields_.size())
                          : fields_.size();
    fields_.insert(fields_.begin() + static_cast<std::ptrdiff_t>(at), std::move(field));
  }

  // The new fields, numbered by position (as index field numbers count them).
  std::vector<FieldDescriptor> NewDescriptors() const {
    std::vector<FieldDescriptor> fields;
    for (const TNewField& f : fields_) {
      fields.push_back(f.Field);
      fields.back().FieldNumber = static_cast<uint16_t>(fields.size());
    }
    return fields;
  }

  // Moves the key fields of index (old positions) to the new positions of their fields.
  void MoveKeyFields(IndexDescriptor& index, const std::string& what) const {
    for (size_t k = 0; k < index.FieldCount && k < kMaxIndexFields; ++k) {
      const uint16_t old = index.FieldNumbers[k];
      size_t now = 0;
      while (now < fields_.size() && fields_[now].OldPosition != old) ++now;
      if (now == fields_.size()) {
        const std::string name =
            old >= 1 && old <= old_names_.size() ? old_names_[old - 1] : std::to_string(old);
        SqlFail("Column " + name + " cannot be dropped: it is used by " + what);
      }
      index.FieldNumbers[k] = static_cast<uint16_t>(now + 1);
    }
  }

  TTableDefinition next_;
  std::vector<TNewField> fields_;
  std::vector<std::string> old_names_;
  uint16_t last_number_ = 0;
  bool primary_given_ = false;
};

// What a loss other than a dropped column means, for the statement's message.
std::string LossText(TDataLossKind kind, std::string_view text) {
  switch (kind) {
    case kLossDuplicateKey:
      return text.empty()
                 ? "a duplicate key of the primary key would lose a record"
                 : "a duplicate key of index '" + std::string(text) + "' would lose a record";
    case kLossValidity:
      return "a value of column '" + std::string(text) +
             "' that fails the column's checks would lose a record";
    case kLossConversion:
      return "a value of column '" + std::string(text) + "' would not fit its new definition";
    default:
      return "a record could not be carried over";
  }
}

}  // namespace

void ExecuteAlterTable(TQueryStatement& statement, const TDataQuery& query) {
  const TDefinitionTarget target = DefinitionTargetOf(statement, query);
  auto cursor = ExclusiveCursorOn(statement, target);
  cursor->OpenCursor();
  TAlteration alteration(CurrentDefinition(*cursor->Table()));
  cursor->CloseCursor();
  for (const TCreateField& column : query.CreateFields) alteration.ApplyColumn(column);
  for (const TCreateIndex& key : query.CreateIndexes) alteration.ApplyKey(key);
  TTableDefinition next = alteration.Finish(query);

  std::string loss;
  bool stopped = false;
  TRestructureCallbacks callbacks;
  callbacks.Progress = StatementProgress(statement, stopped);
  callbacks.DataLoss = [&loss](TDataLossKind kind, std::string_view text, bool&, bool& carryOn) {
    carryOn = kind == kLossFieldDropped;
    if (!carryOn && loss.empty()) loss = LossText(kind, text);
  };
  RestructureTable(*cursor, std::move(next), query.NoBackup, callbacks);
  if (!loss.empty())
    SqlFail("ALTER TABLE stopped: " + loss + "; table '" + target.Name + "' is unchanged");
  if (stopped) SqlFail("ALTER TABLE stopped by the host; table '" + target.Name + "' is unchanged");
}
