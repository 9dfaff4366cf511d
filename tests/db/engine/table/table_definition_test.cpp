// Tests of the table definition check as a cursor's CreateTable applies it: each row changes a
// valid definition and expects the first failing rule's code (rows with two faults pin the rule
// order), its error context, and that a refused definition leaves no file behind while an
// accepted one gives a table that opens.
#include "db/engine/table/table_definition.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_session.h"
#include "tests/db/engine/support/table_support.h"

namespace {

using engine_test::MakeField;
using engine_test::MakeIndexDefinition;
using TMutation = std::function<void(TTableDefinition&)>;

void ManyFields(TTableDefinition& d, size_t count) {
  d.Fields.clear();
  d.Indexes.resize(1);
  for (size_t i = 1; i <= count; ++i) {
    d.Fields.push_back(MakeField(static_cast<uint16_t>(i), "F" + std::to_string(i), kFieldInteger));
  }
}

void ManyIndexes(TTableDefinition& d, size_t count) {
  d.Indexes.resize(1);
  while (d.Indexes.size() < count) {
    d.Indexes.push_back(MakeIndexDefinition("I" + std::to_string(d.Indexes.size()), {1}, false));
  }
}

// Appends string fields of sizes (after a BCD field with bcd) and keys an index on exactly
// them: the primary one when unique, else a secondary one named BIG.
TMutation KeyOf(std::vector<uint8_t> sizes, bool unique, bool bcd = false) {
  return [=](TTableDefinition& d) {
    std::vector<uint16_t> numbers;
    auto add = [&](uint8_t type, uint8_t size) {
      numbers.push_back(static_cast<uint16_t>(d.Fields.size() + 1));
      d.Fields.push_back(
          MakeField(numbers.back(), "K" + std::to_string(numbers.size()), type, size));
    };
    if (bcd) add(kFieldBcd, 0);
    for (uint8_t size : sizes) add(kFieldString, size);
    if (unique) {
      d.Indexes[0] = MakeIndexDefinition("", numbers, true);
    } else {
      d.Indexes.push_back(MakeIndexDefinition("BIG", numbers, false));
    }
  };
}

struct TRow {
  const char* What;
  TMutation Change;
  uint16_t Code;             // 0: accepted
  const char* Context = "";  // "field|index" of the error, when given
};

const std::string kName30(30, 'A');

TEST(TableDefinition, EveryRuleInOrder) {
  // Fields: 1 ID integer, 2 NAME string(20), 3 NOTE memo; indexes: primary (ID), BYNAME (NAME).
  // clang-format off
  const TRow rows[] = {
    {"valid", [](auto&) {}, 0},
    {"password blank", [](auto& d) { d.Encrypted = true, d.Password = "  "; },
     VUZODE_INVALIDPASSWORD},
    {"password 16", [](auto& d) { d.Encrypted = true, d.Password = kName30.substr(14); },
     VUZODE_INVALIDPASSWORD},
    {"password 15 trimmed", [](auto& d) { d.Encrypted = true, d.Password = " ppppppppppppppp "; },
     0},
    {"password, then fields", [](auto& d) { ManyFields(d, 1025), d.Encrypted = true; },
     VUZODE_INVALIDPASSWORD},
    {"locale", [](auto& d) { d.LocaleGiven = true, d.LanguageId = 0x7ABC; },
     VUZODE_CANNOTLOADLDDRV},
    {"locale, then fields", [](auto& d) { ManyFields(d, 1025), d.LanguageId = 0x7ABC; },
     VUZODE_CANNOTLOADLDDRV},
    {"1024 fields", [](auto& d) { ManyFields(d, 1024); }, 0},
    {"1025 fields", [](auto& d) { ManyFields(d, 1025); }, VUZODE_FLDLIMIT},
    {"auto-increment -2", [](auto& d) { d.LastAutoIncrement = -2; }, VUZODE_FLDLIMIT},
    {"fields, then indexes", [](auto& d) { ManyFields(d, 1025), ManyIndexes(d, 33); },
     VUZODE_FLDLIMIT},
    {"33 indexes", [](auto& d) { ManyIndexes(d, 33); }, VUZODE_INDEXLIMIT},
    {"indexes, then BLOB", [](auto& d) { ManyIndexes(d, 33), d.BlobBlockSize = 63; },
     VUZODE_INDEXLIMIT},
    {"BLOB block 63", [](auto& d) { d.BlobBlockSize = 63; }, VUZODE_BLOBLIMIT},
    {"BLOB block 64", [](auto& d) { d.BlobBlockSize = 64; }, 0},
    {"BLOB, then names", [](auto& d) { d.BlobBlockSize = 63, d.Fields[0].Name = ""; },
     VUZODE_BLOBLIMIT},
    {"name blank", [](auto& d) { d.Fields[0].Name = "  "; }, VUZODE_INVALIDFIELDNAME, "|"},
    {"name digit", [](auto& d) { d.Fields[1].Name = "2NAME"; }, VUZODE_INVALIDFIELDNAME, "2NAME|"},
    {"names differ in case", [](auto& d) { d.Fields[1].Name = " id"; },
     VUZODE_INVALIDFIELDNAME, "id|"},
    {"31 letters cut to 30", [](auto& d) { d.Fields[1].Name = kName30 + "B"; }, 0},
    {"equal once cut",
     [](auto& d) { d.Fields[0].Name = kName30 + "1", d.Fields[1].Name = kName30 + "2"; },
     VUZODE_INVALIDFIELDNAME},
    {"number twice", [](auto& d) { d.Fields[1].FieldNumber = 1; }, VUZODE_INVALIDFLDTYPE, "NAME|"},
    {"type 0", [](auto& d) { d.Fields[0].Type = 0; }, VUZODE_INVALIDFLDTYPE},
    {"type 16", [](auto& d) { d.Fields[0].Type = 16; }, VUZODE_INVALIDFLDTYPE},
    {"string 251", [](auto& d) { d.Fields[1].Size = 251; }, VUZODE_INVALIDFLDTYPE},
    {"string 0", [](auto& d) { d.Fields[1].Size = 0; }, VUZODE_INVALIDFLDTYPE},
    {"string 250", [](auto& d) { d.Fields[1].Size = 250; }, 0},
    {"integer size ignored", [](auto& d) { d.Fields[0].Size = 251; }, 0},
    {"first field first", [](auto& d) { d.Fields[0].Type = 0, d.Fields[1].Name = "9"; },
     VUZODE_INVALIDFLDTYPE},
    {"bad default", [](auto& d) { d.Fields[0].DefaultValue = "abc"; },
     VUZODE_INVALIDVCHKSTRUCT, "ID|"},
    {"bad minimum", [](auto& d) { d.Fields[0].MinValue = "1.5.2"; }, VUZODE_INVALIDVCHKSTRUCT},
    {"bad maximum", [](auto& d) { d.Fields[0].MaxValue = "x"; }, VUZODE_INVALIDVCHKSTRUCT},
    {"good limits", [](auto& d) { d.Fields[0].MinValue = "-5", d.Fields[0].MaxValue = "99"; }, 0},
    {"time word on a date",
     [](auto& d) { d.Fields[1].Type = kFieldDate, d.Fields[1].DefaultValue = "current_time"; },
     VUZODE_INVALIDVCHKSTRUCT},
    {"fields, then 31 secondary", [](auto& d) { ManyIndexes(d, 32), d.Fields[0].MaxValue = "x"; },
     VUZODE_INVALIDVCHKSTRUCT},
    {"31 secondary", [](auto& d) { ManyIndexes(d, 32); }, VUZODE_INDEXLIMIT},
    {"30 secondary", [](auto& d) { ManyIndexes(d, 31); }, 0},
    {"index name digit", [](auto& d) { d.Indexes[1].Name = "1X"; }, VUZODE_INVALIDINDEXNAME, "|1X"},
    {"index name blank", [](auto& d) { d.Indexes[1].Name = " "; }, VUZODE_INVALIDINDEXNAME},
    {"index names differ in case",
     [](auto& d) { d.Indexes.push_back(MakeIndexDefinition(" byName", {1}, false)); },
     VUZODE_INDEXEXISTS, "|BYNAME"},
    {"gap in key", [](auto& d) { d.Indexes[1].FieldNumbers = {0, 2}; }, VUZODE_INVALIDIDXDESC},
    {"no such field", [](auto& d) { d.Indexes[1].FieldNumbers[0] = 4; }, VUZODE_INVALIDIDXDESC},
    {"BLOB in a key", [](auto& d) { d.Indexes[1].FieldNumbers[0] = 3; },
     VUZODE_SEARCHCOLREQD, "NOTE|BYNAME"},
    {"secondary without fields", [](auto& d) { d.Indexes[1].FieldNumbers[0] = 0; },
     VUZODE_INVALIDKEY},
    {"no primary key", [](auto& d) { d.Indexes[0] = MakeIndexDefinition("", {}, true); }, 0},
    {"unique key 522", KeyOf({250, 250, 16}, true), 0},
    {"unique key 523", KeyOf({250, 250, 17}, true), VUZODE_INVALIDKEY},
    {"non-unique key 518 + 4", KeyOf({250, 250, 12}, false), 0},
    {"non-unique key 519 + 4", KeyOf({250, 250, 13}, false), VUZODE_INVALIDKEY, "|BIG"},
    {"BCD counts 8 in a key", KeyOf({250, 250, 7}, true, true), 0},
    {"BCD key 523", KeyOf({250, 250, 8}, true, true), VUZODE_INVALIDKEY},
    {"text index on an integer", [](auto& d) { d.TextIndex.FieldNumbers[0] = 1; },
     VUZODE_SEARCHCOLREQD, "ID|"},
    {"text index on string and memo", [](auto& d) { d.TextIndex.FieldNumbers = {2, 3}; }, 0},
    {"keys, then text index",
     [](auto& d) { d.TextIndex.FieldNumbers[0] = 1, d.Indexes[1].Name = "1X"; },
     VUZODE_INVALIDINDEXNAME},
  };
  // clang-format on

  engine_test::TScratchFolder folder;
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("data", folder.Path());
  int number = 0;
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.What);
    const std::string name = "T" + std::to_string(number++);
    TTableDefinition definition = engine_test::PeopleDefinition(true);
    row.Change(definition);
    const size_t filesBefore = folder.Files().size();
    TDataCursor cursor(directory);
    cursor.SetTableName(name);
    cursor.SetExclusive(true);
    uint16_t code = 0;
    try {
      cursor.CreateTable(definition, false);
    } catch (const EVUZODEEngineError& e) {
      code = e.EngineCode();
      EXPECT_EQ(e.ContextTable(), name);
      EXPECT_EQ(e.ContextDatabase(), directory.Path());
      if (*row.Context != '\0') {
        EXPECT_EQ(e.ContextField() + "|" + e.ContextIndex(), row.Context);
      }
    }
    EXPECT_EQ(code, row.Code);
    EXPECT_TRUE(directory.Tables().empty());
    if (code != 0) {
      EXPECT_EQ(folder.Files().size(), filesBefore);
      continue;
    }
    EXPECT_TRUE(folder.Has(name + ".DAT") && folder.Has(name + ".IDX"));
    // The index file takes the key lengths the check computed.
    if (definition.Encrypted) session.AddPassword(std::string(15, 'p'));
    EXPECT_NO_THROW(cursor.OpenCursor());
  }
}

}  // namespace
