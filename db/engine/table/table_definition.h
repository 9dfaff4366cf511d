// TTableDefinition: everything a new table is made of (fields, indexes, text index, locale,
// password, table texts and numbers), and CheckTableDefinition, the ordered check that makes
// it ready for the files: it refuses a bad definition with the first failing rule's code before
// any file exists, and assigns every field its stored length and record offset.
//
// Rules, in order (the failing field, index or table is the error's context):
//   1 encrypted: the password trimmed is 1..15 characters            VUZODE_INVALIDPASSWORD
//   2 a given locale is installed                                   VUZODE_CANNOTLOADLDDRV
//   3 more than 1024 fields, last auto-increment below -1           VUZODE_FLDLIMIT
//   4 more than 32 indexes                                          VUZODE_INDEXLIMIT
//   5 BLOB block size below 64                                      VUZODE_BLOBLIMIT
//   6 per field: name (trimmed, cut to 30, identifier, unique)      VUZODE_INVALIDFIELDNAME
//     number unique, type valid, size 1..250 for sized types        VUZODE_INVALIDFLDTYPE
//     default, minimum, maximum texts valid for the type            VUZODE_INVALIDVCHKSTRUCT
//   7 more than 30 secondary indexes                                VUZODE_INDEXLIMIT
//     secondary names: identifier, upper-cased, unique              VUZODE_INVALIDINDEXNAME,
//                                                                   VUZODE_INDEXEXISTS
//     field numbers: no gap, fields of the table                    VUZODE_INVALIDIDXDESC
//     no BLOB field in a key                                        VUZODE_SEARCHCOLREQD
//     key length as the index file computes it (a BCD field takes 8 bytes, a non-unique index
//     adds its 4-byte row id) at most 522, not 0 for a secondary    VUZODE_INVALIDKEY
//     text index: up to 16 string or memo fields                    VUZODE_SEARCHCOLREQD
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/storage/data/data_file.h"
#include "db/storage/data/field_types.h"
#include "db/storage/index/index_descriptor.h"
#include "db/storage/index/text_index.h"

struct TTableDefinition {
  std::vector<FieldDescriptor> Fields;
  // The first is the primary index (no fields: none); the others are secondary.
  std::vector<IndexDescriptor> Indexes;
  // FieldCount 0: no text index.
  IndexDescriptor TextIndex;
  // Stop words and character sets of the text index; empty sets keep the defaults.
  std::vector<std::string> StopWords;
  std::string SpaceCharacters;    // each byte a character
  std::string IncludeCharacters;  // each byte a character
  std::string Description;
  std::string Password;
  bool Encrypted = false;
  bool LocaleGiven = false;
  int16_t LanguageId = 0;
  int16_t SortId = 0;
  int32_t LastAutoIncrement = -1;  // -1: not given
  uint32_t BlobBlockSize = 512;
  int16_t UserMajorVersion = 1;
  int16_t UserMinorVersion = 0;
};

// Whether a minimum, maximum or default text is a literal of the field's type.
using TLiteralCheck = bool (*)(const FieldDescriptor& field, std::string_view text);

// Checks definition in the rule order above and completes it: names trimmed, sizes, scales,
// stored lengths, offsets and key lengths assigned, secondary names upper-cased, the primary
// name cleared. databaseText and tableName go into the error context.
void CheckTableDefinition(TTableDefinition& definition, TLiteralCheck textCheck,
                          std::string_view databaseText, std::string_view tableName);

// The data file's part of a checked definition.
TDataFileDefinition DataFileDefinitionOf(const TTableDefinition& definition);
// The text index parameters of a definition (the defaults where it gives none).
TTextIndexParameters TextIndexParametersOf(const TTableDefinition& definition);
