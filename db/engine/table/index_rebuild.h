// RebuildIndexes: builds every index of a table anew from its records: the primary and
// secondary indexes, the row-id index over every record's status and row id, and the text
// index (its parameters kept), and sets the active record count. Used when an index file had
// to be recreated, and by repair.
// REQUIRES: the table is open and no other session writes it (exclusive, or the write lock).
#pragma once

class TDataTable;

// Raises VUZODE_KEYVIOL (with the index name) when two active records share a key of a
// unique index; the index file is then left partly built and must be rebuilt again or
// restored by the caller.
void RebuildIndexes(TDataTable& table);
