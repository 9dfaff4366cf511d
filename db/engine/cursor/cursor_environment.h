// TCursorEnvironment: how expressions evaluated for a cursor (computed fields, filters) read
// the columns of a record buffer: each column's value lies at its field's offset as an
// indicator byte and the stored value, which is also the node's value layout, so readers may
// decode it in place (ColumnImage). An auto-increment field is the record's row id and is
// never null. BLOB columns are read through the cursor's BLOB access.
#pragma once

#include <vector>

#include "db/sql/expressions/evaluate.h"
#include "db/storage/data/field_types.h"

class TCursorEnvironment : public TEvalEnvironment {
 public:
  // fields must outlive the environment; column nodes carry FieldNo (1-based) into it.
  explicit TCursorEnvironment(const std::vector<FieldDescriptor>& fields) : fields_(fields) {}

  void FetchColumn(const uint8_t* record, const TExpToken& column, TExpToken& value) override;
  bool ColumnImage(const TExpToken& column, size_t& offset) override;

 private:
  const std::vector<FieldDescriptor>& fields_;
};
