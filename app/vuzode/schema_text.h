// SchemaText: the SQL that recreates a table: CREATE TABLE with its columns, primary key and
// table options, then CREATE INDEX for each secondary index. What the statements cannot
// express is written as "--" comments: an index whose fields mix directions, a field type
// without an SQL name, an encrypted table's password, a locale.
#pragma once

#include <string>

struct TTableDefinition;

namespace vuzode {

// A name as an SQL identifier in double quotes (quotes doubled).
std::string QuotedName(const std::string& name);
// The statements for the table name of definition, each ending in ";" and a line end.
std::string SchemaText(const std::string& name, const TTableDefinition& definition);
// Index names of definition in slot order: "PRIMARY" for the primary key, then the secondary
// names, then "Sys Text" for a text index.
std::string IndexNamesText(const TTableDefinition& definition);

}  // namespace vuzode
