// The descriptors the definition statements hand to the engine, built from the parse fields:
// field descriptors from column definitions, index descriptors from key and index
// definitions (columns looked up by name among the fields the new table will have), the text
// index, and the table options of a query.
//
// Invariants:
//   (1) Index field numbers are 1-based positions in the field list they were built against,
//       as the engine's table definition reads them.
//   (2) Every failure of the statement's own is raised with SqlFail; sizes, scales and texts
//       the engine refuses are passed as given so that its own codes report them.
#pragma once

#include <string_view>
#include <vector>

#include "db/engine/table/table_definition.h"

struct TCreateField;
struct TCreateIndex;
class TDataQuery;

// The 0-based position of the field named name (ASCII case ignored), or -1.
int FindFieldNamed(const std::vector<FieldDescriptor>& fields, std::string_view name);

// A new field numbered number from a column definition: its name, type and every option.
FieldDescriptor FieldDescriptorOf(const TCreateField& column, uint16_t number);
// Gives field the column's data type (type, subtype, size, scale) when the column has one.
void ApplyColumnType(const TCreateField& column, FieldDescriptor& field);
// Gives field the column's trailing options (DESCRIPTION, NOT NULL, DEFAULT, MIN, MAX,
// CHARCASE): each one given, or with onlyGiven clear every one (a new column).
void ApplyColumnOptions(const TCreateField& column, FieldDescriptor& field, bool onlyGiven);

// The index of definition over fields. Raises "Invalid field name '...' specified for index
// '...'" for a column fields does not have.
IndexDescriptor IndexDescriptorOf(const TCreateIndex& definition,
                                  const std::vector<FieldDescriptor>& fields);
// The text index "Sys Text" over the columns of definition. Raises "Invalid field name '...'
// specified for text index".
IndexDescriptor TextIndexDescriptorOf(const TCreateIndex& definition,
                                      const std::vector<FieldDescriptor>& fields);

// The table options of query put into definition: with onlyGiven set only those the
// statement gives (ALTER keeps the others), otherwise all of them with their defaults; a
// table without LANGUAGE is a byte-order table (language 0). The text index parameters
// (stop words, space and include characters) go in when given; empty ones keep the table's.
void ApplyTableOptions(const TDataQuery& query, TTableDefinition& definition, bool onlyGiven);
