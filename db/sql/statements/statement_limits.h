// The limits of the parse structures. Every one is checked while parsing and refused with a
// message that names it, so no text can overflow a field or make the parser recurse without
// bound.
//
//   | Limit                              | Value | Why                                          |
//   |------------------------------------|-------|----------------------------------------------|
//   | name (table, column, alias, index, | 255   | names are short strings inside the engine    |
//   |   password, description, value)    |       |                                              |
//   | items of one list (select list,    | 1024  | a table holds at most 1024 fields            |
//   |   columns, values, ORDER/GROUP BY) |       |                                              |
//   | source tables of one query         | 255   | table numbers are small integers; planning   |
//   |                                    |       |   grows with the square of the count         |
//   | queries of one statement           | 256   | master, UNION members, sub-selects, sources  |
//   | nesting of sub-selects             | 32    | each level recurses through the parser       |
//   | column and table numbers (ORDER    | 32767 | stored as signed 16-bit integers             |
//   |   BY 3, AT 2)                      |       |                                              |
// The expression parser adds its own: 200 levels of parentheses, trees 1000 levels high.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kMaxSqlNameLength = 255;
inline constexpr size_t kMaxListItems = 1024;
inline constexpr size_t kMaxSourceTables = 255;
inline constexpr size_t kMaxStatementQueries = 256;
inline constexpr int kMaxSubSelectNesting = 32;
inline constexpr int32_t kMaxColumnNumber = 32767;
